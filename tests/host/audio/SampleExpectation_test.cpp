// The checks of `expect samples` and `expect golden`: their words, each
// measure against samples whose answer is known, and golden files that
// match, differ or are missing.
#include "host/audio/SampleExpectation.h"
#include "host/audio/WavFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

std::vector<AudioWord> words(const std::string &text) {
    std::vector<AudioWord> out;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find(' ', i);
        if (j == std::string::npos)
            j = text.size();
        if (j > i)
            out.push_back({text.substr(i, j - i), false});
        i = j + 1;
    }
    return out;
}

SampleCapture capture(std::vector<float> samples, uint32_t start = 0) {
    SampleCapture c;
    c.startClock = start;
    c.total = samples.size();
    c.samples = std::move(samples);
    return c;
}

struct MeasureCase {
    std::string words;
    bool holds;
    std::string actual; // a part of what the verdict says
};

std::ostream &operator<<(std::ostream &os, const MeasureCase &c) { return os << c.words; }

class MeasureTest : public ::testing::TestWithParam<MeasureCase> {};

// Samples 0.5, -0.75, 0.25, 0: peak 0.75, min -0.75, max 0.5, rms
// sqrt((0.25 + 0.5625 + 0.0625) / 4).
TEST_P(MeasureTest, OverKnownSamples) {
    const SampleCapture c = capture({0.5f, -0.75f, 0.25f, 0.0f}, 64);
    const SampleVerdict v = checkSamples(c, parseSampleExpectation(words(GetParam().words), false));
    EXPECT_EQ(v.holds, GetParam().holds) << v.actual;
    EXPECT_NE(v.actual.find(GetParam().actual), std::string::npos) << v.actual;
}

INSTANTIATE_TEST_SUITE_P(
    Measures, MeasureTest,
    ::testing::Values(
        MeasureCase{"peak == 0.75", true, "the peak is 0.75 over 4 samples"},
        MeasureCase{"peak == 0.7", false, "the peak is 0.75"},
        MeasureCase{"peak == 0.7 ± 0.051", true, ""}, MeasureCase{"peak == 0.7 +- 0.04", false, ""},
        MeasureCase{"peak == 0.7 +-0.06", true, ""}, MeasureCase{"peak != 0.75", false, ""},
        MeasureCase{"peak < 1", true, ""},
        MeasureCase{"min == -0.75", true, "the minimum is -0.75"},
        MeasureCase{"max >= 0.5", true, "the maximum is 0.5"}, MeasureCase{"max > 0.5", false, ""},
        MeasureCase{"rms == 0.4677071733 ± 1e-9", true, "the rms is 0.467707"},
        MeasureCase{"rms <= 0.4", false, ""},
        MeasureCase{"at 1 == -0.75", true, "sample 1 (clock 65) is -0.75"},
        MeasureCase{"at 3 == 0", true, ""}, MeasureCase{"at 4 == 0", false, "there is no sample 4"},
        MeasureCase{"finite", true, "all 4 samples are finite"}));

TEST(SampleExpectationTest, FiniteNamesTheFirstBadSample) {
    SampleCapture c = capture({0.0f, 1.0f, std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity()},
                              10);
    SampleVerdict v = checkSamples(c, parseSampleExpectation(words("finite"), false));
    EXPECT_FALSE(v.holds);
    EXPECT_EQ(v.actual, "sample 2 (clock 12) is nan");
}

TEST(SampleExpectationTest, NoSamplesOrTooManyAreNoPass) {
    const SampleExpectation e = parseSampleExpectation(words("peak >= 0"), false);
    SampleVerdict none = checkSamples(SampleCapture(), e);
    EXPECT_FALSE(none.holds);
    EXPECT_NE(none.actual.find("run process first"), std::string::npos);
    SampleCapture cut = capture({0.0f, 0.0f});
    cut.total = 10;
    SampleVerdict part = checkSamples(cut, e);
    EXPECT_FALSE(part.holds);
    EXPECT_NE(part.actual.find("more than the 2 kept"), std::string::npos);
}

TEST(SampleExpectationTest, ScaledComparesAsTheModuleMultiplies) {
    const SampleCapture in = capture({0.1f, 0.3f, -0.7f});
    // 0.1f * 0.3f rounded once, as a float gain does it.
    const SampleCapture out = capture({0.1f * 0.3f, 0.3f * 0.3f, -0.7f * 0.3f});
    const SampleExpectation e = parseSampleExpectation(words("== 0 * 0.3"), false);
    EXPECT_EQ(e.otherPin.text, "0");
    EXPECT_TRUE(checkScaled(out, in, e).holds) << checkScaled(out, in, e).actual;
    SampleCapture off = out;
    off.samples[2] = -0.2f;
    SampleVerdict v = checkScaled(off, in, e);
    EXPECT_FALSE(v.holds);
    EXPECT_NE(v.actual.find("sample 2 (clock 2) is -0.2"), std::string::npos) << v.actual;
    EXPECT_TRUE(
        checkScaled(off, in, parseSampleExpectation(words("== 0 * 0.3 ± 0.02"), false)).holds);
    EXPECT_FALSE(checkScaled(capture({0.0f}), in, e).holds);
}

TEST(SampleExpectationTest, WordsThatAreWrongAreNamed) {
    const std::pair<const char *, const char *> cases[] = {
        {"", "needs peak, rms"},         {"loudness == 1", "not 'loudness'"},
        {"peak", "needs a comparison"},  {"peak ~ 1", "not '~'"},
        {"peak == x", "not 'x'"},        {"peak == 1 2", "not '2'"},
        {"peak == 1 ± -1", "0 or more"}, {"at x == 1", "not 'x'"},
        {"== 1 2", "needs '*'"},         {"finite now", "too many words"},
    };
    for (const auto &c : cases) {
        try {
            parseSampleExpectation(words(c.first), false);
            ADD_FAILURE() << c.first << " accepted";
        } catch (const std::invalid_argument &e) {
            EXPECT_NE(std::string(e.what()).find(c.second), std::string::npos)
                << c.first << ": " << e.what();
        }
    }
    EXPECT_THROW(parseSampleExpectation({}, true), std::invalid_argument);
    const SampleExpectation g = parseSampleExpectation(words("ref.wav ± 0.001"), true);
    EXPECT_EQ(g.path, "ref.wav");
    EXPECT_EQ(g.tolerance, 0.001);
}

class GoldenTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("wq_golden_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "out");
        place.reference = (folder / "gain.wav").string();
        place.outputFolder = (folder / "out").string();
        place.rate = 48000.0;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    SampleVerdict check(const SampleCapture &c, const std::string &tolerance = "") {
        return checkGolden(c, parseSampleExpectation(words("gain.wav " + tolerance), true), place);
    }

    std::filesystem::path folder;
    GoldenPlace place;
    const SampleCapture run = capture({0.0f, 0.5f, 1.0f, 0.5f, 0.0f}, 128);
};

TEST_F(GoldenTest, AMissingReferenceFailsAndSaysHowToWriteIt) {
    SampleVerdict v = check(run);
    EXPECT_FALSE(v.holds);
    EXPECT_NE(v.actual.find("does not exist; run with --record-golden"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(place.reference));
    place.record = true;
    v = check(run);
    EXPECT_TRUE(v.holds);
    EXPECT_NE(v.note.find("wrote the reference"), std::string::npos);
    EXPECT_EQ(readWav(place.reference).samples, run.samples);
}

TEST_F(GoldenTest, TheSameSamplesPass) {
    writeWav(place.reference, 48000.0, run.samples);
    EXPECT_TRUE(check(run).holds);
    EXPECT_FALSE(std::filesystem::exists(folder / "out" / "gain.diff.wav"));
}

TEST_F(GoldenTest, AMismatchNamesTheSampleAndWritesTheDifference) {
    std::vector<float> reference = run.samples;
    reference[3] = 0.25f;
    writeWav(place.reference, 48000.0, reference);
    SampleVerdict v = check(run);
    EXPECT_FALSE(v.holds);
    EXPECT_NE(v.actual.find("the first difference is at sample 3 (clock 131): 0.5, the reference "
                            "has 0.25"),
              std::string::npos)
        << v.actual;
    const WavData diff = readWav((folder / "out" / "gain.diff.wav").string());
    EXPECT_EQ(diff.samples, (std::vector<float>{0.0f, 0.0f, 0.0f, 0.25f, 0.0f}));
    EXPECT_EQ(readWav((folder / "out" / "gain.actual.wav").string()).samples, run.samples);
    // Within the tolerance it holds.
    EXPECT_TRUE(check(run, "± 0.25").holds);
}

TEST_F(GoldenTest, OtherLengthsAndRatesAreMismatches) {
    std::vector<float> longer = run.samples;
    longer.push_back(0.0f);
    writeWav(place.reference, 48000.0, longer);
    SampleVerdict v = check(run);
    EXPECT_FALSE(v.holds);
    EXPECT_NE(v.actual.find("the run gave 5 samples, the reference has 6"), std::string::npos)
        << v.actual;
    writeWav(place.reference, 44100.0, run.samples);
    v = check(run);
    EXPECT_FALSE(v.holds);
    EXPECT_NE(v.actual.find("the reference is at 44100 Hz, this run at 48000 Hz"),
              std::string::npos)
        << v.actual;
}

} // namespace
