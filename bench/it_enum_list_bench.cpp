// Benchmarks of the enumeration-list iterator against the least work a walk
// can do: splitting the same text at ',' with wmemchr and touching each piece.
//
// Each benchmark is named <operation>/<text>/<items>:
//   operation  split       the baseline: cut the text at ',' only
//              walk        First, then Next until done, reading every item
//              count       Count()
//              find_last   FindValue of the last item's value
//   text       names       "n0000000,n0000001,..."                  (implicit values)
//              values      "n0000000=0000000,n0000001=0000001,..."  (explicit values)
//              range       "range 1000000,<1000000 + items - 1>"; its split
//                          baseline cuts the same items written as a list,
//                          "1000000,1000001,..."
//
// Every benchmark reports items processed, so time per item is visible, and
// heap allocations per pass through the text once the iterator has made one
// pass (allocs_per_pass; it should be 0). After the runs a summary gives
// the time per item and the ratio to the split baseline of the same text.
#include "bench/allocation_counter.h"
#include "bench/bench_support.h"
#include "list_module/it_enum_list.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

enum class Shape { Names, Values, Range };

const char *shapeName(Shape shape) {
    switch (shape) {
    case Shape::Names: return "names";
    case Shape::Values: return "values";
    case Shape::Range: return "range";
    }
    return "";
}

// Every item has the same length at every size, so that time per item
// compares across sizes: names and values are 7-digit numbers, zero-padded in
// a list, starting at 1000000 in a range.
constexpr std::int32_t kFirstRangeValue = 1000000;

std::wstring padded(std::int32_t i) {
    std::wstring digits = std::to_wstring(i);
    return std::wstring(7 - digits.size(), L'0') + digits;
}

// The value of the last item of a text of `items` items.
std::int32_t lastValue(Shape shape, std::int32_t items) {
    return (shape == Shape::Range ? kFirstRangeValue : 0) + items - 1;
}

// The text the iterator walks.
std::wstring iteratorText(Shape shape, std::int32_t items) {
    if (shape == Shape::Range) {
        return L"range " + std::to_wstring(kFirstRangeValue) + L"," +
               std::to_wstring(lastValue(shape, items));
    }
    std::wstring text;
    for (std::int32_t i = 0; i < items; ++i) {
        if (i != 0)
            text += L',';
        text += L'n';
        text += padded(i);
        if (shape == Shape::Values) {
            text += L'=';
            text += padded(i);
        }
    }
    return text;
}

// The text the baseline splits: the same items, written as a list.
std::wstring baselineText(Shape shape, std::int32_t items) {
    if (shape != Shape::Range)
        return iteratorText(shape, items);
    std::wstring text;
    for (std::int32_t i = 0; i < items; ++i) {
        if (i != 0)
            text += L',';
        text += std::to_wstring(kFirstRangeValue + i);
    }
    return text;
}

// Texts are built once per shape and size; a million-item text takes a while.
const std::wstring &cached(std::map<std::pair<int, std::int32_t>, std::wstring> &cache,
                           std::wstring (*make)(Shape, std::int32_t), Shape shape,
                           std::int32_t items) {
    auto key = std::make_pair(static_cast<int>(shape), items);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, make(shape, items)).first;
    return it->second;
}

std::map<std::pair<int, std::int32_t>, std::wstring> g_iteratorTexts;
std::map<std::pair<int, std::int32_t>, std::wstring> g_baselineTexts;

// Records items processed and the heap allocations per pass through the text
// since `allocationsBefore` (taken before the timed loop, after one untimed
// pass: the first pass may grow the item string once to the longest name).
void finish(benchmark::State &state, std::int32_t items, std::size_t allocationsBefore) {
    const double allocations = static_cast<double>(bench::allocationCount() - allocationsBefore);
    state.counters["allocs_per_pass"] = allocations / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * items);
}

void splitBaseline(benchmark::State &state, Shape shape, std::int32_t items) {
    const std::wstring &text = cached(g_baselineTexts, baselineText, shape, items);
    const std::size_t before = bench::allocationCount();
    for (auto _ : state) {
        const wchar_t *p = text.data();
        const wchar_t *const end = p + text.size();
        std::int32_t pieces = 0;
        while (p != end) {
            const wchar_t *comma = std::wmemchr(p, L',', static_cast<std::size_t>(end - p));
            std::size_t length = static_cast<std::size_t>((comma != nullptr ? comma : end) - p);
            benchmark::DoNotOptimize(p);
            benchmark::DoNotOptimize(length);
            ++pieces;
            p = comma != nullptr ? comma + 1 : end;
        }
        if (pieces != items)
            state.SkipWithError("baseline split a wrong number of pieces");
    }
    finish(state, items, before);
}

void walk(benchmark::State &state, Shape shape, std::int32_t items) {
    it_enum_list it(cached(g_iteratorTexts, iteratorText, shape, items));
    for (it.First(); !it.IsDone(); it.Next()) {
    }
    const std::size_t before = bench::allocationCount();
    for (auto _ : state) {
        std::int32_t seen = 0;
        for (it.First(); !it.IsDone(); it.Next()) {
            const enum_entry &e = it.CurrentItem();
            const wchar_t *name = e.text.data();
            std::size_t length = e.text.size();
            benchmark::DoNotOptimize(name);
            benchmark::DoNotOptimize(length);
            benchmark::DoNotOptimize(e.value);
            ++seen;
        }
        if (seen != items)
            state.SkipWithError("walk yielded a wrong number of items");
    }
    finish(state, items, before);
}

void count(benchmark::State &state, Shape shape, std::int32_t items) {
    const it_enum_list it(cached(g_iteratorTexts, iteratorText, shape, items));
    const std::size_t before = bench::allocationCount();
    for (auto _ : state) {
        std::int32_t n = it.Count();
        benchmark::DoNotOptimize(n);
        if (n != items)
            state.SkipWithError("wrong count");
    }
    finish(state, items, before);
}

void findLast(benchmark::State &state, Shape shape, std::int32_t items) {
    it_enum_list it(cached(g_iteratorTexts, iteratorText, shape, items));
    const std::int32_t last = lastValue(shape, items);
    it.FindValue(last);
    const std::size_t before = bench::allocationCount();
    for (auto _ : state) {
        bool found = it.FindValue(last);
        benchmark::DoNotOptimize(found);
        if (!found || it.CurrentItem().index != items - 1)
            state.SkipWithError("last value not found");
    }
    finish(state, items, before);
}

constexpr Shape kShapes[] = {Shape::Names, Shape::Values, Shape::Range};
constexpr std::int32_t kSizes[] = {100, 10000, 1000000};

struct Operation {
    const char *name;
    void (*run)(benchmark::State &, Shape, std::int32_t);
};
constexpr Operation kOperations[] = {
    {"split", splitBaseline}, {"walk", walk}, {"count", count}, {"find_last", findLast}};

// CPU time per item of a benchmark over `items` items: -1 for a benchmark
// that did not run (filtered out, or stopped with an error).
double nsPerItem(const bench::SummaryReporter &reporter, const std::string &name,
                 std::int32_t items) {
    const double ns = reporter.ns(name);
    return ns < 0 ? -1 : ns / items;
}

std::string benchmarkName(const Operation &op, Shape shape, std::int32_t items) {
    return std::string(op.name) + "/" + shapeName(shape) + "/" + std::to_string(items);
}

// Every row is printed; a benchmark that did not run shows "—".
void printSummary(const bench::SummaryReporter &reporter) {
    using bench::cell;
    using bench::ratioCell;
    std::printf("\nTime per item (ns, CPU) and ratio to the split baseline of the same items\n\n");
    std::printf("| text | items | split | walk | walk/split | count | count/split | find_last | "
                "find_last/split |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (Shape shape : kShapes) {
        for (std::int32_t items : kSizes) {
            const double split =
                nsPerItem(reporter, benchmarkName(kOperations[0], shape, items), items);
            std::printf("| %s | %d | %s", shapeName(shape), items, cell("%.3f", split).c_str());
            for (std::size_t i = 1; i < sizeof kOperations / sizeof kOperations[0]; ++i) {
                const double ns =
                    nsPerItem(reporter, benchmarkName(kOperations[i], shape, items), items);
                std::printf(" | %s | %s", cell("%.3f", ns).c_str(), ratioCell(ns, split).c_str());
            }
            std::printf(" |\n");
        }
    }
    std::printf(
        "\nWalk time per item at 10^6 items against 10^2 items (linear work: close to 1)\n\n");
    std::printf("| text | walk 10^6 / 10^2 | split 10^6 / 10^2 |\n|---|---:|---:|\n");
    for (Shape shape : kShapes) {
        const double w0 =
            nsPerItem(reporter, benchmarkName(kOperations[1], shape, kSizes[0]), kSizes[0]);
        const double w2 =
            nsPerItem(reporter, benchmarkName(kOperations[1], shape, kSizes[2]), kSizes[2]);
        const double s0 =
            nsPerItem(reporter, benchmarkName(kOperations[0], shape, kSizes[0]), kSizes[0]);
        const double s2 =
            nsPerItem(reporter, benchmarkName(kOperations[0], shape, kSizes[2]), kSizes[2]);
        std::printf("| %s | %s | %s |\n", shapeName(shape), ratioCell(w2, w0).c_str(),
                    ratioCell(s2, s0).c_str());
    }
    std::printf("\nHeap allocations per pass, most of any benchmark: %s\n",
                cell("%g", reporter.largestCounter("allocs_per_pass")).c_str());
}

// Every benchmark of the program, with its repetitions (see bench_support.h).
void registerAll(const bench::AddBenchmark &add) {
    for (const Operation &op : kOperations) {
        for (Shape shape : kShapes) {
            for (std::int32_t items : kSizes) {
                const Operation *operation = &op;
                add(benchmarkName(op, shape, items),
                    [operation, shape, items](benchmark::State &state) {
                        operation->run(state, shape, items);
                    });
            }
        }
    }
}

} // namespace

// Each run at least 0.05 s; a smoke run makes two passes of each benchmark.
int main(int argc, char **argv) {
    return bench::runBenchmarks(argc, argv, bench::RunPlan{2, 0.05}, registerAll, printSummary);
}
