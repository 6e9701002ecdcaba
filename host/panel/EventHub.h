// EventHub - what the panel's pages are told: every event of the module's
// process in order, numbered, kept for a while so that each page's stream
// (Server-Sent Events) can catch up, and the panel's state as the events
// built it (module, pin values, status, problems, recent calls, the end of
// the session), which a page that connects receives first.
//
// Bounded whatever the module does: the events kept are limited in count and
// in bytes (a stream that falls behind starts over from the state), a "pins"
// event keeps only the values that changed, and the state keeps the recent
// calls and problems only (the count of problems stays exact).
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
    struct Limits {
        size_t events = 4000;         // events kept for the streams
        size_t eventBytes = 4u << 20; // ... and their bytes together
        size_t calls = 600;           // recent calls in the state
        size_t callBytes = 1u << 20;  // ... and their bytes together
        size_t problems = 50;         // recent problems in words
    };

    EventHub() : EventHub(Limits()) {}
    explicit EventHub(Limits limits);

    // Applies `event` to the state and hands it to every stream (a "pins"
    // event with only the values that differ from the state's).
    void publish(const nlohmann::json &event);

    // The state as one "state" event, and the number of the next event.
    nlohmann::json snapshot(uint64_t &next) const;

    // The events numbered `next` and after, as SSE-ready JSON texts; waits
    // up to `waitMs` for one to come. `next` moves past what is returned.
    // False when the stream has fallen behind the events kept (it should
    // start over from a snapshot) or the hub is closed.
    bool eventsFrom(uint64_t &next, std::vector<std::string> &out, int waitMs);

    // Forgets the state and the events kept, for a fresh module process:
    // every stream starts over from the (new) state.
    void startOver();

    // Wakes every waiting stream and makes them end.
    void close();
    bool closed() const;

    // Whether the module has been described (it loaded and is a module).
    bool hasModule() const;

    // The declared pin indices, once the module has said them.
    std::vector<int32_t> pinIndices() const;

    // What is kept now, in bytes: the events and the recent calls.
    size_t keptBytes() const;

private:
    // Applies `event` to the state; returns what the streams are told.
    nlohmann::json apply(const nlohmann::json &event);
    void keep(std::string text);

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    Limits m_limits;
    std::deque<std::string> m_events;
    size_t m_eventBytes = 0;
    uint64_t m_first = 0; // number of m_events.front()
    bool m_closed = false;

    nlohmann::json m_module;
    nlohmann::json m_pins = nlohmann::json::array();
    nlohmann::json m_status = nlohmann::json::object();
    std::deque<std::string> m_problems;
    size_t m_problemCount = 0;
    std::deque<std::pair<nlohmann::json, size_t>> m_calls; // with the bytes of each
    size_t m_callBytes = 0;
    std::string m_error;
    std::string m_ended;
};

} // namespace wqhost
