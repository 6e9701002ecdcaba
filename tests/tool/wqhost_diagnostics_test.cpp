// What wqhost says about a module beyond pass and fail: the hint for a
// mistake authors make, the cause of a crash (an escaped exception, a
// sanitizer's report), the checks run in the tool's own process for a
// debugger, and a soak of the randomised checks over many seeds.
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using wqtest::runTool;
using wqtest::testModule;
using wqtest::ToolRun;

namespace {

std::string authoredModule(const std::string &fault) {
    return std::string(WQ_AUTHORED_MODULE_DIR) + "/" + WQ_MODULE_PREFIX + "wq_authored_" + fault +
           WQ_MODULE_SUFFIX;
}

struct Hint {
    const char *name;
    std::vector<std::string> args; // after "wqhost"
    int status;
    std::vector<std::string> has; // in standard output and error together
};

void PrintTo(const Hint &h, std::ostream *os) { *os << h.name; }

class HintTest : public ::testing::TestWithParam<Hint> {};

TEST_P(HintTest, NamesTheMistake) {
    const Hint &h = GetParam();
    const ToolRun run = runTool(h.args);
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, h.status) << run.out << run.err;
    for (const std::string &part : h.has)
        EXPECT_NE((run.out + run.err).find(part), std::string::npos) << part << "\n"
                                                                     << run.out << run.err;
}

std::vector<Hint> hintCases() {
    const std::string exception = authoredModule("escaped_exception");
    const std::string object = authoredModule("object_for_record");
    const std::string thrown = "C++ exception std::runtime_error: \"bad list\"";
    std::vector<Hint> cases = {
        {"ExceptionInValidate",
         {"validate", exception, "--only", "describe-other-index", "--seed", "3"},
         1,
         {"FAIL  describe-other-index: crashed (" + thrown + ") in getModuleProperties index=1"}},
        {"ExceptionInJson",
         {"validate", exception, "--only", "describe-other-index", "--json"},
         1,
         {"\"crashed\": true", "std::runtime_error: \\\"bad list\\\""}},
        {"ObjectForRecord",
         {"validate", object, "--only", "audio-record,gui-record", "--seed", "3"},
         1,
         {"FAIL  audio-record: ", "return the object's record, not the object",
          "FAIL  gui-record: "}},
    };
#ifndef _WIN32
    // A Windows module's export list makes the linker refuse this one.
    const std::string mangled = authoredModule("mangled_exports");
    cases.push_back({"MangledExports",
                     {"validate", mangled},
                     1,
                     {"FAIL  exports: ", "hint: the library has getModuleProperties(int, "
                                         "WQModuleDescription*) and makeModule("}});
    cases.push_back({"MangledExportsInInfo",
                     {"info", mangled},
                     2,
                     {"hint: the library has ", "declare it extern \"C\""}});
    cases.push_back({"WrongSignatureInInfo",
                     {"info", authoredModule("wrong_signature")},
                     2,
                     {"does not export 'getModuleProperties'",
                      "hint: the library has getModuleProperties(int, void*) where the host looks "
                      "for getModuleProperties(int, WQModuleDescription*)"}});
#endif
#ifdef WQ_OTHER_WORD_SIZE_MODULE
    cases.push_back(
        {"OtherWordSize",
         {"validate", WQ_OTHER_WORD_SIZE_MODULE},
         1,
         {"FAIL  exports: ", "hint: the library is 32-bit", "use the 32-bit build of wqhost"}});
    cases.push_back({"OtherWordSizeInRun",
                     {"run", WQ_OTHER_WORD_SIZE_MODULE, "-"},
                     2,
                     {"hint: the library is 32-bit"}});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Mistakes, HintTest, ::testing::ValuesIn(hintCases()),
                         [](const ::testing::TestParamInfo<Hint> &info) {
                             return std::string(info.param.name);
                         });

// The JSON report without what differs from run to run (times) or between
// the ways of running (the limit).
nlohmann::json comparable(const std::string &out) {
    nlohmann::json doc = nlohmann::json::parse(out);
    doc.erase("timeout");
    for (auto &check : doc["checks"])
        check.erase("seconds");
    return doc;
}

TEST(InProcessTest, APassingModuleGivesTheSameReportAsIsolated) {
    for (const std::string &module :
         {testModule("wq_conforming_module"), testModule("wq_broken_unused_opcode")}) {
        const ToolRun isolated = runTool({"validate", module, "--seed", "11", "--json"});
        const ToolRun here =
            runTool({"validate", module, "--seed", "11", "--json", "--in-process"});
        ASSERT_TRUE(here.exited) << here.err;
        EXPECT_EQ(here.status, isolated.status) << here.err;
        EXPECT_EQ(comparable(here.out), comparable(isolated.out)) << here.out;
        EXPECT_NE(here.err.find("(seed 11, in process, no time limit)"), std::string::npos)
            << here.err;
    }
}

TEST(InProcessTest, ACheckThatCannotBeStoppedTakesNoTimeLimit) {
    const ToolRun run =
        runTool({"validate", testModule("wq_conforming_module"), "--in-process", "--timeout", "5"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--in-process runs the checks with no time limit"), std::string::npos)
        << run.err;
}

#if !defined(_WIN32)
// In the tool's own process a crash of the module ends the tool: that is
// what a debugger wants to see.
TEST(InProcessTest, ACrashEndsTheTool) {
    const ToolRun run = runTool({"validate", testModule("wq_broken_crash_open"), "--only",
                                 "audio-open-close", "--in-process"});
    EXPECT_TRUE(!run.exited || run.status != 0);
    EXPECT_EQ(run.out.find("passed"), std::string::npos) << run.out;
}
#endif

TEST(RepeatTest, EachRoundPrintsItsSeedAndAddsItsChecks) {
    const ToolRun run =
        runTool({"validate", testModule("wq_conforming_module"), "--only", "unused-opcodes,exports",
                 "--seed", "4", "--repeat", "3", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("repeat 2/3 (seed "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("repeat 3/3 (seed "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("repeat: no failure with 3 seeds"), std::string::npos) << run.err;
    // The exports check draws no random numbers: it runs once.
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    std::vector<std::string> names;
    std::vector<uint64_t> seeds;
    for (const auto &check : doc["checks"]) {
        names.push_back(check["name"]);
        seeds.push_back(check.value("seed", uint64_t{4}));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"exports", "unused-opcodes", "unused-opcodes",
                                               "unused-opcodes"}));
    ASSERT_EQ(seeds.size(), 4u);
    EXPECT_EQ(seeds[1], 4u);
    EXPECT_NE(seeds[2], 4u);
    EXPECT_NE(seeds[3], 4u);
}

TEST(RepeatTest, TheFirstFailingSeedIsNamed) {
    const ToolRun run = runTool({"validate", testModule("wq_broken_unused_opcode"), "--only",
                                 "unused-opcodes", "--seed", "9", "--repeat", "2"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.out.find("first failing seed: 9 (--seed 9 repeats it)"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("0 passed, 2 failed"), std::string::npos) << run.out;
}

TEST(RepeatTest, ChecksWithoutRandomNumbersAreNotRepeated) {
    const ToolRun run = runTool(
        {"validate", testModule("wq_conforming_module"), "--only", "exports", "--repeat", "5"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("nothing to repeat"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 passed, 0 failed"), std::string::npos) << run.out;
}

TEST(RepeatTest, RefusesNoRounds) {
    const ToolRun run = runTool({"validate", testModule("wq_conforming_module"), "--repeat", "0"});
    EXPECT_EQ(run.status, 2) << run.err;
}

} // namespace
