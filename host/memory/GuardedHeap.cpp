#include "host/memory/GuardedHeap.h"

#include "host/memory/AddressSanitizer.h"

#if defined(__linux__) && !defined(WQ_HOST_ASAN)
#  define WQ_GUARDED_HEAP 1
#endif

#ifdef WQ_GUARDED_HEAP
#  include <atomic>
#  include <csignal>
#  include <cstdlib>
#  include <cstring>
#  include <ctime>
#  include <sched.h>
#  include <sys/mman.h>
#  include <unistd.h>
#endif

namespace wqhost {

#ifndef WQ_GUARDED_HEAP

bool GuardedHeap::enable(std::string &whyNot) {
#  ifdef _WIN32
    whyNot = "Windows has no way to replace the heap of the C runtime a module brings";
#  else
    whyNot = "the tool is built with AddressSanitizer, whose own heap checks instead";
#  endif
    return false;
}
bool GuardedHeap::enabled() noexcept { return false; }
bool GuardedHeap::owns(const void *) noexcept { return false; }
void *GuardedHeap::allocate(size_t, size_t, bool) noexcept { return nullptr; }
void GuardedHeap::release(void *) noexcept {}
size_t GuardedHeap::usableSize(const void *) noexcept { return 0; }
uint64_t GuardedHeap::bytesInUse() noexcept { return 0; }
void GuardedHeap::setFreshFill(unsigned char) noexcept {}
unsigned char GuardedHeap::freshFill() noexcept { return 0; }

#else

namespace {

enum State : uint8_t { kUnused = 0, kLive, kQuarantined, kReusable };

// A run of pages holding one block at a time: `pages` data pages, then one
// guard page that is never accessible. Spans are made once and reused whole.
struct Span {
    size_t size;    // the size the live (or last) block was asked with
    size_t rounded; // bytes from the block's start to the guard page
    uint32_t pages;
    uint32_t next; // the next span in its free list, as start page + 1
    uint8_t state;
};

constexpr uint32_t kBuckets = 64; // free lists by exact data-page count

// All state is plain data, set up by enable(): the allocator runs before
// and after every constructor and destructor of the program.
std::atomic<uintptr_t> g_base{0}; // the reserved address space, 0 while off
uintptr_t g_end = 0;
size_t g_pageShift = 0;
uint32_t g_pageCount = 0;    // of the reserved space
uint32_t g_top = 0;          // pages handed to spans so far
uint32_t *g_owner = nullptr; // by page: the start page of its span + 1
Span *g_spans = nullptr;     // by start page
uint32_t g_buckets[kBuckets + 1] = {};
uint32_t g_large = 0; // spans of more than kBuckets data pages
uint32_t g_quarantine[GuardedHeap::kQuarantine] = {};
size_t g_quarantineFirst = 0;
size_t g_quarantineCount = 0;
uint64_t g_live = 0;
std::atomic<unsigned char> g_freshFill{GuardedHeap::kDefaultFreshFill};
uintptr_t g_seed = 0;
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;
struct sigaction g_previousSegv;
struct sigaction g_previousBus;

class Lock {
public:
    Lock() noexcept {
        while (g_lock.test_and_set(std::memory_order_acquire))
            sched_yield();
    }
    ~Lock() { g_lock.clear(std::memory_order_release); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
};

size_t pageSize() noexcept { return size_t{1} << g_pageShift; }

char *pageAddress(uint32_t page) noexcept {
    return reinterpret_cast<char *>(g_base.load(std::memory_order_relaxed) +
                                    (static_cast<uintptr_t>(page) << g_pageShift));
}

uint32_t pageOf(const void *p) noexcept {
    return static_cast<uint32_t>(
        (reinterpret_cast<uintptr_t>(p) - g_base.load(std::memory_order_relaxed)) >> g_pageShift);
}

char *guardOf(uint32_t start) noexcept { return pageAddress(start + g_spans[start].pages); }

char *blockOf(uint32_t start) noexcept { return guardOf(start) - g_spans[start].rounded; }

// The canary byte at an address of a block's padding: never NUL nor ASCII,
// so that neither a text's terminating NUL nor its characters can restore
// it, and different from block to block.
unsigned char canaryAt(const unsigned char *p) noexcept {
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return static_cast<unsigned char>(0x80u | ((a ^ (a >> 9) ^ g_seed) & 0x7fu));
}

// ---------------------------------------------------------------- reports

// Async-signal-safe text building: the reports are written from the fault
// handler too.
struct Line {
    char text[320];
    size_t length = 0;
    Line &operator<<(const char *s) noexcept {
        while (*s && length < sizeof text - 1)
            text[length++] = *s++;
        return *this;
    }
    Line &operator<<(uint64_t n) noexcept {
        char digits[24];
        size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n);
        while (count && length < sizeof text - 1)
            text[length++] = digits[--count];
        return *this;
    }
    void write() noexcept {
        text[length++] = '\n';
        ssize_t ignored = ::write(2, text, length);
        (void)ignored;
    }
};

[[noreturn]] void stopWith(Line &line) noexcept {
    line.write();
    std::abort();
}

// ----------------------------------------------------------------- spans

void pushFree(uint32_t start) noexcept {
    Span &s = g_spans[start];
    s.state = kReusable;
    uint32_t &head = s.pages <= kBuckets ? g_buckets[s.pages] : g_large;
    s.next = head;
    head = start + 1;
}

// The oldest freed block leaves the quarantine and its span may be reused.
bool releaseOldest() noexcept {
    if (g_quarantineCount == 0)
        return false;
    const uint32_t start = g_quarantine[g_quarantineFirst];
    g_quarantineFirst = (g_quarantineFirst + 1) % GuardedHeap::kQuarantine;
    --g_quarantineCount;
    pushFree(start);
    return true;
}

// A span of at least `pages` data pages: reused, or new from the reserve.
bool takeSpan(uint32_t pages, uint32_t &start) noexcept {
    for (;;) {
        if (pages <= kBuckets && g_buckets[pages]) {
            start = g_buckets[pages] - 1;
            g_buckets[pages] = g_spans[start].next;
            return true;
        }
        if (pages > kBuckets) {
            for (uint32_t *link = &g_large; *link; link = &g_spans[*link - 1].next)
                if (g_spans[*link - 1].pages >= pages) {
                    start = *link - 1;
                    *link = g_spans[start].next;
                    return true;
                }
        }
        if (g_pageCount - g_top > pages) {
            start = g_top;
            g_top += pages + 1;
            g_spans[start].pages = pages;
            for (uint32_t p = start; p <= start + pages; ++p)
                g_owner[p] = start + 1;
            return true;
        }
        if (!releaseOldest())
            return false;
    }
}

// ------------------------------------------------------------ fault signals

void describeFault(uintptr_t address) noexcept {
    Line line;
    line << "heap check: ";
    const uint32_t page = pageOf(reinterpret_cast<const void *>(address));
    if (page >= g_top || g_owner[page] == 0) {
        line << "the module touched the guarded heap where no block ever was";
        line.write();
        return;
    }
    const uint32_t start = g_owner[page] - 1;
    const Span &s = g_spans[start];
    const uintptr_t block = reinterpret_cast<uintptr_t>(blockOf(start));
    if (s.state != kLive) {
        line << "the module used a " << uint64_t{s.size}
             << "-byte heap block after freeing it (at its byte " << uint64_t{address - block}
             << ")";
    } else if (address < block) {
        line << "the module read or wrote " << uint64_t{block - address}
             << " bytes before the start of a " << uint64_t{s.size} << "-byte heap block";
    } else {
        line << "the module read or wrote past the end of a " << uint64_t{s.size}
             << "-byte heap block (at its byte " << uint64_t{address - block} << ")";
    }
    line.write();
}

void handOn(int signal, const struct sigaction &previous, siginfo_t *info, void *context) {
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(signal, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
    } else {
        // Returning runs the faulting instruction again, under the default.
        struct sigaction fallback = previous;
        sigaction(signal, &fallback, nullptr);
    }
}

void onFault(int signal, siginfo_t *info, void *context) {
    const struct sigaction &previous = signal == SIGBUS ? g_previousBus : g_previousSegv;
    if (info && GuardedHeap::owns(info->si_addr)) {
        describeFault(reinterpret_cast<uintptr_t>(info->si_addr));
        struct sigaction fallback;
        std::memset(&fallback, 0, sizeof fallback);
        fallback.sa_handler = SIG_DFL;
        sigaction(signal, &fallback, nullptr);
        return;
    }
    handOn(signal, previous, info, context);
}

void *mapPages(size_t bytes, int protection) noexcept {
    void *p = mmap(nullptr, bytes, protection, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

} // namespace

bool GuardedHeap::enable(std::string &whyNot) {
    if (enabled())
        return true;
    const long page = sysconf(_SC_PAGESIZE);
    if (page <= 0 || (page & (page - 1)) != 0) {
        whyNot = "the system's page size is unknown";
        return false;
    }
    size_t shift = 0;
    while ((size_t{1} << shift) < static_cast<size_t>(page))
        ++shift;
        // Address space only: pages cost memory while a block lives in them.
#  if UINTPTR_MAX > 0xffffffffu
    const size_t reserve = size_t{4} << 30;
#  else
    const size_t reserve = size_t{512} << 20;
#  endif
    const uint32_t pages = static_cast<uint32_t>(reserve >> shift);
    void *base = mapPages(reserve, PROT_NONE);
    void *owner = mapPages(sizeof(uint32_t) * pages, PROT_READ | PROT_WRITE);
    void *spans = mapPages(sizeof(Span) * pages, PROT_READ | PROT_WRITE);
    if (!base || !owner || !spans) {
        for (void *p : {base, owner, spans})
            if (p)
                munmap(p, p == base    ? reserve
                          : p == owner ? sizeof(uint32_t) * pages
                                       : sizeof(Span) * pages);
        whyNot = "the address space for the guarded heap cannot be reserved";
        return false;
    }
    g_pageShift = shift;
    g_pageCount = pages;
    g_owner = static_cast<uint32_t *>(owner);
    g_spans = static_cast<Span *>(spans);
    g_end = reinterpret_cast<uintptr_t>(base) + reserve;
    g_seed =
        static_cast<uintptr_t>(getpid()) * 2654435761u ^ static_cast<uintptr_t>(std::time(nullptr));

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, &g_previousSegv);
    sigaction(SIGBUS, &action, &g_previousBus);
    g_base.store(reinterpret_cast<uintptr_t>(base), std::memory_order_release);
    return true;
}

bool GuardedHeap::enabled() noexcept { return g_base.load(std::memory_order_relaxed) != 0; }

bool GuardedHeap::owns(const void *p) noexcept {
    const uintptr_t base = g_base.load(std::memory_order_acquire);
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return base != 0 && a >= base && a < g_end;
}

void *GuardedHeap::allocate(size_t size, size_t alignment, bool zeroed) noexcept {
    if (!enabled())
        return nullptr;
    if (alignment < 16)
        alignment = 16;
    const size_t limit = (static_cast<size_t>(g_pageCount) << g_pageShift) / 8;
    if (alignment > pageSize() || size > limit)
        return nullptr;
    const size_t rounded = ((size ? size : 1) + alignment - 1) & ~(alignment - 1);
    const uint32_t pages = static_cast<uint32_t>((rounded + pageSize() - 1) >> g_pageShift);
    unsigned char *block;
    unsigned char *guard;
    {
        Lock lock;
        uint32_t start;
        if (!takeSpan(pages, start))
            return nullptr;
        Span &s = g_spans[start];
        guard = reinterpret_cast<unsigned char *>(guardOf(start));
        block = guard - rounded;
        char *first = pageAddress(pageOf(block));
        if (mprotect(first, static_cast<size_t>(reinterpret_cast<char *>(guard) - first),
                     PROT_READ | PROT_WRITE) != 0) {
            // Out of mappings: the C library serves this one.
            pushFree(start);
            return nullptr;
        }
        s.size = size;
        s.rounded = rounded;
        s.state = kLive;
        g_live += size;
    }
    for (unsigned char *p = block + size; p < guard; ++p)
        *p = canaryAt(p);
    std::memset(block, zeroed ? 0 : g_freshFill.load(std::memory_order_relaxed), size);
    return block;
}

void GuardedHeap::setFreshFill(unsigned char byte) noexcept {
    g_freshFill.store(byte, std::memory_order_relaxed);
}

unsigned char GuardedHeap::freshFill() noexcept {
    return g_freshFill.load(std::memory_order_relaxed);
}

void GuardedHeap::release(void *p) noexcept {
    Lock lock;
    const uint32_t page = pageOf(p);
    Line line;
    line << "heap check: ";
    if (page >= g_top || g_owner[page] == 0) {
        line << "the module freed a pointer that no heap block holds";
        stopWith(line);
    }
    const uint32_t start = g_owner[page] - 1;
    Span &s = g_spans[start];
    unsigned char *guard = reinterpret_cast<unsigned char *>(guardOf(start));
    unsigned char *block = guard - s.rounded;
    if (s.state != kLive) {
        line << "the module freed a " << uint64_t{s.size} << "-byte heap block twice";
        stopWith(line);
    }
    if (static_cast<void *>(block) != p) {
        line << "the module freed a pointer into a " << uint64_t{s.size}
             << "-byte heap block, not its start";
        stopWith(line);
    }
    for (unsigned char *q = block + s.size; q < guard; ++q)
        if (*q != canaryAt(q)) {
            line << "the module wrote past the end of a " << uint64_t{s.size}
                 << "-byte heap block (its byte " << uint64_t(q - block)
                 << " was changed; found when the block was freed)";
            stopWith(line);
        }
    // Gives the pages back to the system and makes them inaccessible, in one
    // call: a use after free faults, and a freed block costs no memory.
    char *first = pageAddress(pageOf(block));
    mmap(first, static_cast<size_t>(reinterpret_cast<char *>(guard) - first), PROT_NONE,
         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
    s.state = kQuarantined;
    g_live -= s.size;
    if (g_quarantineCount == kQuarantine)
        releaseOldest();
    g_quarantine[(g_quarantineFirst + g_quarantineCount) % kQuarantine] = start;
    ++g_quarantineCount;
}

size_t GuardedHeap::usableSize(const void *p) noexcept {
    Lock lock;
    const uint32_t page = pageOf(p);
    if (page >= g_top || g_owner[page] == 0)
        return 0;
    const Span &s = g_spans[g_owner[page] - 1];
    return s.state == kLive ? s.size : 0;
}

uint64_t GuardedHeap::bytesInUse() noexcept {
    Lock lock;
    return g_live;
}

#endif

} // namespace wqhost
