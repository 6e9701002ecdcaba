// SessionEngine - carries out the commands of a session on a Session: the
// one executor behind `wqhost run` (a script or standard input), its prompt,
// and the web panel. What each command does is its row in the command table
// (SessionCommands.cpp); the engine runs the row's action, counts the
// expectations, and hands back what the step did (SessionStep) for the caller
// to show in its own form: text for a run, JSON events for the panel.
//
// A command that cannot be carried out (an undeclared pin, a closed module,
// a library that refuses its objects) is a ScriptError with the command's
// line, whatever part of the host found it.
#pragma once

#include "host/audio/AudioStreams.h"
#include "host/core/Session.h"
#include "host/script/ScriptCommand.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

// What a caller shows after a step.
enum class StepReport {
    Changes, // the pins the step changed, its calls, the faults it brought to light
    Opened,  // every pin (fresh objects), the calls, the faults
    Closed,  // that the module is closed, the calls, the faults
    Text,    // the step's own text alone
    Verdict, // whether an expectation held
    Nothing, // a command of whoever reads the commands (help, quit)
};

// What one command did.
struct SessionStep {
    ScriptOp op = ScriptOp::Show;
    StepReport report = StepReport::Nothing;
    std::vector<PinValue> before; // the pin values before the step, when the module was open
    uint64_t firstCall = 0;       // the sequence number of the step's first call in the log
    size_t problemsBefore = 0;    // how many problems the session had before the step
    int32_t pin = -1;             // the pin a set or an expectation named, resolved
    std::string text;             // Text: what the step has to say, in lines "  ...\n"
    bool held = false;            // Verdict: whether the expectation held
    std::string actual;           // Verdict: what was found ("pin 2 is \"b\"")
};

class SessionEngine {
public:
    struct Options {
        // `expect golden` writes its reference instead of comparing with it.
        bool recordGolden = false;
        // Where files that commands read are found (`signal ... file`,
        // `expect golden`): the script's folder; empty for the current one.
        std::string inputFolder;
    };

    // The most objects of the module a session drives at once (`object N`).
    static constexpr int32_t kMaxObjects = 8;

    // The engine feeds the session's audio inputs and takes its outputs
    // (AudioStreams) while it lives. `session` is object 1; `object N` makes
    // further ones, each a Session of its own on the same library, as a host
    // holds several instances of a module.
    explicit SessionEngine(Session &session) : SessionEngine(session, Options()) {}
    SessionEngine(Session &session, Options options);
    ~SessionEngine();
    SessionEngine(const SessionEngine &) = delete;
    SessionEngine &operator=(const SessionEngine &) = delete;

    const Options &options() const noexcept { return m_options; }
    // The signals, recordings and the samples of the last process of the
    // object the commands go to.
    AudioStreams &streams() noexcept { return *m_currentStreams; }

    // Carries out one command. Throws ScriptError with the command's line
    // when it cannot be carried out.
    SessionStep execute(const ScriptCommand &command);

    // The object the commands go to (the first until `object N`).
    Session &session() noexcept { return *m_current; }
    const Session &session() const noexcept { return *m_current; }
    int32_t currentObject() const noexcept { return m_currentNumber; }
    // Makes object `number` (1 to kMaxObjects) the one the commands go to;
    // one not yet made is created and opened with the current object's rate
    // and block size. Returns whether it was made now.
    bool switchToObject(int32_t number);
    // What the host found wrong with every object so far.
    size_t problemCount() const;

    // `trace on`: the caller shows every call of each step.
    bool tracing() const noexcept { return m_trace; }
    void setTracing(bool on) noexcept { m_trace = on; }

    int failedExpectations() const noexcept { return m_failed; }
    int passedExpectations() const noexcept { return m_passed; }

    // For the actions of the command table.
    // Throws "the module is closed (use open)" unless the module is open.
    void requireRunning(const ScriptCommand &command) const;
    // The index of the command's pin, by number or by name.
    int32_t resolvePin(const ScriptCommand &command) const;
    // Records an expectation's verdict in `step` and counts it.
    void expectation(SessionStep &step, bool holds, std::string actual);

private:
    // An object after the first: its session and what feeds it.
    struct Other {
        std::unique_ptr<Session> session;
        AudioStreams streams;
    };

    Session &m_session;
    Options m_options;
    AudioStreams m_streams;
    std::vector<std::unique_ptr<Other>> m_others; // object N at N - 2, or null
    Session *m_current;
    AudioStreams *m_currentStreams;
    int32_t m_currentNumber = 1;
    bool m_trace = false;
    int m_failed = 0;
    int m_passed = 0;
};

} // namespace wqhost
