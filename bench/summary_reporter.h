// summary_reporter.h - what the benchmark programs keep of their runs for the
// summary tables they print afterwards.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

// Passes every result on to the console and keeps, per benchmark, the CPU
// time of the run that stands for it (the fastest of its repetitions, or its
// one run) and the mean of each of its counters.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the output usually goes to a log, not a terminal. With
    // `realTime`, ns() gives wall-clock time instead of CPU time.
    explicit SummaryReporter(bool realTime = false)
        : ConsoleReporter(OO_Tabular), m_realTime(realTime) {}

    void ReportRuns(const std::vector<Run> &runs) override;

    // CPU (or real) time of one iteration in nanoseconds (the default unit); -1 for a
    // benchmark that did not run (filtered out, or stopped with an error).
    double ns(const std::string &name) const;
    // The mean of a counter over the runs of a benchmark; -1 when it did not
    // run or has no such counter.
    double counter(const std::string &name, const std::string &counter) const;
    // The largest mean of a counter over every benchmark; -1 when none has it.
    double largestCounter(const std::string &counter) const;
    // Runs that stopped with an error (a traced call, a pin or a result
    // differed from what was expected).
    int errors() const { return m_errors; }

private:
    std::map<std::string, double> m_ns;
    std::map<std::string, std::map<std::string, double>> m_counters;
    int m_errors = 0;
    bool m_realTime;
};

} // namespace bench
