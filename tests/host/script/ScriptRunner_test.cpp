// Scripts run on the built module library in a session: each step shows the
// pins it changed, expectations are counted, mistakes name their line, and
// the output holds no address.
#include "host/describe/ModuleProbe.h"
#include "host/script/ScriptParser.h"
#include "host/script/ScriptRunner.h"
#include "host/core/Session.h"
#include "tests/support/TextChecks.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace wqhost;

namespace {

struct ScriptRun {
    std::string out;
    std::string err;
    int failed = 0;
    int passed = 0;
};

ScriptRun runScript(const std::string &library, const std::string &script) {
    Session session(library);
    session.start();
    std::ostringstream out, err;
    ScriptRunner runner(session, out, err, "test.wqs");
    runner.run(parseScript(script));
    return ScriptRun{out.str(), err.str(), runner.failedExpectations(),
                     runner.passedExpectations()};
}

// The lines of `text` that follow the line "> command" up to the next command.
std::string stepOutput(const std::string &text, const std::string &command) {
    const std::string marker = "> " + command + "\n";
    size_t at = text.find(marker);
    if (at == std::string::npos)
        return "(no such step)";
    at += marker.size();
    size_t end = text.find("\n>", at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at);
}

TEST(ScriptRunnerTest, EachStepShowsOnlyThePinsItChanged) {
    const ScriptRun r =
        runScript(WQ_QUENDOR_LIBRARY, "list \"red,green,blue\"\nselect 2\nselect 5\n");
    const std::string selectTwo = stepOutput(r.out, "select 2");
    EXPECT_NE(selectTwo.find("\"blue\""), std::string::npos) << selectTwo;
    EXPECT_NE(selectTwo.find("pin 3"), std::string::npos) << selectTwo;
    EXPECT_EQ(selectTwo.find("pin 0"), std::string::npos) << selectTwo;
    // No item 5: only the selection itself changed.
    const std::string selectFive = stepOutput(r.out, "select 5");
    EXPECT_NE(selectFive.find("pin 1"), std::string::npos) << selectFive;
    EXPECT_EQ(selectFive.find("pin 2"), std::string::npos) << selectFive;
}

TEST(ScriptRunnerTest, ExpectationsAreCountedAndFailuresNameTheirLine) {
    const ScriptRun r = runScript(WQ_QUENDOR_LIBRARY, "list \"a=1,b=2\"\n"
                                                      "select 1\n"
                                                      "expect pin 2 == \"b\"\n"
                                                      "expect pin 2 == \"a\"\n"
                                                      "expect pin 1 == 1\n"
                                                      "expect pin 1 != 1\n"
                                                      "expect choices 1 == \"a=1,b=2\"\n"
                                                      "expect problems == 0\n");
    EXPECT_EQ(r.passed, 4);
    EXPECT_EQ(r.failed, 2);
    EXPECT_NE(r.err.find("test.wqs:4: expectation failed: expect pin 2 == \"a\" (pin 2 is \"b\")"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("test.wqs:6:"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("FAILED: pin 2 is \"b\" (line 4)"), std::string::npos) << r.out;
}

TEST(ScriptRunnerTest, NumbersCompareInThePinsOwnForm) {
    const ScriptRun r = runScript(WQ_ECHO_MODULE_PATH, "set 1 int 7\n" // NUMBER: int
                                                       "expect pin 1 == 7\n"
                                                       "expect pin 1 == \"7\"\n"
                                                       "expect pin 3 == 3.5\n" // LEVEL: half of 7
                                                       "expect pin 3 == \"3.5\"\n"
                                                       "set \"TEXT\" \"abc\"\n"
                                                       "expect pin \"COPY\" == \"abc\"\n"
                                                       "expect choices 4 == \"abc\"\n");
    EXPECT_EQ(r.failed, 0) << r.out << r.err;
    EXPECT_EQ(r.passed, 6);
}

TEST(ScriptRunnerTest, TraceShowsTheCallsOfAStepWithoutAddresses) {
    const ScriptRun r = runScript(WQ_QUENDOR_LIBRARY, "trace on\nlist \"a,b\"\nselect 1\n");
    const std::string step = stepOutput(r.out, "select 1");
    EXPECT_NE(step.find("gui -> GD_PIN_CHANGED index=1"), std::string::npos) << step;
    EXPECT_NE(step.find("    gui <- GH_PIN_SET_TEXT index=2 text=\"b\" => 0"), std::string::npos)
        << step;
    EXPECT_NE(step.find("gui <- GH_PIN_GET_TEXT index=0 => \"a,b\""), std::string::npos) << step;
    EXPECT_FALSE(wqtest::holdsAddress(r.out)) << r.out;
}

TEST(ScriptRunnerTest, EchoOffLeavesTheModulesWritesUnreported) {
    const ScriptRun on = runScript(WQ_QUENDOR_LIBRARY, "trace on\nlist \"a,b\"\nwrite 1\n");
    const ScriptRun off =
        runScript(WQ_QUENDOR_LIBRARY, "echo off\ntrace on\nlist \"a,b\"\nwrite 1\n");
    const std::string echoed = stepOutput(on.out, "write 1");
    const std::string quiet = stepOutput(off.out, "write 1");
    EXPECT_NE(echoed.find("      gui -> GD_PIN_CHANGED index=1"), std::string::npos) << echoed;
    EXPECT_EQ(quiet.find("      gui -> GD_PIN_CHANGED"), std::string::npos) << quiet;
}

TEST(ScriptRunnerTest, CloseOpenAndRecreateGiveFreshObjects) {
    const ScriptRun r =
        runScript(WQ_QUENDOR_LIBRARY, "list \"a,b\"\nclose\nopen\n"
                                      "expect pin 0 == \"\"\nlist \"x,y\"\nrecreate\n"
                                      "expect pin 0 == \"\"\nexpect problems == 0\n");
    EXPECT_EQ(r.failed, 0) << r.out;
    EXPECT_NE(r.out.find("(closed)"), std::string::npos);
}

struct RuntimeMistake {
    const char *script;
    int line;
    const char *message;
};

void PrintTo(const RuntimeMistake &m, std::ostream *os) { *os << m.script; }

class ScriptRuntimeMistakeTest : public ::testing::TestWithParam<RuntimeMistake> {};

TEST_P(ScriptRuntimeMistakeTest, StopsTheRunWithTheLine) {
    Session session(WQ_QUENDOR_LIBRARY);
    session.start();
    std::ostringstream out, err;
    ScriptRunner runner(session, out, err, "test.wqs");
    try {
        runner.run(parseScript(GetParam().script));
        FAIL() << "ran: " << GetParam().script;
    } catch (const ScriptError &e) {
        EXPECT_EQ(e.line(), GetParam().line);
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, ScriptRuntimeMistakeTest,
    ::testing::Values(RuntimeMistake{"show\nset 9 int 1\n", 2, "pin 9 is not declared"},
                      RuntimeMistake{"expect pin 7 == 1\n", 1, "pin 7 is not declared"},
                      RuntimeMistake{"set \"NO SUCH PIN\" 1\n", 1, "no pin is named"},
                      RuntimeMistake{"close\nselect 1\n", 2, "closed"},
                      RuntimeMistake{"close\nclose\n", 2, "closed"},
                      RuntimeMistake{"open\n", 1, "open already"}));

TEST(ScriptRunnerTest, AnAliasNamesThePinTheModuleLacks) {
    // The echo module has none of the list module's pins.
    for (const RuntimeMistake &m :
         {RuntimeMistake{
              "list a,b\n", 1,
              "'list' sets the pin named \"TEXT LIST\", and this module has no such pin"},
          RuntimeMistake{"show\nselect 1\n", 2, "'select' sets the pin named \"LIST\""},
          RuntimeMistake{"write 1\n", 1, "'write' sets the pin named \"ITEM -> VALUE\""}}) {
        Session session(WQ_ECHO_MODULE_PATH);
        session.start();
        std::ostringstream out, err;
        ScriptRunner runner(session, out, err, "test.wqs");
        try {
            runner.run(parseScript(m.script));
            ADD_FAILURE() << "ran: " << m.script;
        } catch (const ScriptError &e) {
            EXPECT_EQ(e.line(), m.line);
            EXPECT_NE(std::string(e.what()).find(m.message), std::string::npos) << e.what();
        }
    }
}

TEST(ScriptRunnerTest, QuitEndsTheRun) {
    const ScriptRun r = runScript(WQ_QUENDOR_LIBRARY, "select 1\nquit\nselect 2\n");
    EXPECT_NE(r.out.find("> select 1"), std::string::npos);
    EXPECT_EQ(r.out.find("> select 2"), std::string::npos);
}

TEST(ScriptRunnerTest, StartShowsTheTableAndTheModulesProblems) {
    Session session(WQ_QUENDOR_LIBRARY);
    session.start();
    std::ostringstream out, err;
    ScriptRunner(session, out, err, "x").printStart();
    EXPECT_NE(out.str().find("\"ITEM -> VALUE\""), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("choices \"a=1,b=2\""), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("problem"), std::string::npos) << out.str();
}

TEST(ModuleProbeTest, ReadsTheTableAndCountsAudioPins) {
    const ModuleProbe quendor = probeModule(ModuleLibrary::load(WQ_QUENDOR_LIBRARY));
    EXPECT_TRUE(quendor.description.ok);
    ASSERT_EQ(quendor.pins.size(), 4u);
    EXPECT_EQ(quendor.audioPinCount(), 0);
    const ModuleProbe echo = probeModule(ModuleLibrary::load(WQ_ECHO_MODULE_PATH));
    EXPECT_EQ(echo.audioPinCount(), 1); // "SIGNAL" is the only pin without IO_UI_COMMUNICATION
    EXPECT_TRUE(echo.problems.empty());
}

} // namespace
