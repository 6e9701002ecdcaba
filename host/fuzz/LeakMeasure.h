// LeakMeasure - whether a step leaks: the step is carried out again and
// again and the module's heap measured after each time. The fuzzer asks it
// of a session's last line, and `wqhost run --check-leak` of a script's, so
// that a script the fuzzer shrank to a leak fails the same way in both.
#pragma once

#include <cstdint>
#include <functional>

namespace wqhost {

// The number of times a step is carried out again to look for a leak, and
// the growth of the module's heap each of them must show to count as one.
constexpr int kLeakRepeats = 4;
constexpr uint64_t kLeakBytesPerRepeat = 16 * 1024;

// The heap in use: with the guarded heap on, only the blocks module code
// holds; otherwise the whole process's. False where the system cannot tell.
bool moduleHeapBytes(uint64_t &bytes);

struct LeakMeasure {
    enum class Verdict {
        Unmeasured, // the system cannot tell how much heap is in use
        StepFailed, // a repeat of the step failed; nothing was measured
        Steady,
        Leaks,
    };
    Verdict verdict = Verdict::Unmeasured;
    uint64_t leastGrowth = 0; // bytes, the smallest growth over the repeats
};

// Carries `step` out once (for a cache that fills once), then kLeakRepeats
// times, measuring after each. `step` returns false when it failed.
LeakMeasure measureLeak(const std::function<bool()> &step);

} // namespace wqhost
