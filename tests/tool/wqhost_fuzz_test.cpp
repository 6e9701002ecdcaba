// wqhost fuzz as a user runs it: it finds each fault that a sequence of host
// actions brings out, shrinks the session to a short script that ends with
// the failing line, and the replay confirms it; modules without faults
// survive a fixed-seed run; a seed finds the same thing however many jobs.
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <ostream>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using wqtest::runTool;
using wqtest::ToolRun;

namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's tool runs a session several times slower and takes its
// time over a report: a call gets longer before it counts as hung. And it
// checks the heap itself, so `run --check-heap` refuses.
constexpr const char *kHangSeconds = "5";
constexpr bool kGuardedHeap = false;
#else
constexpr const char *kHangSeconds = "1";
constexpr bool kGuardedHeap = true;
#endif

const std::string kHangInPinChange =
    std::string("hung (no end after ") + kHangSeconds + " s) in GD_PIN_CHANGED";

std::filesystem::path freshFolder(const std::string &name) {
    const std::filesystem::path folder =
        std::filesystem::path(WQ_TEST_OUTPUT_DIR) / ("fuzz_" + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

std::string authored(const std::string &fault) {
    return std::string(WQ_AUTHORED_MODULE_DIR) + "/" + WQ_MODULE_PREFIX + "wq_authored_" + fault +
           WQ_MODULE_SUFFIX;
}

std::vector<std::string> fileLines(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A bounded run: a fixed seed, at most `runs` sessions, a short hang limit;
// the time bound is only a backstop.
ToolRun fuzz(const std::string &library, const std::filesystem::path &out, const char *seed,
             const char *runs, const char *jobs = "1") {
    return runTool({"fuzz", library, "--seed", seed, "--runs", runs, "--jobs", jobs, "--time",
                    "240s", "--timeout", kHangSeconds, "--out", out.string()},
                   nullptr, 300.0);
}

// The script the run wrote, from the line that names it.
std::filesystem::path writtenScript(const ToolRun &run) {
    const size_t at = run.out.find("shrunk to ");
    if (at == std::string::npos)
        return {};
    const size_t colon = run.out.find(": ", at);
    const size_t end = run.out.find('\n', colon);
    return run.out.substr(colon + 2, end - colon - 2);
}

struct FindsCase {
    const char *fault;
    const char *failsWith; // in the run's output, the script's header and the replay
    const char *lastLine;  // how the shrunk script's last line begins
    bool runFailsToo;      // `wqhost run` fails on it as well
    const char *runOption; // ... given this option (--check-heap, --check-leak), or none
    const char *runSays;   // ... and says this on its error stream, or nothing asked
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const FindsCase &c, std::ostream *out) { *out << c.fault; }

class FuzzFindsTest : public ::testing::TestWithParam<FindsCase> {};

TEST_P(FuzzFindsTest, ShrinksToAShortScriptThatReplays) {
    const FindsCase &c = GetParam();
    const std::filesystem::path folder = freshFolder(c.fault);
    const std::string library = authored(c.fault);
    const ToolRun run = fuzz(library, folder, "1", "30");
    ASSERT_TRUE(run.exited) << run.err;
    ASSERT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("seed 1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(c.failsWith), std::string::npos) << run.out;

    const std::filesystem::path script = writtenScript(run);
    ASSERT_TRUE(std::filesystem::exists(script)) << run.out;
    EXPECT_EQ(script.parent_path(), folder);
    const std::vector<std::string> lines = fileLines(script);
    ASSERT_GE(lines.size(), 3u) << run.out;
    EXPECT_LE(lines.size(), 10u) << run.out;
    EXPECT_EQ(lines[0].rfind("# wqhost fuzz --seed 1: session ", 0), 0u) << lines[0];
    EXPECT_NE(lines[1].find(c.failsWith), std::string::npos) << lines[1];
    EXPECT_EQ(lines.back().rfind(c.lastLine, 0), 0u) << lines.back();

    const ToolRun replay = runTool(
        {"fuzz", library, "--replay", script.string(), "--timeout", kHangSeconds}, nullptr, 60.0);
    EXPECT_EQ(replay.status, 1) << replay.out << replay.err;
    EXPECT_NE(replay.out.find(":" + std::to_string(lines.size()) + ": fails as recorded: "),
              std::string::npos)
        << replay.out;
    EXPECT_NE(replay.out.find(c.failsWith), std::string::npos) << replay.out;

    const std::string option = c.runOption;
    if (c.runFailsToo && (kGuardedHeap || option != "--check-heap")) {
        std::vector<std::string> args = {"run", library, script.string(), "--timeout", "2"};
        if (!option.empty())
            args.push_back(option);
        const ToolRun played = runTool(args, nullptr, 60.0);
        EXPECT_EQ(played.status, 1) << played.out << played.err;
        EXPECT_NE(played.err.find(c.runSays), std::string::npos) << played.err;
        // The replay line the fuzzer gave says the same option.
        EXPECT_NE(run.out.find(" " + script.string() + (option.empty() ? "" : " " + option)),
                  std::string::npos)
            << run.out;
    }
    // The same fault under a module that has it not: no longer fails.
    const ToolRun fixed = runTool(
        {"fuzz", authored("doubler"), "--replay", script.string(), "--timeout", kHangSeconds},
        nullptr, 60.0);
    EXPECT_EQ(fixed.status, 0) << fixed.out << fixed.err;
    EXPECT_NE(fixed.out.find(": no longer fails (it failed: "), std::string::npos) << fixed.out;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FuzzFindsTest,
    ::testing::ValuesIn(std::vector<FindsCase>{
        {"nondigit_hang", kHangInPinChange.c_str(), "set 0 text ", true, "", ""},
        {"heap_overrun",
         "crashed in GD_PIN_CHANGED: the heap was found corrupted: the module wrote past the end "
         "of a heap block",
         "set 0 text ", true, "--check-heap", "the module wrote past the end of a heap block"},
        {"leak", "leaked: the module's heap grew each time the last line was carried out again",
         "set ", true, "--check-leak",
         "leaked: the module's heap grew each time the line was carried out again"},
        {"change_after_close",
         "crashed in GD_PIN_CHANGED: the module used a heap block after freeing it", "set 0 ", true,
         "", ""},
    }),
    [](const auto &info) { return std::string(info.param.fault); });

struct StartCase {
    const char *name;
    const char *target; // a module of tests/modules/minimal_module.cpp
    const char *failsWith;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const StartCase &c, std::ostream *out) { *out << c.name; }

class FuzzStartTest : public ::testing::TestWithParam<StartCase> {};

// A module that fails before any line gets a script with no line, which
// the replay confirms.
TEST_P(FuzzStartTest, AFailureAsTheSessionStartsIsWrittenWithNoLine) {
    const std::filesystem::path folder = freshFolder(GetParam().name);
    const std::string library = wqtest::testModule(GetParam().target);
    const ToolRun run = fuzz(library, folder, "1", "5");
    ASSERT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("the module failed as its session started: " +
                           std::string(GetParam().failsWith)),
              std::string::npos)
        << run.out;
    const size_t at = run.out.find("written with no line: ");
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string script = run.out.substr(at + 22, run.out.find('\n', at) - at - 22);
    EXPECT_EQ(fileLines(script).size(), 2u);
    const ToolRun replay = runTool({"fuzz", library, "--replay", script}, nullptr, 60.0);
    EXPECT_EQ(replay.status, 1) << replay.out << replay.err;
    EXPECT_NE(replay.out.find("fails as recorded: " + std::string(GetParam().failsWith)),
              std::string::npos)
        << replay.out;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FuzzStartTest,
    ::testing::ValuesIn(std::vector<StartCase>{
        {"ContractCheck", "wq_broken_pin_flags",
         "failed its contract check in AD_GET_PIN_PROPERTIES: the pin-flag consistency rule"},
        {"Problem", "wq_broken_magic",
         "the host found a problem (record-magic): audio record magic is 0x12345678"},
    }),
    [](const auto &info) { return std::string(info.param.name); });

struct SurvivesCase {
    const char *name;
    const char *library;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const SurvivesCase &c, std::ostream *out) { *out << c.name; }

class FuzzSurvivesTest : public ::testing::TestWithParam<SurvivesCase> {};

TEST_P(FuzzSurvivesTest, AModuleWithoutFaultsSurvivesAFixedSeed) {
    const std::filesystem::path folder = freshFolder(GetParam().name);
    const ToolRun run = fuzz(GetParam().library, folder, "5", "120", "2");
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("120 sessions, no failure (seed 5)"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("refused"), std::string::npos) << run.out;
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

INSTANTIATE_TEST_SUITE_P(Modules, FuzzSurvivesTest,
                         ::testing::ValuesIn(std::vector<SurvivesCase>{
                             {"Quendor", WQ_QUENDOR_LIBRARY},
                             {"Doubler", WQ_DOUBLER_LIBRARY},
                             {"Gain", WQ_GAIN_LIBRARY},
                         }),
                         [](const auto &info) { return std::string(info.param.name); });

// A record handed out again shows only with two instances alive at once:
// the shrunk script makes the second, and `run` fails on it too.
TEST(FuzzRunTest, ARecordSharedByTwoObjectsIsFoundWithBothAlive) {
    const std::string library = std::string(WQ_TEST_MODULE_DIR) + "/" + WQ_MODULE_PREFIX +
                                "wq_broken_shared_object" + WQ_MODULE_SUFFIX;
    const std::filesystem::path folder = freshFolder("shared_object");
    const ToolRun run = fuzz(library, folder, "1", "40");
    ASSERT_EQ(run.status, 1) << run.out << run.err;
    const char *says = "the host found a problem (shared-record): makeModule(0, ";
    EXPECT_NE(run.out.find(says), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("returned the record of a live object again"), std::string::npos)
        << run.out;
    const std::vector<std::string> lines = fileLines(writtenScript(run));
    ASSERT_GE(lines.size(), 3u) << run.out;
    EXPECT_LE(lines.size(), 10u) << run.out;
    EXPECT_EQ(lines.back().rfind("object ", 0), 0u) << lines.back();
    const ToolRun played =
        runTool({"run", library, writtenScript(run).string(), "--timeout", "2"}, nullptr, 60.0);
    EXPECT_EQ(played.status, 1) << played.out << played.err;
    EXPECT_NE(played.out.find("returned the record of a live object again"), std::string::npos)
        << played.out;
}

TEST(FuzzRunTest, ASeedFindsTheSameFailureWithAnyNumberOfJobs) {
    const std::string library = authored("change_after_close");
    const std::filesystem::path one = freshFolder("jobs_1");
    const std::filesystem::path two = freshFolder("jobs_2");
    const ToolRun a = fuzz(library, one, "9", "12", "1");
    const ToolRun b = fuzz(library, two, "9", "12", "2");
    ASSERT_EQ(a.status, 1) << a.out;
    ASSERT_EQ(b.status, 1) << b.out;
    const std::filesystem::path sa = writtenScript(a);
    const std::filesystem::path sb = writtenScript(b);
    EXPECT_EQ(sa.filename(), sb.filename());
    EXPECT_EQ(fileLines(sa), fileLines(sb));
}

struct RefusedCase {
    const char *name;
    std::vector<std::string> args;
    const char *says;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const RefusedCase &c, std::ostream *out) { *out << c.name; }

class FuzzRefusesTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(FuzzRefusesTest, StatusTwoWithOneLine) {
    std::vector<std::string> args = {"fuzz", WQ_QUENDOR_LIBRARY};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const ToolRun run = runTool(args, nullptr, 60.0);
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    ASSERT_EQ(run.errorLines().size(), 1u) << run.err;
    EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FuzzRefusesTest,
    ::testing::ValuesIn(std::vector<RefusedCase>{
        {"TimeWithoutNumber", {"--time", "soon"}, "--time takes a duration"},
        {"NegativeTime", {"--time", "-3s"}, "--time takes a duration"},
        {"SeedBeyond64Bits", {"--seed", "18446744073709551616"}, "--seed takes a whole number"},
        {"NoJobs", {"--jobs", "0"}, "--jobs"},
        {"MissingReplay", {"--replay", "no-such-script.wqs"}, "cannot read the script"},
    }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
