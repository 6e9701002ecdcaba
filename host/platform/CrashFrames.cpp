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
#elif defined(_WIN32) && !defined(WQ_CRASH_FRAMES_SANITIZED)
#  define WQ_CRASH_FRAMES_WINDOWS 1
#  include "host/platform/WindowsText.h"

#  include <io.h>
#endif

#include <cstdint>
#include <cstring>

namespace wqhost {

#if defined(WQ_CRASH_FRAMES) || defined(WQ_CRASH_FRAMES_WINDOWS)

namespace {

constexpr int kMaxFrames = 48;

#  if defined(WQ_CRASH_FRAMES_WINDOWS)
using Channel = HANDLE;
const Channel kNoChannel = INVALID_HANDLE_VALUE;
#  else
using Channel = int;
constexpr Channel kNoChannel = -1;
#  endif

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
    void send(Channel channel) const {
        size_t done = 0;
        while (done < m_length) {
#  if defined(WQ_CRASH_FRAMES_WINDOWS)
            DWORD n = 0;
            if (!WriteFile(channel, m_text + done, static_cast<DWORD>(m_length - done), &n,
                           nullptr) ||
                n == 0)
                return;
#  else
            const ssize_t n = ::write(channel, m_text + done, m_length - done);
            if (n <= 0)
                return;
#  endif
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

// One frame's line: the file that holds the code and the offset into it.
void sendFrameLine(Channel channel, const char *module, uintptr_t offset) {
    // Static: a thread that overflowed its stack has little left.
    static Line line;
    line = Line();
    line.text("{\"frame\":{\"module\":\"");
    line.escaped(module);
    line.text("\",\"offset\":");
    line.number(offset);
    line.text("}}\n");
    line.send(channel);
}

#  if defined(WQ_CRASH_FRAMES)

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

int g_channel = kNoChannel;
bool g_installed = false;
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

void *faultingAddress(void *context) {
    const auto *uc = static_cast<const ucontext_t *>(context);
#    if defined(__x86_64__)
    return reinterpret_cast<void *>(uc->uc_mcontext.gregs[REG_RIP]);
#    elif defined(__i386__)
    return reinterpret_cast<void *>(uc->uc_mcontext.gregs[REG_EIP]);
#    else
    (void)uc;
    return nullptr;
#    endif
}

void sendFrame(void *address) {
    Dl_info info;
    std::memset(&info, 0, sizeof info);
    if (!dladdr(address, &info) || !info.dli_fname || !info.dli_fbase)
        return;
    sendFrameLine(g_channel, info.dli_fname,
                  reinterpret_cast<uintptr_t>(address) -
                      reinterpret_cast<uintptr_t>(info.dli_fbase));
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

#  else // WQ_CRASH_FRAMES_WINDOWS

HANDLE g_channel = kNoChannel;
bool g_installed = false;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;

// The module that holds `address` and the offset into it; nothing for an
// address in no module. The region's allocation base is where the loader
// mapped the file.
void sendFrame(uintptr_t address) {
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(reinterpret_cast<const void *>(address), &region, sizeof region) ||
        region.Type != MEM_IMAGE || !region.AllocationBase)
        return;
    static wchar_t wide[1024];
    static char path[3 * 1024];
    const DWORD length =
        GetModuleFileNameW(static_cast<HMODULE>(region.AllocationBase), wide, 1024);
    if (length == 0 || length >= 1024)
        return;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), path,
                                          static_cast<int>(sizeof path - 1), nullptr, nullptr);
    if (bytes <= 0)
        return;
    path[bytes] = '\0';
    sendFrameLine(g_channel, path, address - reinterpret_cast<uintptr_t>(region.AllocationBase));
}

// The faulting instruction, then the chain of frame pointers as far as it
// stays inside the thread's stack (code built without frame pointers shows
// fewer frames, never a wrong read: every step is checked against the
// stack's bounds).
LONG WINAPI onUnhandledException(EXCEPTION_POINTERS *exception) {
    if (g_channel != kNoChannel && exception && exception->ContextRecord) {
        const CONTEXT &context = *exception->ContextRecord;
#    if defined(_M_IX86) || defined(__i386__)
        const uintptr_t pc = context.Eip;
        const uintptr_t stack = context.Esp;
        uintptr_t frame = context.Ebp;
#    else
        const uintptr_t pc = context.Rip;
        const uintptr_t stack = context.Rsp;
        uintptr_t frame = 0; // x64 code keeps no chain: the faulting frame alone
#    endif
        sendFrame(pc);
        // The committed part of the crashed thread's stack, from its
        // stack pointer up.
        MEMORY_BASIC_INFORMATION region;
        uintptr_t low = 0;
        uintptr_t high = 0;
        if (VirtualQuery(reinterpret_cast<const void *>(stack), &region, sizeof region) &&
            region.State == MEM_COMMIT) {
            low = stack;
            high = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        }
        for (int i = 1; i < kMaxFrames && frame != 0; ++i) {
            if (frame < low || frame + 2 * sizeof(uintptr_t) > high ||
                frame % sizeof(uintptr_t) != 0)
                break;
            const auto *slots = reinterpret_cast<const uintptr_t *>(frame);
            const uintptr_t next = slots[0];
            const uintptr_t returnAddress = slots[1];
            if (returnAddress == 0)
                break;
            // A return address points after its call: one byte back names
            // the call.
            sendFrame(returnAddress - 1);
            if (next <= frame)
                break;
            frame = next;
        }
        // Each crash is told once.
        g_channel = kNoChannel;
    }
    return g_previous ? g_previous(exception) : EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

void reportCrashFramesTo(std::FILE *channel) {
    const intptr_t handle = channel ? _get_osfhandle(_fileno(channel)) : -1;
    g_channel = handle == -1 ? kNoChannel : reinterpret_cast<HANDLE>(handle);
    if (g_installed)
        return;
    // Only for what nothing else handles: a module's own structured
    // exception handling still sees its exceptions first.
    g_previous = SetUnhandledExceptionFilter(onUnhandledException);
    g_installed = true;
}

#  endif

#else

void reportCrashFramesTo(std::FILE *) {}

#endif

} // namespace wqhost
