#include "host/platform/ProcessState.h"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#  define WQ_PROCESS_STATE_X86 1
#endif

#ifdef _WIN32
#  include <direct.h>
#  include <windows.h>
#  include <tlhelp32.h>
#else
#  include <dirent.h>
#  include <unistd.h>
#endif

namespace wqhost {

namespace {

#ifndef _WIN32
constexpr int kWatchedSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGPIPE, SIGCHLD,
                                   SIGALRM, SIGUSR1, SIGUSR2, SIGFPE};
const char *const kSignalNames[] = {"SIGINT",  "SIGTERM", "SIGHUP",  "SIGPIPE", "SIGCHLD",
                                    "SIGALRM", "SIGUSR1", "SIGUSR2", "SIGFPE"};
#else
constexpr int kWatchedSignals[] = {SIGINT, SIGTERM, SIGFPE, SIGABRT};
const char *const kSignalNames[] = {"SIGINT", "SIGTERM", "SIGFPE", "SIGABRT"};
#endif

const char *roundingName(int mode) {
    switch (mode) {
    case FE_TONEAREST: return "to nearest";
#ifdef FE_TOWARDZERO
    case FE_TOWARDZERO: return "toward zero";
#endif
#ifdef FE_UPWARD
    case FE_UPWARD: return "upward";
#endif
#ifdef FE_DOWNWARD
    case FE_DOWNWARD: return "downward";
#endif
    default: return "unknown";
    }
}

#ifndef _WIN32
// The entries of a folder of /proc that are numbers, in order.
std::vector<int> numberedEntries(const char *folder) {
    std::vector<int> numbers;
    DIR *dir = opendir(folder);
    if (!dir)
        return numbers;
    const int own = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        const char *end = name + std::strlen(name);
        int n = 0;
        const std::from_chars_result read = std::from_chars(name, end, n);
        if (read.ec == std::errc() && read.ptr != name && read.ptr == end && n != own)
            numbers.push_back(n);
    }
    closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}
#endif

// A control word as four hex digits, as the processor manuals write it.
std::string word(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

std::string descriptorList(const std::vector<int> &fds) {
    std::string out;
    for (int fd : fds)
        out += (out.empty() ? "" : ", ") + std::to_string(fd);
    return out.empty() ? "none" : out;
}

} // namespace

ProcessState ProcessState::now() {
    ProcessState s;
    s.rounding = std::fegetround();
#if defined(WQ_PROCESS_STATE_X86)
    // Read with the instruction itself: a 32-bit build is not compiled for
    // SSE, so the compiler's intrinsic is not there, yet the processor the
    // host runs on has it (the 32-bit host needs SSE2).
    uint32_t csr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
    s.sseControl = csr & ~0x3Fu; // without the sticky exception flags
#endif
#if (defined(__i386__) || defined(_M_IX86)) && defined(__GNUC__)
    unsigned short cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    s.x87Control = cw;
#endif
    if (const char *locale = std::setlocale(LC_ALL, nullptr))
        s.locale = locale;
    for (int sig : kWatchedSignals) {
#ifdef _WIN32
        auto previous = std::signal(sig, SIG_DFL);
        std::signal(sig, previous);
        s.signalHandlers.push_back(reinterpret_cast<uintptr_t>(previous));
#else
        struct sigaction action;
        sigaction(sig, nullptr, &action);
        s.signalHandlers.push_back((action.sa_flags & SA_SIGINFO)
                                       ? reinterpret_cast<uintptr_t>(action.sa_sigaction)
                                       : reinterpret_cast<uintptr_t>(action.sa_handler));
#endif
    }
#ifdef _WIN32
    char folder[MAX_PATH * 4];
    if (_getcwd(folder, sizeof folder))
        s.folder = folder;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        THREADENTRY32 entry;
        entry.dwSize = sizeof entry;
        const DWORD self = GetCurrentProcessId();
        for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
            if (entry.th32OwnerProcessID == self)
                ++s.threads;
        CloseHandle(snapshot);
    }
#else
    char folder[4096];
    if (getcwd(folder, sizeof folder))
        s.folder = folder;
    s.descriptors = numberedEntries("/proc/self/fd");
    s.threads = static_cast<int>(numberedEntries("/proc/self/task").size());
#endif
    return s;
}

std::vector<std::string> processChanges(const ProcessState &before, const ProcessState &after,
                                        bool withThreads) {
    std::vector<std::string> changes;
    if (before.rounding != after.rounding)
        changes.push_back(std::string("the floating-point rounding mode (") +
                          roundingName(before.rounding) + " became " +
                          roundingName(after.rounding) + ")");
    if (before.sseControl != after.sseControl) {
        std::string what;
        const uint32_t changed = before.sseControl ^ after.sseControl;
        if (changed & 0x8000u)
            what +=
                (after.sseControl & 0x8000u) ? ", flush-to-zero set" : ", flush-to-zero cleared";
        if (changed & 0x0040u)
            what += (after.sseControl & 0x0040u) ? ", denormals-are-zero set"
                                                 : ", denormals-are-zero cleared";
        if (changed & 0x1F80u)
            what += ", floating-point exception masks changed (a trap may now fire)";
        if (changed & 0x6000u)
            what += ", its rounding bits changed";
        changes.push_back("the SSE control word MXCSR (0x" + word(before.sseControl) +
                          " became 0x" + word(after.sseControl) + what + ")");
    }
    if (before.x87Control != after.x87Control)
        changes.push_back("the x87 control word (0x" + word(before.x87Control) + " became 0x" +
                          word(after.x87Control) + ": precision, rounding or exception masks)");
    if (before.locale != after.locale)
        changes.push_back("the C locale (\"" + before.locale + "\" became \"" + after.locale +
                          "\": number formatting and parsing change for the whole host)");
    for (size_t i = 0; i < before.signalHandlers.size() && i < after.signalHandlers.size(); ++i)
        if (before.signalHandlers[i] != after.signalHandlers[i])
            changes.push_back(std::string("the handler of ") + kSignalNames[i]);
    if (before.folder != after.folder)
        changes.push_back("the working folder (\"" + before.folder + "\" became \"" + after.folder +
                          "\")");
    if (before.descriptors != after.descriptors)
        changes.push_back("the open file descriptors (" + descriptorList(before.descriptors) +
                          " became " + descriptorList(after.descriptors) + ")");
    if (withThreads && before.threads != after.threads)
        changes.push_back("the number of threads (" + std::to_string(before.threads) + " became " +
                          std::to_string(after.threads) + ")");
    return changes;
}

} // namespace wqhost
