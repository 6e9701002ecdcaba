#include "Gain.h"

#include "wq_sdk2/WQMemberRef.h"
#include "wq_sdk2/WQPin.h"

namespace {

constexpr int32_t kInPin = 0;
constexpr int32_t kOutPin = 1;
constexpr int32_t kGainPin = 2;

} // namespace

Gain::Gain(WQHostCallback hostCallback, intptr_t hostValue)
    : WQModule_base(hostCallback, hostValue) {}

bool Gain::getPinProperties(int32_t index, WQPinProperties *properties) {
    // The host's record is not cleared: write every field the host reads.
    switch (index) {
    case kInPin:
        properties->name = "IN";
        properties->direction = DR_IN;
        properties->datatype = DT_FSAMPLE;
        properties->variable = nullptr; // the host's buffer, kept in the pin
        break;
    case kOutPin:
        properties->name = "OUT";
        properties->direction = DR_OUT;
        properties->datatype = DT_FSAMPLE;
        properties->variable = nullptr;
        break;
    case kGainPin:
        properties->name = "GAIN";
        properties->direction = DR_IN;
        properties->datatype = DT_FLOAT;
        properties->variable = &m_gain; // the host writes new values here
        break;
    default: return false; // also index -1, which the framework asks for
    }
    properties->flags = 0;
    return true;
}

void Gain::open() {
    setProcessFunction(wq::memberRef<&Gain::process>());
    WQModule_base::open();
    m_current = m_gain;
    m_changeCount = 0;
}

void Gain::onPinStatusChange(WQPin *pin) {
    if (pin->index() != kGainPin)
        return;
    // Events reach the module at their own sample clock, in time order, so
    // the notes stay sorted by clock.
    const Change change{SampleClock(), m_gain};
    if (m_changeCount < kMaxChanges)
        m_changes[m_changeCount++] = change;
    else
        m_changes[kMaxChanges - 1] = change;
}

void Gain::process() {
    if (pinCount() <= kGainPin)
        return; // a host that counted fewer pins than we declare
    const float *in = getPin(kInPin)->storage().buffer;
    float *out = getPin(kOutPin)->storage().buffer;
    if (!in || !out)
        return;
    // The buffers start at the host's buffer clock; a host may call the
    // process function again later in the same block (after a change), and
    // then only the samples from the current clock on are computed.
    const uint32_t first = static_cast<uint32_t>(callHost(AH_PIN_BUFFER_CLOCK, kOutPin));
    const int32_t n = blockSize();
    const uint32_t ahead = SampleClock() - first;
    const int32_t from = ahead < static_cast<uint32_t>(n) ? static_cast<int32_t>(ahead) : 0;

    int32_t used = 0;
    for (int32_t i = from; i < n; ++i) {
        const uint32_t clock = first + static_cast<uint32_t>(i);
        // A change applies from its own sample on (clocks compared so that
        // a wrap of the 32-bit clock does no harm).
        while (used < m_changeCount && static_cast<int32_t>(m_changes[used].clock - clock) <= 0)
            m_current = m_changes[used++].gain;
        out[i] = in[i] * m_current;
    }
    // What is left belongs to later blocks.
    for (int32_t k = used; k < m_changeCount; ++k)
        m_changes[k - used] = m_changes[k];
    m_changeCount -= used;
}
