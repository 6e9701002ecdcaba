#include "host/platform/ChildProcess.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#else
#  include <cerrno>
#  include <csignal>
#  include <fcntl.h>
#  include <poll.h>
#  include <sys/wait.h>
#  include <unistd.h>
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

void closeFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

struct Pipes {
    int channel[2] = {-1, -1};
    int errors[2] = {-1, -1};
    int input[2] = {-1, -1};

    bool open(bool withInput) {
        if (::pipe(channel) != 0 || ::pipe(errors) != 0)
            return false;
        if (withInput && ::pipe(input) != 0)
            return false;
        return true;
    }
    ~Pipes() {
        for (int *p : {channel, errors, input}) {
            closeFd(p[0]);
            closeFd(p[1]);
        }
    }
};

// In the child: standard input from the input pipe or empty, standard error
// to the error pipe. Returns false when a descriptor cannot be set up.
bool setUpChildStreams(Pipes &pipes, bool channelIsStdout) {
    int in = pipes.input[0];
    if (in < 0)
        in = ::open("/dev/null", O_RDONLY);
    if (in < 0 || ::dup2(in, STDIN_FILENO) < 0)
        return false;
    if (::dup2(pipes.errors[1], STDERR_FILENO) < 0)
        return false;
    if (::dup2(channelIsStdout ? pipes.channel[1] : pipes.errors[1], STDOUT_FILENO) < 0)
        return false;
    return true;
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
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &previous);

    LineSplitter lines(onLine, outcome.output);
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(options.timeoutSeconds));
    bool timedOut = false;
    char buffer[8192];
    while (pipes.channel[0] >= 0 || pipes.errors[0] >= 0) {
        const auto now = Clock::now();
        if (now >= deadline) {
            timedOut = true;
            break;
        }
        const int wait = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1);
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

std::wstring widen(const std::string &text) {
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    UINT codePage = CP_UTF8;
    if (n <= 0) {
        codePage = CP_ACP;
        n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    }
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string narrow(const std::wstring &text) {
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    return out;
}

// One argument quoted the way the C runtime splits a command line.
void appendQuoted(std::wstring &line, const std::wstring &arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

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

std::string lastError() {
    return "error " + std::to_string(static_cast<unsigned long>(GetLastError()));
}

#endif // _WIN32

} // namespace

#ifndef _WIN32

ChildOutcome ChildProcess::runFunction(const std::function<int(std::FILE *)> &body,
                                       const ChildOptions &options, const LineHandler &onLine) {
    ChildOutcome outcome;
    Pipes pipes;
    if (!pipes.open(options.giveInput)) {
        outcome.startError = std::string("pipe: ") + std::strerror(errno);
        return outcome;
    }
    // Output buffered in the parent would otherwise be written twice.
    std::fflush(nullptr);
    const auto start = Clock::now();
    pid_t pid = ::fork();
    if (pid < 0) {
        outcome.startError = std::string("fork: ") + std::strerror(errno);
        return outcome;
    }
    if (pid == 0) {
        closeFd(pipes.channel[0]);
        closeFd(pipes.errors[0]);
        closeFd(pipes.input[1]);
        if (!setUpChildStreams(pipes, false))
            ::_exit(71);
        closeFd(pipes.errors[1]);
        std::FILE *channel = ::fdopen(pipes.channel[1], "w");
        if (!channel)
            ::_exit(71);
        int status = 70;
        try {
            status = body(channel);
        } catch (...) {
            status = 70;
        }
        std::fflush(nullptr); // the channel, and what went to stdout or stderr
        ::_exit(status);
    }
    supervise(pid, pipes, options, onLine, outcome, start);
    return outcome;
}

ChildOutcome ChildProcess::runProgram(const std::vector<std::string> &argv,
                                      const ChildOptions &options, const LineHandler &onLine) {
    ChildOutcome outcome;
    if (argv.empty()) {
        outcome.startError = "no program given";
        return outcome;
    }
    Pipes pipes;
    if (!pipes.open(options.giveInput)) {
        outcome.startError = std::string("pipe: ") + std::strerror(errno);
        return outcome;
    }
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    const auto start = Clock::now();
    pid_t pid = ::fork();
    if (pid < 0) {
        outcome.startError = std::string("fork: ") + std::strerror(errno);
        return outcome;
    }
    if (pid == 0) {
        closeFd(pipes.channel[0]);
        closeFd(pipes.errors[0]);
        closeFd(pipes.input[1]);
        if (!setUpChildStreams(pipes, true))
            ::_exit(127);
        ::execv(args[0], args.data());
        const char *why = std::strerror(errno);
        const char prefix[] = "cannot start ";
        ssize_t ignored = ::write(STDERR_FILENO, prefix, sizeof prefix - 1);
        ignored = ::write(STDERR_FILENO, args[0], std::strlen(args[0]));
        ignored = ::write(STDERR_FILENO, ": ", 2);
        ignored = ::write(STDERR_FILENO, why, std::strlen(why));
        ignored = ::write(STDERR_FILENO, "\n", 1);
        (void)ignored;
        ::_exit(127);
    }
    supervise(pid, pipes, options, onLine, outcome, start);
    return outcome;
}

std::string ChildProcess::currentProgram() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::string();
    return std::string(path, static_cast<size_t>(n));
}

#else // _WIN32

ChildOutcome ChildProcess::runProgram(const std::vector<std::string> &argv,
                                      const ChildOptions &options, const LineHandler &onLine) {
    ChildOutcome outcome;
    if (argv.empty()) {
        outcome.startError = "no program given";
        return outcome;
    }
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    HANDLE inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        outcome.startError = "CreatePipe: " + lastError();
        return outcome;
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

    std::wstring line;
    for (size_t i = 0; i < argv.size(); ++i) {
        if (i)
            line += L' ';
        appendQuoted(line, widen(argv[i]));
    }
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
    BOOL started = CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (inRead)
        CloseHandle(inRead);
    if (!started) {
        outcome.startError = "CreateProcess: " + lastError();
        CloseHandle(outRead);
        CloseHandle(errRead);
        if (inWrite)
            CloseHandle(inWrite);
        return outcome;
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
    DWORD waited = WaitForSingleObject(info.hProcess, ms >= 4.0e9 ? INFINITE : static_cast<DWORD>(ms));
    if (waited == WAIT_TIMEOUT) {
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
    return outcome;
}

std::string ChildProcess::currentProgram() {
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    return narrow(path);
}

#endif // _WIN32

std::string ChildProcess::describeEnd(const ChildOutcome &outcome, double timeoutSeconds) {
    switch (outcome.end) {
    case ChildOutcome::End::Exited: {
#ifdef _WIN32
        const unsigned code = static_cast<unsigned>(outcome.exitCode);
        if (code >= 0xC0000000u || code == 0x80000003u) {
            char buf[96];
            const char *name = code == 0xC0000005u   ? " (access violation)"
                               : code == 0xC00000FDu ? " (stack overflow)"
                               : code == 0xC0000094u ? " (integer division by zero)"
                               : code == 0xC000001Du ? " (illegal instruction)"
                               : code == 0xC0000409u ? " (stack buffer overrun)"
                               : code == 0x80000003u ? " (breakpoint)"
                                                     : "";
            std::snprintf(buf, sizeof buf, "exception 0x%08X%s", code, name);
            return buf;
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
    case ChildOutcome::End::TimedOut: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "timed out after %g s", timeoutSeconds);
        return buf;
    }
    case ChildOutcome::End::NotStarted:
        break;
    }
    return "could not start: " + outcome.startError;
}

} // namespace wqhost
