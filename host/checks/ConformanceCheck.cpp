#include "host/checks/ConformanceCheck.h"

#include "host/checks/CheckSupport.h"
#include "host/platform/CrashFrames.h"
#include "host/platform/CrashReport.h"
#include "host/memory/GuardedMemory.h"
#include "host/platform/HostError.h"
#include "host/text/JsonText.h"

#include <nlohmann/json.hpp>

#include <exception>
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

// The check that looks for overruns of each kind of text or record the
// host hands a module gets them with nothing past their end; every other
// copy has room, so that one overrun fails the one check that looks for it.
struct OverrunCheck {
    const char *check;
    const char *memory;
};
const OverrunCheck kOverrunChecks[] = {{"describe-index-0", kGuardedDescriptionRecord},
                                       {"pin-declarations", kGuardedPinRecord},
                                       {"pin-changes", kGuardedPinText},
                                       {"events", kGuardedEventRecord}};
constexpr size_t kOverrunRoom = 256;

void setOverrunRoomFor(const std::string &check) {
    for (const OverrunCheck &c : kOverrunChecks)
        if (check == c.check) {
            GuardedMemory::setRoom(kOverrunRoom, c.memory);
            return;
        }
    GuardedMemory::setRoom(kOverrunRoom);
}

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

void CheckContext::writeLine(const std::string &jsonLine) {
    if (!m_channel)
        return;
    std::fputs(jsonLine.c_str(), m_channel);
    std::fputc('\n', m_channel);
    std::fflush(m_channel);
}

void CheckContext::step(const std::string &what) {
    writeLine(nlohmann::json{{"step", bytesToUtf8(what)}}.dump());
}

void CheckContext::fail(const std::string &detail) {
    for (const std::string &f : m_failures)
        if (f == detail)
            return;
    // Sent at once, so that it is known even if the module crashes later.
    if (m_failures.size() <= kMaxFailures)
        writeLine(nlohmann::json{{"failure", bytesToUtf8(detail)}}.dump());
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
    writeLine(nlohmann::json{{"warning", bytesToUtf8(detail)}}.dump());
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
    writeLine(line.dump());
}

const std::vector<ConformanceCheck> &conformanceChecks() {
    static const std::vector<ConformanceCheck> checks = {
        {"exports", "the library loads, both exports resolve, it unloads and loads again",
         checkExports},
        {"describe-index-0",
         "getModuleProperties(0): result 1, sdkVersion, texts and flags written, stable",
         checkDescribeIndex0},
        {"describe-other-index",
         "getModuleProperties for other indices: result 0, sdkVersion written, the rest left",
         checkDescribeOtherIndex},
        {"make-module-refusals",
         "makeModule refuses other indices and types 0, 3 and others, calling nothing",
         checkMakeModuleRefusals},
        {"audio-record",
         "audio records: magic, version, hostValue kept, back pointer, entries, reserved 0",
         checkAudioRecord},
        {"gui-record",
         "GUI records: magic, version, hostValue kept, back pointer, entry, reserved 0",
         checkGuiRecord},
        {"audio-open-close", "audio objects created, opened and closed many times",
         checkAudioOpenClose},
        {"gui-open-close", "GUI objects created, opened and closed many times", checkGuiOpenClose},
        {"audio-several-objects", "several live audio objects, processed and closed in any order",
         checkAudioSeveralObjects},
        {"gui-several-objects", "several live GUI objects, pins changed, closed in any order",
         checkGuiSeveralObjects},
        {"lifecycle-paths",
         "objects closed without being opened, pin tables read before open, several objects "
         "made before any is opened",
         checkLifecyclePaths},
        {"leaks", "the heap does not grow with objects made and closed again or with pin changes",
         checkLeaks},
        {"process-word",
         "the process word is set, called, and changed only with AH_PROCESS_CHANGED after it",
         checkProcessWord},
        {"process-reference",
         "AD_GET_PROCESS_REFERENCE gives 1, 8, the current process function, 1002",
         checkProcessReference},
        {"process-realtime",
         "the process function does not allocate, sleep or wait on a lock or another thread",
         checkProcessRealtime},
        {"pin-declarations",
         "every declaration passes the pin-flag rule and has a name; the table ends",
         checkPinDeclarations},
        {"pin-declarations-stable",
         "declarations are the same in every query and object; unwritten fields keep the "
         "host's values",
         checkPinDeclarationsStable},
        {"pin-names",
         "pin names are not empty, hold no control characters, and no two pins share one "
         "(warnings)",
         checkPinNames},
        {"unused-opcodes", "opcodes without an action return 0 and change nothing",
         checkUnusedOpcodes},
        {"events", "events delivered at their sample clock; no event posted into the past",
         checkEvents},
        {"pin-changes",
         "every pin given empty, long (to 64 KiB), 8-bit and number texts, integers and floats",
         checkPinChanges},
        {"pin-changes-random",
         "random pin changes with changed values reported back (randomised by --seed)",
         checkPinChangesRandom},
        {"nested-echo", "with every write reported back at once the nesting ends", checkNestedEcho},
        {"text-answers",
         "every text pin read while the host answers a null text, and 16-bit lengths of 0 and "
         "below",
         checkTextAnswers},
        {"unload",
         "the library unloads for real at the end: its static destructors and atexit handlers "
         "run without a crash",
         checkUnload},
        {"audio-blocks",
         "process at block sizes 1, 37, 64 and 4096, at 44100 and 96000 Hz, and with the size "
         "changed between blocks; sample buffers exactly the block size",
         checkAudioBlocks},
        {"audio-output",
         "every sample on every audio output is a number: no NaN, no infinity, no denormal",
         checkAudioOutput},
        {"audio-written",
         "every output sample written in each process call (the buffers hold a marker before "
         "it); every input buffer left as the host filled it",
         checkAudioWritten},
        {"process-environment",
         "after every kind of call: floating-point control state, C locale, signal handlers, "
         "working folder, open file descriptors as the host set them; no thread left after "
         "close and unload",
         checkProcessEnvironment},
        {"uninitialised-memory",
         "one session twice, fresh heap blocks filled with 0xA5 and then 0x5A: the same pins "
         "and samples both times",
         checkUninitialisedMemory},
    };
    return checks;
}

const ConformanceCheck *findConformanceCheck(const std::string &name) {
    for (const ConformanceCheck &c : conformanceChecks())
        if (name == c.name)
            return &c;
    return nullptr;
}

int runCheckHere(const ConformanceCheck &check, const std::string &libraryPath, uint64_t seed,
                 std::FILE *channel) {
    CheckContext ctx(check.name, libraryPath, seed, channel);
    // A module that runs past memory the host handed it crashes; the
    // channel then says which memory, for the report.
    reportGuardFaultsTo(channel);
    // A crash tells its frames on the channel, then the guard's line.
    reportCrashFramesTo(channel);
    setOverrunRoomFor(check.name);
    try {
        check.run(ctx);
        ctx.writeVerdict(ctx.failed() ? "fail" : "pass");
    } catch (const CheckContext::End &end) {
        ctx.writeVerdict(end.verdict, end.key, end.value);
    } catch (const HostError &e) {
        ctx.fail(std::string("the host could not go on: ") + e.what());
        ctx.writeVerdict("fail");
    } catch (...) {
        // An exception that left a call into the module is the module's: it
        // crossed the C interface, and the module is left half way through
        // that call. Named, it ends the child like any other crash.
        if (CallLog::leftByException())
            abortOnEscapedException(std::string());
        try {
            throw;
        } catch (const std::exception &e) {
            ctx.fail(std::string("the check itself failed: ") + e.what());
            ctx.writeVerdict("fail");
        }
    }
    return 0;
}

} // namespace wqhost
