// A correct module with an audio side only, written the way the guide
// teaches: a gain stage with a curve from a constant table. Its control pins
// keep their values in members of the object (each declaration names its
// own member as the pin's variable), so every object has its own.
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_module_entry.h"

#include <array>
#include <cstdint>

namespace {

constexpr int32_t kInPin = 0;
constexpr int32_t kOutPin = 1;
constexpr int32_t kGainPin = 2;
constexpr int32_t kCurvePin = 3;
constexpr int32_t kStepsPin = 4;
constexpr int32_t kMutePin = 5;
constexpr int32_t kTrimPin = 6;
constexpr int32_t kSidePin = 7;

// The gain curve: 17 points from silence to full level, looked up by the
// gain pin's value (0..1) and the curve chosen.
constexpr std::array<std::array<float, 17>, 2> kCurves = {{
    {0.0f, 0.0625f, 0.125f, 0.1875f, 0.25f, 0.3125f, 0.375f, 0.4375f, 0.5f, 0.5625f, 0.625f,
     0.6875f, 0.75f, 0.8125f, 0.875f, 0.9375f, 1.0f},
    {0.0f, 0.0039f, 0.0156f, 0.0352f, 0.0625f, 0.0977f, 0.1406f, 0.1914f, 0.25f, 0.3164f, 0.3906f,
     0.4727f, 0.5625f, 0.6602f, 0.7656f, 0.8789f, 1.0f},
}};

class CorrectGain : public WQModule_base {
public:
    CorrectGain(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}

    void open() override {
        setProcessFunction(wq::memberRef<&CorrectGain::process>());
        WQModule_base::open();
    }

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        properties->variable = nullptr;
        properties->flags = 0;
        switch (index) {
        case kInPin: return sample(properties, "IN", DR_IN);
        case kOutPin: return sample(properties, "OUT", DR_OUT);
        case kSidePin: return sample(properties, "SIDE OUT", DR_OUT);
        case kGainPin:
            properties->name = "GAIN";
            properties->direction = DR_IN;
            properties->datatype = DT_FLOAT;
            properties->variable = &m_gain;
            return true;
        case kTrimPin:
            properties->name = "TRIM";
            properties->direction = DR_IN;
            properties->datatype = DT_FLOAT;
            properties->variable = &m_trim;
            return true;
        case kCurvePin:
            properties->name = "CURVE";
            properties->direction = DR_IN;
            properties->datatype = DT_ENUM;
            properties->list_text = "linear,square";
            properties->variable = &m_curve;
            return true;
        case kStepsPin:
            properties->name = "STEPS";
            properties->direction = DR_IN;
            properties->datatype = DT_INT;
            properties->variable = &m_steps;
            return true;
        case kMutePin:
            properties->name = "MUTE";
            properties->direction = DR_IN;
            properties->datatype = DT_BYTE;
            properties->variable = &m_mute;
            return true;
        default: return false;
        }
    }

private:
    static bool sample(WQPinProperties *properties, const char *name, int32_t direction) {
        properties->name = name;
        properties->direction = direction;
        properties->datatype = DT_FSAMPLE;
        return true;
    }

    static float *buffer(WQPin *pin) {
        float *const *address = static_cast<float *const *>(pin->variable());
        return address ? *address : nullptr;
    }

    float level() const {
        float gain = m_gain + m_trim;
        gain = gain < 0.0f ? 0.0f : (gain > 1.0f ? 1.0f : gain);
        const auto &curve = kCurves[m_curve == 1 ? 1 : 0];
        const int32_t steps = m_steps > 0 && m_steps < 16 ? m_steps : 16;
        const auto point = static_cast<size_t>(gain * static_cast<float>(steps) + 0.5f) * 16 /
                           static_cast<size_t>(steps);
        return m_mute != 0 ? 0.0f : curve[point > 16 ? 16 : point];
    }

    void process() {
        if (pinCount() <= kOutPin)
            return; // a host that counts fewer pins than declared
        const float *in = buffer(getPin(kInPin));
        float *out = buffer(getPin(kOutPin));
        float *side = pinCount() > kSidePin ? buffer(getPin(kSidePin)) : nullptr;
        const int32_t n = blockSize();
        const float gain = level();
        for (int32_t i = 0; i < n; ++i) {
            const float x = in ? in[i] : 0.0f;
            if (out)
                out[i] = x * gain;
            if (side)
                side[i] = x * (1.0f - gain);
        }
    }

    float m_gain = 1.0f;
    float m_trim = 0.0f;
    int32_t m_curve = 0;
    int32_t m_steps = 16;
    uint8_t m_mute = 0;
};

constexpr char kName[] = "Correct Gain";
constexpr char kAbout[] = "A gain stage with a linear or square curve";
constexpr wq::ModuleDescription kDescription = {kName, "correct.gain", kAbout, 0, 0};

} // namespace

WQ_MODULE_ENTRY_POINTS(kDescription, CorrectGain, void);
