// wqhost fuzz LIB [--time DURATION] [--jobs N] [--seed S] [--out DIR]
//                 [--runs N] [--timeout S] [--replay FILE.wqs]
#include "host/fuzz/FuzzChild.h"
#include "host/fuzz/FuzzRun.h"
#include "host/memory/HeapCheck.h"
#include "host/process/ChildProcess.h"
#include "host/tool/Commands.h"
#include "host/validate/IsolatedRun.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>

namespace wqtool {

namespace {

struct FuzzArgs {
    std::string library;
    std::string time = "10s";
    unsigned jobs = 1;
    std::string seedText;
    std::string out = ".";
    uint64_t runs = 0;
    double timeout = 5.0;
    std::string replay;
    bool inChild = false; // hidden: this is the child that runs one session
};

// --time: seconds, written as a number with an optional unit: 500ms, 10s,
// 2m, 1h (seconds without one).
double parseDuration(const std::string &text) {
    static const struct {
        const char *unit;
        double seconds;
    } kUnits[] = {{"ms", 0.001}, {"s", 1.0}, {"m", 60.0}, {"h", 3600.0}, {"", 1.0}};
    for (const auto &u : kUnits) {
        const std::string unit = u.unit;
        if (text.size() <= unit.size() ||
            text.compare(text.size() - unit.size(), unit.size(), unit) != 0)
            continue;
        const std::string number = text.substr(0, text.size() - unit.size());
        char *end = nullptr;
        const double value = std::strtod(number.c_str(), &end);
        if (end == number.c_str() + number.size() && value > 0.0 && value <= 1.0e6)
            return value * u.seconds;
        break;
    }
    throw ToolError("--time takes a duration such as 30, 30s, 500ms, 2m or 1h, not '" + text + "'");
}

std::string readStandardInput() {
    std::ostringstream all;
    all << std::cin.rdbuf();
    return all.str();
}

int runFuzzCommand(const FuzzArgs &args, const std::string &program) {
    const std::string path = libraryPath(args.library);
    if (args.inChild) {
        // The guarded heap before the module is loaded, as in a check child.
        wqhost::enableHeapCheckIfAsked();
        const std::string script = readStandardInput();
        wqhost::serveInChild(
            [&](std::FILE *channel) { return wqhost::runFuzzChild(path, script, channel); });
    }
    wqhost::FuzzOptions options;
    options.program = wqhost::ChildProcess::currentProgram();
    options.libraryPath = path;
    options.libraryArgument = args.library;
    options.timeSeconds = parseDuration(args.time);
    options.sessionTimeout = args.timeout;
    options.jobs = args.jobs;
    options.runs = args.runs;
    options.outFolder = args.out;
    (void)program;
    if (!args.replay.empty())
        return wqhost::replayFuzzScript(options, args.replay, std::cout);
    options.seed = args.seedText.empty() ? freshSeed() : parseSeed(args.seedText);
    return wqhost::runFuzz(options, std::cout);
}

} // namespace

Command addFuzzCommand(CLI::App &tool, const std::string &program) {
    auto args = std::make_shared<FuzzArgs>();
    CLI::App *cmd = tool.add_subcommand(
        "fuzz", "Random host sessions, each in a guarded child process; a failing one is shrunk "
                "to a short script that wqhost run replays");
    cmd->add_option("LIB", args->library, "Module library")->required();
    cmd->add_option("--time", args->time,
                    "How long the whole run may take, shrinking included (default 10s; "
                    "500ms, 30s, 2m, 1h)")
        ->type_name("DURATION");
    cmd->add_option("--jobs", args->jobs, "Sessions run side by side (default 1)")
        ->check(CLI::Range(1, 16))
        ->type_name("N");
    cmd->add_option("--seed", args->seedText,
                    "The seed the sessions are drawn from (a fresh one, printed, unless given)")
        ->type_name("S");
    cmd->add_option("--out", args->out,
                    "Folder the shrunk script is written to (default: the current one)")
        ->type_name("DIR");
    cmd->add_option("--runs", args->runs, "Sessions at most (default: until the time is up)")
        ->check(CLI::Range(uint64_t{1}, uint64_t{1000000000}))
        ->type_name("N");
    cmd->add_option("--timeout", args->timeout,
                    "Seconds one session may take before it counts as hung (default 5)")
        ->check(CLI::Range(0.1, 1.0e5))
        ->type_name("SECONDS");
    cmd->add_option("--replay", args->replay,
                    "Run a written script in the guarded child and say whether it still fails")
        ->type_name("FILE.wqs");
    cmd->add_flag("--in-child", args->inChild, "")->group("");
    return {cmd, [args, program] { return runFuzzCommand(*args, program); }};
}

} // namespace wqtool
