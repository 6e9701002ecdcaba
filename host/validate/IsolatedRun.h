// IsolatedRun - `info` and `run` with the module in a child process,
// the same mechanism as the checks of `validate`: the tool starts itself
// again with the hidden option --in-child. A crash or a hang of the module
// then ends the child, not the tool, which names the call it happened in.
//
// The child's channel (its standard output) carries JSON lines:
//   the calls of its logs (CallJson), which the parent follows and relays
//   to --trace; {"step":"..."} what it is about to do;
//   {"out":"..."} and {"err":"..."} what the command prints, in order;
//   {"error":"..."} the one line of a command that could not do its work;
//   {"exit":N} at the end.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace wqhost {

struct IsolatedCall {
    std::vector<std::string> arguments; // the child's, after the program
    double timeoutSeconds = 20.0;
    bool timeoutGiven = false; // a hang names the limit it outlived
    bool giveInput = false;
    std::string input;           // the child's standard input
    std::FILE *trace = nullptr;  // the calls as JSON lines, or null
    std::string libraryArgument; // as the user wrote it
    std::string libraryPath;     // the file it names, for a loader's hint
};

// The parent's side: runs the call, prints what the child prints, and
// returns the child's exit status, or 1 after a line that tells how the
// module crashed or hung. Throws HostError for the child's error line.
int runIsolated(const IsolatedCall &call);

// The child's side: takes the channel, sends standard output and error
// through it, runs `work` with the channel (for the logs' JSON lines), and
// ends the process with the status `work` returned.
[[noreturn]] void serveInChild(const std::function<int(std::FILE *channel)> &work);

// In the child: tells the parent what comes next (a crash then names it).
void childStep(std::FILE *channel, const std::string &what);

} // namespace wqhost
