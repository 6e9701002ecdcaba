#include "host/cost/TimingSummary.h"

#include <algorithm>
#include <cmath>

namespace wqhost {

double nearestRankPercentile(const std::vector<double> &sorted, double percent) {
    const double n = static_cast<double>(sorted.size());
    size_t rank = static_cast<size_t>(std::ceil(percent / 100.0 * n));
    rank = std::clamp<size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

TimingSummary summarizeTimings(std::vector<double> timings) {
    TimingSummary summary;
    summary.count = timings.size();
    if (timings.empty())
        return summary;
    std::sort(timings.begin(), timings.end());
    const size_t n = timings.size();
    summary.median = n % 2 == 1 ? timings[n / 2] : (timings[n / 2 - 1] + timings[n / 2]) / 2.0;
    summary.p99 = nearestRankPercentile(timings, 99.0);
    summary.max = timings.back();
    return summary;
}

double timingRatio(double part, double whole) noexcept { return whole > 0.0 ? part / whole : 0.0; }

double blockRealTimeNanoseconds(uint32_t blockSize, double rate) noexcept {
    return rate > 0.0 ? static_cast<double>(blockSize) * 1e9 / rate : 0.0;
}

double realTimePercent(double nanoseconds, uint32_t blockSize, double rate) noexcept {
    return 100.0 * timingRatio(nanoseconds, blockRealTimeNanoseconds(blockSize, rate));
}

} // namespace wqhost
