#include "host/checks/CheckContext.h"

#include "host/platform/HostError.h"
#include "host/text/JsonText.h"

#include <nlohmann/json.hpp>

#include <string>

namespace wqhost {

namespace {

// The check's own seed: the run's seed mixed with the check's name (FNV-1a),
// so that one check run alone draws the numbers it drew in the full run.
uint32_t checkSeed(uint64_t seed, const std::string &name) {
    uint64_t h = 1469598103934665603ull ^ seed;
    for (unsigned char c : name) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return static_cast<uint32_t>(h ^ (h >> 32));
}

constexpr size_t kMaxFailures = 25;

} // namespace

CheckContext::CheckContext(std::string checkName, std::string libraryPath, uint64_t seed,
                           std::FILE *channel)
    : m_name(std::move(checkName)), m_path(std::move(libraryPath)), m_channel(channel),
      m_random(checkSeed(seed, m_name)) {
    // The log is the trace of the check; the parent reads it to name the
    // call that was running when the child died.
    m_log.setJsonSink(channel);
    CallLog::watchSlowCalls([this](const SlowCall &call) {
        for (const std::string &seen : m_slowCalls)
            if (seen == call.call)
                return;
        m_slowCalls.push_back(call.call);
        warn(call.call + " took " + std::to_string(static_cast<long long>(call.milliseconds)) +
             " ms, more than the " +
             std::to_string(static_cast<long long>(kCallBudgetMilliseconds)) +
             " ms a call into the module may take (slow, not stuck): do long work ahead of "
             "time or in smaller steps, not inside one call");
    });
}

CheckContext::~CheckContext() { CallLog::watchSlowCalls(nullptr); }

std::shared_ptr<const ModuleLibrary> CheckContext::library() {
    if (!m_library) {
        step("loading the library");
        try {
            m_library = ModuleLibrary::load(m_path);
        } catch (const HostError &e) {
            unusable(e.what());
        }
    }
    return m_library;
}

void CheckContext::step(const std::string &what) {
    m_channel.send(nlohmann::json{{"step", bytesToUtf8(what)}});
}

void CheckContext::tell(const std::string &key, const std::string &value) {
    m_channel.send(nlohmann::json{{key, bytesToUtf8(value)}});
}

void CheckContext::fail(const std::string &detail) {
    for (const std::string &f : m_failures)
        if (f == detail)
            return;
    // Sent at once, so that it is known even if the module crashes later.
    if (m_failures.size() <= kMaxFailures)
        m_channel.send(nlohmann::json{{"failure", bytesToUtf8(detail)}});
    if (m_failures.size() < kMaxFailures)
        m_failures.push_back(detail);
    else if (m_failures.size() == kMaxFailures)
        m_failures.push_back("(further failures left out)");
}

void CheckContext::fail(const std::string &detail, ProblemCode kind) {
    for (ProblemCode k : m_kinds)
        if (k == kind)
            return;
    m_kinds.push_back(kind);
    fail(detail);
}

void CheckContext::warn(const std::string &detail) {
    for (const std::string &w : m_warnings)
        if (w == detail)
            return;
    if (m_warnings.size() >= kMaxFailures)
        return;
    m_channel.send(nlohmann::json{{"warning", bytesToUtf8(detail)}});
    m_warnings.push_back(detail);
}

void CheckContext::stop(const std::string &detail) {
    fail(detail);
    throw End{"fail", std::string(), std::string()};
}

void CheckContext::skip(const std::string &reason) { throw End{"skip", "reason", reason}; }

void CheckContext::cannotRun(const std::string &reason) {
    m_cannotRun = true;
    throw End{"skip", "reason", reason};
}

void CheckContext::unusable(const std::string &reason) {
    fail(reason);
    throw End{"fail", "unusable", reason};
}

uint32_t CheckContext::below(uint32_t bound) {
    m_seeded = true;
    return bound == 0 ? 0 : static_cast<uint32_t>(m_random() % bound);
}

uint32_t CheckContext::any32() {
    m_seeded = true;
    return static_cast<uint32_t>(m_random());
}

void CheckContext::writeVerdict(const char *verdict, const std::string &extraKey,
                                const std::string &extraValue) {
    nlohmann::json line;
    // A check that found faults before it ended otherwise still failed.
    line["verdict"] = failed() && std::string(verdict) != "fail" ? "fail" : verdict;
    nlohmann::json details = nlohmann::json::array();
    for (const std::string &f : m_failures)
        details.push_back(bytesToUtf8(f));
    line["details"] = details;
    nlohmann::json warnings = nlohmann::json::array();
    for (const std::string &w : m_warnings)
        warnings.push_back(bytesToUtf8(w));
    line["warnings"] = warnings;
    if (!extraKey.empty())
        line[extraKey] = bytesToUtf8(extraValue);
    if (m_seeded)
        line["seeded"] = true;
    if (m_cannotRun)
        line["couldNotRun"] = true;
    m_channel.send(line);
}

} // namespace wqhost
