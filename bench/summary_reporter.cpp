#include "bench/summary_reporter.h"

namespace bench {

void SummaryReporter::ReportRuns(const std::vector<Run> &runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        if (run.error_occurred) {
            ++m_errors;
            continue;
        }
        const std::string &name = run.run_name.function_name;
        const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        if (single || (run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean")) {
            for (const auto &[counterName, value] : run.counters)
                m_counters[name][counterName] = value.value;
        }
        // With repetitions, the fastest stands for the benchmark.
        const bool fastest = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
        if (single || fastest)
            m_ns[name] = m_realTime ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
    }
}

double SummaryReporter::ns(const std::string &name) const {
    auto it = m_ns.find(name);
    return it == m_ns.end() ? -1 : it->second;
}

double SummaryReporter::counter(const std::string &name, const std::string &counter) const {
    auto it = m_counters.find(name);
    if (it == m_counters.end())
        return -1;
    auto value = it->second.find(counter);
    return value == it->second.end() ? -1 : value->second;
}

double SummaryReporter::largestCounter(const std::string &counter) const {
    double largest = -1;
    for (const auto &[name, counters] : m_counters) {
        auto value = counters.find(counter);
        if (value != counters.end() && value->second > largest)
            largest = value->second;
    }
    return largest;
}

} // namespace bench
