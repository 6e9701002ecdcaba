// ScriptRunner - a run of script commands (ScriptParser) on a Session, shown
// as text: the commands are carried out by the session engine
// (SessionEngine), and the runner shows what each step did: the pins whose
// value or list of choices changed, the faults the host found in the module,
// and with `trace on` every call.
//
// Output is free of addresses and timings, so a run's output can be stored
// and compared on every build target. An expectation that does not hold is
// reported on the output and on the error stream ("NAME:LINE: ...") and
// counted; the run goes on.
#pragma once

#include "host/core/Session.h"
#include "host/script/ScriptParser.h"
#include "host/script/SessionEngine.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace wqhost {

class ScriptRunner {
public:
    struct Options {
        bool showCommands = true; // print "> command" before each step
        bool errorLines = true;   // report a failed expectation on the error stream too
        SessionEngine::Options engine;
    };

    // `sourceName` names the script in messages ("demo.wqs", "<stdin>").
    ScriptRunner(Session &session, std::ostream &out, std::ostream &err, std::string sourceName);
    ScriptRunner(Session &session, std::ostream &out, std::ostream &err, std::string sourceName,
                 Options options);

    // Prints the module's name, pin table and pin values: the start of a run.
    void printStart();

    // Carries out one command. Returns false for quit. A command that cannot
    // be carried out (an undeclared pin, a closed module...) throws
    // ScriptError with the command's line.
    bool execute(const ScriptCommand &command);

    // Runs commands until the end or quit.
    void run(const std::vector<ScriptCommand> &commands);

    const SessionEngine &engine() const noexcept { return m_engine; }
    int failedExpectations() const noexcept { return m_engine.failedExpectations(); }
    int passedExpectations() const noexcept { return m_engine.passedExpectations(); }

private:
    void show(const ScriptCommand &command, const SessionStep &step);
    void showVerdict(const ScriptCommand &command, const SessionStep &step);
    void showChanges(const SessionStep &step, bool comparePins);

    SessionEngine m_engine;
    std::ostream &m_out;
    std::ostream &m_err;
    std::string m_name;
    Options m_options;
};

} // namespace wqhost
