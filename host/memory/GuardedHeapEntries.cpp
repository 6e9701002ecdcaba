// The tool's own malloc, free and the rest of the C allocator's entries, and
// its entries for the calls that sleep, wait, read or write. A module library binds these
// names to the program's definitions before the C library's, so the tool
// sees every allocation and every wait of module code: allocations made
// while module code runs come from the guarded heap once it is on, and what
// a process function does is counted (ModuleCodeWatch). Everything else goes
// straight on to the C library. Linked into the tool only (and the tests of
// the guarded heap); its names are exported from the program by CMake.
//
// Built with AddressSanitizer, the sanitizer keeps the heap: allocations are
// then counted through its hook, and only the waiting calls are entered here.
// On Windows a module's C runtime is its own, and nothing here is built.
#include "host/memory/AddressSanitizer.h"
#include "host/memory/GuardedHeap.h"
#include "host/platform/ModuleCodeWatch.h"

#ifdef __linux__

#  include <atomic>
#  include <cerrno>
#  include <cstdarg>
#  include <cstdio>
#  include <cstdint>
#  include <cstring>
#  include <dlfcn.h>
#  include <pthread.h>
#  include <semaphore.h>
#  include <sys/uio.h>
#  include <time.h>
#  include <unistd.h>

using wqhost::GuardedHeap;
using wqhost::RealtimeHazard;
using wqhost::RunningCode;

namespace {

// The next definition of `name` after the program's: the C library's (or a
// sanitizer's in front of it). Looked up at the first call.
template <class Fn> Fn nextEntry(std::atomic<void *> &cache, const char *name) noexcept {
    void *entry = cache.load(std::memory_order_acquire);
    if (!entry) {
        entry = dlsym(RTLD_NEXT, name);
        cache.store(entry, std::memory_order_release);
    }
    Fn fn;
    std::memcpy(&fn, &entry, sizeof fn);
    return fn;
}

#  define WQ_NEXT(type, name)                                                                      \
    static std::atomic<void *> cache_##name{nullptr};                                              \
    const auto next_##name = nextEntry<type>(cache_##name, #name)

#  ifdef WQ_HOST_ASAN
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void *,
                                                                          size_t),
                                                         void (*onFree)(const volatile void *));
void countAllocation(const volatile void *, size_t) {
    wqhost::noteRealtimeHazard(RealtimeHazard::Allocation);
}
void ignoreFree(const volatile void *) {}
#  endif

struct Linked {
    Linked() noexcept {
#  ifdef WQ_HOST_ASAN
        __sanitizer_install_malloc_and_free_hooks(countAllocation, ignoreFree);
#  endif
        wqhost::markRealtimeHazardsSeen();
    }
} g_linked;

} // namespace

// glibc's headers define some of these names inline when a build optimises
// (putchar, vprintf) or fortifies (read, fread, vfprintf). clang will not
// compile a second definition of such a name, so those entries are written
// under a name of their own and bound to the public symbol.
#  define WQ_ENTRY(name) wq_entry_##name

// The entries must be seen from outside the program, whatever the default.
#  pragma GCC visibility push(default)

extern "C" {

// ------------------------------------------------------------ waiting calls

int nanosleep(const struct timespec *request, struct timespec *remaining) {
    wqhost::noteRealtimeHazard(RealtimeHazard::Sleep);
    WQ_NEXT(int (*)(const struct timespec *, struct timespec *), nanosleep);
    return next_nanosleep(request, remaining);
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec *request,
                    struct timespec *remaining) {
    wqhost::noteRealtimeHazard(RealtimeHazard::Sleep);
    WQ_NEXT(int (*)(clockid_t, int, const struct timespec *, struct timespec *), clock_nanosleep);
    return next_clock_nanosleep(clock, flags, request, remaining);
}

int usleep(useconds_t microseconds) {
    wqhost::noteRealtimeHazard(RealtimeHazard::Sleep);
    WQ_NEXT(int (*)(useconds_t), usleep);
    return next_usleep(microseconds);
}

unsigned int sleep(unsigned int seconds) {
    wqhost::noteRealtimeHazard(RealtimeHazard::Sleep);
    WQ_NEXT(unsigned int (*)(unsigned int), sleep);
    return next_sleep(seconds);
}

int pthread_mutex_lock(pthread_mutex_t *mutex) {
    wqhost::noteRealtimeHazard(RealtimeHazard::LockWait);
    WQ_NEXT(int (*)(pthread_mutex_t *), pthread_mutex_lock);
    return next_pthread_mutex_lock(mutex);
}

int pthread_mutex_timedlock(pthread_mutex_t *mutex, const struct timespec *until) {
    wqhost::noteRealtimeHazard(RealtimeHazard::LockWait);
    WQ_NEXT(int (*)(pthread_mutex_t *, const struct timespec *), pthread_mutex_timedlock);
    return next_pthread_mutex_timedlock(mutex, until);
}

int pthread_rwlock_rdlock(pthread_rwlock_t *lock) {
    wqhost::noteRealtimeHazard(RealtimeHazard::LockWait);
    WQ_NEXT(int (*)(pthread_rwlock_t *), pthread_rwlock_rdlock);
    return next_pthread_rwlock_rdlock(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t *lock) {
    wqhost::noteRealtimeHazard(RealtimeHazard::LockWait);
    WQ_NEXT(int (*)(pthread_rwlock_t *), pthread_rwlock_wrlock);
    return next_pthread_rwlock_wrlock(lock);
}

int sem_wait(sem_t *semaphore) {
    wqhost::noteRealtimeHazard(RealtimeHazard::LockWait);
    WQ_NEXT(int (*)(sem_t *), sem_wait);
    return next_sem_wait(semaphore);
}

int pthread_cond_wait(pthread_cond_t *condition, pthread_mutex_t *mutex) {
    wqhost::noteRealtimeHazard(RealtimeHazard::ConditionWait);
    WQ_NEXT(int (*)(pthread_cond_t *, pthread_mutex_t *), pthread_cond_wait);
    return next_pthread_cond_wait(condition, mutex);
}

int pthread_cond_timedwait(pthread_cond_t *condition, pthread_mutex_t *mutex,
                           const struct timespec *until) {
    wqhost::noteRealtimeHazard(RealtimeHazard::ConditionWait);
    WQ_NEXT(int (*)(pthread_cond_t *, pthread_mutex_t *, const struct timespec *),
            pthread_cond_timedwait);
    return next_pthread_cond_timedwait(condition, mutex, until);
}

// --------------------------------------------- input and output, stdio too
//
// Each may wait for a disk, a pipe nobody reads or a terminal. The stdio
// entries are counted themselves, as a buffered write reaches the system
// only when the buffer fills; the C++ streams go through them.

ssize_t write(int fd, const void *data, size_t size) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(ssize_t(*)(int, const void *, size_t), write);
    return next_write(fd, data, size);
}

ssize_t WQ_ENTRY(read)(int, void *, size_t) __asm__("read");
ssize_t WQ_ENTRY(read)(int fd, void *data, size_t size) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(ssize_t(*)(int, void *, size_t), read);
    return next_read(fd, data, size);
}

ssize_t writev(int fd, const struct iovec *parts, int count) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(ssize_t(*)(int, const struct iovec *, int), writev);
    return next_writev(fd, parts, count);
}

ssize_t readv(int fd, const struct iovec *parts, int count) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(ssize_t(*)(int, const struct iovec *, int), readv);
    return next_readv(fd, parts, count);
}

size_t fwrite(const void *data, size_t size, size_t count, FILE *stream) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(size_t(*)(const void *, size_t, size_t, FILE *), fwrite);
    return next_fwrite(data, size, count, stream);
}

size_t WQ_ENTRY(fread)(void *, size_t, size_t, FILE *) __asm__("fread");
size_t WQ_ENTRY(fread)(void *data, size_t size, size_t count, FILE *stream) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(size_t(*)(void *, size_t, size_t, FILE *), fread);
    return next_fread(data, size, count, stream);
}

int fputs(const char *text, FILE *stream) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(const char *, FILE *), fputs);
    return next_fputs(text, stream);
}

int puts(const char *text) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(const char *), puts);
    return next_puts(text);
}

int fputc(int c, FILE *stream) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(int, FILE *), fputc);
    return next_fputc(c, stream);
}

int putc(int c, FILE *stream) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(int, FILE *), putc);
    return next_putc(c, stream);
}

int WQ_ENTRY(putchar)(int) __asm__("putchar");
int WQ_ENTRY(putchar)(int c) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(int), putchar);
    return next_putchar(c);
}

int fflush(FILE *stream) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(FILE *), fflush);
    return next_fflush(stream);
}

int WQ_ENTRY(vfprintf)(FILE *, const char *, va_list) __asm__("vfprintf");
int WQ_ENTRY(vfprintf)(FILE *stream, const char *format, va_list arguments) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(FILE *, const char *, va_list), vfprintf);
    return next_vfprintf(stream, format, arguments);
}

int WQ_ENTRY(vprintf)(const char *, va_list) __asm__("vprintf");
int WQ_ENTRY(vprintf)(const char *format, va_list arguments) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(FILE *, const char *, va_list), vfprintf);
    return next_vfprintf(stdout, format, arguments);
}

int fprintf(FILE *stream, const char *format, ...) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(FILE *, const char *, va_list), vfprintf);
    va_list arguments;
    va_start(arguments, format);
    const int result = next_vfprintf(stream, format, arguments);
    va_end(arguments);
    return result;
}

int printf(const char *format, ...) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(FILE *, const char *, va_list), vfprintf);
    va_list arguments;
    va_start(arguments, format);
    const int result = next_vfprintf(stdout, format, arguments);
    va_end(arguments);
    return result;
}

// What a build with _FORTIFY_SOURCE calls instead.
int __vfprintf_chk(FILE *stream, int flag, const char *format, va_list arguments) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(FILE *, int, const char *, va_list), __vfprintf_chk);
    return next___vfprintf_chk(stream, flag, format, arguments);
}

int __fprintf_chk(FILE *stream, int flag, const char *format, ...) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(FILE *, int, const char *, va_list), __vfprintf_chk);
    va_list arguments;
    va_start(arguments, format);
    const int result = next___vfprintf_chk(stream, flag, format, arguments);
    va_end(arguments);
    return result;
}

int __printf_chk(int flag, const char *format, ...) {
    wqhost::noteRealtimeHazard(RealtimeHazard::InputOutput);
    WQ_NEXT(int (*)(FILE *, int, const char *, va_list), __vfprintf_chk);
    va_list arguments;
    va_start(arguments, format);
    const int result = next___vfprintf_chk(stdout, flag, format, arguments);
    va_end(arguments);
    return result;
}

#  ifndef WQ_HOST_ASAN

// -------------------------------------------------------------- the heap

void *__libc_malloc(size_t size);
void __libc_free(void *p);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);
void *__libc_memalign(size_t alignment, size_t size);

} // extern "C"

namespace {

// A block for module code from the guarded heap, or null: module code off,
// or a block the guarded heap cannot serve.
void *guardedBlock(size_t size, size_t alignment, bool zeroed) noexcept {
    if (wqhost::runningCode() == RunningCode::Host)
        return nullptr;
    wqhost::noteRealtimeHazard(RealtimeHazard::Allocation);
    return GuardedHeap::allocate(size, alignment, zeroed);
}

bool isPowerOfTwo(size_t n) noexcept { return n != 0 && (n & (n - 1)) == 0; }

} // namespace

extern "C" {

void *malloc(size_t size) {
    if (void *p = guardedBlock(size, 16, false))
        return p;
    return __libc_malloc(size);
}

void free(void *p) {
    if (GuardedHeap::owns(p))
        GuardedHeap::release(p);
    else
        __libc_free(p);
}

void *calloc(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    if (void *p = guardedBlock(count * size, 16, true))
        return p;
    return __libc_calloc(count, size);
}

void *realloc(void *p, size_t size) {
    if (!p)
        return malloc(size);
    if (!GuardedHeap::owns(p)) {
        if (wqhost::runningCode() != RunningCode::Host)
            wqhost::noteRealtimeHazard(RealtimeHazard::Allocation);
        return __libc_realloc(p, size);
    }
    if (size == 0) { // as the C library does: the block is freed
        GuardedHeap::release(p);
        return nullptr;
    }
    // A guarded block always moves, so that its end stays at its guard page.
    void *moved = guardedBlock(size, 16, false);
    if (!moved)
        moved = __libc_malloc(size);
    if (!moved)
        return nullptr;
    const size_t old = GuardedHeap::usableSize(p);
    std::memcpy(moved, p, old < size ? old : size);
    GuardedHeap::release(p);
    return moved;
}

void *reallocarray(void *p, size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(p, count * size);
}

void *memalign(size_t alignment, size_t size) {
    if (isPowerOfTwo(alignment))
        if (void *p = guardedBlock(size, alignment, false))
            return p;
    return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void **out, size_t alignment, size_t size) {
    if (!isPowerOfTwo(alignment) || alignment % sizeof(void *) != 0)
        return EINVAL;
    void *p = memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

void *valloc(size_t size) { return memalign(static_cast<size_t>(sysconf(_SC_PAGESIZE)), size); }

size_t malloc_usable_size(void *p) {
    if (!p)
        return 0;
    if (GuardedHeap::owns(p))
        return GuardedHeap::usableSize(p);
    WQ_NEXT(size_t(*)(void *), malloc_usable_size);
    return next_malloc_usable_size(p);
}

#  endif // WQ_HOST_ASAN

} // extern "C"

#  pragma GCC visibility pop

#endif // __linux__
