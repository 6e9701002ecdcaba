// "Inverter", a module with an audio side only, as an author writes one on
// wq_sdk2: pin 0 "IN" takes samples, pin 1 "OUT" gives them back with the
// sign turned. There is nothing to show, so the GUI class is `void` and
// makeModule answers WQ_TYPE_GUI with null. The host's tests run it through
// `info`, `run` and `panel`, which must drive the audio side alone.
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/WQMemberRef.h"
#include "wq_sdk2/wq_module_entry.h"

namespace {

constexpr int32_t kIn = 0; // audio-side pins: both declarations get one
constexpr int32_t kOut = 1;

class Inverter : public WQModule_base {
public:
    Inverter(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        switch (index) {
        case kIn:
            properties->name = "IN";
            properties->direction = DR_IN;
            break;
        case kOut:
            properties->name = "OUT";
            properties->direction = DR_OUT;
            break;
        default: return false;
        }
        properties->datatype = DT_FSAMPLE;
        properties->variable = nullptr;
        properties->flags = 0;
        return true;
    }

    void open() override {
        setProcessFunction(wq::memberRef<&Inverter::process>());
        WQModule_base::open();
    }

private:
    void process() {
        if (pinCount() <= kOut)
            return; // a host that counted fewer pins
        const float *in = getPin(kIn)->storage().buffer;
        float *out = getPin(kOut)->storage().buffer;
        if (!in || !out)
            return;
        const int32_t n = blockSize();
        for (int32_t i = 0; i < n; ++i)
            out[i] = -in[i];
    }
};

constexpr char kName[] = "Inverter";
constexpr char kAbout[] = "Turns the sign of every sample (audio side only)";
constexpr wq::ModuleDescription kInverter = {kName, kName, kAbout, 512, 256};

} // namespace

WQ_MODULE_ENTRY_POINTS(kInverter, Inverter, void);
