// FloatWav - the one WAV format the host records, read and written without
// a library: RIFF WAVE, format 3 (IEEE float), 32-bit samples, little-endian
// (what libsndfile writes for SF_FORMAT_WAV | SF_FORMAT_FLOAT). It serves the
// builds that have no libsndfile (mingw); a native test checks that each
// reads back exactly what the other wrote.
#pragma once

#include "host/audio/WavFile.h"

#include <cstdio>
#include <string>

namespace wqhost {

// Reads a 32-bit float WAV file (any number of channels; the first is
// kept). Throws HostError for anything else.
WavData readFloatWav(const std::string &path);

// A 32-bit float mono WAV file. Its header is written when it is created
// (sizes 0) and its sizes again by updateHeader() and close(); samples go
// straight after the header.
class FloatWavWriter {
public:
    FloatWavWriter(const std::string &path, double rate); // throws HostError
    ~FloatWavWriter();
    FloatWavWriter(const FloatWavWriter &) = delete;
    FloatWavWriter &operator=(const FloatWavWriter &) = delete;

    void write(const float *samples, size_t count); // throws HostError
    // The sizes of what was written so far into the header, and everything
    // handed to the system: a file that is never closed reads up to here.
    void updateHeader();
    void close(); // updates the header; throws HostError when it cannot

private:
    void writeHeader();

    std::string m_path;
    std::FILE *m_file = nullptr;
    uint32_t m_rate = 0;
    uint64_t m_frames = 0;
};

} // namespace wqhost
