// GuardedHeap - the host's own allocator for the heap blocks a module
// allocates while its code runs in a check child of `wqhost validate`.
//
// Each block gets pages of its own and ends against an inaccessible page: its
// size is rounded up to the 16 bytes of alignment malloc promises, and those
// few padding bytes hold a canary that is checked when the block is freed.
// So a write past the end faults at once, inside the call that made it, and
// a write into the padding is found at free, whatever byte was written (the
// canary bytes are never NUL nor ASCII; only the very canary byte written
// back goes unseen). A freed block stays inaccessible in a bounded
// quarantine, so a use after free faults too, and a second free of it is
// named as such. Each fault is reported on standard error as one line that
// starts with "heap check: " and the process ends.
//
// This is the one heap checking of the check children: the tool's malloc,
// free and the rest (GuardedHeapEntries.cpp) serve module code from here and
// everything else from the C library's allocator, at the cost of one test.
// The C library's own debugging allocator is not used: the guard page finds
// every overrun of a module's block, and blocks the host allocates are the
// host's, tested by its own suite. Not built with AddressSanitizer (whose
// heap checks everything) nor on Windows, where a module's C runtime cannot
// be replaced from the host.
//
// Memory stays bounded: a live block costs its pages (at least one), a freed
// one only address space, and the quarantine holds a fixed number of blocks.
// When the reserved address space or the system's mappings run out, blocks
// come from the C library again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wqhost {

class GuardedHeap {
public:
    // Reserves the address space and takes the fault signals whose address
    // lies inside it. False, with the reason, where there is no guarded heap.
    static bool enable(std::string &whyNot);
    static bool enabled() noexcept;

    // Whether `p` lies in the guarded heap (a block of it, live or freed).
    static bool owns(const void *p) noexcept;

    // A block of `size` bytes aligned to `alignment` (a power of two), or
    // null when the heap cannot serve it (the caller takes it from the C
    // library). `zeroed` clears it.
    static void *allocate(size_t size, size_t alignment, bool zeroed) noexcept;
    // Frees a block `owns` said is ours; ends the process on a double free,
    // a pointer into a block, or a changed canary.
    static void release(void *p) noexcept;
    // The size the block was asked with.
    static size_t usableSize(const void *p) noexcept;

    // The byte every fresh block that is not asked zeroed is filled with:
    // a module that reads memory it never set reads this, not zeros that
    // hide the fault. 0xA5 unless set; the check of such reads sets two
    // values in turn and compares what the module gives.
    static void setFreshFill(unsigned char byte) noexcept;
    static unsigned char freshFill() noexcept;
    static constexpr unsigned char kDefaultFreshFill = 0xA5;

    // The bytes of live blocks (their asked sizes).
    static uint64_t bytesInUse() noexcept;
    // How many blocks freed blocks stay inaccessible before reuse.
    static constexpr size_t kQuarantine = 1024;
};

} // namespace wqhost
