// The thread CPU clock: it never runs backwards, it advances while the
// thread works, and it does not advance with another thread's work.
#include "host/platform/ThreadCpuClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Work until the clock has moved on from `from`, or give up after a bound
// of iterations that takes far longer than any clock step.
uint64_t workUntilItMoves(uint64_t from) {
    volatile double x = 1.0;
    for (long i = 0; i < 2000000000L; ++i) {
        x = x * 1.0000001 + 1e-9;
        if ((i & 0xffff) == 0) {
            const uint64_t now = wqhost::threadCpuNanoseconds();
            if (now > from)
                return now;
        }
    }
    return from;
}

TEST(ThreadCpuClock, AdvancesWithTheThreadsWorkAndNeverBackwards) {
    const uint64_t start = wqhost::threadCpuNanoseconds();
    uint64_t last = start;
    for (int i = 0; i < 1000; ++i) {
        const uint64_t now = wqhost::threadCpuNanoseconds();
        EXPECT_GE(now, last);
        last = now;
    }
    EXPECT_GT(workUntilItMoves(last), last);
    EXPECT_FALSE(wqhost::threadCpuClockName().empty());
}

TEST(ThreadCpuClock, IsTheCallingThreadsOwn) {
    // A new thread starts near 0, whatever this thread has used.
    workUntilItMoves(wqhost::threadCpuNanoseconds());
    const uint64_t mine = wqhost::threadCpuNanoseconds();
    std::atomic<uint64_t> theirs{0};
    std::thread([&] { theirs = wqhost::threadCpuNanoseconds(); }).join();
    EXPECT_LE(theirs.load(), mine);
}

} // namespace
