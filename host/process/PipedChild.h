// PipedChild - a program started as a long-lived partner: the parent writes
// lines to its standard input and reads lines from its standard output as
// they come, with a time limit on each read, while its standard error is
// collected. Used where a module must run in a process of its own for a
// whole session (a crash or hang of the module ends that process, not the
// caller), unlike ChildProcess, which runs one piece of work to its end.
//
// POSIX only (fork and exec); on Windows start() reports that it is not
// available. The parent ignores SIGPIPE once a child has been started, so
// that writing to a child that has died fails instead of ending the parent.
#pragma once

#include "host/process/ChildProcess.h"

#include <cstdio>
#include <string>
#include <vector>

namespace wqhost {

class PipedChild {
public:
    enum class Read { Line, Ended, TimedOut };

    PipedChild() = default;
    ~PipedChild(); // kills a child that still runs and waits for it
    PipedChild(const PipedChild &) = delete;
    PipedChild &operator=(const PipedChild &) = delete;

    // Starts argv[0] with the arguments argv[1...]. False, with the reason in
    // startError(), when it cannot be started.
    bool start(const std::vector<std::string> &argv);
    bool running() const noexcept { return m_pid > 0; }
    const std::string &startError() const noexcept { return m_startError; }

    // Writes one line (a newline is added). False when the child no longer
    // reads its input.
    bool writeLine(const std::string &line);

    // The next line of the child's standard output (without the newline).
    // Ended: the output was closed (the child ended or closed it); TimedOut:
    // nothing came within `timeoutSeconds`.
    Read readLine(std::string &line, double timeoutSeconds);

    // Closes the child's input and waits up to `graceSeconds` for it to
    // end, then kills it. Returns how it ended (errors holds its standard
    // error). A second call returns the same outcome.
    ChildOutcome finish(double graceSeconds);
    // Kills the child now and waits for it.
    ChildOutcome kill();

    // What the child wrote to standard error so far (at most 64 KiB).
    const std::string &errors() const noexcept { return m_errors; }

    // For the child's side: a FILE* on what was standard output, with
    // standard output itself pointed at standard error from now on, so that
    // whatever else the process prints cannot mix with the channel. Null
    // when it cannot be done (the caller then writes to stdout).
    static std::FILE *takeOutputChannel();

    // Starts a program without waiting for it or keeping track of it (a
    // browser for a page); false when it cannot be started.
    static bool launchDetached(const std::vector<std::string> &argv);

private:
    void drainErrors(bool block);
    ChildOutcome reap(bool killFirst, double graceSeconds);

    int m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_pending;
    std::string m_errors;
    std::string m_startError;
    bool m_outClosed = false;
    bool m_finished = false;
    ChildOutcome m_outcome;
};

} // namespace wqhost
