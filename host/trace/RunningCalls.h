// RunningCalls - the calls that have begun and not yet returned, followed
// from a log's JSON lines (CallJson) as another process writes them. When
// that process dies or hangs, these are the calls it died in.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

namespace wqhost {

class RunningCalls {
public:
    // Takes one line of the log; returns false for a line that is no call
    // or return line (it changes nothing then).
    bool take(const nlohmann::ordered_json &line);

    bool empty() const noexcept { return m_running.empty(); }
    // The running calls as text, outermost first, joined by " > ".
    std::string text() const;
    // The innermost running call's opcode name ("GD_OPEN"), or its text
    // when the opcode has no name; empty when no call is running.
    const std::string &innermostName() const noexcept;
    // The last calls begun (at most kRecentCalls), returned or not, oldest
    // first: what led up to a crash.
    static constexpr size_t kRecentCalls = 8;
    const std::vector<std::string> &recent() const noexcept { return m_recent; }

private:
    struct Running {
        long long seq;
        std::string text;
        std::string name;
    };
    std::vector<Running> m_running;
    std::vector<std::string> m_recent;
};

} // namespace wqhost
