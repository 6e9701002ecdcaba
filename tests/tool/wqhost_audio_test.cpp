// `wqhost run` on an audio module (the test gain, OUT = IN * GAIN): signals
// in, control changes on their exact sample, recordings, the sample
// expectations, and golden files that pass, fail with a diff, or are
// missing until --record-golden writes them.
#include "host/audio/WavFile.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using wqtest::runTool;
using wqtest::ToolRun;

namespace {

class AudioRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::path(WQ_TEST_OUTPUT_DIR) /
                 (std::string("audio_run_") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        if (!HasFailure())
            std::filesystem::remove_all(folder);
    }

    // Writes the script into the test's folder and runs it; OUTDIR in it
    // stands for that folder (files a script writes go where it says).
    ToolRun run(std::string text, const std::string &extra = std::string()) {
        for (size_t at = text.find("OUTDIR"); at != std::string::npos; at = text.find("OUTDIR"))
            text.replace(at, 6, folder.generic_string());
        const std::string path = (folder / "gain.wqs").string();
        std::ofstream(path, std::ios::binary) << text;
        std::vector<std::string> args = {"run", WQ_GAIN_MODULE_PATH, path};
        if (!extra.empty())
            args.push_back(extra);
        return runTool(args);
    }

    std::filesystem::path folder;
};

TEST_F(AudioRunTest, ControlChangesLandOnTheirSampleAtEveryBlockSize) {
    const ToolRun r = run("signal \"IN\" constant 0.25\n"
                          "set \"GAIN\" float 0.5\n"
                          "process 2\n"
                          "expect samples \"OUT\" == \"IN\" * 0.5\n"
                          "expect samples \"IN\" min == 0.25\n"
                          // the middle, the end and the start of a 64-sample block
                          "set \"GAIN\" float 2 at 10\n"
                          "set \"GAIN\" float 4 at 63\n"
                          "set \"GAIN\" float 8 at 64\n"
                          "process 2\n"
                          "expect samples \"OUT\" at 9 == 0.125\n"
                          "expect samples \"OUT\" at 10 == 0.5\n"
                          "expect samples \"OUT\" at 62 == 0.5\n"
                          "expect samples \"OUT\" at 63 == 1\n"
                          "expect samples \"OUT\" at 64 == 2\n"
                          "expect samples \"OUT\" max == 2\n"
                          "block 1\n"
                          "set \"GAIN\" float -1 at 3\n"
                          "process 5\n"
                          "expect samples \"OUT\" at 2 == 2\n"
                          "expect samples \"OUT\" at 3 == -0.25\n"
                          "expect samples \"OUT\" finite\n"
                          "expect problems == 0\n");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("12 expectations held, 0 failed"), std::string::npos) << r.out;
}

TEST_F(AudioRunTest, ARecordingIsTheWavOfWhatThePinCarried) {
    const ToolRun r = run("rate 44100\n"
                          "signal \"IN\" sine 1000 1\n"
                          "set \"GAIN\" float 0.5\n"
                          "record \"OUT\" \"OUTDIR/out.wav\"\n"
                          "process 10\n"
                          "record \"OUT\" off\n"
                          "expect samples \"OUT\" peak == 0.5 ± 0.002\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("640 samples recorded to"), std::string::npos) << r.out;
    const wqhost::WavData out = wqhost::readWav((folder / "out.wav").string());
    EXPECT_EQ(out.rate, 44100.0);
    ASSERT_EQ(out.samples.size(), 640u);
    EXPECT_EQ(out.samples[0], 0.0f);
}

TEST_F(AudioRunTest, AGoldenFileIsMissingThenWrittenThenHeldThenMissed) {
    const std::string script = "signal \"IN\" noise 0.5 7\n"
                               "set \"GAIN\" float GAIN\n"
                               "record \"OUT\" \"OUTDIR/out.wav\"\n"
                               "process 4\n"
                               "expect golden \"OUT\" golden.wav\n";
    const auto withGain = [&](const char *gain) {
        std::string s = script;
        s.replace(s.find("GAIN\n"), 4, gain);
        return s;
    };
    ToolRun r = run(withGain("0.5"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not exist; run with --record-golden"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "golden.wav"));

    r = run(withGain("0.5"), "--record-golden");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("wrote the reference"), std::string::npos) << r.out;
    ASSERT_TRUE(std::filesystem::exists(folder / "golden.wav"));

    r = run(withGain("0.5"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;

    r = run(withGain("0.25"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the first difference is at sample 0 (clock 0)"), std::string::npos)
        << r.err;
    EXPECT_TRUE(std::filesystem::exists(folder / "golden.diff.wav"));
    EXPECT_TRUE(std::filesystem::exists(folder / "golden.actual.wav"));
}

TEST_F(AudioRunTest, AudioMistakesAreOneLineEach) {
    const std::pair<const char *, const char *> cases[] = {
        {"signal \"OUT\" constant 1\n", "is an output"},
        {"signal \"GAIN\" constant 1\n", "is no audio pin"},
        {"signal \"IN\" square 1\n", "not 'square'"},
        {"record \"OUT\" off\n", "is not being recorded"},
        {"block 5000\n", "1 to 4096"},
        {"rate 0\n", "above 0"},
        {"expect samples \"OUT\" loudness == 1\n", "not 'loudness'"},
        {"record \"OUT\" \"OUTDIR/a.wav\"\nrate 44100\n", "end the recordings first"},
    };
    for (const auto &c : cases) {
        const ToolRun r = run(c.first);
        EXPECT_EQ(r.status, 2) << c.first;
        EXPECT_NE(r.err.find(c.second), std::string::npos) << c.first << ": " << r.err;
    }
}

} // namespace
