#include "host/trace/CallLog.h"

#include "host/trace/CallJson.h"
#include "host/trace/OpcodeNames.h"
#include "host/platform/ThreadWait.h"

#include <atomic>
#include <cstdio>

namespace wqhost {

namespace {

SlowCallWatcher &slowCallWatcher() {
    static SlowCallWatcher watcher;
    return watcher;
}

// A call into the module as a slow-call warning names it.
std::string timedLabel(const CallRecord &call) {
    if (call.direction != Direction::HostToModule)
        return std::string();
    std::string label = opcodeLabel(call.side, call.direction, call.kind, call.opcode);
    if (call.kind == CallKind::Dispatch)
        label += " (index " + std::to_string(call.index) + ")";
    return label;
}

} // namespace

void CallLog::write(const std::string &line) {
    const bool timed = !m_running.empty();
    const auto start =
        timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
    std::fputs(line.c_str(), m_sink);
    std::fputc('\n', m_sink);
    std::fflush(m_sink);
    if (timed)
        m_writingMilliseconds +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
}

void CallLog::watchSlowCalls(SlowCallWatcher watcher) { slowCallWatcher() = std::move(watcher); }

uint64_t CallLog::begin(CallRecord call) {
    call.seq = m_nextSeq++;
    call.depth = m_depth++;
    call.returned = false;
    call.result = 0;
    if (slowCallWatcher()) {
        std::string label = timedLabel(call);
        const double waited = label.empty() ? 0.0 : threadWaitingMilliseconds();
        m_running.push_back(Running{call.seq, std::chrono::steady_clock::now(), std::move(label),
                                    false, waited, m_writingMilliseconds});
    }
    if (m_sink)
        write(callLine(call));
    if (m_keeping)
        m_calls.push_back(std::move(call));
    return m_nextSeq - 1;
}

void CallLog::end(uint64_t seq, intptr_t result, const std::string &answer) {
    if (m_depth > 0)
        --m_depth;
    if (!m_running.empty() && m_running.back().seq == seq) {
        const Running done = m_running.back();
        m_running.pop_back();
        // The call's own time: what the thread spent waiting for a processor
        // on a busy machine, and the host's writes of the trace while the
        // call ran, are left out, so neither load nor a slow reader of the
        // trace makes a call slow.
        double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - done.start)
                .count();
        if (!done.label.empty())
            ms -= threadWaitingMilliseconds() - done.waitedAtStart;
        ms -= m_writingMilliseconds - done.writtenAtStart;
        if (ms > kCallBudgetMilliseconds) {
            if (!done.holdsSlowCall && !done.label.empty() && slowCallWatcher())
                slowCallWatcher()(SlowCall{done.label, ms});
            if (!m_running.empty())
                m_running.back().holdsSlowCall = true;
        }
    }
    CallRecord *call = find(seq);
    CallRecord detached;
    if (!call) { // not kept: complete a stand-in for the JSON line
        detached.seq = seq;
        call = &detached;
    }
    call->result = result;
    call->returned = true;
    call->answer = answer;
    if (m_sink)
        write(returnLine(*call));
}

namespace {
std::atomic<bool> g_leftByException{false};
} // namespace

void CallLog::leave(uint64_t) noexcept {
    if (m_depth > 0)
        --m_depth;
    g_leftByException.store(true);
}

bool CallLog::leftByException() noexcept { return g_leftByException.load(); }

CallRecord *CallLog::find(uint64_t seq) noexcept {
    // Calls end in the reverse order they began, so the one wanted is near
    // the back.
    for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it) {
        if (it->seq == seq)
            return &*it;
        if (it->seq < seq)
            break;
    }
    return nullptr;
}

std::vector<CallRecord> CallLog::select(const std::function<bool(const CallRecord &)> &pred) const {
    std::vector<CallRecord> out;
    for (const CallRecord &c : m_calls)
        if (pred(c))
            out.push_back(c);
    return out;
}

std::vector<CallRecord> CallLog::callbacks(Side side) const {
    return select(
        [side](const CallRecord &c) { return c.kind == CallKind::Callback && c.side == side; });
}

} // namespace wqhost
