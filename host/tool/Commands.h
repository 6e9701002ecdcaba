// The subcommands of wqhost and what they share. Each returns the exit
// status: 0 success, 1 the module failed (an expectation, a check), 2 the
// tool could not do its work (bad arguments, a file that is missing or is
// no module library, a script with a mistake). Bad input throws ToolError,
// which main() prints as one line.
#pragma once

#include "host/platform/HostError.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace wqtool {

// A host error of the tool's own: what the user asked for cannot be done.
// The isolated runs pass one raised in the child on as a HostError.
class ToolError : public wqhost::HostError {
public:
    explicit ToolError(const std::string &what) : wqhost::HostError(what) {}
};

// A subcommand as main() runs it: its parser, which fills in its options,
// and its work, run once they are parsed, which returns the exit status.
struct Command {
    CLI::App *parser = nullptr;
    std::function<int()> run;
};

// Each subcommand is one file, <Name>Command.cpp, with one function that
// adds it to the tool's parser and returns it:
//   Command add<Name>Command(CLI::App &tool, const std::string &program);
// `program` is how the tool was started (argv[0]). main.cpp lists them.

// No limit, in seconds, for a child (a bit over a year).
constexpr double kNoTimeLimit = 3.2e7;

// The line that tells the user the host found problems, and the status:
// 1, or 0 with --allow-problems. `count` > 0.
int problemsFound(size_t count, bool allowProblems);

// The path to hand to the loader for a library named on the command line:
// a file that does not exist or cannot be read is refused here, with a
// message that names it, and a bare file name is taken from the current
// folder (the loader would search its own path list for it).
std::string libraryPath(const std::string &argument);

// --seed: a whole number that fits 64 bits, written in at most 20 decimal
// digits; throws ToolError for anything else.
uint64_t parseSeed(const std::string &text);
// A seed for a run that was given none (printed, so that it can be given).
uint64_t freshSeed();

struct FileCloser {
    void operator()(std::FILE *f) const noexcept { std::fclose(f); }
};
using TraceFile = std::unique_ptr<std::FILE, FileCloser>;

// The file of --trace, written unbuffered; null when no path is given.
// Throws ToolError.
TraceFile openTraceFile(const std::string &path);

} // namespace wqtool
