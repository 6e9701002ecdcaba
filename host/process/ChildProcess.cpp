#include "host/process/ChildProcess.h"

#include "host/process/CommandLine.h"
#include "host/platform/CrashReport.h"
#include "host/text/NumberText.h"
#include "host/platform/WindowsText.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#else
#  include <cerrno>
#  include <csignal>
#  include <fcntl.h>
#  include <poll.h>
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>
#  ifdef __linux__
#    include <fstream>
#    include <sstream>
#    include <sys/prctl.h>
#  endif

extern char **environ;
#endif

namespace wqhost {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxErrors = 256 * 1024;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Splits what arrives on the channel into lines.
class LineSplitter {
public:
    LineSplitter(const LineHandler &onLine, std::string &keep) : m_onLine(onLine), m_keep(keep) {}

    void add(const char *data, size_t size) {
        if (!m_onLine) {
            m_keep.append(data, size);
            return;
        }
        m_pending.append(data, size);
        size_t start = 0;
        for (size_t nl; (nl = m_pending.find('\n', start)) != std::string::npos; start = nl + 1) {
            std::string line = m_pending.substr(start, nl - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_onLine(line);
        }
        m_pending.erase(0, start);
    }

    void finish() {
        if (m_onLine && !m_pending.empty()) {
            m_onLine(m_pending);
            m_pending.clear();
        }
    }

private:
    const LineHandler &m_onLine;
    std::string &m_keep;
    std::string m_pending;
};

#ifndef _WIN32
void appendErrors(std::string &errors, const char *data, size_t size) {
    if (errors.size() < kMaxErrors)
        errors.append(data, std::min(size, kMaxErrors - errors.size()));
}
#endif

const char *signalName(int sig) {
#ifdef _WIN32
    (void)sig;
    return nullptr;
#else
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
#endif
}

#ifndef _WIN32

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

bool openPipe(int ends[2]) {
    if (::pipe(ends) != 0)
        return false;
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    return true;
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

// The processor time a process has used so far, in seconds, or below 0.
double processorSeconds(pid_t pid) {
#  ifdef __linux__
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return -1.0;
    // The fields after the program's name, which may hold blanks, in ( ).
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return -1.0;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            user = std::stoull(field);
        if (i == 15)
            system = std::stoull(field);
    }
    const long ticks = ::sysconf(_SC_CLK_TCK);
    return ticks > 0 ? static_cast<double>(user + system) / static_cast<double>(ticks) : -1.0;
#  else
    (void)pid;
    return -1.0;
#  endif
}

// Whether a process is running or waiting to run ('R' in /proc), as
// opposed to sleeping or waiting for a device; -1 when unknown.
int runnable(pid_t pid) {
#  ifdef __linux__
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size())
        return -1;
    return line[close + 2] == 'R' ? 1 : 0;
#  else
    (void)pid;
    return -1;
#  endif
}

// Watches a child a short while: the share of one processor it used, and
// how often it was found runnable (a busy machine gives a spinning child
// little processor time, but it stays runnable).
void watchActivity(pid_t pid, ChildOutcome &outcome) {
    const double before = processorSeconds(pid);
    const auto start = Clock::now();
    constexpr int kLooks = 20;
    int looked = 0, running = 0;
    for (int i = 0; i < kLooks; ++i) {
        const int r = runnable(pid);
        if (r >= 0) {
            ++looked;
            running += r;
        }
        ::usleep(static_cast<useconds_t>(kCpuShareSeconds * 1e6 / kLooks));
    }
    const double after = processorSeconds(pid);
    const double wall = secondsSince(start);
    if (before >= 0.0 && after >= 0.0 && wall > 0.0)
        outcome.cpuShare = (after - before) / wall;
    if (looked > 0)
        outcome.activity = 2 * running >= looked ? ChildOutcome::Activity::Computing
                                                 : ChildOutcome::Activity::Blocked;
    else if (outcome.cpuShare >= 0.0)
        outcome.activity = outcome.cpuShare >= 0.2 ? ChildOutcome::Activity::Computing
                                                   : ChildOutcome::Activity::Blocked;
}

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
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(options.timeoutSeconds));
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
                if (which[i] == 0)
                    lines.add(buffer, static_cast<size_t>(r));
                else
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

#endif // !_WIN32

#ifdef _WIN32

struct Reader {
    HANDLE pipe = nullptr;
    std::string data;
    size_t limit = 0;
};

DWORD WINAPI readAll(LPVOID param) {
    Reader *reader = static_cast<Reader *>(param);
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(reader->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        if (reader->limit == 0 || reader->data.size() < reader->limit)
            reader->data.append(buffer, got);
    }
    return 0;
}

struct Writer {
    HANDLE pipe = nullptr;
    const std::string *data = nullptr;
};

DWORD WINAPI writeAll(LPVOID param) {
    Writer *writer = static_cast<Writer *>(param);
    size_t done = 0;
    while (done < writer->data->size()) {
        DWORD wrote = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(writer->data->size() - done, 65536));
        if (!WriteFile(writer->pipe, writer->data->data() + done, chunk, &wrote, nullptr))
            break;
        done += wrote;
    }
    CloseHandle(writer->pipe);
    return 0;
}

std::string lastError() { return windowsErrorText(GetLastError()); }

double processorSeconds(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user))
        return -1.0;
    auto seconds = [](const FILETIME &t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Watches a child a short while: the share of one processor it used.
void watchActivity(HANDLE process, ChildOutcome &outcome) {
    const double before = processorSeconds(process);
    const auto start = Clock::now();
    Sleep(static_cast<DWORD>(kCpuShareSeconds * 1000));
    const double after = processorSeconds(process);
    const double wall = secondsSince(start);
    // A child that ran for seconds has used some processor time: none at all
    // means the system does not say (wine does not, for another process).
    if (before < 0.0 || after <= 0.0 || wall <= 0.0)
        return;
    outcome.cpuShare = (after - before) / wall;
    outcome.activity = outcome.cpuShare >= 0.2 ? ChildOutcome::Activity::Computing
                                               : ChildOutcome::Activity::Blocked;
}

// Every child is put in one job that ends its processes when the tool's
// handle to it closes, that is when the tool ends, however it ends.
HANDLE childrenJob() {
    static HANDLE job = [] {
        HANDLE made = CreateJobObjectW(nullptr, nullptr);
        if (made) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits,
                                    sizeof limits);
        }
        return made;
    }();
    return job;
}

#endif // _WIN32

#ifndef _WIN32

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

#else // _WIN32

// Runs a program: argv is not empty; `outcome` is NotStarted on entry.
void run(const std::vector<std::string> &argv, const ChildOptions &options,
         const LineHandler &onLine, ChildOutcome &outcome) {
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    HANDLE inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        outcome.startError = "CreatePipe: " + lastError();
        return;
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    if (options.giveInput) {
        CreatePipe(&inRead, &inWrite, &inherit, 0);
        SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    } else {
        inRead = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    }

    std::string narrowLine;
    for (size_t i = 0; i < argv.size(); ++i)
        narrowLine += (i ? " " : "") + windowsArgument(argv[i]);
    std::wstring line = widen(narrowLine);
    std::wstring program = widen(argv[0]);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info{};
    std::fflush(nullptr);
    const auto start = Clock::now();
    // Started suspended, so that it is in the job before it runs.
    BOOL started =
        CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &info);
    if (started) {
        if (HANDLE job = childrenJob())
            AssignProcessToJobObject(job, info.hProcess);
        ResumeThread(info.hThread);
    }
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (inRead)
        CloseHandle(inRead);
    if (!started) {
        outcome.startError = "cannot start " + argv[0] + ": " + lastError();
        CloseHandle(outRead);
        CloseHandle(errRead);
        if (inWrite)
            CloseHandle(inWrite);
        return;
    }

    Reader out;
    out.pipe = outRead;
    Reader err;
    err.pipe = errRead;
    err.limit = kMaxErrors;
    Writer in;
    in.pipe = inWrite;
    in.data = &options.input;
    HANDLE threads[3];
    DWORD threadCount = 0;
    threads[threadCount++] = CreateThread(nullptr, 0, readAll, &out, 0, nullptr);
    threads[threadCount++] = CreateThread(nullptr, 0, readAll, &err, 0, nullptr);
    if (inWrite)
        threads[threadCount++] = CreateThread(nullptr, 0, writeAll, &in, 0, nullptr);

    const double ms = options.timeoutSeconds * 1000.0;
    DWORD waited =
        WaitForSingleObject(info.hProcess, ms >= 4.0e9 ? INFINITE : static_cast<DWORD>(ms));
    if (waited == WAIT_TIMEOUT) {
        watchActivity(info.hProcess, outcome);
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, INFINITE);
        outcome.end = ChildOutcome::End::TimedOut;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        outcome.end = ChildOutcome::End::Exited;
        outcome.exitCode = static_cast<int>(code);
    }
    WaitForMultipleObjects(threadCount, threads, TRUE, INFINITE);
    for (DWORD i = 0; i < threadCount; ++i)
        CloseHandle(threads[i]);
    CloseHandle(outRead);
    CloseHandle(errRead);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    outcome.seconds = secondsSince(start);

    outcome.errors = std::move(err.data);
    LineSplitter lines(onLine, outcome.output);
    lines.add(out.data.data(), out.data.size());
    lines.finish();
}

#endif // _WIN32

} // namespace

ChildOutcome ChildProcess::runProgram(const std::vector<std::string> &argv,
                                      const ChildOptions &options, const LineHandler &onLine) {
    ChildOutcome outcome;
    if (argv.empty())
        outcome.startError = "no program given";
    else
        run(argv, options, onLine, outcome);
    return outcome;
}

#ifndef _WIN32

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

#else // _WIN32

std::FILE *ChildProcess::takeChannel() {
    reportExceptionsOnTerminate();
    // A crash ends the child quietly: no error box, no abort message box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
#  ifdef _MSC_VER
    _set_abort_behavior(0, _WRITE_ABORT_MSG | _CALL_REPORTFAULT);
#  endif
    std::fflush(stdout);
    const int channel = _dup(_fileno(stdout));
    if (channel < 0 || _dup2(_fileno(stderr), _fileno(stdout)) != 0)
        return nullptr;
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    _setmode(channel, _O_BINARY);
    return _fdopen(channel, "wb");
}

std::string ChildProcess::currentProgram() {
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    return narrow(path);
}

#endif // _WIN32

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
