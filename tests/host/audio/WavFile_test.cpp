// WAV files: what the host records reads back bit for bit, whatever pieces
// it came in (the same bytes as a single write), and the
// stand-in for builds without libsndfile agrees with libsndfile both ways.
#include "host/audio/FloatWav.h"
#include "host/audio/WavFile.h"
#include "host/platform/HostError.h"

#include <gtest/gtest.h>

#if defined(WQ_HAVE_SNDFILE)
#  include <sndfile.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

// A file of the running test's own: the cases of one suite run side by side
// as separate processes, so the name carries the test's full name.
std::string tempPath(const std::string &name) {
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string owner = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
    std::replace(owner.begin(), owner.end(), '/', '_');
    return (std::filesystem::temp_directory_path() / ("wq_wav_" + owner + "_" + name)).string();
}

// Samples that a float WAV must carry unchanged, the awkward ones included.
std::vector<float> awkwardSamples() {
    std::vector<float> s = {0.0f,
                            -0.0f,
                            1.0f,
                            -1.0f,
                            0.5f,
                            3.5f,
                            -12.25f,
                            1e-30f,
                            std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::infinity()};
    for (int i = 0; i < 1000; ++i)
        s.push_back(std::sin(static_cast<float>(i) * 0.01f));
    return s;
}

// `n` frames of a sine with a slowly growing amplitude.
std::vector<float> signalOf(size_t n) {
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = std::sin(static_cast<float>(i) * 0.01f) * static_cast<float>(i % 1000) / 1000.0f;
    return s;
}

void expectSameBits(const std::vector<float> &a, const std::vector<float> &b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(std::memcmp(&a[i], &b[i], sizeof(float)), 0) << "sample " << i;
}

using Writer = void (*)(const std::string &, double, const std::vector<float> &);
using Reader = WavData (*)(const std::string &);

void writeWithFloatWav(const std::string &path, double rate, const std::vector<float> &s) {
    FloatWavWriter w(path, rate);
    // In pieces, as a recording writes them.
    for (size_t i = 0; i < s.size(); i += 100)
        w.write(s.data() + i, std::min<size_t>(100, s.size() - i));
    w.close();
}

struct Pair {
    const char *name;
    Writer write;
    Reader read;
};

class WavRoundTrip : public ::testing::TestWithParam<Pair> {};

TEST_P(WavRoundTrip, SamplesAndRateComeBackExactly) {
    const std::string path = tempPath(std::string(GetParam().name) + ".wav");
    const std::vector<float> samples = awkwardSamples();
    GetParam().write(path, 44100.0, samples);
    const WavData back = GetParam().read(path);
    EXPECT_EQ(back.rate, 44100.0);
    EXPECT_EQ(back.channels, 1);
    expectSameBits(back.samples, samples);
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WavRoundTrip,
    ::testing::Values(Pair{"build_writes_build_reads", &writeWav, &readWav},
                      Pair{"floatwav_writes_build_reads", &writeWithFloatWav, &readWav},
                      Pair{"build_writes_floatwav_reads", &writeWav, &readFloatWav},
                      Pair{"floatwav_writes_floatwav_reads", &writeWithFloatWav, &readFloatWav}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(WavFileTest, AFileCutShortReadsUpToItsLastHeaderUpdate) {
    // A recording that ends without close (the module crashed) is a valid
    // file of what came before the last header update.
    const std::string path = tempPath("open.wav");
    const std::vector<float> samples = signalOf(kWavHeaderInterval + 300);
    {
        WavWriter w(path, 48000.0);
        w.write(samples.data(), 300);
        EXPECT_EQ(readFloatWav(path).samples.size(), 0u);
        w.write(samples.data() + 300, kWavHeaderInterval);
        const WavData now = readFloatWav(path);
        ASSERT_EQ(now.samples.size(), kWavHeaderInterval + 300);
        EXPECT_EQ(readWav(path).samples.size(), kWavHeaderInterval + 300);
        expectSameBits(now.samples, samples);
        w.close();
    }
    std::filesystem::remove(path);
}

std::vector<unsigned char> bytesOf(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    // A PEAK chunk carries the time it was written: not the file's content.
    for (size_t i = 12; i + 16 <= bytes.size(); ++i)
        if (std::memcmp(&bytes[i], "PEAK", 4) == 0)
            std::memset(&bytes[i + 12], 0, 4);
    return bytes;
}

// Writes `s` through `write` in pieces of `piece` frames, then closes.
template <typename W> void writeInPieces(W &w, const std::vector<float> &s, size_t piece) {
    for (size_t i = 0; i < s.size(); i += piece)
        w.write(s.data() + i, std::min(piece, s.size() - i));
    w.close();
}

class WavPieces : public ::testing::TestWithParam<size_t> {};

TEST_P(WavPieces, TheClosedFileIsTheSameHoweverTheSamplesCame) {
    // Across more than two header intervals, so that updates in the middle
    // of the file are part of what is compared.
    const std::vector<float> samples = signalOf(2 * kWavHeaderInterval + 777);
    const std::string whole = tempPath("whole.wav");
    const std::string cut = tempPath("cut.wav");
    writeWav(whole, 48000.0, samples);
    {
        WavWriter w(cut, 48000.0);
        writeInPieces(w, samples, GetParam());
    }
    EXPECT_TRUE(bytesOf(whole) == bytesOf(cut));
    {
        FloatWavWriter a(whole, 48000.0);
        writeInPieces(a, samples, samples.size());
        FloatWavWriter b(cut, 48000.0);
        writeInPieces(b, samples, GetParam());
    }
    EXPECT_TRUE(bytesOf(whole) == bytesOf(cut));
#if defined(WQ_HAVE_SNDFILE)
    // The file as it was written while the header followed every write.
    const std::string before = tempPath("before.wav");
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(before.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_command(f, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    for (size_t i = 0; i < samples.size(); i += GetParam())
        sf_writef_float(f, samples.data() + i,
                        static_cast<sf_count_t>(std::min(GetParam(), samples.size() - i)));
    sf_close(f);
    writeWav(whole, 48000.0, samples);
    EXPECT_TRUE(bytesOf(before) == bytesOf(whole));
    std::filesystem::remove(before);
#endif
    std::filesystem::remove(whole);
    std::filesystem::remove(cut);
}

INSTANTIATE_TEST_SUITE_P(Pieces, WavPieces, ::testing::Values(1, 64, 4096, 65537));

TEST(WavFileTest, UnreadableFilesAreNamed) {
    const std::string missing = tempPath("missing.wav");
    try {
        readWav(missing);
        FAIL();
    } catch (const HostError &e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos);
    }
    const std::string text = tempPath("text.wav");
    std::FILE *f = std::fopen(text.c_str(), "wb");
    std::fputs("this is no sound", f);
    std::fclose(f);
    EXPECT_THROW(readWav(text), HostError);
    EXPECT_THROW(readFloatWav(text), HostError);
    std::filesystem::remove(text);
    EXPECT_THROW(WavWriter(tempPath("no/such/folder/x.wav"), 48000.0), HostError);
    EXPECT_FALSE(wavLibrary().empty());
}

} // namespace
