// CallLog - the trace of every call between the host and a module, in both
// directions, in the order the calls began.
//
// Each call is entered when it begins (so a call that never returns is still
// on record) and completed with its result when it returns. Nested calls
// carry their nesting depth: a callback made inside a dispatcher call is one
// deeper than that call. The log can also write each call as one JSON object
// per line to a FILE*, flushed line by line, so that the last call before a
// crash is on disk: a "call" line when the call begins, a "return" line with
// the same "seq" when it returns (CallJson writes them).
#pragma once

#include "host/trace/CallRecord.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace wqhost {

// A call into the module that took longer than the budget of a call: a user
// waits for it, and a host's audio thread or window does.
struct SlowCall {
    std::string call; // "GD_PIN_CHANGED (index 0)"
    double milliseconds = 0.0;
};
constexpr double kCallBudgetMilliseconds = 100.0;
using SlowCallWatcher = std::function<void(const SlowCall &call)>;

class CallLog {
public:
    // Times every call into the module in every log of the process from now
    // on: `watcher` hears of each call that took longer than the budget and
    // holds no slower call of its own inside (a slow call is named once, not
    // with every call around it). A null watcher stops it.
    static void watchSlowCalls(SlowCallWatcher watcher);

    CallLog() = default;
    CallLog(const CallLog &) = delete;
    CallLog &operator=(const CallLog &) = delete;

    // Enters a call that begins now and returns its sequence number. The
    // record's seq and depth are set here.
    uint64_t begin(CallRecord call);

    // Completes the call `seq` with its result and, optionally, the answer in
    // words.
    void end(uint64_t seq, intptr_t result, const std::string &answer = std::string());

    // The calls kept so far, in the order they began.
    const std::vector<CallRecord> &calls() const noexcept { return m_calls; }

    // The kept calls that match `pred`, in order.
    std::vector<CallRecord> select(const std::function<bool(const CallRecord &)> &pred) const;

    // The kept callbacks of one side, in order.
    std::vector<CallRecord> callbacks(Side side) const;

    // Forgets the kept calls; sequence numbers go on counting.
    void clear() noexcept { m_calls.clear(); }

    // Whether calls are kept in memory (default on). Turning it off keeps the
    // JSON output and the depth count going.
    void setKeeping(bool keep) noexcept { m_keeping = keep; }
    bool keeping() const noexcept { return m_keeping; }

    // Writes every call to `sink` as JSON lines from now on; null stops it.
    // The log does not own the file.
    void setJsonSink(std::FILE *sink) noexcept { m_sink = sink; }
    std::FILE *jsonSink() const noexcept { return m_sink; }

    // Current nesting depth: the number of calls begun and not yet returned.
    int depth() const noexcept { return m_depth; }

    uint64_t nextSeq() const noexcept { return m_nextSeq; }

    // The call `seq` was left by an exception instead of returning: it
    // stays without a return line (still running, to whoever follows the
    // JSON lines), and leftByException() says so from then on.
    void leave(uint64_t seq) noexcept;

    // Whether an exception has left a call from the host into a module, in
    // any log of this process: the module let it escape through its C
    // interface.
    static bool leftByException() noexcept;

private:
    CallRecord *find(uint64_t seq) noexcept;

    // The calls that have begun and not returned, with their start.
    struct Running {
        uint64_t seq;
        std::chrono::steady_clock::time_point start;
        std::string label; // for a call into the module, else empty
        bool holdsSlowCall;
        double waitedAtStart;  // the thread's wait for a processor so far, in ms
        double writtenAtStart; // m_writingMilliseconds then
    };
    std::vector<Running> m_running;

    // Writes a line to the sink; while calls are timed, counts how long it
    // took, since a reader that is slow to take the lines (a parent under
    // a debugger or a memory checker) makes the write wait.
    void write(const std::string &line);
    double m_writingMilliseconds = 0.0;

    std::vector<CallRecord> m_calls;
    uint64_t m_nextSeq = 0;
    int m_depth = 0;
    bool m_keeping = true;
    std::FILE *m_sink = nullptr;
};

// Begins a call in the log and completes it when it goes out of scope: with
// the result given to finish(), or with result 0 when finish() was not called
// (an answer that failed inside the host). A call into the module that an
// exception leaves is not completed but left (CallLog::leave).
class CallScope {
public:
    CallScope(CallLog &log, CallRecord call)
        : m_log(log), m_intoModule(call.direction == Direction::HostToModule),
          m_exceptions(std::uncaught_exceptions()), m_seq(log.begin(std::move(call))) {}
    ~CallScope() {
        if (m_done)
            return;
        if (m_intoModule && std::uncaught_exceptions() > m_exceptions)
            m_log.leave(m_seq);
        else
            m_log.end(m_seq, 0);
    }
    CallScope(const CallScope &) = delete;
    CallScope &operator=(const CallScope &) = delete;

    void finish(intptr_t result, const std::string &answer = std::string()) {
        if (m_done)
            return;
        m_done = true;
        m_log.end(m_seq, result, answer);
    }
    uint64_t seq() const noexcept { return m_seq; }

private:
    CallLog &m_log;
    bool m_intoModule;
    int m_exceptions;
    uint64_t m_seq;
    bool m_done = false;
};

} // namespace wqhost
