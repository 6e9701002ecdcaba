#include "host/audio/AudioStreams.h"

#include "host/platform/HostError.h"

#include <algorithm>

namespace wqhost {

AudioStreams::AudioStreams(size_t captureLimit) : m_limit(captureLimit) {}

void AudioStreams::setSignal(AudioHost &host, int32_t pin, std::unique_ptr<SignalSource> source) {
    const AudioPinSlot *slot = host.audioPin(pin);
    if (!slot || !slot->isSampleInput())
        throw HostError("audio pin " + std::to_string(pin) + " is no audio input");
    const uint32_t clock = host.sampleClock();
    host.scheduleStatus(pin, clock, source->isConstant() ? kStatusChanged : kStatusStreaming);
    Feed &feed = m_feeds[pin];
    feed.source = std::move(source);
    feed.start = clock;
}

const SignalSource *AudioStreams::signal(int32_t pin) const noexcept {
    auto it = m_feeds.find(pin);
    return it == m_feeds.end() ? nullptr : it->second.source.get();
}

void AudioStreams::startRecording(int32_t pin, const std::string &path, double rate) {
    stopRecording(pin);
    m_recordings[pin] = std::make_unique<WavWriter>(path, rate);
}

bool AudioStreams::stopRecording(int32_t pin) {
    auto it = m_recordings.find(pin);
    if (it == m_recordings.end())
        return false;
    it->second->close();
    m_recordings.erase(it);
    return true;
}

void AudioStreams::stopAllRecordings() {
    for (auto &r : m_recordings)
        r.second->close();
    m_recordings.clear();
}

const WavWriter *AudioStreams::recording(int32_t pin) const noexcept {
    auto it = m_recordings.find(pin);
    return it == m_recordings.end() ? nullptr : it->second.get();
}

void AudioStreams::beginCapture() noexcept { m_captures.clear(); }

const SampleCapture *AudioStreams::captured(int32_t pin) const noexcept {
    auto it = m_captures.find(pin);
    return it == m_captures.end() ? nullptr : &it->second;
}

void AudioStreams::reset() {
    stopAllRecordings();
    m_feeds.clear();
    m_captures.clear();
}

void AudioStreams::keep(int32_t pin, uint32_t clock, const float *samples, uint32_t count) {
    auto found = m_captures.find(pin);
    if (found == m_captures.end()) {
        found = m_captures.emplace(pin, SampleCapture()).first;
        found->second.startClock = clock;
    }
    SampleCapture &c = found->second;
    const size_t room = m_limit > c.samples.size() ? m_limit - c.samples.size() : 0;
    const size_t n = std::min<size_t>(room, count);
    c.samples.insert(c.samples.end(), samples, samples + n);
    c.total += count;
    auto r = m_recordings.find(pin);
    if (r != m_recordings.end())
        r->second->write(samples, count);
}

void AudioStreams::fillInputs(AudioHost &host, uint32_t clock, uint32_t count) {
    for (const AudioPinSlot &pin : host.audioPins()) {
        if (!pin.isSampleInput())
            continue;
        float *buffer = host.pinBuffer(pin.index);
        auto feed = m_feeds.find(pin.index);
        if (feed == m_feeds.end() || clock < feed->second.start)
            std::fill(buffer, buffer + count, 0.0f);
        else
            feed->second.source->render(clock - feed->second.start, buffer, count);
    }
}

void AudioStreams::inputsGiven(AudioHost &host, uint32_t clock, uint32_t count) {
    for (const AudioPinSlot &pin : host.audioPins())
        if (pin.isSampleInput())
            keep(pin.index, clock, host.pinBuffer(pin.index), count);
}

void AudioStreams::takeOutputs(AudioHost &host, uint32_t clock, uint32_t count) {
    for (const AudioPinSlot &pin : host.audioPins())
        if (pin.isSampleOutput())
            keep(pin.index, clock, host.pinBuffer(pin.index), count);
}

} // namespace wqhost
