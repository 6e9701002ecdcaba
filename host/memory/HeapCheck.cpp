#include "host/memory/HeapCheck.h"

#include "host/memory/AddressSanitizer.h"
#include "host/memory/GuardedHeap.h"
#include "host/platform/ModuleCodeWatch.h"

#include <cstddef>

#ifdef _WIN32
#  include <windows.h>
#  include <vector>
#else
#  include <malloc.h>
#  include <cstdio>
#  include <cstdlib>
#endif

#ifdef WQ_HOST_ASAN
// The sanitizer runtime's count of the heap in use. Declared here because
// GCC ships no header for the allocator interface (clang's is
// <sanitizer/allocator_interface.h>); the runtime exports it under both.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace wqhost {

#ifndef _WIN32
namespace {
// Set by the validator for its children: "1" turns the guarded heap on.
constexpr char kGuardedHeapVariable[] = "WQ_HOST_GUARDED_HEAP";
} // namespace
#endif

#ifdef _WIN32

bool enableHeapCheckForChildren(std::string &whyNot) {
    whyNot = "Windows has no way to replace the heap of the C runtime a module brings";
    return false;
}

void enableHeapCheckIfAsked() {}

bool heapBytesInUse(uint64_t &bytes) {
    // Every heap of the process: the C runtime a module brings may keep its
    // own.
    std::vector<HANDLE> heaps(64);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count == 0)
        return false;
    if (count > heaps.size()) {
        heaps.resize(count);
        count = GetProcessHeaps(count, heaps.data());
    }
    uint64_t total = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = nullptr;
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    bytes = total;
    return true;
}

#else

bool enableHeapCheckForChildren(std::string &whyNot) {
#  ifdef WQ_HOST_ASAN
    whyNot = "the tool is built with AddressSanitizer, whose own heap checks instead";
    return false;
#  else
    // The children are this program again: its allocator entries must be
    // linked in for the guarded heap to see the module's blocks.
    std::string notLinked;
    if (!realtimeHazardsSeen(notLinked)) {
        whyNot = "this program does not replace the C library's allocator";
        return false;
    }
    setenv(kGuardedHeapVariable, "1", 1);
    return true;
#  endif
}

void enableHeapCheckIfAsked() {
    const char *asked = std::getenv(kGuardedHeapVariable);
    if (!asked || std::string(asked) != "1")
        return;
    std::string whyNot;
    if (!GuardedHeap::enable(whyNot))
        std::fprintf(stderr, "wqhost: no guarded heap: %s\n", whyNot.c_str());
}

bool heapBytesInUse(uint64_t &bytes) {
#  ifdef WQ_HOST_ASAN
    bytes = __sanitizer_get_current_allocated_bytes();
    return true;
#  elif defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 m = mallinfo2();
    bytes = static_cast<uint64_t>(m.uordblks) + static_cast<uint64_t>(m.hblkhd) +
            GuardedHeap::bytesInUse();
    return true;
#  else
    return false;
#  endif
}

#endif

} // namespace wqhost
