// Modules with one side only (makeModule answers the other type with null):
// `info` says which side there is, and `run` drives that side alone, never
// asking for the other.
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <string>

using wqtest::runTool;
using wqtest::ToolRun;

namespace {

struct OneSided {
    const char *name;
    const char *library;
    bool audio;
    const char *sides;   // as info shows them
    const char *script;  // a session that holds on this side alone
    const char *shown;   // a part of that session's output
    const char *missing; // the side it lacks, as validate names it
};

void PrintTo(const OneSided &m, std::ostream *os) { *os << m.name; }

class OneSidedModule : public ::testing::TestWithParam<OneSided> {};

TEST_P(OneSidedModule, InfoNamesTheSideItHas) {
    const OneSided &m = GetParam();
    const ToolRun text = runTool({"info", m.library});
    EXPECT_EQ(text.status, 0) << text.out << text.err;
    EXPECT_NE(text.out.find(std::string("sides       ") + m.sides), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("problem"), std::string::npos) << text.out;

    const ToolRun json = runTool({"info", m.library, "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["sides"]["audio"], m.audio);
    EXPECT_EQ(doc["sides"]["gui"], !m.audio);
    EXPECT_EQ(doc["pins"].is_null(), !m.audio);
}

TEST_P(OneSidedModule, RunDrivesTheOneSideThroughEveryLifecycleCommand) {
    const OneSided &m = GetParam();
    const std::string script =
        std::string("show\nclose\nopen\nrecreate\n") + m.script + "expect problems == 0\n";
    const ToolRun run = runTool({"run", m.library}, &script);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_NE(run.out.find(m.shown), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("created no"), std::string::npos) << run.out;
}

// The missing side is told once, in the header before the first check, and
// the JSON and JUnit reports carry the sides the module has.
TEST_P(OneSidedModule, ValidateNamesTheMissingSideOnceInTheHeader) {
    const OneSided &m = GetParam();
    const std::string junit = ::testing::TempDir() + "one_sided_" + m.name + ".xml";
    const ToolRun run =
        runTool({"validate", m.library, "--only", "exports,events", "--json", "--junit", junit});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::string note = std::string("note: the module has no ") + m.missing + " side";
    const size_t at = run.err.find(note);
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(note, at + 1), std::string::npos) << run.err;
    EXPECT_LT(at, run.err.find("PASS  exports")) << run.err;
    EXPECT_NE(run.err.find(": that side's checks are skipped\n"), std::string::npos) << run.err;

    const auto doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["sides"], nlohmann::json::array({m.audio ? "audio" : "gui"})) << run.out;
    std::ifstream file(junit);
    const std::string xml((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(xml.find(std::string("<property name=\"sides\" value=\"") +
                       (m.audio ? "audio" : "gui") + "\"/>"),
              std::string::npos)
        << xml;
}

const OneSided kModules[] = {
    {"AudioOnly", WQ_AUDIO_ONLY_MODULE, true, "audio only",
     // A pin change is kept in the host (there is no GUI object to tell).
     "set \"IN\" float 0.5\nexpect pin \"IN\" == 0.5\nprocess 3\n", "\"OUT\"", "GUI"},
    {"GuiOnly", WQ_GUI_ONLY_MODULE, false, "GUI only", "show\n", "(no pins declared)", "audio"},
};

INSTANTIATE_TEST_SUITE_P(Tool, OneSidedModule, ::testing::ValuesIn(kModules),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(OneSidedModule, ProcessingWithoutAnAudioSideIsAMistakeOfTheScript) {
    const std::string script = "process 1\n";
    const ToolRun run = runTool({"run", WQ_GUI_ONLY_MODULE}, &script);
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_NE(run.err.find("<stdin>:1: the module has no audio side to process"), std::string::npos)
        << run.err;
}

} // namespace
