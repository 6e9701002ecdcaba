#include "host/trace/RunningCalls.h"

#include "host/trace/CallJson.h"
#include "host/trace/CallText.h"

namespace wqhost {

bool RunningCalls::take(const nlohmann::ordered_json &line) {
    if (!line.is_object() || !line.contains("seq"))
        return false;
    const std::string phase = line.value("phase", "");
    const long long seq = line.value("seq", -1LL);
    if (phase == "call") {
        std::string text = callText(callFromJson(line), CallForm::Running);
        std::string name = line.value("name", "");
        if (name.empty())
            name = text;
        if (m_recent.size() == kRecentCalls)
            m_recent.erase(m_recent.begin());
        m_recent.push_back(text);
        m_running.push_back({seq, std::move(text), std::move(name)});
        return true;
    }
    if (phase == "return") {
        // Calls return in the reverse order they began.
        for (size_t i = m_running.size(); i-- > 0;) {
            if (m_running[i].seq == seq) {
                m_running.resize(i);
                break;
            }
        }
        return true;
    }
    return false;
}

std::string RunningCalls::text() const {
    std::string out;
    for (const Running &call : m_running)
        out += (out.empty() ? "" : " > ") + call.text;
    return out;
}

const std::string &RunningCalls::innermostName() const noexcept {
    static const std::string none;
    return m_running.empty() ? none : m_running.back().name;
}

} // namespace wqhost
