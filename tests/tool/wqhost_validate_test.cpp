// `wqhost validate` on module libraries built to break the interface in one
// way each (the fault table, tests/modules/faults.json): the fault is
// reported by the check that looks for it, and the run goes on to the end. The conforming module and the real Quendor module
// pass.
#include "host/checks/ConformanceCheck.h"
#include "host/memory/AddressSanitizer.h"
#include "tests/support/FaultTable.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

using wqtest::FaultRow;
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

std::string authoredModule(const std::string &fault) {
    return std::string(WQ_AUTHORED_MODULE_DIR) + "/" + WQ_MODULE_PREFIX + "wq_authored_" + fault +
           WQ_MODULE_SUFFIX;
}

// The library a row of the fault table builds.
std::string faultModule(const FaultRow &row) {
    return row.module == "minimal" ? testModule(row.target()) : authoredModule(row.fault);
}

// `validate` of the row's library with `seed`, and the row's --timeout.
ToolRun validateFault(const FaultRow &row, const char *seed) {
    std::vector<std::string> args = {"validate", faultModule(row), "--seed", seed};
    if (row.timeout) {
        char timeout[16];
        std::snprintf(timeout, sizeof timeout, "%g", *row.timeout);
        args.insert(args.end(), {"--timeout", timeout});
    }
    return runTool(args);
}

// The minimal module with one fault each (the rows of the fault table used
// "whole"): the fault is reported by its check, and the run goes on to the
// end.
class BrokenModuleTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(BrokenModuleTest, IsCaughtByItsCheckAndTheRunGoesOn) {
    const FaultRow &b = GetParam();
    const ToolRun run = validateFault(b, "11");
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    const std::string report = checkReport(run.out, b.check);
    EXPECT_TRUE(wqtest::isReportOf(report, b))
        << b.kind << "  " << b.check << ": " << b.text << "\n"
        << run.out;
    EXPECT_NE(report.find(std::string("reproduce: ")), std::string::npos) << report;
    expectCompleteRun(run);
}

INSTANTIATE_TEST_SUITE_P(Faults, BrokenModuleTest,
                         ::testing::ValuesIn(wqtest::faultRowsFor("whole")),
                         [](const ::testing::TestParamInfo<FaultRow> &info) {
                             return info.param.fault + "_" + std::to_string(info.index);
                         });

// Mistakes authors make, each built into a copy of an author's module
// (tests/modules/authored; the rows of the fault table used "alone"): the
// whole run reports exactly its check, as a warning or a failure, with a
// message that says what to change.
class AuthoredMistakeTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(AuthoredMistakeTest, IsReportedByExactlyItsCheck) {
    const FaultRow &a = GetParam();
#if defined(WQ_HOST_ASAN)
    // The sanitizer fills every fresh heap block with one byte, so the two
    // runs of uninitialised-memory read the same.
    if (a.fault == "uninitialised_member")
        GTEST_SKIP() << "the heap is the sanitizer's";
#endif
    const ToolRun run = validateFault(a, "23");
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, a.kind == "FAIL" ? 1 : 0) << run.out << run.err;
    const std::string report = checkReport(run.out, a.check);
    EXPECT_TRUE(wqtest::isReportOf(report, a))
        << a.kind << "  " << a.check << ": " << a.text << "\n"
        << run.out;
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks()) {
        if (c.name != a.check) {
            EXPECT_EQ(checkReport(run.out, c.name).rfind("PASS  ", 0), 0u) << run.out;
        }
    }
    expectCompleteRun(run);
}

INSTANTIATE_TEST_SUITE_P(Mistakes, AuthoredMistakeTest,
                         ::testing::ValuesIn(wqtest::faultRowsFor("alone")),
                         [](const ::testing::TestParamInfo<FaultRow> &info) {
                             return info.param.fault;
                         });

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
