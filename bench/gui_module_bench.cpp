// Benchmarks of the list selector's GUI side, driven through the built
// library's exports as a host drives it, against a floor module that makes
// exactly the same host calls with the same texts and does nothing else.
//
// Each benchmark is named <event>/<subject>/<echo>/<items>[/<item>]:
//   event    select  the host sets pin 1 to an item number and reports it
//                    (GD_PIN_CHANGED, pin 1): the module reads pins 1 and 0
//                    and writes the item's name to pin 2, its number to pin 3
//            list    the host reports a new list on pin 0 (GD_PIN_CHANGED,
//                    pin 0): the module hands the list to pin 1 as its
//                    choices and sets pin 1 from pin 3's number
//   subject  quendor   the built Quendor library
//            floor     the floor module (floor_module.cpp): the same host
//                      calls with answers prepared beforehand, made directly
//            framework the same, but made through the framework's layers
//                      (framework_floor_module.cpp); echo off only
//   echo     echo_off / echo_on: whether the host reports each pin write
//                    back as a nested notification before the write returns
//   items    3, 100, 1000: the list "k000=000,k001=001,..." (9 bytes an item)
//   item     first, middle, last: the number selected (0, items/2, items-1)
//
// Both subjects run on the same lean host (LeanGuiHost), which answers from
// fixed-size storage and allocates nothing, so measured/floor is the cost of
// Quendor's own code, and measured/framework the cost of the list behaviour
// without the framework's layers. Before a benchmark is timed, one event of each subject
// is traced and checked call by call against the expected host calls, and the
// pins it leaves are checked too; a difference stops the benchmark with an
// error.
//
// Every benchmark reports the heap allocations per event (allocs_per_event),
// counted by the program's replaced operator new, which the loaded module
// library uses as well. After the runs a summary gives the ratios.
#include "bench/LeanGuiHost.h"
#include "bench/allocation_counter.h"
#include "bench/bench_support.h"
#include "bench/floor_module.h"

#include "host/platform/Library.h"
#include "list_module/GuiModule.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using bench::LeanGuiHost;
using bench::TracedCall;

// ---------------------------------------------------------------------------
// The lists and what the selector makes of them

// The longest list text the selector works on; it keeps the first this many
// bytes of a longer one.
constexpr std::size_t kWorkingText = GuiModule::kTextBufferSize - 1;

constexpr std::int32_t kSizes[] = {3, 100, 1000};

enum class Position { First, Middle, Last };
constexpr Position kPositions[] = {Position::First, Position::Middle, Position::Last};

const char *positionName(Position p) {
    switch (p) {
    case Position::First: return "first";
    case Position::Middle: return "middle";
    case Position::Last: return "last";
    }
    return "";
}

std::int32_t itemNumber(std::int32_t items, Position p) {
    switch (p) {
    case Position::First: return 0;
    case Position::Middle: return items / 2;
    case Position::Last: return items - 1;
    }
    return 0;
}

std::string decimal(std::int32_t v) { return std::to_string(v); }

// One list text and everything the floor needs to answer for it.
struct ListCase {
    std::int32_t items = 0;
    std::string text;                     // pin 0
    std::string cutText;                  // the part the selector works on
    std::vector<std::string> names;       // names of the items in cutText
    std::vector<std::string> numberTexts; // "%i" of 0 .. items-1
    std::vector<const char *> namePointers;
    std::vector<const char *> numberPointers;
    std::string valueText; // pin 3 before a new list: the last item's number
    FloorAnswers answers{};

    explicit ListCase(std::int32_t n) : items(n) {
        char item[32];
        for (std::int32_t i = 0; i < n; ++i) {
            std::snprintf(item, sizeof item, "%sk%03d=%03d", i != 0 ? "," : "", i, i);
            text += item;
        }
        cutText = text.substr(0, kWorkingText);

        // The items of the cut text: each ',' ends one; the end of the text
        // ends the last one when something stands after the last ','.
        std::size_t start = 0;
        while (start < cutText.size()) {
            std::size_t end = cutText.find(',', start);
            if (end == std::string::npos)
                end = cutText.size();
            const std::string entry = cutText.substr(start, end - start);
            names.push_back(entry.substr(0, entry.find('=')));
            start = end + 1;
        }
        for (std::int32_t i = 0; i < n; ++i)
            numberTexts.push_back(decimal(i));
        for (const std::string &s : names)
            namePointers.push_back(s.c_str());
        for (const std::string &s : numberTexts)
            numberPointers.push_back(s.c_str());
        valueText = decimal(n - 1);

        answers.listText = cutText.c_str();
        answers.valueTextNumber = n - 1;
        answers.itemCount = static_cast<std::int32_t>(names.size());
        answers.names = namePointers.data();
        answers.numberCount = static_cast<std::int32_t>(numberTexts.size());
        answers.numberTexts = numberPointers.data();
    }

    bool visible(std::int32_t item) const {
        return item >= 0 && item < static_cast<std::int32_t>(names.size());
    }
};

const ListCase &listCase(std::int32_t items) {
    static std::map<std::int32_t, std::unique_ptr<ListCase>> cases;
    std::unique_ptr<ListCase> &c = cases[items];
    if (!c)
        c = std::make_unique<ListCase>(items);
    return *c;
}

// ---------------------------------------------------------------------------
// The two libraries

enum class Subject { Quendor, Floor, Framework };

const char *subjectName(Subject s) {
    switch (s) {
    case Subject::Quendor: return "quendor";
    case Subject::Floor: return "floor";
    case Subject::Framework: return "framework";
    }
    return "";
}

// A module library, loaded by the reference host's loader, with the export
// that creates objects (and, for a floor, the one that takes the answers).
struct LoadedModule {
    explicit LoadedModule(const char *path, bool isFloor)
        : library(path),
          makeModule(reinterpret_cast<WQMakeModuleProc>(library.symbol(WQ_MAKE_MODULE_NAME))),
          setAnswers(isFloor ? reinterpret_cast<FloorSetAnswersProc>(
                                   library.symbol(FLOOR_SET_ANSWERS_NAME))
                             : nullptr) {}
    wqhost::Library library;
    WQMakeModuleProc makeModule;
    FloorSetAnswersProc setAnswers;
};

struct Libraries {
    LoadedModule quendor{WQ_QUENDOR_LIBRARY, false};
    LoadedModule floor{WQ_FLOOR_LIBRARY, true};
    LoadedModule framework{WQ_FRAMEWORK_FLOOR_LIBRARY, true};

    WQMakeModuleProc make(Subject s) const {
        switch (s) {
        case Subject::Quendor: return quendor.makeModule;
        case Subject::Floor: return floor.makeModule;
        case Subject::Framework: return framework.makeModule;
        }
        return nullptr;
    }

    void setAnswers(const FloorAnswers *answers) const {
        floor.setAnswers(answers);
        framework.setAnswers(answers);
    }
};

Libraries *g_libraries = nullptr;

// ---------------------------------------------------------------------------
// Expected host calls

TracedCall call(int32_t opcode, int32_t index, int32_t value, bool ptr, int depth,
                std::string text = std::string()) {
    return TracedCall{opcode, index, value, ptr, std::move(text), depth};
}

// A selection of `item` while the host reports nothing back or only what the
// selector ignores (pins 2 and 3 during its own writes).
void expectSelection(std::vector<TracedCall> &calls, const ListCase &list, std::int32_t item,
                     int depth) {
    calls.push_back(call(GH_PIN_GET_VALUE, 1, 0, true, depth));
    calls.push_back(call(GH_PIN_GET_TEXT, 0, 0, false, depth));
    if (!list.visible(item))
        return;
    calls.push_back(call(GH_PIN_SET_TEXT, 2, 0, true, depth, list.names[item]));
    calls.push_back(call(GH_PIN_GET_VALUE, 1, 0, true, depth));
    calls.push_back(call(GH_PIN_SET_TEXT, 3, 0, true, depth, decimal(item)));
}

void expectNewList(std::vector<TracedCall> &calls, const ListCase &list, bool echo) {
    calls.push_back(call(GH_PIN_GET_TEXT, 0, 0, false, 1));
    calls.push_back(call(GH_PIN_SET_LIST_TEXT, 1, 0, true, 1, list.cutText));
    calls.push_back(call(GH_PIN_GET_TEXT, 3, 0, false, 1));
    calls.push_back(call(GH_PIN_SET_VALUE, 1, list.items - 1, false, 1));
    if (echo) // the pin-1 write comes back: a whole selection, nested
        expectSelection(calls, list, list.items - 1, 2);
}

// Empty when `got` is `expected`, else the first difference.
std::string compare(const std::vector<TracedCall> &expected, const std::vector<TracedCall> &got) {
    for (std::size_t i = 0; i < expected.size() || i < got.size(); ++i) {
        if (i < expected.size() && i < got.size() && expected[i] == got[i])
            continue;
        return "call " + std::to_string(i) + ": expected " +
               (i < expected.size() ? bench::describe(expected[i]) : "none") + ", got " +
               (i < got.size() ? bench::describe(got[i]) : "none");
    }
    return std::string();
}

// ---------------------------------------------------------------------------
// The benchmarks

std::unique_ptr<LeanGuiHost> makeHost(benchmark::State &state, Subject subject,
                                      const ListCase &list, bool echo) {
    g_libraries->setAnswers(&list.answers);
    auto host = std::make_unique<LeanGuiHost>(g_libraries->make(subject));
    if (!host->create()) {
        state.SkipWithError("the library made no GUI object");
        return nullptr;
    }
    host->setText(0, list.text.c_str());
    host->setText(3, list.valueText.c_str());
    host->setEcho(echo);
    return host;
}

// Runs one event untimed with a trace and checks it; false (and the
// benchmark stopped with an error) on any difference.
template <class Event>
bool checkOneEvent(benchmark::State &state, LeanGuiHost &host,
                   const std::vector<TracedCall> &expected, Event event) {
    std::vector<TracedCall> trace;
    host.setTrace(&trace);
    event();
    host.setTrace(nullptr);
    const std::string difference = compare(expected, trace);
    if (!difference.empty()) {
        state.SkipWithError(difference.c_str());
        return false;
    }
    return true;
}

// The counter of heap allocations per event, kept for the summary.
constexpr const char *kAllocations = "allocs_per_event";

void finish(benchmark::State &state, std::size_t allocationsBefore) {
    const double allocations = static_cast<double>(bench::allocationCount() - allocationsBefore);
    state.counters[kAllocations] = allocations / static_cast<double>(state.iterations());
}

void selection(benchmark::State &state, Subject subject, bool echo, std::int32_t items,
               Position position) {
    const ListCase &list = listCase(items);
    const std::int32_t item = itemNumber(items, position);
    std::unique_ptr<LeanGuiHost> host = makeHost(state, subject, list, echo);
    if (!host)
        return;
    // Pins 2 and 3 start apart from what the selection writes.
    host->setText(2, "-");
    host->setText(3, "-");

    std::vector<TracedCall> expected;
    expectSelection(expected, list, item, 1);
    auto event = [&host, item] {
        host->setInt(1, item);
        host->notify(1);
    };
    if (!checkOneEvent(state, *host, expected, event))
        return;
    const bool written = list.visible(item);
    if (host->text(2) != (written ? list.names[item] : std::string("-")) ||
        host->text(3) != (written ? decimal(item) : std::string("-"))) {
        state.SkipWithError("pins 2 and 3 do not show the selection");
        return;
    }

    const std::size_t before = bench::allocationCount();
    for (auto _ : state)
        event();
    finish(state, before);
}

void newList(benchmark::State &state, Subject subject, bool echo, std::int32_t items) {
    const ListCase &list = listCase(items);
    std::unique_ptr<LeanGuiHost> host = makeHost(state, subject, list, echo);
    if (!host)
        return;

    std::vector<TracedCall> expected;
    expectNewList(expected, list, echo);
    // The host has the list text already; each event reports it anew.
    auto event = [&host] { host->notify(0); };
    if (!checkOneEvent(state, *host, expected, event))
        return;
    if (host->listText(1) != list.cutText || host->intValue(1) != items - 1) {
        state.SkipWithError("pin 1 has not got the new list and the number");
        return;
    }

    const std::size_t before = bench::allocationCount();
    for (auto _ : state)
        event();
    finish(state, before);
}

// ---------------------------------------------------------------------------
// Registration and the summary

const char *echoName(bool echo) { return echo ? "echo_on" : "echo_off"; }

std::string selectionName(Subject s, bool echo, std::int32_t items, Position p) {
    return std::string("select/") + subjectName(s) + "/" + echoName(echo) + "/" +
           std::to_string(items) + "/" + positionName(p);
}

std::string listName(Subject s, bool echo, std::int32_t items) {
    return std::string("list/") + subjectName(s) + "/" + echoName(echo) + "/" +
           std::to_string(items);
}

// Every row is printed; a benchmark that did not run (filtered out, or
// stopped with an error) shows "—".
void printSummary(const bench::SummaryReporter &r) {
    using bench::cell;
    using bench::ratioCell;
    std::printf("\nSelection on pin 1: CPU time per event, fastest of the runs\n\n");
    std::printf("| echo | items | item | quendor ns | floor ns | quendor/floor | framework ns "
                "| quendor/framework | framework/floor | allocations |\n");
    std::printf("|---|---:|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (bool echo : {false, true}) {
        for (std::int32_t items : kSizes) {
            for (Position p : kPositions) {
                const double q = r.ns(selectionName(Subject::Quendor, echo, items, p));
                const double f = r.ns(selectionName(Subject::Floor, echo, items, p));
                // The framework floor runs with echo off only.
                const double w =
                    echo ? -1 : r.ns(selectionName(Subject::Framework, echo, items, p));
                std::printf("| %s | %d | %s | %s | %s | %s | %s | %s | %s | %s |\n",
                            echo ? "on" : "off", items, positionName(p), cell("%.1f", q).c_str(),
                            cell("%.1f", f).c_str(), ratioCell(q, f).c_str(),
                            cell("%.1f", w).c_str(), ratioCell(q, w).c_str(),
                            ratioCell(w, f).c_str(),
                            cell("%g", r.counter(selectionName(Subject::Quendor, echo, items, p),
                                                 kAllocations))
                                .c_str());
            }
        }
    }

    std::printf("\nNew list on pin 0: CPU time per event, fastest of the runs\n\n");
    std::printf("| echo | items | quendor ns | floor ns | quendor/floor | framework ns | "
                "quendor/framework | framework/floor | allocations |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (bool echo : {false, true}) {
        for (std::int32_t items : kSizes) {
            const double q = r.ns(listName(Subject::Quendor, echo, items));
            const double f = r.ns(listName(Subject::Floor, echo, items));
            const double w = echo ? -1 : r.ns(listName(Subject::Framework, echo, items));
            std::printf("| %s | %d | %s | %s | %s | %s | %s | %s | %s |\n", echo ? "on" : "off",
                        items, cell("%.1f", q).c_str(), cell("%.1f", f).c_str(),
                        ratioCell(q, f).c_str(), cell("%.1f", w).c_str(), ratioCell(q, w).c_str(),
                        ratioCell(w, f).c_str(),
                        cell("%g", r.counter(listName(Subject::Quendor, echo, items), kAllocations))
                            .c_str());
        }
    }

    // Walking to a later item costs more than taking the first; per item
    // passed over, that extra should not depend on the list's length. Items
    // beyond the working text are never reached: of a 1000-item list only the
    // items that fit are walked, and its last item is not found.
    std::printf("\nSelection, echo off: the walk's cost per item passed over, and Quendor's "
                "own cost (quendor - floor)\n\n");
    std::printf("| items | items in the working text | last - first ns | per item passed "
                "ns | own cost, first ns | own cost, last ns |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|\n");
    for (std::int32_t items : kSizes) {
        const ListCase &list = listCase(items);
        const std::int32_t visible = static_cast<std::int32_t>(list.names.size());
        const double first = r.ns(selectionName(Subject::Quendor, false, items, Position::First));
        const double last = r.ns(selectionName(Subject::Quendor, false, items, Position::Last));
        const double floorFirst =
            r.ns(selectionName(Subject::Floor, false, items, Position::First));
        const double floorLast = r.ns(selectionName(Subject::Floor, false, items, Position::Last));
        // When the last item is beyond the working text, the last selection
        // writes nothing and the difference says nothing about the walk.
        const bool found = list.visible(items - 1);
        std::printf("| %d | %d | %s | %s | %s | %s |\n", items, visible,
                    found ? bench::differenceCell("%.1f", last, first).c_str() : "not found",
                    found ? bench::differenceCell("%.3f", last, first, items - 1).c_str() : "—",
                    bench::differenceCell("%.1f", first, floorFirst).c_str(),
                    bench::differenceCell("%.1f", last, floorLast).c_str());
    }
}

// Every benchmark of the program, with its repetitions (see bench_support.h).
void registerAll(const bench::AddBenchmark &add) {
    for (bool echo : {false, true}) {
        for (std::int32_t items : kSizes) {
            for (Position p : kPositions) {
                for (Subject s : {Subject::Quendor, Subject::Floor, Subject::Framework}) {
                    if (s == Subject::Framework && echo)
                        continue;
                    add(selectionName(s, echo, items, p),
                        [s, echo, items, p](benchmark::State &state) {
                            selection(state, s, echo, items, p);
                        });
                }
            }
            for (Subject s : {Subject::Quendor, Subject::Floor, Subject::Framework}) {
                if (s == Subject::Framework && echo)
                    continue;
                add(listName(s, echo, items),
                    [s, echo, items](benchmark::State &state) { newList(state, s, echo, items); });
            }
        }
    }
}

} // namespace

// The least time of one run comes from --benchmark_min_time (see
// bench/CMakeLists.txt for what CTest passes); a smoke run makes 20 events of
// each benchmark.
int main(int argc, char **argv) {
    Libraries libraries;
    g_libraries = &libraries;
    return bench::runBenchmarks(argc, argv, bench::RunPlan{20}, registerAll, printSummary);
}
