// wqhost validate LIB [--json] [--junit FILE] [--list] [--only ..] [--skip ..]
//                     [--seed N] [--timeout S] [--trace FILE] [--strict]
#include "host/platform/ChildProcess.h"
#include "host/platform/NumberText.h"
#include "host/validate/ConformanceCheck.h"
#include "host/validate/ValidationReport.h"
#include "host/validate/Validator.h"
#include "host/tool/Commands.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <set>

namespace wqtool {

namespace {

void listChecks() {
    size_t width = 0;
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks())
        width = std::max(width, std::strlen(c.name));
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks())
        std::cout << c.name << std::string(width + 2 - std::strlen(c.name), ' ') << c.summary
                  << "\n";
}

std::vector<std::string> selectChecks(const ValidateArgs &args) {
    for (const std::vector<std::string> *names : {&args.only, &args.skip})
        for (const std::string &n : *names)
            if (!wqhost::findConformanceCheck(n))
                throw ToolError("unknown check '" + n + "' (wqhost validate --list shows them)");
    const std::set<std::string> only(args.only.begin(), args.only.end());
    const std::set<std::string> skip(args.skip.begin(), args.skip.end());
    std::vector<std::string> selected;
    for (const wqhost::ConformanceCheck &c : wqhost::conformanceChecks())
        if ((only.empty() || only.count(c.name)) && !skip.count(c.name))
            selected.push_back(c.name);
    if (selected.empty())
        throw ToolError("--only and --skip leave no check to run");
    return selected;
}

uint64_t freshSeed() {
    std::random_device device;
    const uint64_t now = static_cast<uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return ((static_cast<uint64_t>(device()) << 16) ^ now) % 1000000000ull;
}

// The child's side (Validator starts the tool again for each check): one
// check in this process, its channel on standard output. The child ends
// here, as soon as the check has written its verdict.
[[noreturn]] void runOneCheckHere(const ValidateArgs &args) {
    const wqhost::ConformanceCheck *check = wqhost::findConformanceCheck(args.runCheck);
    if (!check)
        throw ToolError("unknown check '" + args.runCheck + "'");
    std::FILE *channel = wqhost::ChildProcess::takeChannel();
    if (!channel)
        throw ToolError("cannot set up the channel of the check '" + args.runCheck + "'");
    int status = 70;
    try {
        status = wqhost::runCheckHere(*check, args.library, args.seed, channel);
    } catch (...) {
        // The parent reports a child that ended without a verdict.
    }
    wqhost::ChildProcess::endNow(status);
}

void writeJunit(const std::string &path, const wqhost::ValidationRun &run) {
    std::ofstream out(path, std::ios::binary);
    if (out)
        out << wqhost::validationJunit(run);
    if (!out)
        throw ToolError("cannot write the JUnit report '" + path + "': " + std::strerror(errno));
}

} // namespace

int runValidate(const ValidateArgs &args) {
    if (args.list) {
        listChecks();
        return 0;
    }
    if (args.library.empty())
        throw ToolError("validate needs a module library (wqhost validate LIB)");
    if (!args.runCheck.empty())
        runOneCheckHere(args);

    const std::vector<std::string> selected = selectChecks(args);
    const TraceFile trace = openTraceFile(args.trace);

    wqhost::Validator::Options options;
    options.libraryPath = libraryPath(args.library);
    options.libraryArgument = args.library;
    options.program = args.program;
    options.childProgram = wqhost::ChildProcess::currentProgram();
    options.seed = args.seedGiven ? args.seed : freshSeed();
    options.timeoutSeconds = args.timeout;
    options.timeoutGiven = args.timeoutGiven;
    options.trace = trace.get();
    const wqhost::Validator validator(options);

    // With --json the report owns standard output; the check lines go to
    // standard error.
    std::ostream &lines = args.json ? std::cerr : std::cout;

    // A library that cannot be loaded, or lacks an export, is bad input:
    // the exports check tells before anything else runs.
    const wqhost::CheckOutcome loading = validator.run("exports");
    if (!loading.unusable.empty())
        throw ToolError(loading.unusable);

    lines << "wqhost validate " << args.library << " (seed " << options.seed << ", timeout "
          << wqhost::floatText(options.timeoutSeconds) << " s)\n";
    if (!validator.heapChecked())
        lines << "note: heap corruption is found only when it crashes: "
              << validator.heapCheckOff() << "\n";
    lines << std::flush;
    wqhost::ValidationRun run;
    run.library = args.library;
    run.seed = options.seed;
    run.timeoutSeconds = options.timeoutSeconds;
    for (const std::string &name : selected) {
        wqhost::CheckOutcome outcome = name == "exports" ? loading : validator.run(name);
        if (args.strict)
            wqhost::warningsFail(outcome);
        lines << wqhost::formatOutcome(outcome) << std::flush;
        run.outcomes.push_back(std::move(outcome));
    }
    const wqhost::ValidationSummary summary = wqhost::summarize(run.outcomes);
    lines << wqhost::formatSummary(summary) << "\n" << std::flush;
    if (args.json)
        std::cout << wqhost::validationJson(run) << std::flush;
    if (!args.junit.empty())
        writeJunit(args.junit, run);
    return summary.failed > 0 ? 1 : 0;
}

} // namespace wqtool
