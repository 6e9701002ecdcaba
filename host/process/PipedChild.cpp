#include "host/process/PipedChild.h"

#include <algorithm>
#include <chrono>

#ifndef _WIN32
#  include <cerrno>
#  include <csignal>
#  include <cstring>
#  include <fcntl.h>
#  include <poll.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace wqhost {

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kMaxErrors = 64 * 1024;

} // namespace

#ifdef _WIN32

std::FILE *PipedChild::takeOutputChannel() { return nullptr; }

PipedChild::~PipedChild() = default;

bool PipedChild::start(const std::vector<std::string> &) {
    m_startError = "a piped child process is not available on this system";
    return false;
}
bool PipedChild::writeLine(const std::string &) { return false; }
PipedChild::Read PipedChild::readLine(std::string &, double) { return Read::Ended; }
ChildOutcome PipedChild::finish(double) { return m_outcome; }
ChildOutcome PipedChild::kill() { return m_outcome; }
void PipedChild::drainErrors(bool) {}
ChildOutcome PipedChild::reap(bool, double) { return m_outcome; }
bool PipedChild::launchDetached(const std::vector<std::string> &) { return false; }

#else

namespace {

void closeFd(int &fd) noexcept {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::vector<char *> argvPointers(const std::vector<std::string> &argv) {
    std::vector<char *> out;
    for (const std::string &a : argv)
        out.push_back(const_cast<char *>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

} // namespace

PipedChild::~PipedChild() {
    if (m_pid > 0)
        kill();
    closeFd(m_in);
    closeFd(m_out);
    closeFd(m_err);
}

bool PipedChild::start(const std::vector<std::string> &argv) {
    if (m_pid > 0 || argv.empty()) {
        m_startError = argv.empty() ? "no program given" : "a child runs already";
        return false;
    }
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2], report[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0 || ::pipe2(report, O_CLOEXEC) != 0) {
        m_startError = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<char *> args = argvPointers(argv);
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_startError = std::string("fork: ") + std::strerror(errno);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], report[0], report[1]})
            ::close(fd);
        return false;
    }
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execv(args[0], args.data());
        const int e = errno;
        ssize_t ignored = ::write(report[1], &e, sizeof e);
        (void)ignored;
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    ::close(report[1]);
    int execErrno = 0;
    const ssize_t n = ::read(report[0], &execErrno, sizeof execErrno);
    ::close(report[0]);
    m_pid = pid;
    m_in = in[1];
    m_out = out[0];
    m_err = err[0];
    if (n == static_cast<ssize_t>(sizeof execErrno)) {
        m_startError = argv[0] + ": " + std::strerror(execErrno);
        reap(false, 5.0);
        return false;
    }
    return true;
}

bool PipedChild::writeLine(const std::string &line) {
    if (m_in < 0)
        return false;
    std::string data = line + "\n";
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_in, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void PipedChild::drainErrors(bool block) {
    if (m_err < 0)
        return;
    for (;;) {
        pollfd p{m_err, POLLIN, 0};
        if (::poll(&p, 1, block ? 200 : 0) <= 0)
            return;
        char buf[4096];
        const ssize_t n = ::read(m_err, buf, sizeof buf);
        if (n <= 0) {
            closeFd(m_err);
            return;
        }
        if (m_errors.size() < kMaxErrors)
            m_errors.append(buf, std::min(static_cast<size_t>(n), kMaxErrors - m_errors.size()));
    }
}

PipedChild::Read PipedChild::readLine(std::string &line, double timeoutSeconds) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(timeoutSeconds));
    for (;;) {
        const size_t nl = m_pending.find('\n');
        if (nl != std::string::npos) {
            line = m_pending.substr(0, nl);
            m_pending.erase(0, nl + 1);
            return Read::Line;
        }
        if (m_out < 0 || m_outClosed) {
            if (!m_pending.empty()) {
                line.swap(m_pending);
                m_pending.clear();
                return Read::Line;
            }
            return Read::Ended;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return Read::TimedOut;
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        const int ready = ::poll(fds, m_err >= 0 ? 2 : 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return Read::Ended;
        if (ready <= 0)
            continue;
        if (m_err >= 0 && (fds[1].revents & (POLLIN | POLLHUP)))
            drainErrors(false);
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[8192];
            const ssize_t n = ::read(m_out, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                m_outClosed = true;
            else
                m_pending.append(buf, static_cast<size_t>(n));
        }
    }
}

ChildOutcome PipedChild::reap(bool killFirst, double graceSeconds) {
    if (m_finished || m_pid <= 0)
        return m_outcome;
    closeFd(m_in);
    if (killFirst)
        ::kill(m_pid, SIGKILL);
    const auto start = Clock::now();
    int status = 0;
    bool killed = killFirst;
    for (;;) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid)
            break;
        if (r < 0 && errno != EINTR) {
            status = 0;
            break;
        }
        drainErrors(false);
        if (!killed && std::chrono::duration<double>(Clock::now() - start).count() > graceSeconds) {
            ::kill(m_pid, SIGKILL);
            killed = true;
        }
        ::usleep(10000);
    }
    drainErrors(true);
    m_outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (WIFSIGNALED(status)) {
        m_outcome.end = killed && !killFirst && WTERMSIG(status) == SIGKILL
                            ? ChildOutcome::End::TimedOut
                            : ChildOutcome::End::Signalled;
        m_outcome.signal = WTERMSIG(status);
    } else {
        m_outcome.end = ChildOutcome::End::Exited;
        m_outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    }
    m_outcome.errors = m_errors;
    m_finished = true;
    m_pid = -1;
    closeFd(m_out);
    closeFd(m_err);
    return m_outcome;
}

ChildOutcome PipedChild::finish(double graceSeconds) { return reap(false, graceSeconds); }

ChildOutcome PipedChild::kill() { return reap(true, 0.0); }

std::FILE *PipedChild::takeOutputChannel() {
    std::fflush(stdout);
    const int channel = ::dup(1);
    if (channel < 0)
        return nullptr;
    std::FILE *out = ::fdopen(channel, "w");
    if (!out) {
        ::close(channel);
        return nullptr;
    }
    ::fcntl(channel, F_SETFD, FD_CLOEXEC);
    ::dup2(2, 1);
    return out;
}

bool PipedChild::launchDetached(const std::vector<std::string> &argv) {
    if (argv.empty())
        return false;
    std::vector<char *> args = argvPointers(argv);
    // A grandchild runs the program, so that nobody has to wait for it.
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        if (::fork() == 0) {
            const int devnull = ::open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                ::dup2(devnull, 0);
                ::dup2(devnull, 1);
                ::dup2(devnull, 2);
            }
            ::execvp(args[0], args.data());
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

#endif // _WIN32

} // namespace wqhost
