#include "host/platform/CrashFrames.h"

#if defined(__SANITIZE_ADDRESS__)
#  define WQ_CRASH_FRAMES_SANITIZED 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define WQ_CRASH_FRAMES_SANITIZED 1
#  endif
#endif

#if !defined(_WIN32) && !defined(WQ_CRASH_FRAMES_SANITIZED) && defined(__GLIBC__)
#  define WQ_CRASH_FRAMES 1
#  include <dlfcn.h>
#  include <execinfo.h>
#  include <signal.h>
#  include <ucontext.h>
#  include <unistd.h>

#  include <cstdint>
#  include <cstring>
#endif

namespace wqhost {

#if defined(WQ_CRASH_FRAMES)

namespace {

constexpr int kMaxFrames = 48;
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

int g_channel = -1;
bool g_installed = false;
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

// A line built in a fixed buffer: no heap in a dying process.
class Line {
public:
    void text(const char *s) {
        for (; *s; ++s)
            put(*s);
    }
    // A JSON string's body: quotes, backslashes and control bytes escaped;
    // other bytes as they are (the parent reads the line as bytes).
    void escaped(const char *s) {
        for (; *s; ++s) {
            const auto c = static_cast<unsigned char>(*s);
            if (c == '"' || c == '\\') {
                put('\\');
                put(static_cast<char>(c));
            } else if (c < 0x20) {
                text("\\u00");
                put("0123456789abcdef"[c >> 4]);
                put("0123456789abcdef"[c & 15]);
            } else {
                put(static_cast<char>(c));
            }
        }
    }
    void number(uintptr_t value) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value && n < 24);
        while (n > 0)
            put(digits[--n]);
    }
    void send(int fd) const {
        size_t done = 0;
        while (done < m_length) {
            const ssize_t n = ::write(fd, m_text + done, m_length - done);
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }

private:
    void put(char c) {
        if (m_length < sizeof m_text - 2)
            m_text[m_length++] = c;
    }
    char m_text[4096 + 64];
    size_t m_length = 0;
};

void *faultingAddress(void *context) {
    const auto *uc = static_cast<const ucontext_t *>(context);
#  if defined(__x86_64__)
    return reinterpret_cast<void *>(uc->uc_mcontext.gregs[REG_RIP]);
#  elif defined(__i386__)
    return reinterpret_cast<void *>(uc->uc_mcontext.gregs[REG_EIP]);
#  else
    (void)uc;
    return nullptr;
#  endif
}

void sendFrame(void *address) {
    Dl_info info;
    std::memset(&info, 0, sizeof info);
    if (!dladdr(address, &info) || !info.dli_fname || !info.dli_fbase)
        return;
    Line line;
    line.text("{\"frame\":{\"module\":\"");
    line.escaped(info.dli_fname);
    line.text("\",\"offset\":");
    line.number(reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(info.dli_fbase));
    line.text("}}\n");
    line.send(g_channel);
}

void onCrash(int sig, siginfo_t *info, void *context) {
    size_t which = 0;
    while (kSignals[which] != sig)
        ++which;
    if (g_channel >= 0) {
        // The walk starts in this handler: the frames up to the signal's
        // return trampoline are left out, and the faulting address comes
        // first (the walk sees the caller of a function that faulted at its
        // first instruction only through it).
        void *frames[kMaxFrames];
        const int count = backtrace(frames, kMaxFrames);
        void *const faulting = context ? faultingAddress(context) : nullptr;
        int first = 0;
        if (faulting) {
            for (int i = 0; i < count; ++i)
                if (frames[i] == faulting) {
                    first = i + 1;
                    break;
                }
            sendFrame(faulting);
        }
        // A return address points after its call: one byte back names the
        // call's line.
        for (int i = first; i < count; ++i)
            sendFrame(static_cast<char *>(frames[i]) - (faulting ? 1 : 0));
        // Each crash is told once.
        g_channel = -1;
    }
    struct sigaction previous = g_previous[which];
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(sig, info, context);
        return;
    }
    if (previous.sa_handler == SIG_IGN)
        previous.sa_handler = SIG_DFL;
    ::sigaction(sig, &previous, nullptr);
    if (previous.sa_handler != SIG_DFL)
        previous.sa_handler(sig);
    // Returning repeats the faulting instruction, or, for abort, ends the
    // process under the default action.
}

} // namespace

void reportCrashFramesTo(std::FILE *channel) {
    g_channel = channel ? ::fileno(channel) : -1;
    if (g_installed)
        return;
    // The first walk loads the unwinder: never in a handler.
    void *warm[2];
    backtrace(warm, 2);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onCrash;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
    g_installed = true;
}

#else

void reportCrashFramesTo(std::FILE *) {}

#endif

} // namespace wqhost
