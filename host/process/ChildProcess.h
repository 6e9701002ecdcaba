// ChildProcess - runs a program in a child process with a time limit, so
// that a crash or a hang of its work is observed from outside instead of
// taking the caller down. One mechanism on every system: the child is a
// program started afresh (posix_spawn on POSIX, CreateProcess on Windows);
// a caller that needs some of its own work isolated starts itself again
// with arguments that name the work.
//
// The child reports through a channel of text lines, its standard output,
// handed to a LineHandler one by one as they arrive (on POSIX while the
// child runs; on Windows once it has ended). Its standard error is
// collected. A child that outlives the limit is killed.
//
// Children never outlive the caller: on POSIX each leads a process group
// of its own, ended with SIGKILL when SIGINT, SIGTERM or SIGHUP ends the
// caller, and (on Linux) takeChannel() asks for SIGKILL when the parent
// dies; on Windows every child is in a job that ends with the caller.
//
// The child's side: takeChannel() makes standard output the channel and
// sends whatever the work prints to standard output to standard error
// instead; endNow() ends the child without tearing anything down,
// endNormally() as a program ends.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace wqhost {

struct ChildOutcome {
    enum class End {
        Exited,    // the child ended on its own; exitCode holds its status
        Signalled, // POSIX: a signal ended it; signal holds the number
        TimedOut,  // it was still running at the limit and was killed
        NotStarted // it could not be started; startError says why
    };
    End end = End::NotStarted;
    int exitCode = 0;
    int signal = 0;
    std::string startError;
    std::string errors; // what the child wrote to standard error (at most 256 KiB)
    std::string output; // its channel lines joined, when no LineHandler took them
    double seconds = 0.0;
    // For a child that timed out, what it did in a short while before it
    // was killed: the share of one processor it used (below 0 when the
    // system cannot tell), and whether it was computing or blocked.
    double cpuShare = -1.0;
    enum class Activity { Unknown, Computing, Blocked };
    Activity activity = Activity::Unknown;
};

// How long a child that outlived its limit is watched before it is killed,
// to tell computing from blocked.
constexpr double kCpuShareSeconds = 0.4;

using LineHandler = std::function<void(const std::string &line)>;

struct ChildOptions {
    double timeoutSeconds = 20.0;
    std::string input;      // written to the child's standard input
    bool giveInput = false; // false: standard input is empty
};

class ChildProcess {
public:
    // Runs argv[0] (a path, not searched for) with the arguments
    // argv[1...]; its standard output is the channel. With a null handler
    // the channel is kept in `output`. A program that cannot be started
    // ends NotStarted.
    static ChildOutcome runProgram(const std::vector<std::string> &argv,
                                   const ChildOptions &options, const LineHandler &onLine);

    // In the child: returns the channel (the standard output the parent
    // reads, binary), and points standard output at standard error, so that
    // what the work prints cannot garble the channel and is collected with
    // the errors. On Windows a crash from then on ends the process at once,
    // with no error dialog. Call once, before the work.
    static std::FILE *takeChannel();

    // In the child: flushes the C streams and ends the process with
    // `status` at once: no destructors, no atexit handlers, no leak checks
    // of a tool built with a sanitizer run on what the work left behind.
    [[noreturn]] static void endNow(int status);

    // In the child: ends the process as a program ends, with `status`:
    // static destructors and atexit handlers run, and the leak checks of a
    // module (or tool) built with a sanitizer report what was left.
    [[noreturn]] static void endNormally(int status);

    // How the child ended, in words: "exit status 3", "signal 11 (SIGSEGV)",
    // "timed out after 2 s", "could not start: ...".
    static std::string describeEnd(const ChildOutcome &outcome, double timeoutSeconds);

    // What ended a child that crashed, in a few words: the cause its error
    // output names (crashCause: "AddressSanitizer: SEGV", "C++ exception
    // std::runtime_error: \"bad list\""), else "SIGSEGV", "signal 40",
    // "exception 0xC0000005 (access violation)"; empty for a child that
    // exited without such a cause, timed out or never started.
    static std::string crashText(const ChildOutcome &outcome);

    // The file of the running program, for starting it again.
    static std::string currentProgram();
};

} // namespace wqhost
