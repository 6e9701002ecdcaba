#include "host/audio/FloatWav.h"

#include "host/platform/HostError.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace wqhost {

namespace {

constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// Header: RIFF(12) fmt(8 + 18) fact(8 + 4) data(8).
constexpr long kHeaderBytes = 12 + 26 + 12 + 8;

void put16(unsigned char *p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint16_t get16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string fileError(const std::string &path, const std::string &what) {
    return "'" + path + "': " + what;
}

} // namespace

WavData readFloatWav(const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw HostError(fileError(path, std::string("cannot open: ") + std::strerror(errno)));
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(f);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        throw HostError(fileError(path, "not a WAV file (no RIFF WAVE header)"));
    WavData out;
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const unsigned char *head = bytes.data() + pos;
        const uint32_t size = get32(head + 4);
        const size_t body = pos + 8;
        const size_t available = bytes.size() - body;
        if (std::memcmp(head, "fmt ", 4) == 0) {
            if (size < 16 || available < 16)
                throw HostError(fileError(path, "its format chunk is cut short"));
            const unsigned char *fmt = bytes.data() + body;
            uint16_t tag = get16(fmt);
            out.channels = get16(fmt + 2);
            out.rate = get32(fmt + 4);
            const uint16_t bits = get16(fmt + 14);
            if (tag == kFormatExtensible && size >= 40 && available >= 40)
                tag = get16(fmt + 24); // the sub-format's first two bytes
            if (tag != kFormatFloat || bits != 32 || out.channels < 1)
                throw HostError(fileError(
                    path, "this build reads only 32-bit float WAV files (format " +
                              std::to_string(tag) + ", " + std::to_string(bits) + " bits)"));
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat)
                throw HostError(fileError(path, "its data come before its format"));
            // A writer that ended early may leave the size too large.
            const size_t length = std::min<size_t>(size, available);
            const size_t frameBytes = 4u * static_cast<size_t>(out.channels);
            const size_t frames = length / frameBytes;
            out.samples.resize(frames);
            for (size_t i = 0; i < frames; ++i) {
                const uint32_t bits = get32(bytes.data() + body + i * frameBytes);
                std::memcpy(&out.samples[i], &bits, sizeof bits);
            }
            return out;
        }
        pos = body + size + (size & 1);
    }
    throw HostError(
        fileError(path, haveFormat ? "it has no data chunk" : "it has no format chunk"));
}

FloatWavWriter::FloatWavWriter(const std::string &path, double rate)
    : m_path(path), m_rate(static_cast<uint32_t>(std::lround(rate))) {
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file)
        throw HostError(fileError(path, std::string("cannot write: ") + std::strerror(errno)));
    writeHeader();
}

FloatWavWriter::~FloatWavWriter() {
    try {
        close();
    } catch (const HostError &) {
        // a destructor cannot report it; close() itself does
    }
}

void FloatWavWriter::writeHeader() {
    const uint64_t dataBytes64 = m_frames * 4u;
    const uint32_t dataBytes = dataBytes64 > 0xFFFFFFFFull - kHeaderBytes
                                   ? static_cast<uint32_t>(0xFFFFFFFFull - kHeaderBytes)
                                   : static_cast<uint32_t>(dataBytes64);
    unsigned char h[kHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, static_cast<uint32_t>(kHeaderBytes - 8) + dataBytes);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    put32(h + 16, 18);
    put16(h + 20, kFormatFloat);
    put16(h + 22, 1);           // channels
    put32(h + 24, m_rate);      // frames per second
    put32(h + 28, m_rate * 4u); // bytes per second
    put16(h + 32, 4);           // bytes per frame
    put16(h + 34, 32);          // bits per sample
    put16(h + 36, 0);           // no extension
    std::memcpy(h + 38, "fact", 4);
    put32(h + 42, 4);
    put32(h + 46, static_cast<uint32_t>(m_frames));
    std::memcpy(h + 50, "data", 4);
    put32(h + 54, dataBytes);
    std::fseek(m_file, 0, SEEK_SET);
    if (std::fwrite(h, 1, sizeof h, m_file) != sizeof h)
        throw HostError(fileError(m_path, "cannot write its header"));
    std::fseek(m_file, 0, SEEK_END);
}

void FloatWavWriter::write(const float *samples, size_t count) {
    if (!m_file)
        throw HostError(fileError(m_path, "written after it was closed"));
    unsigned char buffer[4096];
    size_t done = 0;
    while (done < count) {
        const size_t n = std::min(count - done, sizeof buffer / 4);
        for (size_t i = 0; i < n; ++i) {
            uint32_t bits = 0;
            std::memcpy(&bits, &samples[done + i], sizeof bits);
            put32(buffer + 4 * i, bits);
        }
        if (std::fwrite(buffer, 4, n, m_file) != n)
            throw HostError(fileError(m_path, "cannot write its samples (disk full?)"));
        done += n;
    }
    m_frames += count;
}

void FloatWavWriter::updateHeader() {
    if (!m_file)
        return;
    writeHeader();
    std::fflush(m_file);
}

void FloatWavWriter::close() {
    if (!m_file)
        return;
    std::FILE *file = m_file;
    try {
        writeHeader();
    } catch (const HostError &) {
        std::fclose(file);
        m_file = nullptr;
        throw;
    }
    m_file = nullptr;
    if (std::fclose(file) != 0)
        throw HostError(fileError(m_path, "cannot finish writing it (disk full?)"));
}

} // namespace wqhost
