// An author's module as authors write it: the Doubler example in one file,
// built with wq_add_module. Built as it stands it passes `wqhost validate`
// with no warning; each WQ_FAULT_* switch builds in one mistake that
// authors make, which exactly one check of `validate` must catch.
#if defined(WQ_FAULT_MANGLED_EXPORTS)
// The interface's own declarations of the two exports left out, as a
// host's sources leave them out: nothing gives the definitions below C
// linkage then.
#  define WQ_NO_MODULE_EXPORT_DECLARATIONS
#endif
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_module_entry.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

constexpr int32_t kNumberPin = 0;
constexpr int32_t kDoubledPin = 1;

const char *doubledPinName() {
#if defined(WQ_FAULT_DUPLICATE_PIN_NAME)
    return "NUMBER"; // copied from the pin above and not renamed
#elif defined(WQ_FAULT_EMPTY_PIN_NAME)
    return "";
#elif defined(WQ_FAULT_CONTROL_PIN_NAME)
    return "DOUBLED\t(x2)";
#else
    return "DOUBLED";
#endif
}

class AuthoredDoubler : public WQModule_base {
public:
    AuthoredDoubler(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        switch (index) {
        case kNumberPin:
            properties->name = "NUMBER";
            properties->direction = DR_IN;
            properties->datatype = DT_TEXT;
            properties->flags = IO_UI_COMMUNICATION;
            return true;
        case kDoubledPin:
            properties->name = doubledPinName();
            properties->direction = DR_OUT;
            properties->datatype = DT_TEXT;
            properties->flags = IO_UI_COMMUNICATION;
            return true;
        default: return false;
        }
    }
};

class AuthoredDoublerGui : public WQGUI_base {
public:
    AuthoredDoublerGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}

protected:
    void open(bool flag) override {
        WQGUI_base::open(flag);
        update();
    }
    void onPinChanged(WQGuiPin *pin) override {
        if (pin->index == kNumberPin)
            update();
    }

private:
    void update() {
        const std::string number = getPin(kNumberPin)->getValueText();
        long long value = std::strtoll(number.c_str(), nullptr, 10) % 1000000;
#if defined(WQ_FAULT_HEAP_OVERRUN)
        // A long text copied for parsing, the terminating NUL forgotten in
        // the size of the copy.
        if (number.size() > 4000) {
            char *copy = static_cast<char *>(std::malloc(number.size()));
            std::memcpy(copy, number.c_str(), number.size() + 1);
            value = std::strtoll(copy, nullptr, 10) % 1000000;
            std::free(copy);
        }
#endif
#if defined(WQ_FAULT_LEAK)
        // A scratch buffer that is never given back, on every change.
        m_lastScratch = new char[1 << 20];
#endif
        getPin(kDoubledPin)->setValueText(std::to_string(2 * value));
    }
#if defined(WQ_FAULT_LEAK)
    char *m_lastScratch = nullptr;
#endif
};

constexpr char kName[] = "Authored Doubler";
constexpr char kAbout[] = "Writes twice the number on pin 0 to pin 1";

constexpr wq::ModuleDescription kDescription = {kName, kName, kAbout, 512, 256};

} // namespace

#if defined(WQ_FAULT_ESCAPED_EXCEPTION) || defined(WQ_FAULT_MANGLED_EXPORTS) ||                    \
    defined(WQ_FAULT_OBJECT_FOR_RECORD)
// The two exports written by hand, as some authors do, around the
// framework's own bodies.
using Entry = wq::ModuleEntry<kDescription, AuthoredDoubler, AuthoredDoublerGui>;

#  if defined(WQ_FAULT_MANGLED_EXPORTS)
#    define AUTHORED_LINKAGE // extern "C" forgotten: the names are C++ names
#  else
#    define AUTHORED_LINKAGE extern "C"
#  endif

AUTHORED_LINKAGE WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index,
                                                              WQModuleDescription *record) {
#  if defined(WQ_FAULT_ESCAPED_EXCEPTION)
    // The index looked up in the library's list of modules, a miss thrown.
    if (index != 0)
        throw std::runtime_error("bad list");
#  endif
    return Entry::getModuleProperties(index, record);
}

AUTHORED_LINKAGE WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type,
                                                   WQHostCallback hostCallback,
                                                   intptr_t hostValue) {
    void *record = Entry::makeModule(index, type, hostCallback, hostValue);
#  if defined(WQ_FAULT_OBJECT_FOR_RECORD)
    // The object handed over where its record belongs.
    if (record && type == WQ_TYPE_AUDIO)
        return static_cast<WQAudioHostRecord *>(record)->object;
    if (record && type == WQ_TYPE_GUI)
        return static_cast<WQGuiHostRecord *>(record)->object;
#  endif
    return record;
}
#else
WQ_MODULE_ENTRY_POINTS(kDescription, AuthoredDoubler, AuthoredDoublerGui);
#endif
