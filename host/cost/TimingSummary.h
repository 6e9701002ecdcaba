// TimingSummary - what a set of timings of one kind of call comes to: the
// median, the 99th percentile and the maximum, and how a figure compares
// with another or with the real time a block lasts. Nothing here reads a
// clock: the statistics take the figures as numbers, so that they are
// tested on timings made up for the purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wqhost {

struct TimingSummary {
    size_t count = 0;
    double median = 0.0; // the middle value; the mean of the two middle ones for an even count
    double p99 = 0.0;    // the nearest-rank 99th percentile: the smallest value that at
                         // least 99% of the timings do not exceed
    double max = 0.0;
};

// The summary of `timings` (any order; empty gives all zeros).
TimingSummary summarizeTimings(std::vector<double> timings);

// The nearest-rank percentile `percent` (0 < percent <= 100) of `sorted`
// (ascending, not empty).
double nearestRankPercentile(const std::vector<double> &sorted, double percent);

// How many times `whole` is `part`: part / whole, or 0 when whole is not
// above 0 (a figure the clock could not resolve compares with nothing).
double timingRatio(double part, double whole) noexcept;

// Nanoseconds that a block of `blockSize` samples lasts at `rate` Hz.
double blockRealTimeNanoseconds(uint32_t blockSize, double rate) noexcept;

// `nanoseconds` as a share of the real time of such a block, in percent.
double realTimePercent(double nanoseconds, uint32_t blockSize, double rate) noexcept;

} // namespace wqhost
