#include "host/cost/ProcessTimer.h"

#include "host/cost/TimingSummary.h"
#include "host/platform/ThreadCpuClock.h"

#include <vector>

namespace wqhost {

namespace {

double measureClockOverhead() {
    constexpr int kReadings = 501;
    std::vector<double> gaps;
    gaps.reserve(kReadings);
    for (int i = 0; i < kReadings; ++i) {
        const uint64_t a = threadCpuNanoseconds();
        const uint64_t b = threadCpuNanoseconds();
        gaps.push_back(static_cast<double>(b - a));
    }
    return summarizeTimings(std::move(gaps)).median;
}

} // namespace

ProcessTimer::ProcessTimer() : m_overhead(measureClockOverhead()) {}

void ProcessTimer::entering() noexcept { m_start = threadCpuNanoseconds(); }

void ProcessTimer::left() noexcept {
    const double spent = static_cast<double>(threadCpuNanoseconds() - m_start) - m_overhead;
    m_total += spent > 0.0 ? spent : 0.0;
    ++m_calls;
}

} // namespace wqhost
