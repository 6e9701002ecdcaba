// Every signal source, sample for sample, against a computation of its own
// definition; rendered whole and in pieces; the seeds and the words of
// `signal`.
#include "host/audio/ExactSine.h"
#include "host/audio/NoiseSequence.h"
#include "host/audio/SignalSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

constexpr double kRate = 48000.0;
constexpr double kHalfPi = 1.57079632679489661923;

// sin(2 pi cycles) through the platform's sin and cos, on the angle reduced
// to [0, pi/4] by the sine's symmetries, so that the exact zeros and ones
// of the quarter points come out exact.
double referenceSine(double cycles) {
    const double quarters = cycles * 4.0;
    const double q = std::floor(quarters);
    double r = quarters - q;
    const bool fromEnd = r > 0.5;
    if (fromEnd)
        r = 1.0 - r;
    const double rising = fromEnd ? std::cos(r * kHalfPi) : std::sin(r * kHalfPi);
    const double falling = fromEnd ? std::sin(r * kHalfPi) : std::cos(r * kHalfPi);
    const int quadrant = static_cast<int>(q) & 3;
    return quadrant == 0 ? rising : quadrant == 1 ? falling : quadrant == 2 ? -rising : -falling;
}

uint32_t bitsOf(float f) {
    uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The noise definition restated: splitmix64's finaliser of a mix of seed
// and sample, its top 24 bits around 0, scaled to [-1, 1).
float referenceNoise(float amp, uint64_t seed, uint64_t n) {
    uint64_t z = seed * 0x9E3779B97F4A7C15ull + (n + 1) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const double unit = (static_cast<double>(z >> 40) - 8388608.0) / 8388608.0;
    return static_cast<float>(amp * unit);
}

struct SourceCase {
    std::string words;
    std::function<float(uint64_t)> reference;
};

std::ostream &operator<<(std::ostream &os, const SourceCase &c) { return os << c.words; }

std::vector<std::string> split(const std::string &text) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find(' ', i);
        if (j == std::string::npos)
            j = text.size();
        if (j > i)
            out.push_back(text.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

class SourceTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SourceTest, EverySampleIsTheDefinitionsAndBlocksDoNotMatter) {
    const SourceCase &c = GetParam();
    const std::unique_ptr<SignalSource> source = makeSignal(parseSignalSpec(split(c.words)), kRate);
    // Samples 0 .. 9999 and a stretch far on, whole and in uneven pieces.
    for (uint64_t origin : {uint64_t{0}, uint64_t{48000} * 3600 * 5 + 17}) {
        const uint32_t count = 10000;
        std::vector<float> whole(count);
        source->render(origin, whole.data(), count);
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(bitsOf(whole[i]), bitsOf(c.reference(origin + i)))
                << "sample " << origin + i << ": " << whole[i] << " vs " << c.reference(origin + i);
        std::vector<float> pieces(count);
        uint32_t at = 0;
        for (uint32_t size = 1; at < count; size = size * 3 % 997 + 1) {
            const uint32_t n = std::min(size, count - at);
            source->render(origin + at, pieces.data() + at, n);
            at += n;
        }
        EXPECT_EQ(pieces, whole);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SourceTest,
    ::testing::Values(
        SourceCase{"constant 0.25", [](uint64_t) { return 0.25f; }},
        SourceCase{"constant -3", [](uint64_t) { return -3.0f; }},
        SourceCase{"impulse", [](uint64_t n) { return n == 0 ? 1.0f : 0.0f; }},
        SourceCase{"impulse 37", [](uint64_t n) { return n == 37 ? 1.0f : 0.0f; }},
        SourceCase{"step 0.5 100", [](uint64_t n) { return n < 100 ? 0.0f : 0.5f; }},
        SourceCase{"step -1 0", [](uint64_t) { return -1.0f; }},
        SourceCase{"sine 440 0.5",
                   [](uint64_t n) {
                       const double cycles =
                           std::fmod(440.0 * static_cast<double>(n), kRate) / kRate;
                       return static_cast<float>(0.5 * referenceSine(cycles));
                   }},
        SourceCase{"sine 1000.5 1",
                   [](uint64_t n) {
                       const double cycles =
                           std::fmod(1000.5 * static_cast<double>(n), kRate) / kRate;
                       return static_cast<float>(referenceSine(cycles));
                   }},
        SourceCase{"noise 0.5", [](uint64_t n) { return referenceNoise(0.5f, 1, n); }},
        SourceCase{"noise 1 12345", [](uint64_t n) { return referenceNoise(1.0f, 12345, n); }}));

// The sine at the points where its value is known exactly.
TEST(ExactSineTest, QuarterPointsAreExact) {
    // 12000 Hz at 48 kHz: one quarter period a sample.
    const float expected[] = {0.0f, 0.75f, 0.0f, -0.75f};
    for (uint64_t n = 0; n < 4000; ++n)
        ASSERT_EQ(sineSample(12000.0, 0.75, kRate, n), expected[n % 4]) << n;
    EXPECT_EQ(sineOfCycles(0.25), 1.0);
    EXPECT_EQ(sineOfCycles(0.75), -1.0);
    EXPECT_NEAR(sineOfCycles(1.0 / 12.0), 0.5, 1e-16);
}

// The noise's first samples as numbers: the sequence of a seed may never
// change, or every golden file made with noise would.
TEST(NoiseSequenceTest, SequencesOfSeedsAreFixed) {
    EXPECT_EQ(noiseBits(1, 0), 16481712997681181849ull);
    std::vector<float> first;
    for (uint64_t n = 0; n < 4; ++n)
        first.push_back(noiseUnit(1, n));
    for (float f : first) {
        EXPECT_GE(f, -1.0f);
        EXPECT_LT(f, 1.0f);
    }
    EXPECT_NE(noiseUnit(1, 0), noiseUnit(2, 0));
    // Uniform enough: the mean of many samples is near 0, the mean square
    // near 1/3.
    double sum = 0.0, square = 0.0;
    const int count = 200000;
    for (int n = 0; n < count; ++n) {
        const double v = noiseUnit(7, static_cast<uint64_t>(n));
        sum += v;
        square += v * v;
    }
    EXPECT_NEAR(sum / count, 0.0, 0.01);
    EXPECT_NEAR(square / count, 1.0 / 3.0, 0.01);
}

struct WordsCase {
    std::string words;
    std::string error; // empty: parses, and reads back as `back`
    std::string back;
};

std::ostream &operator<<(std::ostream &os, const WordsCase &c) { return os << c.words; }

class SignalWordsTest : public ::testing::TestWithParam<WordsCase> {};

TEST_P(SignalWordsTest, ParseOrSayWhatIsWrong) {
    const WordsCase &c = GetParam();
    if (c.error.empty()) {
        EXPECT_EQ(signalText(parseSignalSpec(split(c.words))), c.back);
        return;
    }
    try {
        parseSignalSpec(split(c.words));
        FAIL() << "accepted";
    } catch (const std::invalid_argument &e) {
        EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, SignalWordsTest,
    ::testing::Values(
        WordsCase{"constant 0.5", "", "constant 0.5"}, WordsCase{"sine 440 1", "", "sine 440 1"},
        WordsCase{"impulse", "", "impulse 0"}, WordsCase{"impulse 12", "", "impulse 12"},
        WordsCase{"step 2 30", "", "step 2 30"}, WordsCase{"noise 0.1", "", "noise 0.1 1"},
        WordsCase{"noise 0.1 99", "", "noise 0.1 99"}, WordsCase{"file in.wav", "", "file in.wav"},
        WordsCase{"", "needs a source", ""}, WordsCase{"square 440 1", "not 'square'", ""},
        WordsCase{"sine 440", "needs an amplitude", ""}, WordsCase{"sine -5 1", "0 Hz or more", ""},
        WordsCase{"constant x", "not 'x'", ""}, WordsCase{"constant 1e39", "not '1e39'", ""},
        WordsCase{"impulse -1", "a whole number", ""}, WordsCase{"step 1", "needs the sample", ""},
        WordsCase{"noise 1 2 3", "too many words", ""}, WordsCase{"file", "needs a WAV file", ""}));

} // namespace
