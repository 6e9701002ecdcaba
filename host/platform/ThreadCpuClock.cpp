#include "host/platform/ThreadCpuClock.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <time.h>
#endif

namespace wqhost {

#ifdef _WIN32

namespace {

uint64_t threadCycles() noexcept {
    ULONG64 cycles = 0;
    if (!QueryThreadCycleTime(GetCurrentThread(), &cycles))
        return 0;
    return cycles;
}

uint64_t threadTimesNanoseconds() noexcept {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return 0;
    const auto value = [](const FILETIME &t) {
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (value(kernel) + value(user)) * 100; // 100 ns units
}

// Cycles per nanosecond of the thread's cycle counter, measured over 20 ms
// of the performance counter while the thread runs; 0 when it does not
// count.
double measureCyclesPerNanosecond() noexcept {
    LARGE_INTEGER frequency, start, now;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
        return 0.0;
    QueryPerformanceCounter(&start);
    const uint64_t firstCycles = threadCycles();
    const LONGLONG span = frequency.QuadPart / 50;
    do
        QueryPerformanceCounter(&now);
    while (now.QuadPart - start.QuadPart < span);
    const uint64_t cycles = threadCycles() - firstCycles;
    const double nanoseconds = static_cast<double>(now.QuadPart - start.QuadPart) * 1e9 /
                               static_cast<double>(frequency.QuadPart);
    if (cycles == 0 || nanoseconds <= 0.0)
        return 0.0;
    return static_cast<double>(cycles) / nanoseconds;
}

double cyclesPerNanosecond() noexcept {
    static const double rate = measureCyclesPerNanosecond();
    return rate;
}

} // namespace

uint64_t threadCpuNanoseconds() noexcept {
    const double rate = cyclesPerNanosecond();
    if (rate > 0.0)
        return static_cast<uint64_t>(static_cast<double>(threadCycles()) / rate);
    return threadTimesNanoseconds();
}

std::string threadCpuClockName() {
    return cyclesPerNanosecond() > 0.0 ? "QueryThreadCycleTime" : "GetThreadTimes";
}

bool threadCpuClockIsFine() { return cyclesPerNanosecond() > 0.0; }

#else

uint64_t threadCpuNanoseconds() noexcept {
    timespec t{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0)
        return 0;
    return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

std::string threadCpuClockName() { return "CLOCK_THREAD_CPUTIME_ID"; }

bool threadCpuClockIsFine() { return true; }

#endif

} // namespace wqhost
