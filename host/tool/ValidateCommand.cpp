// wqhost validate LIB [--json] [--junit FILE] [--list] [--explain CHECK]
//                     [--only ..] [--skip ..]
//                     [--seed N] [--timeout S] [--trace FILE] [--strict]
//                     [--in-process] [--repeat N]
#include "host/platform/ModuleCodeWatch.h"
#include "host/process/ChildProcess.h"
#include "host/text/NumberReading.h"
#include "host/text/NumberText.h"
#include "host/checks/ConformanceCheck.h"
#include "host/validate/CheckChild.h"
#include "host/validate/ValidationReport.h"
#include "host/validate/Validator.h"
#include "host/tool/Commands.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <utility>

namespace wqtool {

namespace {

// Why a check did not run when the library cannot be loaded or lacks an
// export.
constexpr const char *kUnrunReason = "the library cannot be used (see exports)";

struct ValidateArgs {
    std::string program; // how the tool was started (argv[0])
    std::string library;
    bool json = false;
    std::string junit;
    bool list = false;
    std::string explain;  // --explain CHECK: what the check stands for
    bool strict = false;  // warnings are failures
    bool verbose = false; // a failed check's whole error output under its line
    std::vector<std::string> only;
    std::vector<std::string> skip;
    std::string seedText; // --seed as written; empty: a fresh seed
    double timeout = 10.0;
    bool timeoutGiven = false;
    std::string trace;
    bool inProcess = false; // the checks in the tool's own process, for a debugger
    int repeat = 1;         // rounds of the randomised checks, each with a fresh seed
    std::string runCheck;   // hidden: run one check here, report on stdout
};
void explainCheck(const wqhost::ConformanceCheck &c, const char *indent) {
    const wqhost::ConformanceCheck::Explanation &e = c.explanation;
    std::cout << indent << "rule:    " << e.rule << "\n"
              << indent << "why:     " << e.why << "\n"
              << indent << "failing: " << e.failure << "\n";
}

void listChecks(bool json) {
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks()) {
            const wqhost::ConformanceCheck::Explanation &e = c.explanation;
            list.push_back({{"name", c.name},
                            {"summary", c.summary},
                            {"rule", e.rule},
                            {"why", e.why},
                            {"failure", e.failure}});
        }
        std::cout << list.dump(2) << "\n";
        return;
    }
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks()) {
        std::cout << c.name << "  " << c.summary << "\n";
        explainCheck(c, "    ");
    }
}

int runExplain(const ValidateArgs &args) {
    const wqhost::ConformanceCheck *check = wqhost::findConformanceCheck(args.explain);
    if (!check)
        throw ToolError("unknown check '" + args.explain + "' (wqhost validate --list shows them)");
    if (args.json) {
        const wqhost::ConformanceCheck::Explanation &e = check->explanation;
        std::cout << nlohmann::ordered_json{{"name", check->name},
                                            {"summary", check->summary},
                                            {"rule", e.rule},
                                            {"why", e.why},
                                            {"failure", e.failure}}
                         .dump(2)
                  << "\n";
        return 0;
    }
    std::cout << check->name << ": " << check->summary << "\n";
    explainCheck(*check, "  ");
    return 0;
}

// A name with the wildcards * (any run of characters) and ? (one).
bool matches(const char *pattern, const char *name) {
    for (; *pattern; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char *rest = name;; ++rest) {
                if (matches(pattern + 1, rest))
                    return true;
                if (!*rest)
                    return false;
            }
        }
        if (!*name || (*pattern != '?' && *pattern != *name))
            return false;
    }
    return !*name;
}

bool matchesAny(const std::vector<std::string> &patterns, const char *name) {
    for (const std::string &p : patterns)
        if (matches(p.c_str(), name))
            return true;
    return false;
}

// The checks to run, in table order, each with whether --skip leaves it out.
std::vector<std::pair<std::string, bool>> selectChecks(const ValidateArgs &args) {
    for (const std::vector<std::string> *patterns : {&args.only, &args.skip})
        for (const std::string &p : *patterns) {
            bool any = false;
            for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks())
                any = any || matches(p.c_str(), c.name);
            if (!any)
                throw ToolError("unknown check '" + p + "' (wqhost validate --list shows them)");
        }
    std::vector<std::pair<std::string, bool>> selected;
    bool anyToRun = false;
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks()) {
        if (!args.only.empty() && !matchesAny(args.only, c.name))
            continue;
        const bool skipped = matchesAny(args.skip, c.name);
        anyToRun = anyToRun || !skipped;
        selected.emplace_back(c.name, skipped);
    }
    if (!anyToRun)
        throw ToolError("--only and --skip leave no check to run");
    return selected;
}

// The JUnit file, opened before any check runs: a path that cannot be
// written is the tool's failure, found at once.
std::unique_ptr<std::ofstream> openJunit(const std::string &path) {
    if (path.empty() || path == "-")
        return nullptr;
    auto out = std::make_unique<std::ofstream>(path, std::ios::binary);
    if (!*out)
        throw ToolError("cannot write the JUnit report '" + path + "': " + std::strerror(errno));
    return out;
}

// --repeat: the checks of the first round that drew random numbers, again
// with a fresh seed a round, their outcomes added to the run. Each round
// prints its seed; the end names the first seed a check failed with, which
// --seed repeats.
void repeatSeeded(const ValidateArgs &args, const wqhost::Validator::Options &first,
                  std::ostream &lines, wqhost::ValidationRun &run) {
    std::vector<std::string> seeded;
    bool failedBefore = false;
    for (const wqhost::CheckOutcome &o : run.outcomes) {
        if (o.seeded)
            seeded.push_back(o.name);
        failedBefore = failedBefore || o.result == wqhost::CheckOutcome::Result::Fail;
    }
    if (seeded.empty()) {
        lines << "repeat: no check that ran draws random numbers; nothing to repeat\n"
              << std::flush;
        return;
    }
    uint64_t firstFailing = first.seed;
    bool anyFailed = false;
    for (int round = 2; round <= args.repeat; ++round) {
        wqhost::Validator::Options options = first;
        do
            options.seed = freshSeed();
        while (options.seed == first.seed);
        const wqhost::Validator validator(options);
        lines << "repeat " << round << "/" << args.repeat << " (seed " << options.seed << ", "
              << seeded.size() << (seeded.size() == 1 ? " check" : " checks") << ")\n"
              << std::flush;
        bool failed = false;
        for (const std::string &name : seeded) {
            wqhost::CheckOutcome outcome = validator.run(name);
            if (args.strict)
                wqhost::warningsFail(outcome);
            failed = failed || outcome.result == wqhost::CheckOutcome::Result::Fail;
            lines << wqhost::formatOutcome(outcome, args.verbose) << std::flush;
            run.outcomes.push_back(std::move(outcome));
        }
        if (failed && !anyFailed && !failedBefore)
            firstFailing = options.seed;
        anyFailed = anyFailed || failed;
    }
    if (failedBefore || anyFailed)
        lines << "first failing seed: " << firstFailing << " (--seed " << firstFailing
              << " repeats it)\n";
    else
        lines << "repeat: no failure with " << args.repeat << " seeds\n";
    lines << std::flush;
}

int runValidate(const ValidateArgs &args) {
    if (args.list) {
        listChecks(args.json);
        return 0;
    }
    if (!args.explain.empty())
        return runExplain(args);
    if (args.library.empty())
        throw ToolError("validate needs a module library (wqhost validate LIB)");
    const uint64_t givenSeed = args.seedText.empty() ? 0 : parseSeed(args.seedText);
    if (!args.runCheck.empty())
        wqhost::runCheckChild(args.runCheck, args.library, givenSeed);
    if (args.json && args.junit == "-")
        throw ToolError("--json and --junit - cannot both have standard output");
    // In the tool's own process nothing can stop a check from outside.
    if (args.inProcess && args.timeoutGiven)
        throw ToolError("--in-process runs the checks with no time limit: --timeout does not "
                        "apply");

    const std::vector<std::pair<std::string, bool>> selected = selectChecks(args);
    const TraceFile trace = openTraceFile(args.trace);
    const std::unique_ptr<std::ofstream> junit = openJunit(args.junit);

    wqhost::Validator::Options options;
    options.libraryPath = libraryPath(args.library);
    options.libraryArgument = args.library;
    options.program = args.program;
    options.childProgram = wqhost::ChildProcess::currentProgram();
    options.seed = args.seedText.empty() ? freshSeed() : givenSeed;
    options.timeoutSeconds = args.timeout;
    options.timeoutGiven = args.timeoutGiven;
    options.trace = trace.get();
    options.inProcess = args.inProcess;
    const wqhost::Validator validator(options);

    // With a report on standard output the check lines go to standard
    // error.
    const bool reportOnStdout = args.json || args.junit == "-";
    std::ostream &lines = reportOnStdout ? std::cerr : std::cout;

    lines << "wqhost validate " << args.library << " (seed " << options.seed;
    if (args.inProcess)
        lines << ", in process, no time limit)\n";
    else
        lines << ", timeout " << wqhost::floatText(options.timeoutSeconds) << " s)\n";
    if (!validator.heapChecked())
        lines << "note: heap corruption is found only when it crashes: " << validator.heapCheckOff()
              << "\n";
    std::string unseen;
    if (!wqhost::realtimeHazardsSeen(unseen))
        lines << "note: process-realtime sees nothing: " << unseen << "\n";
    lines << std::flush;

    // A library that cannot be loaded, or lacks an export, fails the
    // exports check, which runs first; nothing else can run then.
    wqhost::CheckOutcome loading = validator.run("exports");
    const bool usable = loading.unusable.empty();
    wqhost::ValidationRun run;
    run.library = args.library;
    run.seed = options.seed;
    run.timeoutSeconds = args.inProcess ? 0.0 : options.timeoutSeconds;
    // Which sides the module has: one line of the header when it lacks one.
    if (usable) {
        run.sides = validator.run(wqhost::kSidesProbe);
        lines << wqhost::formatSidesNote(run.sides) << std::flush;
    }
    // The exports check was not selected, but the library is unusable:
    // the report says why nothing ran.
    if (!usable && (selected.empty() || selected.front().first != "exports")) {
        lines << wqhost::formatOutcome(loading, args.verbose) << std::flush;
        run.outcomes.push_back(loading);
    }
    // The checks a library that cannot be used leaves unrun are one line of
    // the text report (each is still in the JSON and JUnit reports).
    std::vector<std::string> unrun;
    for (const auto &[name, skipped] : selected) {
        wqhost::CheckOutcome outcome;
        if (name == "exports" && (!skipped || !usable)) {
            outcome = loading;
        } else if (skipped || !usable) {
            outcome.name = name;
            outcome.seed = options.seed;
            outcome.result = wqhost::CheckOutcome::Result::Skip;
            outcome.details = {skipped ? "left out with --skip" : kUnrunReason};
        } else {
            outcome = validator.run(name);
        }
        if (args.strict)
            wqhost::warningsFail(outcome);
        if (!skipped && !usable && name != "exports")
            unrun.push_back(name);
        else
            lines << wqhost::formatOutcome(outcome, args.verbose) << std::flush;
        run.outcomes.push_back(std::move(outcome));
    }
    if (unrun.size() == 1)
        lines << "SKIP  " << unrun.front() << ": " << kUnrunReason << "\n";
    else if (!unrun.empty())
        lines << "SKIP  " << unrun.size() << " checks (" << unrun.front() << " to " << unrun.back()
              << "): " << kUnrunReason << "\n";
    if (usable && args.repeat > 1)
        repeatSeeded(args, options, lines, run);
    const wqhost::ValidationSummary summary = wqhost::summarize(run.outcomes);
    lines << wqhost::formatRootCauses(wqhost::rootCauses(run.outcomes))
          << wqhost::formatSummary(summary) << "\n"
          << std::flush;
    if (args.json)
        std::cout << wqhost::validationJson(run) << std::flush;
    if (args.junit == "-")
        std::cout << wqhost::validationJunit(run) << std::flush;
    if (junit) {
        *junit << wqhost::validationJunit(run);
        junit->flush();
        if (!*junit)
            throw ToolError("cannot write the JUnit report '" + args.junit +
                            "': " + std::strerror(errno));
    }
    return summary.failed > 0 ? 1 : 0;
}

} // namespace

Command addValidateCommand(CLI::App &tool, const std::string &program) {
    auto args = std::make_shared<ValidateArgs>();
    args->program = program;
    CLI::App *cmd = tool.add_subcommand(
        "validate", "Check that a module library keeps the interface; each check runs in a "
                    "child process (with --in-process, in wqhost's own)");
    cmd->add_option("LIB", args->library, "Module library");
    cmd->add_flag("--json", args->json,
                  "Print the report (or with --list the checks) as JSON on standard "
                  "output; the check lines go to standard error");
    cmd->add_option("--junit", args->junit,
                    "Write a JUnit XML report to FILE ('-': standard output)")
        ->type_name("FILE");
    cmd->add_flag("--list", args->list,
                  "List the checks, each with its rule, why a host needs it and what a failure "
                  "usually means, and stop");
    cmd->add_option("--explain", args->explain, "Explain one check and stop")->type_name("CHECK");
    cmd->add_flag("--strict", args->strict, "Count a check with warnings as failed");
    cmd->add_flag("--verbose", args->verbose,
                  "Show all a failed check's module printed (up to 64 KiB; JSON and "
                  "JUnit always carry it)");
    cmd->add_option("--only", args->only, "Run only these checks (* and ? match any characters)")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->type_name("NAME[,NAME...]");
    cmd->add_option("--skip", args->skip,
                    "Leave these checks out: reported as skipped (* and ? as in --only)")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->type_name("NAME[,NAME...]");
    cmd->add_option("--seed", args->seedText,
                    "Seed of the randomised checks, 0 to 18446744073709551615 (default: a "
                    "fresh one, printed)")
        ->type_name("N");
    CLI::Option *timeout =
        cmd->add_option("--timeout", args->timeout, "Seconds a check may take (default 10)")
            ->check(CLI::Range(0.1, 3600.0))
            ->type_name("SECONDS");
    cmd->add_option("--trace", args->trace, "Write every call to FILE as JSON lines")
        ->type_name("FILE");
    cmd->add_flag("--in-process", args->inProcess,
                  "Run the checks in wqhost's own process, for a debugger (gdb --args "
                  "wqhost validate LIB --in-process): a crash then ends wqhost, and "
                  "there is no time limit (--timeout is refused)");
    cmd->add_option("--repeat", args->repeat,
                    "Soak: run the randomised checks N times in all, each time after the first "
                    "with a fresh seed (printed); the first failing seed is named for --seed")
        ->check(CLI::Range(1, 100000))
        ->type_name("N");
    cmd->add_option("--run-check", args->runCheck, "")->group("");
    return {cmd, [args, timeout] {
                args->timeoutGiven = timeout->count() > 0;
                return runValidate(*args);
            }};
}

} // namespace wqtool
