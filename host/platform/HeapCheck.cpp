#include "host/platform/HeapCheck.h"

#include <cstddef>

#if defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define WQ_HOST_ASAN 1
#  endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#  define WQ_HOST_ASAN 1
#endif

#ifdef _WIN32
#  include <windows.h>
#  include <vector>
#else
#  include <dlfcn.h>
#  include <malloc.h>
#  include <unistd.h>
#  include <cstdlib>
#endif

#ifdef WQ_HOST_ASAN
// The sanitizer runtime's count of the heap in use. Declared here because
// GCC ships no header for the allocator interface (clang's is
// <sanitizer/allocator_interface.h>); the runtime exports it under both.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace wqhost {

#ifdef _WIN32

bool enableHeapCheckForChildren(std::string &whyNot) {
    whyNot = "Windows has no heap checking to switch on for the C runtime of a module";
    return false;
}

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
    // The checking library sits next to the C library this process uses,
    // for its own architecture (x86-64 or i386).
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&::malloc), &info) || !info.dli_fname) {
        whyNot = "the C library's file cannot be found";
        return false;
    }
    std::string dir = info.dli_fname;
    const size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
    const std::string checker = dir + "/libc_malloc_debug.so.0";
    if (access(checker.c_str(), R_OK) != 0) {
        whyNot = checker + " is not installed";
        return false;
    }
    const char *preload = std::getenv("LD_PRELOAD");
    std::string value = preload ? preload : "";
    if (value.find("libc_malloc_debug") == std::string::npos)
        value = value.empty() ? checker : value + ":" + checker;
    setenv("LD_PRELOAD", value.c_str(), 1);
    setenv("MALLOC_CHECK_", "3", 1);
    return true;
#  endif
}

bool heapBytesInUse(uint64_t &bytes) {
#  ifdef WQ_HOST_ASAN
    bytes = __sanitizer_get_current_allocated_bytes();
    return true;
#  elif defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 m = mallinfo2();
    bytes = static_cast<uint64_t>(m.uordblks) + static_cast<uint64_t>(m.hblkhd);
    return true;
#  else
    return false;
#  endif
}

#endif

} // namespace wqhost
