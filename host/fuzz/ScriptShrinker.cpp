#include "host/fuzz/ScriptShrinker.h"

#include <algorithm>

namespace wqhost {

namespace {

void cutAfter(std::vector<std::string> &lines, int failingLine) {
    if (failingLine > 0 && static_cast<size_t>(failingLine) < lines.size())
        lines.resize(static_cast<size_t>(failingLine));
}

} // namespace

bool ScriptShrinker::stopped() {
    if (!m_stopped && m_outOfTime && m_outOfTime())
        m_stopped = true;
    return m_stopped;
}

bool ScriptShrinker::tryCandidate(std::vector<std::string> candidate,
                                  std::vector<std::string> &lines) {
    if (candidate == lines || stopped())
        return false;
    std::optional<int> failed;
    const auto known = std::find_if(m_tried.begin(), m_tried.end(),
                                    [&](const auto &t) { return t.first == candidate; });
    if (known != m_tried.end()) {
        failed = known->second;
    } else {
        ++m_trials;
        failed = m_fails(candidate);
        m_tried.emplace_back(candidate, failed);
    }
    if (!failed)
        return false;
    cutAfter(candidate, *failed);
    lines = std::move(candidate);
    return true;
}

bool ScriptShrinker::dropChunks(std::vector<std::string> &lines) {
    bool changed = false;
    size_t parts = 2;
    while (lines.size() >= 2 && !stopped()) {
        parts = std::min(parts, lines.size());
        const size_t chunk = (lines.size() + parts - 1) / parts;
        bool dropped = false;
        for (size_t start = 0; start < lines.size() && !dropped; start += chunk) {
            std::vector<std::string> candidate(lines.begin(),
                                               lines.begin() + static_cast<long>(start));
            const size_t end = std::min(lines.size(), start + chunk);
            candidate.insert(candidate.end(), lines.begin() + static_cast<long>(end), lines.end());
            dropped = tryCandidate(std::move(candidate), lines);
        }
        if (dropped) {
            changed = true;
            parts = std::max<size_t>(parts - 1, 2);
            continue;
        }
        if (parts >= lines.size())
            break;
        parts = std::min(parts * 2, lines.size());
    }
    // A single line left may still go: a failure with no line at all.
    if (lines.size() == 1 && !stopped() && tryCandidate({}, lines))
        changed = true;
    return changed;
}

bool ScriptShrinker::simplifyValues(std::vector<std::string> &lines) {
    bool changed = false;
    for (size_t i = 0; i < lines.size() && !stopped(); ++i) {
        bool again = true;
        while (again && i < lines.size() && !stopped()) {
            again = false;
            for (const std::string &simpler : m_simpler(lines[i])) {
                std::vector<std::string> candidate = lines;
                candidate[i] = simpler;
                if (tryCandidate(std::move(candidate), lines)) {
                    again = changed = true;
                    break;
                }
            }
        }
    }
    return changed;
}

ScriptShrinker::Result ScriptShrinker::shrink(std::vector<std::string> lines, int failingLine) {
    cutAfter(lines, failingLine);
    // Often the failing line alone fails.
    if (lines.size() > 1)
        tryCandidate({lines.back()}, lines);
    bool changed = true;
    while (changed && !stopped()) {
        changed = dropChunks(lines);
        changed = simplifyValues(lines) || changed;
    }
    Result result;
    result.lines = std::move(lines);
    result.trials = m_trials;
    result.finished = !m_stopped;
    return result;
}

} // namespace wqhost
