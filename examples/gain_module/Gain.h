// Gain.h - the example module "Gain": an audio input, an audio output and a
// gain, the output being the input times the gain, sample by sample.
//
// Pins (every declaration gets an audio-side pin, so the declaration and
// the audio-side index are the same):
//   0 "IN"    samples in (DT_FSAMPLE); the host fills its buffer each block
//   1 "OUT"   samples out (DT_FSAMPLE); the host reads its buffer after each
//             process call
//   2 "GAIN"  the factor (DT_FLOAT), 1 until the host writes another one
//
// The gain pin declares a variable, m_gain: the host writes a new factor
// there when it takes effect and then delivers an EV_PIN_STATUS event for
// pin 2 at that sample clock. The module notes each change with its clock
// and applies it from exactly that sample on, wherever it falls in a block.
// Nothing is allocated after open: the notes live in a fixed array.
#pragma once

#include "wq_sdk2/WQModule_base.h"

#include <array>
#include <cstdint>

class Gain : public WQModule_base {
public:
    Gain(WQHostCallback hostCallback, intptr_t hostValue);

    // Declarations 0 to 2; any other index is refused.
    bool getPinProperties(int32_t index, WQPinProperties *properties) override;

protected:
    // Installs the process function, then builds the pins.
    void open() override;
    // A status event for the gain pin: the host has written m_gain, and the
    // factor changes at the event's sample clock.
    void onPinStatusChange(WQPin *pin) override;

private:
    // The process function: out[i] = in[i] * gain, for the samples of the
    // block from the current sample clock on.
    void process();

    struct Change {
        uint32_t clock; // the sample the factor applies from
        float gain;
    };
    // More changes than this within one block: the last one is overwritten,
    // so the newest factor still takes effect.
    static constexpr int32_t kMaxChanges = 64;

    float m_gain = 1.0f;    // the gain pin's variable, written by the host
    float m_current = 1.0f; // the factor of the sample being computed
    std::array<Change, kMaxChanges> m_changes{};
    int32_t m_changeCount = 0; // pending changes, in clock order
};
