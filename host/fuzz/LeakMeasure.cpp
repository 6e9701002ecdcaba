#include "host/fuzz/LeakMeasure.h"

#include "host/memory/GuardedHeap.h"
#include "host/memory/HeapCheck.h"

#include <algorithm>

namespace wqhost {

bool moduleHeapBytes(uint64_t &bytes) {
    if (GuardedHeap::enabled()) {
        bytes = GuardedHeap::bytesInUse();
        return true;
    }
    return heapBytesInUse(bytes);
}

LeakMeasure measureLeak(const std::function<bool()> &step) {
    LeakMeasure result;
    uint64_t before = 0;
    if (!moduleHeapBytes(before))
        return result;
    if (!step()) {
        result.verdict = LeakMeasure::Verdict::StepFailed;
        return result;
    }
    moduleHeapBytes(before);
    uint64_t least = UINT64_MAX;
    for (int i = 0; i < kLeakRepeats; ++i) {
        if (!step()) {
            result.verdict = LeakMeasure::Verdict::StepFailed;
            return result;
        }
        uint64_t after = 0;
        moduleHeapBytes(after);
        least = std::min<uint64_t>(least, after > before ? after - before : 0);
        before = after;
    }
    result.leastGrowth = least;
    result.verdict =
        least >= kLeakBytesPerRepeat ? LeakMeasure::Verdict::Leaks : LeakMeasure::Verdict::Steady;
    return result;
}

} // namespace wqhost
