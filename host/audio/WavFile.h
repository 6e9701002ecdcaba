// WavFile - sound files as the host reads signals from and records samples
// to: mono 32-bit float WAV written, any WAV read (its first channel, as
// floats). Both go through libsndfile; on a target where Debian has no
// libsndfile (the mingw Windows build) FloatWav, which reads and writes
// exactly the 32-bit float WAV that recording writes, stands in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

struct WavData {
    double rate = 0.0;          // frames per second, as the file says
    int channels = 0;           // channels in the file
    std::vector<float> samples; // the first channel
};

// Reads a WAV file. Throws HostError naming the file and what is wrong.
WavData readWav(const std::string &path);

// Which code reads and writes WAV files in this build: "libsndfile N.N.N"
// or "FloatWav (32-bit float WAV only)".
std::string wavLibrary();

// How many frames a WavWriter writes between two updates of its header.
// Rewriting the header after every write costs a seek and a write a block,
// which dominates at a block size of 1; every 64 Ki frames keeps that cost
// small and still leaves a program that dies before close() a valid file
// of all but its last (at most) 64 Ki frames.
constexpr uint64_t kWavHeaderInterval = 65536;

// A mono 32-bit float WAV file written as samples come. The header's sizes
// are brought up to date every kWavHeaderInterval frames and at close();
// the bytes of the closed file do not depend on how the samples were cut
// into writes.
class WavWriter {
public:
    // Creates (or replaces) the file. Throws HostError when it cannot.
    WavWriter(const std::string &path, double rate);
    ~WavWriter();
    WavWriter(const WavWriter &) = delete;
    WavWriter &operator=(const WavWriter &) = delete;

    // Throws HostError when the file cannot take them.
    void write(const float *samples, size_t count);
    // Ends the file; further writes are refused.
    void close();

    const std::string &path() const noexcept { return m_path; }
    uint64_t frames() const noexcept { return m_frames; }

    class Backend;

private:
    std::string m_path;
    uint64_t m_frames = 0;
    uint64_t m_headerFrames = 0; // the frames the header counts
    std::unique_ptr<Backend> m_backend;
};

// The whole of `samples` as a mono 32-bit float WAV file.
void writeWav(const std::string &path, double rate, const std::vector<float> &samples);

} // namespace wqhost
