// CheckContext - the context a check of `wqhost validate` (ConformanceCheck)
// runs in. A check drives a module library as a host may (exports, description,
// object creation, records, dispatchers, pin declarations, events, pin
// changes, echo) and records where the module breaks the interface.
//
// A check runs in a child process of its own (Validator). It reports on a
// channel of JSON lines, each flushed as it is written:
//   the calls of its CallLog ({"seq":..,"phase":"call"|"return",...}),
//   {"step":"..."}  what it is about to do, for a report after a crash,
//   {"failure":"..."} each failure as it is found,
//   {"warning":"..."} each warning as it is found,
//   {"KEY":"..."} what a check learnt about the module (tell()),
//   {"verdict":"pass"|"fail"|"skip","details":[...],"warnings":[...]} at the
//   end, with
//   "unusable":"..." when the library cannot be loaded at all, and
//   "seeded":true when the check drew random numbers (another seed would
//   drive the module differently), and
//   "couldNotRun":true for a skip because the system cannot run the check.
// A child that ends without a verdict crashed or hung; the parent reports
// that with the last step and the calls that had not returned.
#pragma once

#include "host/trace/CallLog.h"
#include "host/core/ModuleLibrary.h"
#include "host/process/ChildChannel.h"
#include "host/trace/Problem.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace wqhost {

class CheckContext {
public:
    // `seed` is the run's seed; the check's own random numbers come from it
    // and the check's name, so each check repeats alone (--only).
    // Every call into the module that takes longer than the budget of a
    // call is a warning of the check, each kind of call once.
    CheckContext(std::string checkName, std::string libraryPath, uint64_t seed, std::FILE *channel);
    ~CheckContext();
    CheckContext(const CheckContext &) = delete;
    CheckContext &operator=(const CheckContext &) = delete;

    const std::string &libraryPath() const noexcept { return m_path; }

    // The library, loaded on first use. A library that cannot be loaded, or
    // lacks an export, ends the check with an "unusable" verdict.
    std::shared_ptr<const ModuleLibrary> library();
    // Drops the context's hold on the library; the next library() loads it
    // again.
    void releaseLibrary() noexcept { m_library.reset(); }

    // Every call of the check goes into this log; its JSON lines go to the
    // channel.
    CallLog &log() noexcept { return m_log; }
    // The channel, for the logs of hosts the check creates itself.
    std::FILE *channel() const noexcept { return m_channel.file(); }

    // Tells the parent what the check is about to do.
    void step(const std::string &what);

    // Tells the parent something the check learnt about the module (which
    // sides it has, say), as the message {key: value}.
    void tell(const std::string &key, const std::string &value);

    // A failure: recorded (once, however often it happens), and the check
    // goes on.
    void fail(const std::string &detail);
    // The same, recorded only for the first detail of each kind of fault:
    // a fault that shows again and again is reported once, where it first
    // showed.
    void fail(const std::string &detail, ProblemCode kind);
    // Something a module should change although hosts cope with it (a pin
    // name twice, a slow call): recorded once, reported as WARN, and a
    // failure only with --strict.
    void warn(const std::string &detail);
    // A failure that leaves nothing more to check: ends the check.
    [[noreturn]] void stop(const std::string &detail);
    // The check does not apply to this module: ends it.
    [[noreturn]] void skip(const std::string &reason);
    // The check applies, but this system or build cannot run it: ends it as
    // skipped with the reason, and --strict fails it.
    [[noreturn]] void cannotRun(const std::string &reason);
    // The library cannot be used at all.
    [[noreturn]] void unusable(const std::string &reason);

    bool failed() const noexcept { return !m_failures.empty(); }
    const std::vector<std::string> &failures() const noexcept { return m_failures; }
    const std::vector<std::string> &warnings() const noexcept { return m_warnings; }

    // Seeded random numbers: below `bound` (bound > 0), and any 32-bit value.
    // A check that draws any is a randomised one.
    uint32_t below(uint32_t bound);
    uint32_t any32();

    // Writes the verdict line. Called once, by runCheckHere.
    void writeVerdict(const char *verdict, const std::string &extraKey = std::string(),
                      const std::string &extraValue = std::string());

    // Thrown by stop/skip/unusable to end the check body.
    struct End {
        const char *verdict;
        std::string key;
        std::string value;
    };

private:
    std::string m_name;
    std::string m_path;
    ChannelWriter m_channel;
    CallLog m_log;
    std::shared_ptr<const ModuleLibrary> m_library;
    std::vector<std::string> m_failures;
    std::vector<std::string> m_warnings;
    std::vector<ProblemCode> m_kinds;
    std::vector<std::string> m_slowCalls; // the calls already warned of as slow
    std::mt19937 m_random;
    bool m_seeded = false;
    bool m_cannotRun = false;
};

} // namespace wqhost
