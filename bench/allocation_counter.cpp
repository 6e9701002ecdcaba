#include "bench/allocation_counter.h"

#include <cstdlib>
#include <new>

// The replacements must be visible to libraries loaded at run time, whatever
// visibility the rest of the program is built with.
#if defined(__GNUC__) && !defined(_WIN32)
#  define WQ_BENCH_VISIBLE __attribute__((visibility("default")))
#else
#  define WQ_BENCH_VISIBLE
#endif

namespace {
std::size_t g_allocations = 0;

void *allocate(std::size_t size) {
    ++g_allocations;
    if (void *p = std::malloc(size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}

void *allocateAligned(std::size_t size, std::align_val_t alignment) {
    ++g_allocations;
    const std::size_t a = static_cast<std::size_t>(alignment);
    void *p = nullptr;
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = ((size != 0 ? size : 1) + a - 1) / a * a;
    p = std::aligned_alloc(a, rounded);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}
} // namespace

namespace bench {
std::size_t allocationCount() noexcept { return g_allocations; }
} // namespace bench

WQ_BENCH_VISIBLE void *operator new(std::size_t size) { return allocate(size); }
WQ_BENCH_VISIBLE void *operator new[](std::size_t size) { return allocate(size); }
WQ_BENCH_VISIBLE void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
WQ_BENCH_VISIBLE void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
WQ_BENCH_VISIBLE void *operator new(std::size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
WQ_BENCH_VISIBLE void *operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}

WQ_BENCH_VISIBLE void operator delete(void *p) noexcept { std::free(p); }
WQ_BENCH_VISIBLE void operator delete[](void *p) noexcept { std::free(p); }
WQ_BENCH_VISIBLE void operator delete(void *p, std::size_t) noexcept { std::free(p); }
WQ_BENCH_VISIBLE void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
WQ_BENCH_VISIBLE void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
WQ_BENCH_VISIBLE void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
WQ_BENCH_VISIBLE void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
WQ_BENCH_VISIBLE void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
WQ_BENCH_VISIBLE void operator delete(void *p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
WQ_BENCH_VISIBLE void operator delete[](void *p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
