// Validator - runs conformance checks (ConformanceCheck) on a module
// library, each in a child process with a time limit, and turns how each
// child ended into an outcome: the verdict the check wrote, or, for a child
// that crashed or hung, the call that was running, the last step, and what
// the module printed.
//
// Each check's child is the tool itself, started again with the hidden
// option `--run-check NAME` (the same on every system); its standard output
// is the check's channel.
#pragma once

#include "host/process/ChildProcess.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace wqhost {

struct ConformanceCheck;
struct CheckReport;

// The most of a failed check's error output a report keeps: room for a
// sanitizer's report with its stacks.
constexpr size_t kMaxErrorOutput = 64 * 1024;

struct CheckOutcome {
    enum class Result { Pass, Fail, Skip };

    std::string name;
    Result result = Result::Fail;
    std::vector<std::string> details;  // what failed, or why the check was skipped
    std::vector<std::string> warnings; // what the module should change; WARN lines
    bool crashed = false;              // the child ended without a verdict
    bool timedOut = false;             // ... because it outlived the time limit
    bool failedOnWarnings = false;     // passed but for its warnings (--strict)
    bool couldNotRun = false;          // skipped: the system cannot run it (--strict fails it)
    std::string runningCalls;          // calls that had not returned when it ended, outermost first
    std::string lastStep;              // what the check was doing then
    std::string moduleOutput;          // the telling line of what the child printed, after a crash
    std::vector<std::string> frames;   // the crashed thread's frames, innermost first, named
                                       // (FrameNames); empty where the system tells none
    std::vector<std::string> lastCalls; // the last calls begun before a crash, oldest first
    std::string errorOutput;            // all the child printed to standard error, for a failed
                                        // check (at most kMaxErrorOutput bytes)
    std::string unusable;               // set when the library cannot be loaded at all
    bool sidesKnown = false;            // the sides probe told the module's sides:
    bool hasAudio = false;              // makeModule(0, 1) gave an object
    bool hasGui = false;                // makeModule(0, 2) gave an object
    std::string reproduce;              // a command line that runs this check alone
    uint64_t seed = 0;                  // the seed it ran with
    bool seeded = false;                // it drew random numbers: another seed tests more
    double seconds = 0.0;
};

class Validator {
public:
    struct Options {
        std::string libraryPath;     // as handed to the loader
        std::string libraryArgument; // as the user wrote it, for the reproducing command
        std::string program;         // the tool as it was started, for the same
        std::string childProgram;    // the tool's own file, started for each check
        uint64_t seed = 0;
        double timeoutSeconds = 20.0;
        bool timeoutGiven = false;  // repeat --timeout in the reproducing command
        std::FILE *trace = nullptr; // every call of every check as JSON lines, or null
        // The checks run in this process, one after the other, with no
        // time limit: a crash ends the caller. For a debugger.
        bool inProcess = false;
    };

    explicit Validator(Options options);

    // Runs the check `name` (one of conformanceChecks()) in a child, or in
    // this process with Options::inProcess.
    CheckOutcome run(const std::string &name) const;

    // The command line that runs one check alone with this run's seed.
    std::string reproduceCommand(const std::string &name) const;

    // Whether the checks run with the guarded heap, and if not, why.
    bool heapChecked() const noexcept { return m_heapChecked; }
    const std::string &heapCheckOff() const noexcept { return m_heapCheckOff; }

private:
    ChildOutcome runChild(const std::string &name, const LineHandler &onLine) const;
    ChildOutcome runHere(const ConformanceCheck &check, const LineHandler &onLine) const;
    CheckOutcome outcomeOf(const std::string &name, const CheckReport &reader,
                           const ChildOutcome &ended) const;

    Options m_options;
    bool m_heapChecked = false;
    std::string m_heapCheckOff;
};

} // namespace wqhost
