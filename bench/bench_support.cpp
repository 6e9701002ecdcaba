#include "bench/bench_support.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace bench {

namespace {

double fastest(const std::vector<double> &times) {
    double best = times.empty() ? 0 : times.front();
    for (double t : times)
        best = t < best ? t : best;
    return best;
}

} // namespace

int runBenchmarks(int argc, char **argv, const RunPlan &plan,
                  const std::function<void(const AddBenchmark &)> &registerAll,
                  const std::function<void(const SummaryReporter &)> &printSummary) {
    const bool smoke = takeSmokeOption(argc, argv);
    registerAll(AddBenchmark([&plan, smoke](const std::string &name, BenchmarkBody body,
                                            int iterations) {
        benchmark::internal::Benchmark *b =
            benchmark::RegisterBenchmark(name.c_str(), std::move(body));
        if (plan.realTime)
            b->UseRealTime();
        if (smoke) {
            const int n = iterations > 0 && iterations < plan.smokeIterations
                              ? iterations
                              : plan.smokeIterations;
            b->Iterations(n)->Repetitions(1);
            return;
        }
        if (iterations > 0)
            b->Iterations(iterations);
        else if (plan.minTime > 0)
            b->MinTime(plan.minTime);
        b->Repetitions(kRepetitions)->ComputeStatistics("min", fastest)->ReportAggregatesOnly(true);
    }));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter(plan.realTime);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(reporter);
    if (reporter.errors() != 0) {
        std::printf("\n%d benchmark runs stopped with an error\n", reporter.errors());
        return 1;
    }
    return 0;
}

bool takeSmokeOption(int &argc, char **argv) {
    bool smoke = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return smoke;
}

std::string cell(const char *format, double value) {
    if (value < 0)
        return "—";
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string differenceCell(const char *format, double a, double b, double divisor) {
    if (a < 0 || b < 0 || divisor <= 0)
        return "—";
    char text[64];
    std::snprintf(text, sizeof text, format, (a - b) / divisor);
    return text;
}

std::string ratioCell(double numerator, double denominator) {
    return numerator >= 0 && denominator > 0 ? cell("%.2f", numerator / denominator) : "—";
}

} // namespace bench
