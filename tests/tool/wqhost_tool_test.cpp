// wqhost as a user meets it: info and run on the built module, and bad
// input of every kind answered with one clear line and exit status 2.
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

using wqtest::runTool;
using wqtest::testModule;
using wqtest::ToolRun;

namespace {

// A script of the tests' own (tests/scripts).
std::string script(const std::string &name) {
    return std::string(WQ_TEST_SOURCE_DIR) + "/scripts/" + name;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(InfoTest, ShowsTheDescriptionAndEveryPin) {
    const ToolRun run = runTool({"info", WQ_QUENDOR_LIBRARY});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char *part :
         {"name        \"Quendor\"", "sdkVersion  2230", "flags       0x200", "\"TEXT LIST\"",
          "in   enum     IO_UI_COMMUNICATION  list \"a=1,b=2\"", "\"ITEM -> VALUE\"  out  text"})
        EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
}

TEST(InfoTest, JsonHoldsTheSameTable) {
    const ToolRun run = runTool({"info", WQ_QUENDOR_LIBRARY, "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["description"]["name"], "Quendor");
    EXPECT_EQ(doc["description"]["flags"], 512);
    EXPECT_EQ(doc["description"]["guiFlags"], 256);
    ASSERT_EQ(doc["pins"].size(), 4u);
    EXPECT_EQ(doc["pins"][1]["name"], "LIST");
    EXPECT_EQ(doc["pins"][1]["dataType"], "enum");
    EXPECT_EQ(doc["pins"][1]["direction"], "in");
    EXPECT_EQ(doc["pins"][1]["listText"], "a=1,b=2");
    EXPECT_EQ(doc["pins"][1]["flags"], nlohmann::json::array({"IO_UI_COMMUNICATION"}));
    EXPECT_TRUE(doc["pins"][0]["listText"].is_null());
    EXPECT_EQ(doc["audioPinCount"], 0);
    EXPECT_TRUE(doc["problems"].empty());
}

TEST(RunTest, TheDemoScriptHoldsAndPrintsNoAddress) {
    const ToolRun run = runTool({"run", WQ_QUENDOR_LIBRARY, WQ_DEMO_SCRIPT});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_NE(run.out.find("expectations held, 0 failed"), std::string::npos) << run.out;
    EXPECT_FALSE(wqtest::holdsAddress(run.out)) << run.out;
    // The same script gives the same output every time.
    EXPECT_EQ(runTool({"run", WQ_QUENDOR_LIBRARY, WQ_DEMO_SCRIPT}).out, run.out);
}

TEST(RunTest, AScriptOnStandardInput) {
    const std::string script = "list \"a,b\"\nselect 1\nexpect pin 2 == \"b\"\n";
    const ToolRun run = runTool({"run", WQ_QUENDOR_LIBRARY}, &script);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("> expect pin 2 == \"b\"  ok"), std::string::npos) << run.out;
    const ToolRun dash = runTool({"run", WQ_QUENDOR_LIBRARY, "-"}, &script);
    EXPECT_EQ(dash.out, run.out);
}

TEST(RunTest, AFailedExpectationFailsTheRunWithItsLine) {
    const std::string path = script("failing_expectation.wqs");
    const ToolRun run = runTool({"run", WQ_QUENDOR_LIBRARY, path});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(path + ":4: expectation failed"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("1 expectations held, 1 failed"), std::string::npos) << run.out;
}

TEST(RunTest, TraceFileHoldsEveryCallAsJsonLines) {
    const std::string trace = std::string(WQ_TEST_OUTPUT_DIR) + "/run_trace.jsonl";
    const std::string script = "list \"a,b\"\nselect 1\n";
    const ToolRun run = runTool({"run", WQ_QUENDOR_LIBRARY, "--trace", trace}, &script);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string text = readFile(trace);
    size_t calls = 0, returns = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const auto line = nlohmann::json::parse(text.substr(start, end - start));
        calls += line["phase"] == "call";
        returns += line["phase"] == "return";
        start = end + 1;
    }
    EXPECT_GT(calls, 20u);
    EXPECT_EQ(calls, returns);
    EXPECT_NE(text.find("\"name\":\"GH_PIN_SET_TEXT\""), std::string::npos);
    EXPECT_NE(text.find("\"text\":\"b\""), std::string::npos);
    EXPECT_NE(text.find("\"kind\":\"makeModule\""), std::string::npos);
}

struct BadInput {
    const char *name;
    std::vector<std::string> args;
    const char *stdinText; // null: no input
    const char *message;   // a part of the one line on standard error
};

void PrintTo(const BadInput &b, std::ostream *os) { *os << b.name; }

class BadInputTest : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputTest, OneClearLineAndStatus2) {
    const BadInput &b = GetParam();
    const std::string input = b.stdinText ? b.stdinText : "";
    const ToolRun run = runTool(b.args, b.stdinText ? &input : nullptr);
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    const std::vector<std::string> lines = run.errorLines();
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_EQ(lines[0].rfind("wqhost: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(b.message), std::string::npos) << lines[0];
    for (const char *crash : {"terminate called", "Assertion", "Sanitizer", "what()"})
        EXPECT_EQ(run.err.find(crash), std::string::npos) << run.err;
}

const std::string kQuendor = WQ_QUENDOR_LIBRARY;
const std::string kNotALibrary = std::string(WQ_TEST_SOURCE_DIR) + "/CMakeLists.txt";
const std::string kNoExports = testModule("wq_half_module");
const std::string kMissing = std::string(WQ_TEST_OUTPUT_DIR) + "/no-such-library.so";

std::vector<BadInput> badInputs() {
    const std::string syntax = script("syntax_error.wqs");
    const std::string unknown = script("unknown_command.wqs");
    const std::string undeclared = script("undeclared_pin.wqs");
    return {
        {"NoCommand",
         {},
         nullptr,
         "a command is needed: info, run, validate, fuzz, panel, new or cost"},
        {"UnknownCommand", {"frobnicate", kQuendor}, nullptr, "unknown command 'frobnicate'"},
        {"UnknownCommandThenOption",
         {"frobnicate", "--json"},
         nullptr,
         "unknown command 'frobnicate': the commands are info, run, validate, fuzz, panel, new and "
         "cost"},
        {"UnknownOptionAlone", {"--bogus"}, nullptr, "not expected: --bogus"},
        {"UnknownOption", {"info", "--bogus", kQuendor}, nullptr, "--bogus"},
        {"InfoWithoutLibrary", {"info"}, nullptr, "LIB is required"},
        {"NewWithoutName", {"new"}, nullptr, "NAME is required"},
        {"NewNameNoIdentifier", {"new", "my-gain", kMissing}, nullptr, "only letters, digits"},
        {"NewNameFromADigit", {"new", "2gain", kMissing}, nullptr, "begins with a letter"},
        // The test sources hold a CMakeLists.txt: nothing is written over it.
        {"NewOverAProject", {"new", "Gain", WQ_TEST_SOURCE_DIR}, nullptr, "is there already"},
        {"InfoMissingFile", {"info", kMissing}, nullptr, kMissing.c_str()},
        {"InfoNotALibrary", {"info", kNotALibrary}, nullptr, "cannot load library"},
        {"InfoNoExports", {"info", kNoExports}, nullptr, "does not export 'makeModule'"},
        {"RunMissingFile", {"run", kMissing}, nullptr, kMissing.c_str()},
        {"RunNotALibrary", {"run", kNotALibrary}, nullptr, "CMakeLists.txt"},
        {"RunNoExports", {"run", kNoExports}, nullptr, "does not export"},
        {"RunMissingScript",
         {"run", kQuendor, kMissing + ".wqs"},
         nullptr,
         "cannot read the script"},
        {"RunSyntaxError",
         {"run", kQuendor, syntax},
         nullptr,
         "syntax_error.wqs:3: 'select' needs"},
        {"RunUnknownScriptCommand",
         {"run", kQuendor, unknown},
         nullptr,
         "unknown_command.wqs:3: unknown command 'frobnicate'"},
        {"RunUndeclaredPin",
         {"run", kQuendor, undeclared},
         nullptr,
         "undeclared_pin.wqs:3: pin 12 is not declared"},
        {"RunStdinSyntaxError", {"run", kQuendor}, "list \"a,b\n", "<stdin>:1: text not closed"},
        {"RunBinaryScript", {"run", kQuendor, kQuendor}, nullptr, ":1: the line holds a"},
        {"RunScriptIsAFolder",
         {"run", kQuendor, WQ_TEST_SOURCE_DIR},
         nullptr,
         "is a folder, not a file"},
        {"RunWrongValueType",
         {"run", kQuendor},
         "set 0 double 1\n",
         "<stdin>:1: 'set PIN TYPE VALUE' takes the type text, int or float, not 'double'"},
        {"RunCheckLeakLastLineNoSet",
         {"run", kQuendor, "--check-leak"},
         "set 0 text \"a,b\"\nshow\n",
         "--check-leak carries the script's last line out again: it must be a pin change (set)"},
        {"ValidateWithoutLibrary", {"validate"}, nullptr, "needs a module library"},
        {"ValidateMissingFile", {"validate", kMissing}, nullptr, kMissing.c_str()},
        {"ValidateBadSeed",
         {"validate", kQuendor, "--seed", "-1"},
         nullptr,
         "--seed takes a whole number from 0 to 18446744073709551615, not '-1'"},
        {"ValidateSeedTooLarge",
         {"validate", kQuendor, "--seed", "18446744073709551616"},
         nullptr,
         "--seed takes a whole number"},
        {"ValidateTwoReportsOnStdout",
         {"validate", kQuendor, "--json", "--junit", "-"},
         nullptr,
         "cannot both have standard output"},
        {"ValidateUnknownCheck",
         {"validate", kQuendor, "--only", "speed"},
         nullptr,
         "unknown check 'speed'"},
        {"ValidateBadTimeout", {"validate", kQuendor, "--timeout", "0"}, nullptr, "--timeout"},
        {"ValidateJunitUnwritable",
         {"validate", kQuendor, "--only", "exports", "--junit", kMissing + "/x/report.xml"},
         nullptr,
         "cannot write the JUnit report"},
        {"RunTraceUnwritable",
         {"run", kQuendor, "--trace", kMissing + "/x/trace"},
         "",
         "cannot write the trace file"},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest, ::testing::ValuesIn(badInputs()),
                         [](const ::testing::TestParamInfo<BadInput> &info) {
                             return std::string(info.param.name);
                         });

TEST(ToolTest, HelpAndVersionSucceed) {
    for (const std::vector<std::string> &args : {std::vector<std::string>{"--help"},
                                                 {"run", "--help"},
                                                 {"validate", "--help"},
                                                 {"--version"}}) {
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.status, 0) << args.front();
        EXPECT_FALSE(run.out.empty());
    }
}

} // namespace
