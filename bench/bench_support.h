// bench_support.h - what the benchmark programs share besides counting
// allocations: their main (the smoke run, the repetitions, the exit status)
// and the cells of their summary tables.
#pragma once

#include "bench/summary_reporter.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <utility>

namespace bench {

// How a program's benchmarks run. A measured run repeats each benchmark
// kRepetitions times and keeps the fastest, since the machine is shared with
// other work, which only ever makes a run slower.
struct RunPlan {
    int smokeIterations; // iterations of each benchmark in a smoke run
    double minTime = 0;  // least seconds of one measured run; 0: --benchmark_min_time's
    // Times in the summary: the process's CPU time, or the wall clock for
    // benchmarks whose cost includes waiting for the system (files written).
    bool realTime = false;
};
constexpr int kRepetitions = 5;

using BenchmarkBody = std::function<void(benchmark::State &)>;
// Registers one benchmark under `name` with the repetitions of the plan;
// with `iterations`, each run is exactly that many iterations (a smoke run
// as many, at most its own count), for a benchmark whose one iteration is
// long already.
class AddBenchmark {
public:
    using Register = std::function<void(const std::string &, BenchmarkBody, int)>;
    explicit AddBenchmark(Register add) : m_add(std::move(add)) {}
    void operator()(const std::string &name, BenchmarkBody body) const {
        m_add(name, std::move(body), 0);
    }
    void operator()(const std::string &name, BenchmarkBody body, int iterations) const {
        m_add(name, std::move(body), iterations);
    }

private:
    Register m_add;
};

// The main of a benchmark program: takes --smoke off the command line,
// registers the benchmarks through the `AddBenchmark` it hands
// `registerAll`, runs those the command line selects, prints the summary and
// gives the exit status: 1 when a benchmark stopped with an error (a traced
// call, a pin or a result differed from what was expected), so that a CTest
// run fails, or when an argument is not known.
int runBenchmarks(int argc, char **argv, const RunPlan &plan,
                  const std::function<void(const AddBenchmark &)> &registerAll,
                  const std::function<void(const SummaryReporter &)> &printSummary);

// Takes the programs' own option --smoke off the command line (before Google
// Benchmark reads it) and says whether it was there. A smoke run runs every
// benchmark once, for a few iterations and one repetition: it shows that the
// programs build, that their checks of the traced calls hold, and that
// nothing stops with an error; its times mean nothing.
bool takeSmokeOption(int &argc, char **argv);

// printf-formats `value`, or gives "—" for a value that was not measured
// (negative: the benchmark was filtered out or stopped with an error).
std::string cell(const char *format, double value);

// (a - b) / divisor as a cell, negative or not (two measured times can come
// out either way): "—" unless both were measured.
std::string differenceCell(const char *format, double a, double b, double divisor = 1);

// `numerator / denominator` as a cell: "—" unless both were measured.
std::string ratioCell(double numerator, double denominator);

} // namespace bench
