// The subcommands of wqhost and what they share. Each returns the exit
// status: 0 success, 1 the module failed (an expectation, a check), 2 the
// tool could not do its work (bad arguments, a file that is missing or is
// no module library, a script with a mistake). Bad input throws ToolError,
// which main() prints as one line.
#pragma once

#include <cstdio>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace wqtool {

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string &what) : std::runtime_error(what) {}
};

struct InfoArgs {
    std::string library;
    bool json = false;
    double timeout = 20.0;
    bool allowProblems = false; // exit 0 even when the host found problems
    bool inChild = false;       // hidden: this is the child that runs the module
};

struct RunArgs {
    std::string library;
    std::string script; // empty: the prompt, or standard input
    std::string trace;
    bool echo = true;
    double timeout = 0.0;       // 0: no limit
    bool allowProblems = false; // exit 0 even when the host found problems
    bool inChild = false;       // hidden: this is the child that runs the module
};

// No limit, in seconds, for a child (a bit over a year).
constexpr double kNoTimeLimit = 3.2e7;

// The line that tells the user the host found problems, and the status:
// 1, or 0 with --allow-problems. `count` > 0.
int problemsFound(size_t count, bool allowProblems);

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

struct PanelArgs {
    std::string program; // how the tool was started (argv[0])
    std::string library;
    int port = 0; // 0: a free port
    bool noOpen = false;
    double timeout = 10.0;
    bool child = false; // hidden: be the module's process of a panel
};

int runInfo(const InfoArgs &args);
int runRun(const RunArgs &args);
int runValidate(const ValidateArgs &args);
int runPanel(const PanelArgs &args);

// The path to hand to the loader for a library named on the command line:
// a file that does not exist or cannot be read is refused here, with a
// message that names it, and a bare file name is taken from the current
// folder (the loader would search its own path list for it).
std::string libraryPath(const std::string &argument);

struct FileCloser {
    void operator()(std::FILE *f) const noexcept { std::fclose(f); }
};
using TraceFile = std::unique_ptr<std::FILE, FileCloser>;

// The file of --trace, written unbuffered; null when no path is given.
// Throws ToolError.
TraceFile openTraceFile(const std::string &path);

} // namespace wqtool
