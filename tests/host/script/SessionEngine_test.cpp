// The session engine carries out each command on the session, whoever reads
// the commands: each command's effect on the module, what the step reports,
// the expectations it counts, and the mistakes it refuses with their texts
// and lines.
#include "host/script/ScriptParser.h"
#include "host/script/SessionCommands.h"
#include "host/script/SessionEngine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace wqhost;

namespace {

ScriptCommand commandOf(const std::string &line, int lineNumber = 1) {
    ScriptCommand c;
    if (!parseScriptLine(line, lineNumber, c))
        ADD_FAILURE() << "no command: " << line;
    return c;
}

// Runs `setup` (one command a line) on a fresh session of the echo module.
struct EngineRun {
    Session session{WQ_ECHO_MODULE_PATH};
    SessionEngine engine{session};

    explicit EngineRun(const std::string &setup) {
        session.start();
        for (const ScriptCommand &c : parseScript(setup))
            engine.execute(c);
    }
    SessionStep run(const std::string &line) { return engine.execute(commandOf(line)); }

    size_t callsSince(const SessionStep &step, CallKind kind) {
        size_t count = 0;
        for (const CallRecord &c : session.log().calls())
            count += c.seq >= step.firstCall && c.kind == kind ? 1 : 0;
        return count;
    }
};

struct Effect {
    const char *name;
    const char *setup;
    const char *line;
    StepReport report;
    int32_t pin; // the pin the step names, -1 for none
    std::function<void(EngineRun &, const SessionStep &)> check;
};

void PrintTo(const Effect &e, std::ostream *os) { *os << e.line; }

class SessionEngineEffect : public ::testing::TestWithParam<Effect> {};

TEST_P(SessionEngineEffect, ChangesTheSessionAndReportsTheStep) {
    const Effect &e = GetParam();
    EngineRun r(e.setup);
    const SessionStep step = r.run(e.line);
    EXPECT_EQ(step.report, e.report);
    EXPECT_EQ(step.pin, e.pin);
    e.check(r, step);
}

// The echo module: "NUMBER" (pin 1) writes half its value to "LEVEL" (3),
// "TEXT" (0) becomes "COPY" (2) and the choices of "CHOICE" (4).
INSTANTIATE_TEST_SUITE_P(
    Commands, SessionEngineEffect,
    ::testing::Values(
        Effect{"SetInt", "", "set 1 int 7", StepReport::Changes, 1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_EQ(r.session.gui().pins().at(1).integer, 7);
                   EXPECT_EQ(r.session.gui().pins().at(3).real, 3.5f);
                   ASSERT_EQ(s.before.size(), 7u);
                   EXPECT_EQ(s.before[1].integer, 0); // the value before the step
               }},
        Effect{"SetNamedText", "", "set \"TEXT\" \"a,b\"", StepReport::Changes, 0,
               [](EngineRun &r, const SessionStep &) {
                   EXPECT_EQ(r.session.gui().pins().text(2), "a,b");
                   EXPECT_EQ(r.session.gui().pins().listText(4), "a,b");
               }},
        Effect{"SetFloat", "", "set 3 float 0.25", StepReport::Changes, 3,
               [](EngineRun &r, const SessionStep &) {
                   EXPECT_EQ(r.session.gui().pins().at(3).real, 0.25f);
               }},
        Effect{"SetAutoIntAsText", "", "set 0 \"12\"", StepReport::Changes, 0,
               [](EngineRun &r, const SessionStep &) {
                   EXPECT_EQ(r.session.gui().pins().text(2), "12");
               }},
        Effect{"Show", "set 0 abc", "show", StepReport::Text, -1,
               [](EngineRun &, const SessionStep &s) {
                   EXPECT_NE(s.text.find("\"abc\""), std::string::npos) << s.text;
               }},
        Effect{"ShowClosed", "close", "show", StepReport::Text, -1,
               [](EngineRun &, const SessionStep &s) {
                   EXPECT_EQ(s.text, "  (the module is closed)\n");
               }},
        Effect{"EchoOff", "", "echo off", StepReport::Text, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_FALSE(r.session.gui().echo());
                   EXPECT_EQ(s.text, "  echo off\n");
               }},
        Effect{"TraceOn", "", "trace on", StepReport::Text, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_TRUE(r.engine.tracing());
                   EXPECT_EQ(s.text, "  trace on\n");
               }},
        Effect{"Close", "", "close", StepReport::Closed, -1,
               [](EngineRun &r, const SessionStep &) { EXPECT_FALSE(r.session.isRunning()); }},
        Effect{"Open", "close", "open", StepReport::Opened, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_TRUE(r.session.isRunning());
                   EXPECT_TRUE(s.before.empty()); // closed before
               }},
        Effect{"RecreateEmptiesThePins", "set 0 abc", "recreate", StepReport::Opened, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_EQ(r.session.gui().pins().text(0), "");
                   EXPECT_EQ(s.before.at(0).text, "abc");
               }},
        Effect{"RecreateOpensAClosedModule", "close", "recreate", StepReport::Opened, -1,
               [](EngineRun &r, const SessionStep &) { EXPECT_TRUE(r.session.isRunning()); }},
        Effect{"ProcessRunsEachBlock", "", "process 3", StepReport::Changes, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_EQ(r.callsSince(s, CallKind::Process), 3u);
               }},
        Effect{"ExpectPinHolds", "set 1 int 7", "expect pin 3 == 3.5", StepReport::Verdict, 3,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_TRUE(s.held);
                   EXPECT_EQ(r.engine.passedExpectations(), 1);
               }},
        Effect{
            "ExpectPinFails", "set 1 int 7", "expect pin \"NUMBER\" != 7", StepReport::Verdict, 1,
            [](EngineRun &r, const SessionStep &s) {
                EXPECT_FALSE(s.held);
                EXPECT_EQ(s.actual, "pin 1 is 7");
                EXPECT_EQ(r.engine.failedExpectations(), 1);
            }},
        Effect{"ExpectPinComparesAsTextWithAText", "set 1 int 7", "expect pin 1 == \"7\"",
               StepReport::Verdict, 1,
               [](EngineRun &, const SessionStep &s) { EXPECT_TRUE(s.held) << s.actual; }},
        Effect{"ExpectChoices", "set 0 x,y", "expect choices 4 == \"x\"", StepReport::Verdict, 4,
               [](EngineRun &, const SessionStep &s) {
                   EXPECT_FALSE(s.held);
                   EXPECT_EQ(s.actual, "pin 4 has the choices \"x,y\"");
               }},
        Effect{"ExpectProblemsWhenClosed", "close", "expect problems == 0", StepReport::Verdict, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_TRUE(s.held) << s.actual;
                   EXPECT_EQ(r.engine.passedExpectations(), 1);
               }},
        // Several objects at once: each its own pins, its own open and
        // close, the problems of all counted.
        Effect{"ObjectMakesAFreshOneBesideTheFirst", "set 0 abc", "object 2", StepReport::Changes,
               -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_EQ(r.engine.currentObject(), 2);
                   EXPECT_EQ(r.engine.session().gui().pins().text(0), "");
                   EXPECT_EQ(r.session.gui().pins().text(0), "abc");
                   EXPECT_TRUE(s.before.empty()); // not the first object's pins
                   EXPECT_EQ(s.text.rfind("  object 2 (made and opened)\n", 0), 0u) << s.text;
               }},
        Effect{"ObjectGoesBackWithItsPinsKept", "object 2\nset 0 xyz\nobject 1\nset 0 abc",
               "object 2", StepReport::Changes, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_EQ(r.engine.session().gui().pins().text(2), "xyz");
                   EXPECT_EQ(r.session.gui().pins().text(2), "abc");
                   EXPECT_EQ(s.text.rfind("  object 2\n", 0), 0u) << s.text;
               }},
        Effect{"CloseClosesTheCurrentObjectOnly", "object 3", "close", StepReport::Closed, -1,
               [](EngineRun &r, const SessionStep &) {
                   EXPECT_FALSE(r.engine.session().isRunning());
                   EXPECT_TRUE(r.session.isRunning());
               }},
        Effect{"AnObjectIsMadeWithTheRateAndBlockOfTheCurrentOne", "rate 96000\nblock 16",
               "object 2", StepReport::Changes, -1,
               [](EngineRun &r, const SessionStep &) {
                   EXPECT_EQ(r.engine.session().sampleRate(), 96000.0f);
                   EXPECT_EQ(r.engine.session().blockSize(), 16u);
               }},
        Effect{"ProcessGoesToTheCurrentObject", "object 2", "process 2", StepReport::Changes, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_EQ(r.callsSince(s, CallKind::Process), 0u); // none on object 1
                   size_t calls = 0;
                   for (const CallRecord &c : r.engine.session().log().calls())
                       calls += c.kind == CallKind::Process ? 1 : 0;
                   EXPECT_EQ(calls, 2u);
               }},
        Effect{"HelpIsNoStep", "", "help", StepReport::Nothing, -1,
               [](EngineRun &r, const SessionStep &s) {
                   EXPECT_EQ(r.callsSince(s, CallKind::Dispatch), 0u);
               }}),
    [](const ::testing::TestParamInfo<Effect> &info) { return info.param.name; });

struct Refusal {
    const char *setup;
    const char *line;
    const char *message; // the whole text
};

void PrintTo(const Refusal &r, std::ostream *os) { *os << r.setup << "|" << r.line; }

class SessionEngineRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(SessionEngineRefusal, IsAScriptErrorWithTheLineAndTheText) {
    EngineRun r(GetParam().setup);
    try {
        r.engine.execute(commandOf(GetParam().line, 42));
        FAIL() << "carried out: " << GetParam().line;
    } catch (const ScriptError &e) {
        EXPECT_EQ(e.line(), 42);
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
    // A refused command counts no expectation.
    EXPECT_EQ(r.engine.passedExpectations() + r.engine.failedExpectations(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, SessionEngineRefusal,
    ::testing::Values(Refusal{"", "set 9 int 1", "pin 9 is not declared"},
                      Refusal{"", "expect pin 7 == 1", "pin 7 is not declared"},
                      Refusal{"", "expect choices 9 == a", "pin 9 is not declared"},
                      Refusal{"", "set \"NO SUCH PIN\" 1", "no pin is named \"NO SUCH PIN\""},
                      Refusal{
                          "", "select 1",
                          "'select' sets the pin named \"LIST\", and this module has no such pin"},
                      Refusal{"", "open", "the module is open already (use recreate)"},
                      Refusal{"close", "close", "the module is closed (use open)"},
                      Refusal{"close", "set 0 a", "the module is closed (use open)"},
                      Refusal{"close", "process", "the module is closed (use open)"},
                      Refusal{"close", "expect pin 0 == \"\"", "the module is closed (use open)"},
                      Refusal{"close", "expect choices 4 == x", "the module is closed (use open)"},
                      Refusal{"object 2\nclose", "set 0 a", "the module is closed (use open)"}));

TEST(SessionCommandTableTest, EveryCommandHasTheRowThatCarriesItOut) {
    for (ScriptOp op : {ScriptOp::Set, ScriptOp::Show, ScriptOp::Echo, ScriptOp::Trace,
                        ScriptOp::Open, ScriptOp::Close, ScriptOp::Recreate, ScriptOp::Process,
                        ScriptOp::ExpectPin, ScriptOp::ExpectChoices, ScriptOp::ExpectProblems,
                        ScriptOp::Object, ScriptOp::Help, ScriptOp::Quit}) {
        const CommandRow &row = commandRow(op);
        EXPECT_EQ(row.op, op);
        // Only the reader's own commands have no action.
        EXPECT_EQ(row.act == nullptr, op == ScriptOp::Help || op == ScriptOp::Quit) << row.name;
    }
    // Rows that share a command word are told apart by their second word.
    for (const CommandRow &a : sessionCommands())
        for (const CommandRow &b : sessionCommands())
            if (&a != &b && std::string(a.name) == b.name) {
                ASSERT_TRUE(a.subcommand && b.subcommand) << a.name;
                EXPECT_NE(std::string(a.subcommand), b.subcommand) << a.name;
            }
}

TEST(SessionEngineTest, ExpectationsAreCountedAcrossSteps) {
    EngineRun r("set 1 int 4");
    for (const char *line :
         {"expect pin 3 == 2", "expect pin 3 == 3", "expect pin 1 != 5", "expect problems != 0"})
        r.run(line);
    EXPECT_EQ(r.engine.passedExpectations(), 2);
    EXPECT_EQ(r.engine.failedExpectations(), 2);
}

} // namespace
