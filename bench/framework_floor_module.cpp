// A second floor for the GUI benchmarks: the same host calls as the floor
// module, with the same answers, but made the way the list selector makes
// them, through the framework: the GUI record's dispatcher and virtual
// operations, getPin and the WQGuiPin operations, callHost with its check.
// Quendor's time against this floor is the cost of the list behaviour alone;
// this floor against the plain one is the cost of the framework's layers.
#include "bench/floor_module.h"
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/wq_module_entry.h"

namespace {

constexpr char kName[] = "Quendor framework floor";

const FloorAnswers *s_answers = nullptr;

class FrameworkFloorGui final : public WQGUI_base {
public:
    FrameworkFloorGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}

protected:
    ~FrameworkFloorGui() override { callHost(GH_OPCODE_22, 0, 0, nullptr, 0.0f); }

    void open(bool flag) override {
        callHost(GH_OPCODE_22, 0, 0, nullptr, 0.0f);
        WQGUI_base::open(flag);
        m_updating = 0;
    }

    bool onHostOpcode10() override { return true; }

    void onPinChanged(WQGuiPin *pin) override {
        switch (pin->index) {
        case 0: onListText(); return;
        case 1: onSelection(); return;
        case 3: onValueText(); return;
        default: return;
        }
    }

private:
    // GH_PIN_GET_TEXT through the pin operation, keeping none of the text.
    void readText(int32_t pin) {
        char nothing[1];
        getPin(pin)->getValueText(nothing, sizeof nothing);
    }

    void onListText() {
        readText(0);
        callHost(GH_PIN_SET_LIST_TEXT, 1, 0, const_cast<char *>(s_answers->listText), 0.0f);
        readText(3);
        getPin(1)->setValueInt(s_answers->valueTextNumber);
    }

    void onSelection() {
        const int32_t selected = getPin(1)->getValueInt();
        readText(0);
        if (selected < 0 || selected >= s_answers->itemCount)
            return;
        getPin(2)->setValueText(s_answers->names[selected]);
        m_updating = 1;
        const int32_t now = getPin(1)->getValueInt();
        getPin(3)->setValueText(
            now >= 0 && now < s_answers->numberCount ? s_answers->numberTexts[now] : "");
        m_updating = 0;
    }

    void onValueText() {
        if (m_updating == 1)
            return;
        readText(3);
        getPin(1)->setValueInt(s_answers->valueTextNumber);
    }

    int32_t m_updating = 0;
};

constexpr wq::ModuleDescription kDescription = {kName, kName, kName, 512, 256};

} // namespace

// The floor has a GUI side only.
WQ_MODULE_ENTRY_POINTS(kDescription, void, FrameworkFloorGui);

extern "C" WQ_EXPORT void WQ_ABI floorSetAnswers(const FloorAnswers *answers) {
    s_answers = answers;
}
