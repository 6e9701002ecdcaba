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

// A mono 32-bit float WAV file written as samples come. The header is kept
// up to date after every write, so what was written is a valid file even if
// the program ends without closing it.
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
    std::unique_ptr<Backend> m_backend;
};

// The whole of `samples` as a mono 32-bit float WAV file.
void writeWav(const std::string &path, double rate, const std::vector<float> &samples);

} // namespace wqhost
