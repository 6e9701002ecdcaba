// Runs the built wqhost tool as a user would, through the host library's
// ChildProcess, and hands back what it printed and how it ended.
#pragma once

#include "host/process/ChildProcess.h"
#include "tests/support/TextChecks.h"

#include <string>
#include <vector>

namespace wqtest {

struct ToolRun {
    bool exited = false; // ended on its own (not killed, not signalled)
    int status = -1;     // its exit status
    std::string out;
    std::string err;

    // The lines of standard error that are not empty.
    std::vector<std::string> errorLines() const {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < err.size()) {
            size_t end = err.find('\n', start);
            if (end == std::string::npos)
                end = err.size();
            if (end > start)
                lines.push_back(err.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
};

inline ToolRun runTool(const std::vector<std::string> &args, const std::string *input = nullptr,
                       double timeoutSeconds = 300.0) {
    std::vector<std::string> argv = {WQ_WQHOST_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    wqhost::ChildOptions options;
    options.timeoutSeconds = timeoutSeconds;
    if (input) {
        options.giveInput = true;
        options.input = *input;
    }
    const wqhost::ChildOutcome outcome = wqhost::ChildProcess::runProgram(argv, options, nullptr);
    ToolRun run;
    run.exited = outcome.end == wqhost::ChildOutcome::End::Exited;
    run.status = outcome.exitCode;
    run.out = outcome.output;
    run.err = outcome.errors;
    return run;
}

// A module library of the tests by its target name ("wq_broken_magic").
inline std::string testModule(const std::string &name) {
    return std::string(WQ_TEST_MODULE_DIR) + "/" + WQ_MODULE_PREFIX + name + WQ_MODULE_SUFFIX;
}

} // namespace wqtest
