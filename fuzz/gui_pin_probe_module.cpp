// A module library built on the framework's GUI side alone, for the GUI pin
// access fuzz target: it reads a pin in the form the host asks for and
// writes what it read to a report pin, so that the fuzzer can see exactly
// what WQGuiPin made of the host's answers.
//
// GUI dispatcher opcodes:
//   GD_OPCODE_3 (index = pin, value = buffer size)
//                               getValueText into a heap buffer of exactly
//                               that many bytes (sizes outside 0 to
//                               kMaxBufferSize are cut into it); the text
//                               written to kNarrowReport as the C string the
//                               buffer holds, the count to kCountReport
//   GD_OPCODE_11 (index = pin)  getValueText, the text written to kNarrowReport
//   GD_OPCODE_12 (index = pin)  getValueTextW, the units written to kWideReport
//                               as four lower-case hex digits each
// There is no audio side: makeModule creates GUI objects only.
#include "fuzz/gui_pin_probe.h"
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/wq_interface.h"
#include "wq_sdk2/wq_module_entry.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace {

class PinProbe final : public WQGUI_base {
public:
    PinProbe(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}

protected:
    void onHostOpcode3(void *, float, WQPair *pair) override {
        const int32_t size = pair->second < 0 ? 0 : pair->second % (kMaxBufferSize + 1);
        // Exactly `size` bytes, so that a write or a read past them is caught.
        const std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size)]);
        const std::size_t n =
            getPin(pair->first)->getValueText(buffer.get(), static_cast<size_t>(size));
        getPin(kNarrowReport)->setValueText(size > 0 ? buffer.get() : "");
        getPin(kCountReport)->setValueInt(static_cast<int32_t>(n));
    }

    void onHostOpcode11(int32_t index) override {
        const std::string text = getPin(index)->getValueText();
        getPin(kNarrowReport)->setValueText(text);
    }

    void onHostOpcode12(int32_t index) override {
        const std::u16string units = getPin(index)->getValueTextW();
        std::string hex;
        for (char16_t u : units) {
            char digits[5];
            std::snprintf(digits, sizeof digits, "%04x", static_cast<unsigned>(u));
            hex += digits;
        }
        getPin(kWideReport)->setValueText(hex);
    }
};

constexpr char kName[] = "GUI pin probe";
constexpr wq::ModuleDescription kDescription = {kName, kName, kName, 0, 0};

} // namespace

WQ_MODULE_ENTRY_POINTS(kDescription, void, PinProbe);
