#include "host/memory/GuardedMemory.h"

#include "host/platform/HostError.h"
#include "host/platform/StackLimit.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#ifdef _WIN32
#  include <io.h>
#  include <windows.h>
#else
#  include <csignal>
#  include <sys/mman.h>
#  include <ucontext.h>
#  include <unistd.h>
#endif

namespace wqhost {

namespace {

// The table of live guard pages, read by the crash handler: a slot is taken
// by writing its guard's address, and its text is set after that; the
// handler trusts a slot only when both are there.
constexpr int kSlots = 4096;
// A slot's state: kept in the slot so that the handler can tell a write into
// a read-only block or a use of a retired one from other faults.
enum SlotState : int { kWritable = 0, kReadOnly = 1, kRetired = 2 };
struct Slot {
    std::atomic<uintptr_t> guard{0};
    std::atomic<const char *> what{nullptr};
    std::atomic<uintptr_t> start{0}; // the first page of the block
    std::atomic<int> state{kWritable};
};
Slot g_slots[kSlots];
std::atomic<int> g_nextSlot{0};
std::atomic<size_t> g_room{0};
std::atomic<const char *> g_exact{nullptr};

int takeSlot(uintptr_t guard, const char *what) noexcept {
    const int start = g_nextSlot.load(std::memory_order_relaxed);
    for (int i = 0; i < kSlots; ++i) {
        const int slot = (start + i) % kSlots;
        uintptr_t free = 0;
        if (g_slots[slot].guard.compare_exchange_strong(free, guard)) {
            g_slots[slot].what.store(what);
            g_nextSlot.store((slot + 1) % kSlots, std::memory_order_relaxed);
            return slot;
        }
    }
    return -1; // still guarded, only not named in a crash report
}

void giveSlot(int slot) noexcept {
    if (slot < 0)
        return;
    g_slots[slot].what.store(nullptr);
    g_slots[slot].state.store(kWritable);
    g_slots[slot].start.store(0);
    g_slots[slot].guard.store(0);
}

// The line a fault in a guard page writes: built in a fixed buffer, since
// the handler may not allocate.
struct FaultLine {
    char text[512];
    size_t length = 0;

    void add(const char *part) noexcept {
        while (*part && length + 1 < sizeof text)
            text[length++] = *part++;
    }
};

// Adds `what` up to `end` (or its NUL). The texts are the host's own
// literals; quotes and backslashes are left out rather than escaped.
void addWhat(FaultLine &line, const char *what, const char *end) noexcept {
    for (const char *c = what; *c && c != end; ++c) {
        if (*c == '"' || *c == '\\' || static_cast<unsigned char>(*c) < 0x20)
            continue;
        const char one[2] = {*c, '\0'};
        line.add(one);
    }
}

FaultLine faultLine(const char *verb, GuardHit hit) noexcept {
    FaultLine line;
    line.add("{\"overrun\":\"");
    switch (hit.place) {
    case GuardPlace::PastEnd:
        line.add(verb);
        line.add(" past the end of ");
        addWhat(line, hit.what, nullptr);
        break;
    case GuardPlace::ReadOnly:
        line.add("writes into ");
        addWhat(line, hit.what, nullptr);
        break;
    case GuardPlace::Retired: {
        // What the block was, without the advice after its colon, which is
        // about its end.
        const char *colon = hit.what;
        while (*colon && *colon != ':')
            ++colon;
        line.add(verb);
        line.add(" ");
        addWhat(line, hit.what, colon);
        line.add(" after the host took it back: it lives only until the call that handed it "
                 "out returns; keep a copy, not its address");
        break;
    }
    }
    line.add("\"}\n");
    return line;
}

// Used by the POSIX fault handler only: a Windows call gets the whole stack.
[[maybe_unused]] FaultLine stackFaultLine() noexcept {
    FaultLine line;
    line.add("{\"overrun\":\"");
    line.add(stackLimitText());
    line.add("\"}\n");
    return line;
}

} // namespace

const char *GuardedMemory::guardedAt(const void *address) noexcept {
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    const uintptr_t page = pageSize();
    for (const Slot &slot : g_slots) {
        const uintptr_t guard = slot.guard.load();
        if (guard != 0 && at >= guard && at - guard < page) {
            const char *what = slot.what.load();
            if (what)
                return what;
        }
    }
    return nullptr;
}

GuardHit GuardedMemory::hitAt(const void *address) noexcept {
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    const uintptr_t page = pageSize();
    for (const Slot &slot : g_slots) {
        const uintptr_t guard = slot.guard.load();
        if (guard == 0)
            continue;
        const int state = slot.state.load();
        const uintptr_t start = slot.start.load();
        GuardHit hit;
        if (at >= guard && at - guard < page)
            hit.place = state == kRetired ? GuardPlace::Retired : GuardPlace::PastEnd;
        else if (state != kWritable && start != 0 && at >= start && at < guard)
            hit.place = state == kRetired ? GuardPlace::Retired : GuardPlace::ReadOnly;
        else
            continue;
        hit.what = slot.what.load();
        if (hit.what)
            return hit;
    }
    return GuardHit{};
}

GuardedMemory GuardedMemory::copyOf(const void *from, size_t bytes, const char *what) {
    const size_t room = GuardedMemory::room(what);
    GuardedMemory copy(bytes + room, what);
    copy.m_size = bytes;
    if (bytes != 0)
        std::memcpy(copy.data(), from, bytes);
    return copy;
}

void GuardedMemory::setRoom(size_t bytes, const char *exact) noexcept {
    g_room.store(bytes);
    g_exact.store(exact);
}

size_t GuardedMemory::room(const char *what) noexcept {
    return what == g_exact.load() ? 0 : g_room.load();
}

GuardedMemory::GuardedMemory(GuardedMemory &&other) noexcept
    : m_base(other.m_base), m_mapped(other.m_mapped), m_data(other.m_data), m_size(other.m_size),
      m_slot(other.m_slot) {
    other.m_base = nullptr;
    other.m_mapped = 0;
    other.m_data = nullptr;
    other.m_size = 0;
    other.m_slot = -1;
}

GuardedMemory &GuardedMemory::operator=(GuardedMemory &&other) noexcept {
    if (this != &other) {
        release();
        std::swap(m_base, other.m_base);
        std::swap(m_mapped, other.m_mapped);
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_slot, other.m_slot);
    }
    return *this;
}

GuardedMemory::~GuardedMemory() { release(); }

#ifdef _WIN32

namespace {

HANDLE g_faultChannel = INVALID_HANDLE_VALUE;
PVOID g_faultHandler = nullptr;

LONG CALLBACK onAccessViolation(EXCEPTION_POINTERS *info) {
    const EXCEPTION_RECORD *record = info->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2 ||
        g_faultChannel == INVALID_HANDLE_VALUE)
        return EXCEPTION_CONTINUE_SEARCH;
    const GuardHit hit =
        GuardedMemory::hitAt(reinterpret_cast<const void *>(record->ExceptionInformation[1]));
    if (!hit.what)
        return EXCEPTION_CONTINUE_SEARCH;
    const ULONG_PTR access = record->ExceptionInformation[0];
    const FaultLine line = faultLine(access == 1   ? "writes"
                                     : access == 0 ? "reads"
                                                   : "reads or writes",
                                     hit);
    DWORD written = 0;
    WriteFile(g_faultChannel, line.text, static_cast<DWORD>(line.length), &written, nullptr);
    return EXCEPTION_CONTINUE_SEARCH; // the crash goes on as it would have
}

} // namespace

size_t GuardedMemory::pageSize() noexcept {
    static const size_t size = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return static_cast<size_t>(info.dwPageSize);
    }();
    return size;
}

namespace {

void *mapPages(size_t bytes) {
    void *base = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!base)
        throw HostError("cannot reserve " + std::to_string(bytes) +
                        " bytes of guarded memory (error " + std::to_string(GetLastError()) + ")");
    return base;
}

bool protectNoAccess(void *page, size_t bytes, std::string &) {
    DWORD before = 0;
    return VirtualProtect(page, bytes, PAGE_NOACCESS, &before) != 0;
}

bool protectReadOnly(void *page, size_t bytes) noexcept {
    DWORD before = 0;
    return VirtualProtect(page, bytes, PAGE_READONLY, &before) != 0;
}

void unmapPages(void *base, size_t) noexcept { VirtualFree(base, 0, MEM_RELEASE); }

} // namespace

void reportGuardFaultsTo(std::FILE *channel) {
    g_faultChannel =
        channel ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(channel))) : INVALID_HANDLE_VALUE;
    if (!g_faultHandler)
        g_faultHandler = AddVectoredExceptionHandler(1, onAccessViolation);
}

#else // POSIX

namespace {

int g_faultChannel = -1;
bool g_handlerInstalled = false;
struct sigaction g_previousSegv;
struct sigaction g_previousBus;

// Whether the faulting access was a write, where the processor tells it.
const char *accessVerb(void *context) noexcept {
#  if defined(__linux__) && (defined(__x86_64__) || defined(__i386__)) && defined(REG_ERR)
    const auto *uc = static_cast<const ucontext_t *>(context);
    return (uc->uc_mcontext.gregs[REG_ERR] & 2) ? "writes" : "reads";
#  else
    (void)context;
    return "reads or writes";
#  endif
}

void onFault(int sig, siginfo_t *info, void *context) {
    const GuardHit hit = info ? GuardedMemory::hitAt(info->si_addr) : GuardHit{};
    const bool stack = !hit.what && info && beyondLimitedStack(info->si_addr);
    if ((hit.what || stack) && g_faultChannel >= 0) {
        const FaultLine line = stack ? stackFaultLine() : faultLine(accessVerb(context), hit);
        size_t done = 0;
        while (done < line.length) {
            const ssize_t n = ::write(g_faultChannel, line.text + done, line.length - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
    }
    // The previous action takes over: returning repeats the faulting access
    // under it (a sanitizer's report, or the default end of the process).
    struct sigaction previous = sig == SIGBUS ? g_previousBus : g_previousSegv;
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN)
        previous.sa_handler = SIG_DFL;
    ::sigaction(sig, &previous, nullptr);
}

} // namespace

size_t GuardedMemory::pageSize() noexcept {
    static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

namespace {

void *mapPages(size_t bytes) {
    void *base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        throw HostError("cannot map " + std::to_string(bytes) +
                        " bytes of guarded memory: " + std::strerror(errno));
    return base;
}

bool protectNoAccess(void *page, size_t bytes, std::string &why) {
    if (::mprotect(page, bytes, PROT_NONE) == 0)
        return true;
    why = std::string(": ") + std::strerror(errno);
    return false;
}

bool protectReadOnly(void *page, size_t bytes) noexcept {
    return ::mprotect(page, bytes, PROT_READ) == 0;
}

void unmapPages(void *base, size_t bytes) noexcept { ::munmap(base, bytes); }

} // namespace

void reportGuardFaultsTo(std::FILE *channel) {
    g_faultChannel = channel ? ::fileno(channel) : -1;
    if (g_handlerInstalled)
        return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGSEGV, &action, &g_previousSegv);
    ::sigaction(SIGBUS, &action, &g_previousBus);
    g_handlerInstalled = true;
}

#endif

// The memory ends at the start of an inaccessible page, so that the first
// byte past it faults.
GuardedMemory::GuardedMemory(size_t bytes, const char *what) {
    const size_t page = pageSize();
    const size_t usable = (bytes + page - 1) / page * page;
    m_mapped = usable + page;
    m_base = mapPages(m_mapped);
    char *guard = static_cast<char *>(m_base) + usable;
    std::string why;
    if (!protectNoAccess(guard, page, why)) {
        unmapPages(m_base, m_mapped);
        m_base = nullptr;
        throw HostError("cannot protect the guard page of guarded memory" + why);
    }
    m_data = guard - bytes;
    m_size = bytes;
    m_slot = takeSlot(reinterpret_cast<uintptr_t>(guard), what);
    if (m_slot >= 0)
        g_slots[m_slot].start.store(reinterpret_cast<uintptr_t>(m_base));
}

bool GuardedMemory::makeReadOnly() noexcept {
    const size_t usable = m_mapped - pageSize();
    if (!m_base || usable == 0 || !protectReadOnly(m_base, usable))
        return false;
    if (m_slot >= 0)
        g_slots[m_slot].state.store(kReadOnly);
    return true;
}

void GuardedMemory::retire() noexcept {
    if (!m_base)
        return;
    std::string why;
    const size_t usable = m_mapped - pageSize();
    if (usable != 0 && !protectNoAccess(m_base, usable, why))
        return;
    if (m_slot >= 0)
        g_slots[m_slot].state.store(kRetired);
}

void GuardedMemory::release() noexcept {
    if (!m_base)
        return;
    giveSlot(m_slot);
    unmapPages(m_base, m_mapped);
    m_base = nullptr;
    m_mapped = 0;
    m_data = nullptr;
    m_size = 0;
    m_slot = -1;
}

} // namespace wqhost
