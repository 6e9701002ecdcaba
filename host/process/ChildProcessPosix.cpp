// The POSIX half of ChildProcess: posix_spawn, pipes read with poll, process
// groups ended with the tool.
#ifndef _WIN32

#  include "host/process/ChildProcess.h"

#  include "host/platform/CrashReport.h"
#  include "host/process/ChildProcessSystem.h"
#  include "host/process/ProcessActivity.h"

#  include <algorithm>
#  include <atomic>
#  include <cerrno>
#  include <csignal>
#  include <cstdlib>
#  include <cstring>

#  include <fcntl.h>
#  include <poll.h>
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>
#  ifdef __linux__
#    include <sys/prctl.h>
#  endif

extern char **environ;

namespace wqhost {

namespace childprocess {

namespace {

void appendErrors(std::string &errors, const char *data, size_t size) {
    if (errors.size() < kMaxErrors)
        errors.append(data, std::min(size, kMaxErrors - errors.size()));
}

// The children running now, each the leader of a process group of its own.
// A signal that ends the tool (SIGINT, SIGTERM, SIGHUP) ends them and
// whatever they started first, and then the tool as the signal would have.
constexpr int kMaxChildren = 16;
std::atomic<pid_t> g_children[kMaxChildren];

void endChildrenAndRaise(int sig) {
    for (std::atomic<pid_t> &child : g_children) {
        const pid_t pid = child.load();
        if (pid > 0)
            ::kill(-pid, SIGKILL);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void watchEndingSignals() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true))
        return;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        ::sigaction(sig, nullptr, &previous);
        // A signal the caller chose to ignore or handle stays theirs.
        if (previous.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = endChildrenAndRaise;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
}

class ChildEntry {
public:
    explicit ChildEntry(pid_t pid) {
        for (std::atomic<pid_t> &child : g_children) {
            pid_t free = 0;
            if (child.compare_exchange_strong(free, pid)) {
                m_slot = &child;
                return;
            }
        }
    }
    ~ChildEntry() {
        if (m_slot)
            m_slot->store(0);
    }
    ChildEntry(const ChildEntry &) = delete;
    ChildEntry &operator=(const ChildEntry &) = delete;

private:
    std::atomic<pid_t> *m_slot = nullptr;
};

void closeFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Both ends close on exec from the start where the system can: children
// started side by side from other threads (`fuzz --jobs`) must not inherit
// this child's pipes, or its end of file would wait for theirs.
bool openPipe(int ends[2]) {
#  ifdef __linux__
    return ::pipe2(ends, O_CLOEXEC) == 0;
#  else
    if (::pipe(ends) != 0)
        return false;
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    return true;
#  endif
}

struct Pipes {
    int channel[2] = {-1, -1};
    int errors[2] = {-1, -1};
    int input[2] = {-1, -1};

    // Every end is closed in the child; it gets its own copies as 0, 1, 2.
    bool open(bool withInput) {
        if (!openPipe(channel) || !openPipe(errors))
            return false;
        return !withInput || openPipe(input);
    }
    ~Pipes() {
        for (int *p : {channel, errors, input}) {
            closeFd(p[0]);
            closeFd(p[1]);
        }
    }
};

// The parent's side: reads the channel and the errors, feeds the input,
// kills the child at the limit, collects its end.
void supervise(pid_t pid, Pipes &pipes, const ChildOptions &options, const LineHandler &onLine,
               ChildOutcome &outcome, Clock::time_point start) {
    closeFd(pipes.channel[1]);
    closeFd(pipes.errors[1]);
    closeFd(pipes.input[0]);
    int inputFd = pipes.input[1];
    size_t inputDone = 0;
    if (inputFd >= 0) {
        ::fcntl(inputFd, F_SETFL, ::fcntl(inputFd, F_GETFL) | O_NONBLOCK);
        if (options.input.empty())
            closeFd(pipes.input[1]);
    }

    // A child that stops reading its input must not end the parent.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &previous);

    LineSplitter lines(onLine, outcome.output);
    // The limit is the child's own time. The time this process spends on
    // the lines it reads is added to it: a child writing its trace waits
    // while its reader is slow (run under a debugger or a memory checker),
    // and that wait is not the child's. What is added stays below nine
    // times the limit, so a child that never stops writing still ends.
    const auto limit = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options.timeoutSeconds));
    auto deadline = start + limit;
    const auto latestDeadline = deadline + 9 * limit;
    bool timedOut = false;
    char buffer[8192];
    while (pipes.channel[0] >= 0 || pipes.errors[0] >= 0) {
        const auto now = Clock::now();
        if (now >= deadline) {
            timedOut = true;
            break;
        }
        // A long limit is waited for in slices: poll takes an int.
        const int wait = static_cast<int>(std::min<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1,
            1000));
        pollfd fds[3];
        int n = 0;
        int which[3];
        if (pipes.channel[0] >= 0) {
            fds[n] = {pipes.channel[0], POLLIN, 0};
            which[n++] = 0;
        }
        if (pipes.errors[0] >= 0) {
            fds[n] = {pipes.errors[0], POLLIN, 0};
            which[n++] = 1;
        }
        if (pipes.input[1] >= 0) {
            fds[n] = {pipes.input[1], POLLOUT, 0};
            which[n++] = 2;
        }
        const int ready = ::poll(fds, static_cast<nfds_t>(n), wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (which[i] == 2) {
                ssize_t w = ::write(pipes.input[1], options.input.data() + inputDone,
                                    options.input.size() - inputDone);
                if (w > 0)
                    inputDone += static_cast<size_t>(w);
                if (w < 0 && errno != EAGAIN && errno != EINTR)
                    inputDone = options.input.size();
                if (inputDone >= options.input.size())
                    closeFd(pipes.input[1]);
                continue;
            }
            int &fd = which[i] == 0 ? pipes.channel[0] : pipes.errors[0];
            ssize_t r = ::read(fd, buffer, sizeof buffer);
            if (r > 0) {
                if (which[i] == 0) {
                    const auto handling = Clock::now();
                    lines.add(buffer, static_cast<size_t>(r));
                    deadline = std::min(latestDeadline, deadline + (Clock::now() - handling));
                } else
                    appendErrors(outcome.errors, buffer, static_cast<size_t>(r));
            } else if (r == 0 || (errno != EINTR && errno != EAGAIN)) {
                closeFd(fd);
            }
        }
    }
    closeFd(pipes.input[1]);

    // Both streams closed: the child has ended or is about to; it still
    // gets the rest of its time.
    int status = 0;
    while (!timedOut) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            status = 0;
            break;
        }
        if (Clock::now() >= deadline) {
            timedOut = true;
            break;
        }
        ::usleep(2000);
    }
    if (timedOut) {
        watchActivity(pid, outcome);
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.end = ChildOutcome::End::TimedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.end = ChildOutcome::End::Signalled;
        outcome.signal = WTERMSIG(status);
    } else {
        outcome.end = ChildOutcome::End::Exited;
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    lines.finish();
    closeFd(pipes.channel[0]);
    closeFd(pipes.errors[0]);
    outcome.seconds = secondsSince(start);
}

} // namespace

const char *signalName(int sig) {
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGABRT: return "SIGABRT";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGKILL: return "SIGKILL";
    case SIGTERM: return "SIGTERM";
    case SIGPIPE: return "SIGPIPE";
    case SIGTRAP: return "SIGTRAP";
    default: return nullptr;
    }
}

// Runs a program: argv is not empty; `outcome` is NotStarted on entry.
void run(const std::vector<std::string> &argv, const ChildOptions &options,
         const LineHandler &onLine, ChildOutcome &outcome) {
    Pipes pipes;
    if (!pipes.open(options.giveInput)) {
        outcome.startError = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    // Standard input from the input pipe or empty, standard output the
    // channel, standard error the error pipe.
    posix_spawn_file_actions_t streams;
    posix_spawn_file_actions_init(&streams);
    if (pipes.input[0] >= 0)
        posix_spawn_file_actions_adddup2(&streams, pipes.input[0], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&streams, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&streams, pipes.channel[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&streams, pipes.errors[1], STDERR_FILENO);
    // The child leads a process group of its own, so that it and whatever
    // it starts are ended together.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    watchEndingSignals();
    const auto start = Clock::now();
    pid_t pid = 0;
    const int failed = ::posix_spawn(&pid, args[0], &streams, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&streams);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        outcome.startError = "cannot start " + argv[0] + ": " + std::strerror(failed);
        return;
    }
    const ChildEntry entry(pid);
    supervise(pid, pipes, options, onLine, outcome, start);
}

} // namespace childprocess

using namespace childprocess;

std::FILE *ChildProcess::takeChannel() {
    reportExceptionsOnTerminate();
#  ifdef __linux__
    // The child ends with the parent, even one killed with no chance to end
    // it. A parent already gone leaves the child to the system's first
    // process (or a reaper) as its parent: nobody waits for its verdict.
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent || parent == 1)
        std::_Exit(70);
#  endif
    std::fflush(stdout);
    const int channel = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (channel < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return nullptr;
    return ::fdopen(channel, "w");
}

std::string ChildProcess::currentProgram() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::string();
    return std::string(path, static_cast<size_t>(n));
}

} // namespace wqhost

#endif // !_WIN32
