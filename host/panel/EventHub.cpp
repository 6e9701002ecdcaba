#include "host/panel/EventHub.h"

#include <chrono>

namespace wqhost {

using nlohmann::json;

namespace {

constexpr size_t kProblemChars = 2000;

std::string dumped(const json &j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// The values of `now` that differ from those of `before` (matched by index).
json changedValues(const json &before, const json &now) {
    if (!before.is_array() || before.empty() || !now.is_array() || now.empty())
        return now;
    json out = json::array();
    for (const json &v : now) {
        bool same = false;
        for (const json &old : before)
            if (old.value("index", -1) == v.value("index", -2)) {
                same = old == v;
                break;
            }
        if (!same)
            out.push_back(v);
    }
    return out;
}

} // namespace

EventHub::EventHub(Limits limits) : m_limits(limits) {}

json EventHub::apply(const json &event) {
    const std::string kind = event.value("event", "");
    if (kind == "module") {
        m_module = event;
    } else if (kind == "pins") {
        json now = event.value("pins", json::array());
        json told = event;
        told["pins"] = changedValues(m_pins, now);
        m_pins = std::move(now);
        return told;
    } else if (kind == "status") {
        m_status = event;
    } else if (kind == "problem") {
        const std::string code = event.value("code", "");
        std::string text = (code.empty() ? "" : code + ": ") + event.value("text", "");
        if (text.size() > kProblemChars) // in words, for a person: the start says it
            text = text.substr(0, kProblemChars) + "...";
        m_problems.push_back(std::move(text));
        ++m_problemCount;
        if (m_problems.size() > m_limits.problems)
            m_problems.pop_front();
    } else if (kind == "trace") {
        json call = event.value("call", json::object());
        const size_t bytes = dumped(call).size();
        m_callBytes += bytes;
        m_calls.emplace_back(std::move(call), bytes);
        while (!m_calls.empty() &&
               (m_calls.size() > m_limits.calls || m_callBytes > m_limits.callBytes)) {
            m_callBytes -= m_calls.front().second;
            m_calls.pop_front();
        }
    } else if (kind == "error") {
        m_error = event.value("message", "");
    } else if (kind == "ended") {
        m_ended = event.value("message", "");
    }
    return event;
}

void EventHub::keep(std::string text) {
    if (text.size() > m_limits.eventBytes / 4) {
        // Too large to keep: every stream takes the state instead.
        m_first += m_events.size() + 1;
        m_events.clear();
        m_eventBytes = 0;
        return;
    }
    m_eventBytes += text.size();
    m_events.push_back(std::move(text));
    while (m_events.size() > m_limits.events || m_eventBytes > m_limits.eventBytes) {
        m_eventBytes -= m_events.front().size();
        m_events.pop_front();
        ++m_first;
    }
}

void EventHub::publish(const json &event) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        keep(dumped(apply(event)));
    }
    m_arrived.notify_all();
}

json EventHub::snapshot(uint64_t &next) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    next = m_first + m_events.size();
    json calls = json::array();
    for (const auto &c : m_calls)
        calls.push_back(c.first);
    json problems = json::array();
    for (const std::string &p : m_problems)
        problems.push_back(p);
    return {{"event", "state"},
            {"module", m_module},
            {"pins", m_pins},
            {"status", m_status},
            {"problemCount", m_problemCount},
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

void EventHub::startOver() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_first += m_events.size() + 1;
        m_events.clear();
        m_eventBytes = 0;
        m_module = json();
        m_pins = json::array();
        m_status = json::object();
        m_problems.clear();
        m_problemCount = 0;
        m_calls.clear();
        m_callBytes = 0;
        m_error.clear();
        m_ended.clear();
    }
    m_arrived.notify_all();
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

bool EventHub::hasModule() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_module.is_object();
}

size_t EventHub::keptBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_eventBytes + m_callBytes;
}

} // namespace wqhost
