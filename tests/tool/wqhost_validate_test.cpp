// `wqhost validate` on module libraries built to break the interface in one
// way each: the fault is reported by the check that looks for it, and the
// run goes on to the end. The conforming module and the real Quendor module
// pass.
#include "host/checks/ConformanceCheck.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

using wqtest::runTool;
using wqtest::testModule;
using wqtest::ToolRun;

namespace {

size_t checkCount() { return wqhost::conformanceChecks().size(); }

// The report of one check: its line and the indented lines under it.
std::string checkReport(const std::string &out, const std::string &name) {
    std::istringstream lines(out);
    std::string line, report;
    bool inside = false;
    while (std::getline(lines, line)) {
        const bool checkLine = line.rfind("PASS  ", 0) == 0 || line.rfind("FAIL  ", 0) == 0 ||
                               line.rfind("SKIP  ", 0) == 0 || line.rfind("WARN  ", 0) == 0;
        if (checkLine)
            inside = line.substr(6, name.size()) == name &&
                     (line.size() == 6 + name.size() || line[6 + name.size()] == ':');
        else if (line.rfind("      ", 0) != 0)
            inside = false;
        if (inside)
            report += line + "\n";
    }
    return report;
}

// Every check reported once, and the summary line, alone, adding up.
void expectCompleteRun(const ToolRun &run) {
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks())
        EXPECT_FALSE(checkReport(run.out, c.name).empty()) << "no line for " << c.name << "\n"
                                                           << run.out;
    int summaries = 0;
    for (const std::string &line : wqtest::linesOf(run.out)) {
        unsigned passed = 0, failed = 0, skipped = 0;
        if (wqtest::summaryLine(line, passed, failed, skipped)) {
            ++summaries;
            EXPECT_EQ(passed + failed + skipped, checkCount()) << line;
        }
    }
    EXPECT_EQ(summaries, 1) << run.out;
}

struct Broken {
    const char *module; // target name of the test module
    const char *check;  // the check that must fail
    const char *detail; // a part of its report
    double timeout;     // --timeout for the run
};

void PrintTo(const Broken &b, std::ostream *os) { *os << b.module << " in " << b.check; }

class BrokenModuleTest : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenModuleTest, IsCaughtByItsCheckAndTheRunGoesOn) {
    const Broken &b = GetParam();
    char timeout[16];
    std::snprintf(timeout, sizeof timeout, "%g", b.timeout);
    const ToolRun run =
        runTool({"validate", testModule(b.module), "--seed", "11", "--timeout", timeout});
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    const std::string report = checkReport(run.out, b.check);
    EXPECT_EQ(report.rfind(std::string("FAIL  ") + b.check + ": ", 0), 0u) << run.out;
    EXPECT_NE(report.find(b.detail), std::string::npos) << report;
    EXPECT_NE(report.find(std::string("reproduce: ")), std::string::npos) << report;
    expectCompleteRun(run);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BrokenModuleTest,
    ::testing::Values(
        Broken{"wq_broken_magic", "audio-record",
               "audio record magic is 0x12345678, expected "
               "0x5751504c",
               10},
        Broken{"wq_broken_pin_flags", "pin-declarations",
               "crashed (signal 6 (SIGABRT)) in audio AD_GET_PIN_PROPERTIES index=2", 10},
        Broken{"wq_broken_pin_flags", "pin-declarations",
               "it printed: Assertion failed: the pin-flag consistency rule", 10},
        Broken{"wq_broken_crash_open", "audio-open-close", "in audio AD_OPEN index=0", 10},
        Broken{"wq_broken_hang", "pin-changes",
               "hung: timed out after 1.5 s in gui GD_PIN_CHANGED index=0", 1.5},
        Broken{"wq_broken_hang", "pin-changes", "while: pin 0 (\"TEXT\") set to the empty text",
               1.5},
        Broken{"wq_broken_callback_order", "process-word",
               "AH_PROCESS_CHANGED came while the record's process word still held the "
               "function the host knew",
               10},
        Broken{"wq_broken_make_any_type", "make-module-refusals",
               "makeModule(0, 0) returned an object, expected null", 10},
        Broken{"wq_broken_describe_any_index", "describe-other-index",
               "getModuleProperties returned non-zero for index 1, 2, -1", 10},
        Broken{"wq_broken_describe_any_index", "describe-other-index",
               "a refused query leaves the fields as the host filled them", 10},
        Broken{"wq_broken_endless_echo", "nested-echo",
               "pin 0 (\"TEXT\"): the module's own writes kept coming back", 10},
        Broken{"wq_broken_unused_opcode", "unused-opcodes",
               "audio opcode 9 (AD_OPCODE_9) returned 1, expected 0", 10},
        Broken{"wq_broken_host_value", "gui-record",
               "GUI record hostValue is 0x0, expected the value given to makeModule, 0x12345678",
               10},
        Broken{"wq_broken_unstable_pins", "pin-declarations-stable",
               "declaration 0 (\"TEXT\") changed between two queries with a cleared record: name",
               10},
        Broken{"wq_broken_past_event", "events", "lies before the sample clock", 10},
        Broken{"wq_broken_shared_object", "gui-several-objects",
               "makeModule(0, 2) returned the record of a live object again", 10}),
    [](const ::testing::TestParamInfo<Broken> &info) {
        return std::string(info.param.module).substr(10) + "_" + std::to_string(info.index);
    });

// Mistakes authors make, each built into a copy of an author's module
// (tests/modules/authored): the whole run reports exactly its check, as a
// warning or a failure, with a message that says what to change.
struct Authored {
    const char *fault;  // wq_authored_<fault>
    const char *check;  // the one check that reports it
    const char *kind;   // "WARN" or "FAIL"
    const char *detail; // a part of its report
};

void PrintTo(const Authored &a, std::ostream *os) { *os << a.fault; }

std::string authoredModule(const std::string &fault) {
    return std::string(WQ_AUTHORED_MODULE_DIR) + "/" + WQ_MODULE_PREFIX + "wq_authored_" + fault +
           WQ_MODULE_SUFFIX;
}

class AuthoredMistakeTest : public ::testing::TestWithParam<Authored> {};

TEST_P(AuthoredMistakeTest, IsReportedByExactlyItsCheck) {
    const Authored &a = GetParam();
    const ToolRun run = runTool({"validate", authoredModule(a.fault), "--seed", "23"});
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, std::string(a.kind) == "FAIL" ? 1 : 0) << run.out << run.err;
    const std::string report = checkReport(run.out, a.check);
    EXPECT_EQ(report.rfind(std::string(a.kind) + "  " + a.check + ": ", 0), 0u) << run.out;
    EXPECT_NE(report.find(a.detail), std::string::npos) << report;
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks()) {
        if (c.name != std::string(a.check)) {
            EXPECT_EQ(checkReport(run.out, c.name).rfind("PASS  ", 0), 0u) << run.out;
        }
    }
    expectCompleteRun(run);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, AuthoredMistakeTest,
    ::testing::Values(
        Authored{"duplicate_pin_name", "pin-names", "WARN",
                 "pin 1 (\"NUMBER\") has the name of pin 0: give each pin a name of its own"},
        Authored{"empty_pin_name", "pin-names", "WARN",
                 "pin 1 (\"\") has an empty name: give every pin a name"},
        Authored{"control_pin_name", "pin-names", "WARN",
                 "has a control character (byte 0x09) in its name: use printable characters"},
        Authored{"leak", "leaks", "FAIL", "bytes a round): free what a pin change allocates"},
        Authored{"heap_overrun", "pin-changes", "FAIL",
                 "the heap was found corrupted: the module wrote past the end of a heap block"},
        Authored{"whole_block", "audio-blocks", "FAIL",
                 "the module writes past the end of a sample buffer: process at most the block "
                 "size the host set"},
        Authored{"one_past_write", "audio-blocks", "FAIL",
                 "the module writes past the end of a sample buffer"},
        Authored{"one_past_read", "audio-blocks", "FAIL",
                 "the module reads past the end of a sample buffer"},
        Authored{"pin_text_overrun", "pin-changes", "FAIL",
                 "the module writes past the end of a pin text the host handed it: copy the text"},
        Authored{"pin_record_overrun", "pin-declarations", "FAIL",
                 "the module writes past the end of the pin-properties record: fill only the "
                 "fields of WQPinProperties"},
        Authored{"output_nan", "audio-output", "FAIL", "pin 2 (\"CLICK\") gives NaN at 44100 Hz"},
        Authored{"output_infinity", "audio-output", "FAIL",
                 "pin 2 (\"CLICK\") gives infinity at 44100 Hz"},
        Authored{"output_denormal", "audio-output", "FAIL",
                 "pin 2 (\"CLICK\") gives a denormal at 44100 Hz"},
        Authored{"dead_stack_name", "describe-index-0", "FAIL",
                 "it points into a buffer on the stack of the call"},
        Authored{"unterminated_about", "describe-index-0", "FAIL",
                 "has no NUL within its first 65536 bytes"},
        Authored{"host_text_back", "pin-changes", "FAIL",
                 "passed the host's own text of pin 0 (the address GH_PIN_GET_TEXT answered) "
                 "instead of a copy"},
        Authored{"unterminated_cut", "pin-changes", "FAIL",
                 "end a text cut to fit a buffer with a NUL"},
        Authored{"null_text_read", "text-answers", "FAIL",
                 "with GH_PIN_GET_TEXT answering a null text (read a null text as the empty "
                 "text)"},
        Authored{"wide_length", "text-answers", "FAIL",
                 "with GH_PIN_GET_TEXT_W giving the length 0"},
        Authored{"static_destructor_crash", "unload", "FAIL",
                 "while: unloading the library: its static destructors"},
        Authored{"heap_overrun_nul", "pin-changes", "FAIL",
                 "the heap was found corrupted: the module wrote past the end of a heap block it "
                 "allocated; size each block for all that is written into it"},
        Authored{"use_after_free", "pin-changes", "FAIL",
                 "the module used a heap block after freeing it: keep no pointer"},
        Authored{"double_free", "pin-changes", "FAIL",
                 "the module freed a heap block twice; free each block once"},
        Authored{"process_allocation", "process-realtime", "FAIL",
                 "in the process function: allocate in AD_OPEN or AD_SET_BLOCK_SIZE instead"},
        Authored{"process_sleep", "process-realtime", "FAIL",
                 "slept 32 times in the process function"},
        Authored{"process_lock", "process-realtime", "FAIL",
                 "locked a mutex or waited on a semaphore 32 times in the process function"}),
    [](const ::testing::TestParamInfo<Authored> &info) { return std::string(info.param.fault); });

#ifndef _WIN32
// The heap is checked in every child, so a one-byte overrun is no matter of
// luck: every seed finds it.
TEST(ValidateTest, AOneByteHeapOverrunFailsOnEverySeed) {
    for (const char *seed : {"1", "2", "3", "4", "5", "6"}) {
        const ToolRun run = runTool(
            {"validate", authoredModule("heap_overrun"), "--only", "pin-changes", "--seed", seed});
        EXPECT_EQ(run.status, 1) << "seed " << seed << "\n" << run.out << run.err;
        EXPECT_NE(run.out.find("the heap was found corrupted"), std::string::npos) << run.out;
    }
}
#endif

TEST(ValidateTest, WarningsAppearInJsonAndJunitAndFailOnlyUnderStrict) {
    const std::string path = std::string(WQ_TEST_OUTPUT_DIR) + "/validate_warn_junit.xml";
    const std::string module = authoredModule("duplicate_pin_name");
    const ToolRun run =
        runTool({"validate", module, "--only", "pin-names", "--json", "--junit", path});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["warned"], 1);
    EXPECT_EQ(doc["checks"][0]["result"], "pass");
    EXPECT_EQ(doc["checks"][0]["warnings"].size(), 1u);
    std::ifstream junit(path);
    const std::string xml((std::istreambuf_iterator<char>(junit)), {});
    EXPECT_NE(xml.find("<system-out>WARN  pin-names: "), std::string::npos) << xml;

    const ToolRun strict = runTool({"validate", module, "--only", "pin-names", "--strict"});
    EXPECT_EQ(strict.status, 1) << strict.out << strict.err;
    EXPECT_NE(strict.out.find("FAIL  pin-names: pin 1"), std::string::npos) << strict.out;
    EXPECT_NE(strict.out.find("--only pin-names --seed"), std::string::npos) << strict.out;
    EXPECT_NE(strict.out.find(" --strict\n"), std::string::npos) << strict.out;
}

TEST(ValidateTest, TheConformingModulePassesEveryCheck) {
    const ToolRun run = runTool({"validate", testModule("wq_conforming_module")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("\n" + std::to_string(checkCount()) + " passed, 0 failed, 0 skipped\n"),
              std::string::npos)
        << run.out;
}

TEST(ValidateTest, TheQuendorModulePassesEveryCheck) {
    const ToolRun run = runTool({"validate", WQ_QUENDOR_LIBRARY});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(std::to_string(checkCount()) + " passed, 0 failed, 0 skipped"),
              std::string::npos)
        << run.out;
}

TEST(ValidateTest, TheReproducingCommandRunsTheFailedCheckAlone) {
    const ToolRun run = runTool({"validate", testModule("wq_broken_unused_opcode")});
    const size_t at = run.out.find("reproduce: ");
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string command = run.out.substr(at + 11, run.out.find('\n', at) - at - 11);
    // The command is plain words here: the paths hold no blanks.
    std::istringstream words(command);
    std::vector<std::string> args(std::istream_iterator<std::string>{words},
                                  std::istream_iterator<std::string>{});
    ASSERT_GE(args.size(), 6u);
    args.erase(args.begin()); // the tool itself
    const ToolRun again = runTool(args);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("FAIL  unused-opcodes: audio opcode 9"), std::string::npos)
        << again.out;
    EXPECT_NE(again.out.find("\n0 passed, 1 failed, 0 skipped\n"), std::string::npos) << again.out;
}

TEST(ValidateTest, TheReproducingCommandSurvivesAShellWithAnAwkwardPath) {
    // A copy of the library in a folder whose name a shell would split,
    // expand or end a quote at.
    const std::filesystem::path folder =
        std::filesystem::path(WQ_TEST_OUTPUT_DIR) / "a dir, it's \"$HOME\" \\";
    std::filesystem::create_directories(folder);
    const std::filesystem::path library = folder / "lib mine.so";
    std::filesystem::copy_file(testModule("wq_broken_unused_opcode"), library,
                               std::filesystem::copy_options::overwrite_existing);
    const ToolRun run = runTool({"validate", library.string(), "--only", "unused-opcodes"});
    const size_t at = run.out.find("reproduce: ");
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string command = run.out.substr(at + 11, run.out.find('\n', at) - at - 11);
    wqhost::ChildOptions options;
    options.timeoutSeconds = 300;
    const wqhost::ChildOutcome again =
        wqhost::ChildProcess::runProgram({"/bin/sh", "-c", command}, options, nullptr);
    EXPECT_EQ(again.exitCode, 1) << command << "\n" << again.errors;
    EXPECT_NE(again.output.find("wqhost validate " + library.string() + " (seed"),
              std::string::npos)
        << again.output;
    EXPECT_NE(again.output.find("FAIL  unused-opcodes: audio opcode 9"), std::string::npos)
        << again.output;
}

TEST(ValidateTest, OnlyAndSkipChooseTheChecks) {
    const ToolRun only = runTool(
        {"validate", WQ_QUENDOR_LIBRARY, "--only", "events,nested-echo", "--only", "exports"});
    EXPECT_EQ(only.status, 0) << only.err;
    EXPECT_NE(only.out.find("PASS  exports\nPASS  events\nPASS  nested-echo\n3 passed"),
              std::string::npos)
        << only.out;
    // A check left out is still counted, as skipped.
    const ToolRun skip = runTool({"validate", WQ_QUENDOR_LIBRARY, "--skip", "events"});
    EXPECT_NE(skip.out.find("SKIP  events: left out with --skip\n"), std::string::npos) << skip.out;
    EXPECT_NE(skip.out.find(std::to_string(checkCount() - 1) + " passed, 0 failed, 1 skipped"),
              std::string::npos)
        << skip.out;
}

TEST(ValidateTest, ListNamesEveryCheckWithoutALibrary) {
    const ToolRun run = runTool({"validate", "--list"});
    EXPECT_EQ(run.status, 0);
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks())
        EXPECT_NE(run.out.find(std::string(c.name) + "  "), std::string::npos) << c.name;
}

TEST(ValidateTest, JsonReportIsTheWholeStandardOutput) {
    const ToolRun run =
        runTool({"validate", testModule("wq_broken_magic"), "--json", "--seed", "3"});
    EXPECT_EQ(run.status, 1);
    const auto doc = nlohmann::json::parse(run.out); // throws unless all of it is JSON
    EXPECT_EQ(doc["seed"], 3);
    EXPECT_EQ(doc["checks"].size(), checkCount());
    EXPECT_GE(doc["failed"].get<int>(), 1);
    bool found = false;
    for (const auto &c : doc["checks"])
        if (c["name"] == "audio-record") {
            found = true;
            EXPECT_EQ(c["result"], "fail");
            EXPECT_NE(c["reproduce"].get<std::string>().find("--only audio-record --seed 3"),
                      std::string::npos);
        }
    EXPECT_TRUE(found);
    // The check lines went to standard error instead.
    EXPECT_NE(run.err.find("FAIL  audio-record"), std::string::npos) << run.err;
}

TEST(ValidateTest, JunitFileIsWritten) {
    const std::string path = std::string(WQ_TEST_OUTPUT_DIR) + "/validate_junit.xml";
    std::remove(path.c_str());
    const ToolRun run = runTool({"validate", testModule("wq_broken_host_value"), "--junit", path});
    EXPECT_EQ(run.status, 1);
    std::ifstream in(path);
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(xml.find("tests=\"" + std::to_string(checkCount()) + "\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("name=\"gui-record\" time=\""), std::string::npos);
    EXPECT_NE(xml.find("<failure type=\"check\" message=\"GUI record hostValue"), std::string::npos)
        << xml;
}

TEST(ValidateTest, TraceEndsWithTheCallThatHung) {
    const std::string path = std::string(WQ_TEST_OUTPUT_DIR) + "/validate_hang.jsonl";
    std::remove(path.c_str());
    const ToolRun run = runTool({"validate", testModule("wq_broken_hang"), "--only", "pin-changes",
                                 "--timeout", "1", "--trace", path});
    EXPECT_EQ(run.status, 1);
    std::ifstream in(path);
    std::string line, last;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        EXPECT_TRUE(nlohmann::json::parse(line).is_object()) << line;
        if (line.find("\"seq\"") != std::string::npos)
            last = line;
    }
    EXPECT_GT(lines, 10);
    const auto call = nlohmann::json::parse(last);
    EXPECT_EQ(call["check"], "pin-changes");
    EXPECT_EQ(call["phase"], "call");
    EXPECT_EQ(call["name"], "GD_PIN_CHANGED");
    EXPECT_EQ(call["index"], 0);
}

TEST(ValidateTest, TheSameSeedDrawsTheSameRandomChanges) {
    const std::string a = std::string(WQ_TEST_OUTPUT_DIR) + "/seed_a.jsonl";
    const std::string b = std::string(WQ_TEST_OUTPUT_DIR) + "/seed_b.jsonl";
    for (const std::string &path : {a, b})
        runTool({"validate", WQ_QUENDOR_LIBRARY, "--only", "pin-changes-random", "--seed", "99",
                 "--trace", path});
    auto texts = [](const std::string &path) {
        std::ifstream in(path);
        std::string line, all;
        while (std::getline(in, line))
            if (line.find("\"step\"") != std::string::npos)
                all += line + "\n";
        return all;
    };
    EXPECT_FALSE(texts(a).empty());
    EXPECT_EQ(texts(a), texts(b));
}

} // namespace
