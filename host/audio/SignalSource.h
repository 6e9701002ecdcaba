// SignalSource - what feeds an audio input: a constant, a sine, an impulse,
// a step, noise from a seed, or the samples of a WAV file. Every source is
// exact and repeatable: sample n (counted from the clock where the source
// took effect) is a function of n and the source's settings alone, the same
// whichever way blocks are cut and on every build target.
//
//   constant V       V at every sample
//   sine HZ AMP      AMP * sin(2 pi HZ n / rate) (ExactSine)
//   impulse [AT]     1 at sample AT (0 unless given), 0 elsewhere
//   step V AT        0 before sample AT, V from AT on
//   noise AMP [SEED] AMP * a number in [-1, 1) from SEED (1 unless given)
//                    and n (NoiseSequence)
//   file PATH.wav    the file's first channel, then 0; the file's own rate
//                    is not converted
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

struct SignalSetting {
    enum class Kind { Constant, Sine, Impulse, Step, Noise, File };
    Kind kind = Kind::Constant;
    float value = 0.0f; // constant, step: the value; sine, noise: the amplitude
    double hz = 0.0;    // sine
    uint64_t at = 0;    // impulse, step: the sample, from the source's start
    uint64_t seed = 1;  // noise
    std::string path;   // file, as written
};

// Reads the words after the pin of `signal PIN ...` ("sine", "440", "0.5").
// Throws std::invalid_argument with a message that says what is wrong.
SignalSetting parseSignalSpec(const std::vector<std::string> &words);

// The words again, in the form parseSignalSpec reads.
std::string signalText(const SignalSetting &setting);

class SignalSource {
public:
    virtual ~SignalSource() = default;
    // Samples n .. n + count - 1 into out[0 .. count).
    virtual void render(uint64_t n, float *out, uint32_t count) const = 0;
    // Whether every sample is the same (the host then announces the pin's
    // change once, not a streaming signal).
    virtual bool isConstant() const noexcept { return false; }
    const SignalSetting &setting() const noexcept { return m_setting; }

protected:
    explicit SignalSource(SignalSetting setting) : m_setting(std::move(setting)) {}

private:
    SignalSetting m_setting;
};

// The source for `setting` at `rate`; a file's path is read relative to
// `folder` unless absolute. Throws HostError for a file that cannot be read.
std::unique_ptr<SignalSource> makeSignal(const SignalSetting &setting, double rate,
                                         const std::string &folder = std::string());

} // namespace wqhost
