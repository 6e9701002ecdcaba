// ScriptRunner - carries out script commands (ScriptParser) on a Session and
// shows what each step did: the pins whose value or list of choices changed,
// the faults the host found in the module, and with `trace on` every call.
//
// Output is free of addresses and timings, so a run's output can be stored
// and compared on every build target. An expectation that does not hold is
// reported on the output and on the error stream ("NAME:LINE: ...") and
// counted; the run goes on.
#pragma once

#include "host/script/ScriptParser.h"
#include "host/core/Session.h"

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

    int failedExpectations() const noexcept { return m_failed; }
    int passedExpectations() const noexcept { return m_passed; }

private:
    void step(const ScriptCommand &command);
    int32_t resolvePin(const ScriptCommand &command) const;
    void requireRunning(const ScriptCommand &command) const;
    void expectPin(const ScriptCommand &command);
    void expectChoices(const ScriptCommand &command);
    void expectProblems(const ScriptCommand &command);
    void expectation(const ScriptCommand &command, bool holds, const std::string &actual);
    void printChanges(const std::vector<PinValue> &before, uint64_t firstCall,
                      size_t problemsBefore);

    Session &m_session;
    std::ostream &m_out;
    std::ostream &m_err;
    std::string m_name;
    Options m_options;
    bool m_trace = false;
    int m_failed = 0;
    int m_passed = 0;
};

} // namespace wqhost
