// The Windows half of ChildProcess: CreateProcess, pipes read by threads,
// a job that ends the children with the tool.
#ifdef _WIN32

#  include "host/process/ChildProcess.h"

#  include "host/platform/CrashReport.h"
#  include "host/platform/WindowsText.h"
#  include "host/process/ChildProcessSystem.h"
#  include "host/process/CommandLine.h"

#  include <algorithm>
#  include <cstdlib>
#  include <cstring>

#  include <fcntl.h>
#  include <io.h>

namespace wqhost {

namespace childprocess {

namespace {

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

} // namespace

const char *signalName(int) { return nullptr; }

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

} // namespace childprocess

using namespace childprocess;

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

} // namespace wqhost

#endif // _WIN32
