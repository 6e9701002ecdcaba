// AudioStreams - the samples around an audio object's process calls, as the
// host's SampleIo: what feeds each audio input (a SignalSource, from the
// clock where it took effect; silence without one), the WAV files pins are
// recorded to, and the samples every audio pin carried during the last
// `process` (inputs as given, outputs as the module left them), which the
// sample expectations read.
#pragma once

#include "host/audio/SignalSource.h"
#include "host/audio/WavFile.h"
#include "host/core/AudioHost.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

// The samples of one pin during one `process`.
struct SampleCapture {
    uint32_t startClock = 0;    // the clock of samples[0]
    std::vector<float> samples; // at most the capture limit
    uint64_t total = 0;         // samples the pin carried, kept or not
    bool cut() const noexcept { return total > samples.size(); }
};

class AudioStreams : public SampleIo {
public:
    // Samples kept per pin and `process`: 2^22 (87 s at 48 kHz, 16 MiB).
    static constexpr size_t kDefaultCaptureLimit = size_t{1} << 22;

    explicit AudioStreams(size_t captureLimit = kDefaultCaptureLimit);

    // `source` feeds audio input `pin` from the host's sample clock on; the
    // host delivers EV_PIN_STATUS for the pin there (kStatusChanged for a
    // constant, kStatusStreaming for every other source). Throws HostError
    // for a pin that is not an audio input.
    void setSignal(AudioHost &host, int32_t pin, std::unique_ptr<SignalSource> source);
    const SignalSource *signal(int32_t pin) const noexcept;

    // Records audio pin `pin` (an input or an output) to `path` from the
    // next process call on, at `rate`; a recording of the pin already on is
    // ended first. Throws HostError when the file cannot be written.
    void startRecording(int32_t pin, const std::string &path, double rate);
    // Ends the pin's recording; false when there was none.
    bool stopRecording(int32_t pin);
    void stopAllRecordings();
    // The file a pin is recorded to, or null.
    const WavWriter *recording(int32_t pin) const noexcept;
    bool anyRecording() const noexcept { return !m_recordings.empty(); }

    // Forgets the last capture: called as a `process` begins.
    void beginCapture() noexcept;
    // What audio pin `pin` carried during the last `process`, or null when
    // it carried nothing (no process since, or not a sample pin).
    const SampleCapture *captured(int32_t pin) const noexcept;

    // Sources, recordings and captures all forgotten (a new object).
    void reset();

    void fillInputs(AudioHost &host, uint32_t clock, uint32_t count) override;
    void inputsGiven(AudioHost &host, uint32_t clock, uint32_t count) override;
    void takeOutputs(AudioHost &host, uint32_t clock, uint32_t count) override;

private:
    struct Feed {
        std::unique_ptr<SignalSource> source;
        uint32_t start = 0; // the clock of the source's sample 0
    };

    void keep(int32_t pin, uint32_t clock, const float *samples, uint32_t count);

    size_t m_limit;
    std::map<int32_t, Feed> m_feeds;
    std::map<int32_t, std::unique_ptr<WavWriter>> m_recordings;
    std::map<int32_t, SampleCapture> m_captures;
};

} // namespace wqhost
