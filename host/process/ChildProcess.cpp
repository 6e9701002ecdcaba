#include "host/process/ChildProcess.h"

#include "host/platform/CrashReport.h"
#include "host/process/ChildProcessSystem.h"
#include "host/text/NumberText.h"

#include <cstdio>
#include <cstdlib>

namespace wqhost {

using childprocess::signalName;

ChildOutcome ChildProcess::runProgram(const std::vector<std::string> &argv,
                                      const ChildOptions &options, const LineHandler &onLine) {
    ChildOutcome outcome;
    if (argv.empty())
        outcome.startError = "no program given";
    else
        childprocess::run(argv, options, onLine, outcome);
    return outcome;
}

void ChildProcess::endNow(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

void ChildProcess::endNormally(int status) {
    std::fflush(nullptr);
    std::exit(status);
}

std::string ChildProcess::crashText(const ChildOutcome &outcome) {
    // What the child printed names the cause better than how it ended: an
    // escaped exception ends in SIGABRT, a sanitizer's report in an exit
    // status.
    const bool crashed = outcome.end == ChildOutcome::End::Signalled ||
                         (outcome.end == ChildOutcome::End::Exited && outcome.exitCode != 0);
    if (crashed) {
        const std::string cause = crashCause(outcome.errors);
        if (!cause.empty())
            return cause;
    }
    if (outcome.end == ChildOutcome::End::Signalled) {
        if (const char *name = signalName(outcome.signal))
            return name;
        return "signal " + std::to_string(outcome.signal);
    }
#ifdef _WIN32
    if (outcome.end == ChildOutcome::End::Exited) {
        const unsigned code = static_cast<unsigned>(outcome.exitCode);
        if (code >= 0xC0000000u || code == 0x80000003u)
            return describeEnd(outcome, 0);
    }
#endif
    return std::string();
}

std::string ChildProcess::describeEnd(const ChildOutcome &outcome, double timeoutSeconds) {
    switch (outcome.end) {
    case ChildOutcome::End::Exited: {
#ifdef _WIN32
        const unsigned code = static_cast<unsigned>(outcome.exitCode);
        if (code >= 0xC0000000u || code == 0x80000003u) {
            const char *name = code == 0xC0000005u   ? " (access violation)"
                               : code == 0xC00000FDu ? " (stack overflow)"
                               : code == 0xC0000094u ? " (integer division by zero)"
                               : code == 0xC000001Du ? " (illegal instruction)"
                               : code == 0xC0000409u ? " (stack buffer overrun)"
                               : code == 0x80000003u ? " (breakpoint)"
                                                     : "";
            return "exception 0x" + hexDigits(code, 8, true) + name;
        }
#endif
        return "exit status " + std::to_string(outcome.exitCode);
    }
    case ChildOutcome::End::Signalled: {
        std::string text = "signal " + std::to_string(outcome.signal);
        if (const char *name = signalName(outcome.signal))
            text += std::string(" (") + name + ")";
        return text;
    }
    case ChildOutcome::End::TimedOut: return "timed out after " + floatText(timeoutSeconds) + " s";
    case ChildOutcome::End::NotStarted: break;
    }
    return "could not start: " + outcome.startError;
}

} // namespace wqhost
