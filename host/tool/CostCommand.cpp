// wqhost cost LIB [--budget PERCENT] [--json] [--repeats N]
//
// The module runs in the tool's own process: a child process would add
// nothing to a process call's thread CPU time, but the tool then shares the
// fate of a module that crashes (wqhost validate finds those first).
#include "host/cost/CostBudget.h"
#include "host/cost/CostFinding.h"
#include "host/cost/CostMeasurement.h"
#include "host/cost/CostReport.h"
#include "host/tool/Commands.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

namespace wqtool {

namespace {

struct CostArgs {
    std::string library;
    double budget = -1.0; // percent of real time; < 0: none
    bool json = false;
    int repeats = 200;
};

int runCost(const CostArgs &args) {
    const std::string path = libraryPath(args.library);
    wqhost::CostOptions options;
    options.repeats = args.repeats;
    const wqhost::CostFigures figures = wqhost::measureCost(path, args.library, options);
    const std::vector<wqhost::CostFinding> findings = wqhost::findCostFaults(figures);
    if (args.json)
        std::cout << wqhost::costReportJson(figures, findings, args.budget);
    else
        std::cout << wqhost::formatCostReport(figures, findings, args.budget);
    std::cout.flush();
    if (args.budget < 0.0 || !figures.audioSide)
        return 0;
    const std::vector<wqhost::BudgetExcess> excesses = wqhost::overBudget(figures, args.budget);
    for (const wqhost::BudgetExcess &e : excesses)
        std::cerr << "wqhost: over budget: " << wqhost::budgetExcessText(e, args.budget) << "\n";
    std::cerr.flush();
    return excesses.empty() ? 0 : 1;
}

} // namespace

Command addCostCommand(CLI::App &tool, const std::string &) {
    auto args = std::make_shared<CostArgs>();
    CLI::App *cmd = tool.add_subcommand(
        "cost", "Measure what the module's process function costs per block (thread CPU time "
                "for block sizes 1 to 4096 at 44.1 and 96 kHz, denormal input, several "
                "objects), as shares of real time; the module runs in this process");
    cmd->add_option("LIB", args->library, "Module library")->required();
    cmd->add_option("--budget", args->budget,
                    "Exit 1 when a median takes more than this share of real time")
        ->check(CLI::Range(0.0, 1e6))
        ->type_name("PERCENT");
    cmd->add_flag("--json", args->json, "Print one JSON document");
    cmd->add_option("--repeats", args->repeats, "Timed blocks per figure (default 200)")
        ->check(CLI::Range(1, 1000000))
        ->type_name("N");
    return {cmd, [args] { return runCost(*args); }};
}

} // namespace wqtool
