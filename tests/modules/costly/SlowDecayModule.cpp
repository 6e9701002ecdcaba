// "Slow Decay", a module whose cost explodes on denormal numbers, for the
// tests of `wqhost cost`: pin 0 "IN" feeds a bank of one-pole feedback
// filters, pin 1 "OUT" gives their sum. Each sample takes many multiply-adds
// on the filters' state, in plain float arithmetic without flush-to-zero,
// and nothing flushes the state when it decays towards 0: with input made of
// denormal numbers the whole state is denormal.
//
// How much a processor slows down on denormal operands differs: many take a
// microcode assist of some hundred cycles per operation, recent ones nearly
// none. So that the fault is the same on every machine, the filter also pays
// what such a processor pays: every state value that is denormal after a
// step costs a long run of extra arithmetic, as an assist would.
#include "wq_sdk2/WQMemberRef.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_module_entry.h"

#include <cmath>

namespace {

constexpr int32_t kIn = 0;
constexpr int32_t kOut = 1;
constexpr int kFilters = 16;
constexpr int kPasses = 4;       // multiply-adds per filter and sample
constexpr int kAssistSteps = 64; // the price of one denormal state value

class SlowDecay : public WQModule_base {
public:
    SlowDecay(WQHostCallback hostCallback, intptr_t hostValue)
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
        setProcessFunction(wq::memberRef<&SlowDecay::process>());
        WQModule_base::open();
    }

private:
    // What an assist costs: dependent arithmetic whose result is kept.
    void assist(float value) {
        double x = static_cast<double>(value) + 1.0;
        for (int k = 0; k < kAssistSteps; ++k)
            x = x * 0.999999 + 1e-9;
        m_assisted += x;
    }

    void process() {
        if (pinCount() <= kOut)
            return;
        const float *in = getPin(kIn)->storage().buffer;
        float *out = getPin(kOut)->storage().buffer;
        if (!in || !out)
            return;
        const int32_t n = blockSize();
        for (int32_t i = 0; i < n; ++i) {
            float sum = 0.0f;
            for (int f = 0; f < kFilters; ++f) {
                float s = m_state[f];
                for (int p = 0; p < kPasses; ++p)
                    s = s * 0.5f + in[i] * 0.125f;
                if (std::fpclassify(s) == FP_SUBNORMAL)
                    assist(s);
                m_state[f] = s;
                sum += s;
            }
            out[i] = sum;
        }
    }

    float m_state[kFilters] = {};
    double m_assisted = 0.0;
};

constexpr char kName[] = "Slow Decay";
constexpr char kAbout[] = "Feedback filters whose decaying state is never flushed";
constexpr wq::ModuleDescription kSlowDecay = {kName, kName, kAbout, 512, 256};

} // namespace

WQ_MODULE_ENTRY_POINTS(kSlowDecay, SlowDecay, void);
