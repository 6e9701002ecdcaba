// `wqhost validate` in CI: reports are written even for a library that
// cannot be used, reports go to standard output on request, checks are
// chosen by patterns, and the check table is there as JSON.
#include "host/checks/ConformanceCheck.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using wqtest::runTool;
using wqtest::testModule;
using wqtest::ToolRun;

namespace {

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Unusable {
    const char *name;
    std::string library;
    const char *why;
    const char *advice; // in the text report: what the author is told to do
};

// Shown by the case's name: printed byte by byte, the string's unused
// buffer would be read uninitialised.
void PrintTo(const Unusable &u, std::ostream *out) { *out << u.name; }

class UnusableLibraryTest : public ::testing::TestWithParam<Unusable> {};

TEST_P(UnusableLibraryTest, FailsTheFirstCheckAndWritesBothReports) {
    const Unusable &u = GetParam();
    const std::string junit = std::string(WQ_TEST_OUTPUT_DIR) + "/unusable_" + u.name + ".xml";
    std::remove(junit.c_str());
    const ToolRun run = runTool({"validate", u.library, "--json", "--junit", junit});
    EXPECT_EQ(run.status, 1) << run.err;
    const auto doc = nlohmann::json::parse(run.out);
    ASSERT_EQ(doc["checks"].size(), wqhost::conformanceChecks().size());
    EXPECT_EQ(doc["checks"][0]["name"], "exports");
    EXPECT_EQ(doc["checks"][0]["result"], "fail");
    EXPECT_NE(doc["checks"][0].dump().find(u.why), std::string::npos) << doc["checks"][0].dump();
    EXPECT_EQ(doc["failed"], 1);
    EXPECT_EQ(doc["skipped"], wqhost::conformanceChecks().size() - 1);
    const std::string xml = readFile(junit);
    EXPECT_NE(xml.find("<testcase classname=\"wqhost.validate\" name=\"exports\""),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find(u.why), std::string::npos) << xml;

    // Not selected, the exports check still says why nothing ran, first.
    const ToolRun some = runTool({"validate", u.library, "--only", "gui-*"});
    EXPECT_EQ(some.status, 1);
    const size_t failed = some.out.find("\nFAIL  exports: ");
    EXPECT_NE(failed, std::string::npos) << some.out;
    EXPECT_LT(failed, some.out.find("\nSKIP  ")) << some.out;
    EXPECT_NE(some.out.find(" checks (gui-record to "), std::string::npos) << some.out;

    // The text report gives the checks that could not run one line.
    const ToolRun text = runTool({"validate", u.library});
    EXPECT_EQ(text.status, 1);
    size_t skips = 0;
    for (size_t at = text.out.find("SKIP  "); at != std::string::npos;
         at = text.out.find("SKIP  ", at + 1))
        ++skips;
    EXPECT_EQ(skips, 1u) << text.out;
    EXPECT_NE(text.out.find("SKIP  " + std::to_string(wqhost::conformanceChecks().size() - 1) +
                            " checks (describe-index-0 to "),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(u.advice), std::string::npos) << text.out;
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, UnusableLibraryTest,
    ::testing::Values(Unusable{"NotALibrary", std::string(WQ_TEST_SOURCE_DIR) + "/CMakeLists.txt",
                               "cannot load library", "cannot load library"},
                      Unusable{"NoExports", testModule("wq_half_module"), "makeModule",
                               "define the two exports with WQ_MODULE_ENTRY_POINTS("}),
    [](const ::testing::TestParamInfo<Unusable> &info) { return std::string(info.param.name); });

TEST(ValidateReportTest, JunitOnStandardOutput) {
    const ToolRun run =
        runTool({"validate", WQ_QUENDOR_LIBRARY, "--only", "exports", "--junit", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("<?xml", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("name=\"exports\""), std::string::npos);
    // The check lines moved to standard error.
    EXPECT_NE(run.err.find("PASS  exports"), std::string::npos) << run.err;
    EXPECT_FALSE(std::ifstream("-").good());
}

TEST(ValidateReportTest, ListAsJsonNamesEveryCheck) {
    const ToolRun run = runTool({"validate", "--list", "--json"});
    EXPECT_EQ(run.status, 0);
    const auto list = nlohmann::json::parse(run.out);
    ASSERT_EQ(list.size(), wqhost::conformanceChecks().size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i]["name"], wqhost::conformanceChecks()[i].name);
        EXPECT_EQ(list[i]["summary"], wqhost::conformanceChecks()[i].summary);
        // Every check is explained: its rule, why a host needs it, what a
        // failure usually means.
        for (const char *part : {"rule", "why", "failure"})
            EXPECT_GE(list[i][part].get<std::string>().size(), 20u)
                << list[i]["name"] << " " << part;
    }
}

TEST(ValidateReportTest, ExplainTellsOneCheckAndRefusesAnUnknownOne) {
    const ToolRun run = runTool({"validate", "--explain", "audio-written"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("audio-written: ", 0), 0u) << run.out;
    for (const char *part : {"\n  rule:    ", "\n  why:     ", "\n  failing: "})
        EXPECT_NE(run.out.find(part), std::string::npos) << run.out;
    const ToolRun json = runTool({"validate", "--explain", "leaks", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(nlohmann::json::parse(json.out)["name"], "leaks");
    const ToolRun unknown = runTool({"validate", "--explain", "no-such-check"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown check 'no-such-check'"), std::string::npos) << unknown.err;
}

TEST(ValidateReportTest, PatternsChooseChecks) {
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> ran; // run, in order, not skipped
    };
    std::vector<std::string> pinChecks;
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks())
        if (std::string(c.name).rfind("pin-", 0) == 0)
            pinChecks.push_back(c.name);
    ASSERT_GE(pinChecks.size(), 2u);
    const Case cases[] = {
        {{"--only", "pin-*"}, pinChecks},
        {{"--only", "pin-*", "--skip", "*-random,*-stable,*-names"},
         {"pin-declarations", "pin-changes"}},
        {{"--only", "e?ports"}, {"exports"}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {"validate", WQ_QUENDOR_LIBRARY, "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> ran;
        const auto doc = nlohmann::json::parse(run.out);
        for (const auto &check : doc["checks"])
            if (check["result"] != "skip")
                ran.push_back(check["name"]);
        EXPECT_EQ(ran, c.ran) << c.options.back();
    }
    const ToolRun none = runTool({"validate", WQ_QUENDOR_LIBRARY, "--only", "zz*"});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("unknown check 'zz*'"), std::string::npos) << none.err;
}

} // namespace
