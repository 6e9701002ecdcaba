// A gain for the host's audio tests, written on the framework as an author
// writes one: pin 0 "IN" (audio input, its buffer address in a variable of
// the module), pin 1 "GAIN" (a float in a variable, 0 at first), pin 2 "OUT"
// (audio output, its buffer from AH_PIN_BUFFER). Each process call writes
// OUT = IN * GAIN for the block size the host last told it.
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_module_entry.h"

#include <cstdint>

namespace {

constexpr int32_t kInPin = 0;
constexpr int32_t kGainPin = 1;
constexpr int32_t kOutPin = 2;

class Gain : public WQModule_base {
public:
    Gain(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}

    void open() override {
        setProcessFunction(wq::memberRef<&Gain::process>());
        WQModule_base::open();
    }

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        switch (index) {
        case kInPin:
            properties->name = "IN";
            properties->direction = DR_IN;
            properties->datatype = DT_FSAMPLE;
            properties->variable = &m_in;
            return true;
        case kGainPin:
            properties->name = "GAIN";
            properties->direction = DR_IN;
            properties->datatype = DT_FLOAT;
            properties->variable = &m_gain;
            return true;
        case kOutPin:
            properties->name = "OUT";
            properties->direction = DR_OUT;
            properties->datatype = DT_FSAMPLE;
            return true;
        default: return false;
        }
    }

private:
    void process() {
        if (pinCount() <= kOutPin || !m_in)
            return; // a host that sets up no buffers
        float *out = getPin(kOutPin)->storage().buffer;
        if (!out)
            return;
        const int32_t n = blockSize();
        for (int32_t i = 0; i < n; ++i)
            out[i] = m_in[i] * m_gain;
    }

    float *m_in = nullptr;
    float m_gain = 0.0f;
};

// The GUI side has nothing to do.
class GainGui : public WQGUI_base {
public:
    GainGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}
};

constexpr char kName[] = "Test Gain";
constexpr char kAbout[] = "OUT is IN times GAIN";
constexpr wq::ModuleDescription kGain = {kName, kName, kAbout, 0, 0};

} // namespace

WQ_MODULE_ENTRY_POINTS(kGain, Gain, GainGui);
