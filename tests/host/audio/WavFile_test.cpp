// WAV files: what the host records reads back bit for bit, and the
// stand-in for builds without libsndfile agrees with libsndfile both ways.
#include "host/audio/FloatWav.h"
#include "host/audio/WavFile.h"
#include "host/platform/HostError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

std::string tempPath(const std::string &name) {
    return (std::filesystem::temp_directory_path() /
            ("wq_wav_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             name))
        .string();
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

TEST(WavFileTest, AFileCutShortStillReadsWhatWasWritten) {
    // The header follows every write: a recording that ends without close
    // (the module crashed) is a valid file of what came before.
    const std::string path = tempPath("open.wav");
    const std::vector<float> samples = awkwardSamples();
    {
        WavWriter w(path, 48000.0);
        w.write(samples.data(), 300);
        const WavData now = readFloatWav(path);
        ASSERT_EQ(now.samples.size(), 300u);
        w.write(samples.data() + 300, 200);
        EXPECT_EQ(readWav(path).samples.size(), 500u);
    }
    std::filesystem::remove(path);
}

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
