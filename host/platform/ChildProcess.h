// ChildProcess - runs work in a child process with a time limit, so that a
// crash or a hang of the work is observed from outside instead of taking the
// caller down.
//
// The child reports through a channel of text lines, handed to a LineHandler
// one by one as they arrive (on POSIX while the child runs; on Windows once
// it has ended). Its standard error is collected. A child that outlives the
// limit is killed.
//
// POSIX: runFunction() forks and runs a function in the child, which ends
// with _exit(): nothing of the parent's state is torn down or reported in
// the child (destructors, atexit handlers, buffered output, leak checks).
// runProgram() starts a program (fork and exec). Windows: runProgram() only
// (CreateProcess); a caller that needs a function in a child starts itself.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace wqhost {

struct ChildOutcome {
    enum class End {
        Exited,     // the child ended on its own; exitCode holds its status
        Signalled,  // POSIX: a signal ended it; signal holds the number
        TimedOut,   // it was still running at the limit and was killed
        NotStarted  // it could not be started; startError says why
    };
    End end = End::NotStarted;
    int exitCode = 0;
    int signal = 0;
    std::string startError;
    std::string errors; // what the child wrote to standard error (at most 256 KiB)
    std::string output; // its channel lines joined, when no LineHandler took them
    double seconds = 0.0;
};

using LineHandler = std::function<void(const std::string &line)>;

struct ChildOptions {
    double timeoutSeconds = 20.0;
    std::string input;       // written to the child's standard input
    bool giveInput = false;  // false: standard input is empty
};

class ChildProcess {
public:
#ifndef _WIN32
    // Runs `body` in a forked child. The body writes its channel to the FILE*
    // it is given (the child's standard output goes to standard error); its
    // result is the child's exit status. An exception leaving the body ends
    // the child with status 70.
    static ChildOutcome runFunction(const std::function<int(std::FILE *channel)> &body,
                                    const ChildOptions &options, const LineHandler &onLine);
#endif

    // Runs argv[0] with the arguments argv[1...]; its standard output is the
    // channel. With a null handler the channel is kept in `output`.
    static ChildOutcome runProgram(const std::vector<std::string> &argv,
                                   const ChildOptions &options, const LineHandler &onLine);

    // How the child ended, in words: "exit status 3", "signal 11 (SIGSEGV)",
    // "timed out after 2 s", "could not start: ...".
    static std::string describeEnd(const ChildOutcome &outcome, double timeoutSeconds);

    // The file of the running program, for starting it again.
    static std::string currentProgram();
};

} // namespace wqhost
