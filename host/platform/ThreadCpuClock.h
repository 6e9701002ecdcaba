// ThreadCpuClock - the processor time the calling thread has used, in
// nanoseconds: what one call into a module costs, without the time the
// thread spent waiting for a processor on a busy machine.
//
// POSIX: clock_gettime(CLOCK_THREAD_CPUTIME_ID), nanosecond resolution.
// Windows: the thread's cycle count (QueryThreadCycleTime), turned into
// nanoseconds with the cycles per second measured once against the
// performance counter; where the count does not move (some emulators), the
// thread's times from GetThreadTimes, whose steps are a scheduler tick long.
#pragma once

#include <cstdint>
#include <string>

namespace wqhost {

// Nanoseconds of processor time the calling thread has used.
uint64_t threadCpuNanoseconds() noexcept;

// What the clock is, in words, for a report ("CLOCK_THREAD_CPUTIME_ID").
std::string threadCpuClockName();

// Whether the clock resolves a single short call (false where only the
// coarse fallback is there: figures are then made of scheduler ticks).
bool threadCpuClockIsFine();

} // namespace wqhost
