// The statistics of a cost run on timings made up for the purpose.
#include "host/cost/TimingSummary.h"

#include <gtest/gtest.h>

#include <ostream>

#include <vector>

namespace {

using wqhost::TimingSummary;

struct SummaryCase {
    const char *name;
    std::vector<double> timings;
    double median, p99, max;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const SummaryCase &c, std::ostream *out) { *out << c.name; }

std::vector<double> ramp(int n) { // n, n - 1, ..., 1: the summary sorts them
    std::vector<double> v;
    for (int i = n; i >= 1; --i)
        v.push_back(i);
    return v;
}

class SummaryTable : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(SummaryTable, MedianP99AndMax) {
    const TimingSummary s = wqhost::summarizeTimings(GetParam().timings);
    EXPECT_EQ(s.count, GetParam().timings.size());
    EXPECT_DOUBLE_EQ(s.median, GetParam().median);
    EXPECT_DOUBLE_EQ(s.p99, GetParam().p99);
    EXPECT_DOUBLE_EQ(s.max, GetParam().max);
}

INSTANTIATE_TEST_SUITE_P(
    Timings, SummaryTable,
    ::testing::Values(SummaryCase{"Empty", {}, 0, 0, 0}, SummaryCase{"One", {7}, 7, 7, 7},
                      SummaryCase{"TwoTakesTheMeanOfTheMiddle", {4, 2}, 3, 4, 4},
                      SummaryCase{"OddUnsorted", {5, 1, 3}, 3, 5, 5},
                      // nearest rank: ceil(0.99 * 100) = 99th value
                      SummaryCase{"Hundred", ramp(100), 50.5, 99, 100},
                      // ceil(0.99 * 200) = 198th value
                      SummaryCase{"TwoHundred", ramp(200), 100.5, 198, 200},
                      // ceil(0.99 * 50) = 50: with fewer than 100 the p99 is the maximum
                      SummaryCase{"Fifty", ramp(50), 25.5, 50, 50},
                      // one outlier moves the maximum, not the median
                      SummaryCase{"Outlier", {10, 10, 10, 10, 1000}, 10, 1000, 1000}),
    [](const ::testing::TestParamInfo<SummaryCase> &info) { return info.param.name; });

TEST(TimingRatios, RatiosAndSharesOfRealTime) {
    struct Case {
        double part, whole, ratio;
    };
    for (const Case &c :
         {Case{6, 3, 2}, Case{3, 6, 0.5}, Case{5, 0, 0}, Case{5, -1, 0}, Case{0, 4, 0}})
        EXPECT_DOUBLE_EQ(wqhost::timingRatio(c.part, c.whole), c.ratio) << c.part << "/" << c.whole;

    // 441 samples at 44.1 kHz last 10 ms; 96 at 96 kHz last 1 ms.
    EXPECT_DOUBLE_EQ(wqhost::blockRealTimeNanoseconds(441, 44100.0), 1e7);
    EXPECT_DOUBLE_EQ(wqhost::blockRealTimeNanoseconds(96, 96000.0), 1e6);
    EXPECT_DOUBLE_EQ(wqhost::realTimePercent(2.5e6, 441, 44100.0), 25.0);
    EXPECT_DOUBLE_EQ(wqhost::realTimePercent(2e6, 96, 96000.0), 200.0);
    EXPECT_DOUBLE_EQ(wqhost::realTimePercent(1.0, 64, 0.0), 0.0);
}

} // namespace
