// ModuleCodeWatch - which code runs on this thread (the host's own, a
// module's, or a module's process function), and what a process function did
// that an audio thread must never do.
//
// The drivers mark every call into a module with a ModuleCodeScope and every
// callback back into the host with one of kind Host, so that the guarded heap
// serves exactly the module's own allocations, and the hazards below are
// counted only while the process function itself runs (a callback it makes
// is the host's code, and the host's allocations there are not its fault).
#pragma once

#include <cstdint>
#include <string>

namespace wqhost {

enum class RunningCode : int { Host = 0, Module = 1, Process = 2 };

// Sets the code running on this thread for as long as it lives, then puts
// back what ran before (calls nest: a callback inside a call inside ...).
class ModuleCodeScope {
public:
    explicit ModuleCodeScope(RunningCode code) noexcept;
    ~ModuleCodeScope();
    ModuleCodeScope(const ModuleCodeScope &) = delete;
    ModuleCodeScope &operator=(const ModuleCodeScope &) = delete;

private:
    int m_previous;
};

RunningCode runningCode() noexcept;

// With a byte (0 to 255), every call into a module, and every return from a
// callback into it, first fills the stack below with that byte
// (paintStackBelow), so that a local the module reads before it writes one
// reads the byte; -1, as at the start, fills nothing.
void setCallStackFill(int fill) noexcept;

// setCallStackFill(fill) for as long as it lives; then no fill again.
class CallStackFill {
public:
    explicit CallStackFill(unsigned char fill) noexcept { setCallStackFill(fill); }
    ~CallStackFill() { setCallStackFill(-1); }
    CallStackFill(const CallStackFill &) = delete;
    CallStackFill &operator=(const CallStackFill &) = delete;
};

// What a process function may not do: each may wait for the system or for
// another thread for an unbounded time.
enum class RealtimeHazard : int {
    Allocation = 0,
    Sleep,
    LockWait,
    ConditionWait,
    InputOutput, // reading or writing a file, a pipe or a standard stream
    Count
};

// Counts one hazard when a process function is running on this thread.
void noteRealtimeHazard(RealtimeHazard hazard) noexcept;

struct RealtimeCounts {
    uint64_t counts[static_cast<int>(RealtimeHazard::Count)] = {};
    uint64_t operator[](RealtimeHazard h) const noexcept { return counts[static_cast<int>(h)]; }
};

// The hazards counted in this process so far (from every thread).
RealtimeCounts realtimeCounts() noexcept;

// Whether this program sees the calls the hazards are counted from (the
// tool's own allocator and system-call entries are linked in and active).
// False, with the reason, where they cannot be seen.
bool realtimeHazardsSeen(std::string &whyNot);

// Called once by the entries that count hazards, when they are linked in.
void markRealtimeHazardsSeen() noexcept;

} // namespace wqhost
