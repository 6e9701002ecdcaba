#include "host/platform/ThreadWait.h"

#ifdef __linux__
#  include <charconv>
#  include <cstdint>
#  include <system_error>
#  include <fcntl.h>
#  include <unistd.h>
#endif

namespace wqhost {

#ifdef __linux__

namespace {

// The thread's own schedstat file, opened once per thread: read for every
// timed call, so it is read again in place rather than opened each time.
struct SchedStat {
    int fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    ~SchedStat() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

double threadWaitingMilliseconds() noexcept {
    thread_local SchedStat stat;
    if (stat.fd < 0)
        return 0.0;
    // "<ns on a processor> <ns waiting for one> <time slices>"
    char text[96];
    const ssize_t got = ::pread(stat.fd, text, sizeof text, 0);
    if (got <= 0)
        return 0.0;
    const char *const end = text + got;
    uint64_t onProcessor = 0;
    const auto first = std::from_chars(text, end, onProcessor);
    if (first.ec != std::errc())
        return 0.0;
    const char *at = first.ptr;
    while (at < end && *at == ' ')
        ++at;
    uint64_t waiting = 0;
    const auto second = std::from_chars(at, end, waiting);
    return second.ec != std::errc() ? 0.0 : static_cast<double>(waiting) / 1e6;
}

#else

double threadWaitingMilliseconds() noexcept { return 0.0; }

#endif

} // namespace wqhost
