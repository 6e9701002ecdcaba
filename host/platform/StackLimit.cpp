#include "host/platform/StackLimit.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__linux__)
#  include <signal.h>
#  include <sys/mman.h>
#  include <sys/resource.h>
#  include <unistd.h>
#endif

namespace wqhost {

namespace {

std::atomic<uintptr_t> g_low{0}; // the lowest address the stack may reach

// Faults this far below the limit count as the stack's: a frame with a big
// buffer moves the stack pointer past the limit by its size at once.
constexpr uintptr_t kBelowWindow = uintptr_t{64} << 20;

} // namespace

const char *stackLimitText() noexcept {
#if defined(__SANITIZE_ADDRESS__)
    return "ran out of the 2 MiB of stack a call gets here (512 KiB, as a host's thread "
           "gives, without the sanitizer): keep big buffers off the stack (a member, or memory "
           "allocated in open) and recursion shallow";
#else
    return "ran out of the 512 KiB of stack a call gets here, as a host's thread gives: keep "
           "big buffers off the stack (a member, or memory allocated in open) and recursion "
           "shallow";
#endif
}

bool beyondLimitedStack(const void *address) noexcept {
    const uintptr_t low = g_low.load();
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    return low != 0 && at < low && low - at <= kBelowWindow;
}

#if defined(__linux__)

namespace {

// The [stack] mapping's end (its highest address), from /proc/self/maps.
// Read with the C library's stdio: this runs once, before any module call.
uintptr_t stackEnd() {
    std::FILE *maps = std::fopen("/proc/self/maps", "r");
    if (!maps)
        return 0;
    char line[512];
    uintptr_t end = 0;
    while (std::fgets(line, sizeof line, maps)) {
        if (!std::strstr(line, "[stack]"))
            continue;
        unsigned long long from = 0, to = 0;
        if (std::sscanf(line, "%llx-%llx", &from, &to) == 2)
            end = static_cast<uintptr_t>(to);
        break;
    }
    std::fclose(maps);
    return end;
}

} // namespace

bool limitStackFromHere(size_t bytes, std::string &whyNot) {
    if (getpid() != static_cast<pid_t>(gettid())) {
        whyNot = "only the main thread's stack can be bounded";
        return false;
    }
    const uintptr_t end = stackEnd();
    volatile char here = 0;
    const uintptr_t at = reinterpret_cast<uintptr_t>(&here);
    if (end == 0 || at >= end) {
        whyNot = "the system does not tell where the stack lies";
        return false;
    }
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t used = (end - at + page - 1) / page * page;
    rlimit limit{};
    if (::getrlimit(RLIMIT_STACK, &limit) != 0) {
        whyNot = std::string("getrlimit: ") + std::strerror(errno);
        return false;
    }
    const rlim_t wanted = static_cast<rlim_t>(used + bytes);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted) {
        whyNot = "the stack is bounded more tightly already";
        return false;
    }
    // A handler needs a stack of its own once this one is used up.
    const size_t altSize = 256 * 1024;
    void *alt =
        ::mmap(nullptr, altSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (alt == MAP_FAILED) {
        whyNot = std::string("no memory for a signal stack: ") + std::strerror(errno);
        return false;
    }
    stack_t signalStack{};
    signalStack.ss_sp = alt;
    signalStack.ss_size = altSize;
    if (::sigaltstack(&signalStack, nullptr) != 0) {
        whyNot = std::string("sigaltstack: ") + std::strerror(errno);
        ::munmap(alt, altSize);
        return false;
    }
    limit.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_STACK, &limit) != 0) {
        whyNot = std::string("setrlimit: ") + std::strerror(errno);
        return false;
    }
    g_low.store(end - static_cast<uintptr_t>(wanted));
    return true;
}

#else

bool limitStackFromHere(size_t, std::string &whyNot) {
    whyNot = "a thread's stack is bounded only on Linux here";
    return false;
}

#endif

} // namespace wqhost
