#include "host/panel/EventHub.h"

#include <chrono>

namespace wqhost {

using nlohmann::json;

EventHub::EventHub(size_t keepEvents, size_t keepCalls)
    : m_keepEvents(keepEvents), m_keepCalls(keepCalls) {}

void EventHub::apply(const json &event) {
    const std::string kind = event.value("event", "");
    if (kind == "module") {
        m_module = event;
    } else if (kind == "pins") {
        m_pins = event.value("pins", json::array());
    } else if (kind == "status") {
        m_status = event;
    } else if (kind == "problem") {
        const std::string code = event.value("code", "");
        m_problems.push_back((code.empty() ? "" : code + ": ") + event.value("text", ""));
    } else if (kind == "trace") {
        m_calls.push_back(event.value("call", json::object()));
        if (m_calls.size() > m_keepCalls)
            m_calls.pop_front();
    } else if (kind == "error") {
        m_error = event.value("message", "");
    } else if (kind == "ended") {
        m_ended = event.value("message", "");
    }
}

void EventHub::publish(const json &event) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        apply(event);
        m_events.push_back(event.dump(-1, ' ', false, json::error_handler_t::replace));
        if (m_events.size() > m_keepEvents) {
            m_events.pop_front();
            ++m_first;
        }
    }
    m_arrived.notify_all();
}

json EventHub::snapshot(uint64_t &next) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    next = m_first + m_events.size();
    json calls = json::array();
    for (const json &c : m_calls)
        calls.push_back(c);
    // A few recent problems in words; the count says how many there are.
    json problems = json::array();
    const size_t from = m_problems.size() > 50 ? m_problems.size() - 50 : 0;
    for (size_t i = from; i < m_problems.size(); ++i)
        problems.push_back(m_problems[i]);
    return {{"event", "state"},
            {"module", m_module},
            {"pins", m_pins},
            {"status", m_status},
            {"problemCount", m_problems.size()},
            {"problems", problems},
            {"calls", calls},
            {"error", m_error},
            {"ended", m_ended.empty() ? json(nullptr) : json(m_ended)}};
}

bool EventHub::eventsFrom(uint64_t &next, std::vector<std::string> &out, int waitMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto ready = [&] { return m_closed || next < m_first + m_events.size(); };
    if (!ready())
        m_arrived.wait_for(lock, std::chrono::milliseconds(waitMs), ready);
    if (m_closed || next < m_first)
        return false;
    for (; next < m_first + m_events.size(); ++next)
        out.push_back(m_events[static_cast<size_t>(next - m_first)]);
    return true;
}

void EventHub::close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_arrived.notify_all();
}

bool EventHub::closed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

std::vector<int32_t> EventHub::pinIndices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<int32_t> out;
    if (m_module.is_object() && m_module.contains("pins"))
        for (const json &p : m_module["pins"])
            out.push_back(p.value("index", -1));
    return out;
}

} // namespace wqhost
