#include "host/audio/WavFile.h"

#include "host/audio/FloatWav.h"
#include "host/platform/HostError.h"

#if defined(WQ_HAVE_SNDFILE)
#  include <sndfile.h>
#endif

#include <algorithm>

namespace wqhost {

#if defined(WQ_HAVE_SNDFILE)

class WavWriter::Backend {
public:
    Backend(const std::string &path, double rate) : m_path(path) {
        SF_INFO info{};
        info.samplerate = static_cast<int>(rate + 0.5);
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        m_file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!m_file)
            throw HostError("'" + path + "': cannot write: " + sf_strerror(nullptr));
        // The sizes are written by updateHeader() and at close, not after
        // every write.
        sf_command(m_file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_FALSE);
    }
    ~Backend() { close(); }

    void write(const float *samples, size_t count) {
        if (!m_file)
            throw HostError("'" + m_path + "': written after it was closed");
        const sf_count_t n = static_cast<sf_count_t>(count);
        if (sf_writef_float(m_file, samples, n) != n)
            throw HostError("'" + m_path + "': cannot write its samples: " + sf_strerror(m_file));
    }

    void updateHeader() {
        if (m_file)
            sf_command(m_file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    }

    void close() {
        if (m_file)
            sf_close(m_file);
        m_file = nullptr;
    }

private:
    std::string m_path;
    SNDFILE *m_file = nullptr;
};

WavData readWav(const std::string &path) {
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw HostError("'" + path + "': cannot read it as a sound file: " + sf_strerror(nullptr));
    WavData out;
    out.rate = info.samplerate;
    out.channels = info.channels;
    std::vector<float> frames(static_cast<size_t>(std::max(info.channels, 1)) * 4096);
    sf_count_t got = 0;
    while ((got = sf_readf_float(file, frames.data(), 4096)) > 0)
        for (sf_count_t i = 0; i < got; ++i)
            out.samples.push_back(frames[static_cast<size_t>(i * info.channels)]);
    sf_close(file);
    return out;
}

std::string wavLibrary() { return sf_version_string(); }

#else

// No libsndfile on this target: the host's own code for the one format it
// records.
class WavWriter::Backend {
public:
    Backend(const std::string &path, double rate) : m_writer(path, rate) {}
    void write(const float *samples, size_t count) { m_writer.write(samples, count); }
    void updateHeader() { m_writer.updateHeader(); }
    void close() { m_writer.close(); }

private:
    FloatWavWriter m_writer;
};

WavData readWav(const std::string &path) { return readFloatWav(path); }

std::string wavLibrary() { return "FloatWav (32-bit float WAV only)"; }

#endif

WavWriter::WavWriter(const std::string &path, double rate)
    : m_path(path), m_backend(std::make_unique<Backend>(path, rate)) {}

WavWriter::~WavWriter() = default;

void WavWriter::write(const float *samples, size_t count) {
    if (count == 0)
        return;
    m_backend->write(samples, count);
    m_frames += count;
    if (m_frames - m_headerFrames >= kWavHeaderInterval) {
        m_backend->updateHeader();
        m_headerFrames = m_frames;
    }
}

void WavWriter::close() { m_backend->close(); }

void writeWav(const std::string &path, double rate, const std::vector<float> &samples) {
    WavWriter writer(path, rate);
    writer.write(samples.data(), samples.size());
    writer.close();
}

} // namespace wqhost
