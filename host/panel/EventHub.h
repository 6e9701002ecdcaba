// EventHub - what the panel's pages are told: every event of the module's
// process in order, numbered, kept for a while so that each page's stream
// (Server-Sent Events) can catch up, and the panel's state as the events
// built it (module, pin values, status, problems, recent calls, the end of
// the session), which a page that connects receives first.
//
// Thread-safe: the module's requests publish while page streams wait.
#pragma once

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace wqhost {

class EventHub {
public:
    explicit EventHub(size_t keepEvents = 4000, size_t keepCalls = 600);

    // Applies `event` to the state and hands it to every stream.
    void publish(const nlohmann::json &event);

    // The state as one "state" event, and the number of the next event.
    nlohmann::json snapshot(uint64_t &next) const;

    // The events numbered `next` and after, as SSE-ready JSON texts; waits
    // up to `waitMs` for one to come. `next` moves past what is returned.
    // False when the stream has fallen behind the events kept (it should
    // start over from a snapshot) or the hub is closed.
    bool eventsFrom(uint64_t &next, std::vector<std::string> &out, int waitMs);

    // Wakes every waiting stream and makes them end.
    void close();
    bool closed() const;

    // The declared pin indices, once the module has said them.
    std::vector<int32_t> pinIndices() const;

private:
    void apply(const nlohmann::json &event);

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    size_t m_keepEvents;
    size_t m_keepCalls;
    std::deque<std::string> m_events;
    uint64_t m_first = 0; // number of m_events.front()
    bool m_closed = false;

    nlohmann::json m_module;
    nlohmann::json m_pins = nlohmann::json::array();
    nlohmann::json m_status = nlohmann::json::object();
    std::vector<std::string> m_problems;
    std::deque<nlohmann::json> m_calls;
    std::string m_error;
    std::string m_ended;
};

} // namespace wqhost
