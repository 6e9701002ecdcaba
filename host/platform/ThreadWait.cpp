#include "host/platform/ThreadWait.h"

#ifdef __linux__
#  include <cstdlib>
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
    const ssize_t got = ::pread(stat.fd, text, sizeof text - 1, 0);
    if (got <= 0)
        return 0.0;
    text[got] = '\0';
    char *rest = nullptr;
    std::strtoull(text, &rest, 10);
    if (rest == text)
        return 0.0;
    const char *waiting = rest;
    const unsigned long long ns = std::strtoull(waiting, &rest, 10);
    return rest == waiting ? 0.0 : static_cast<double>(ns) / 1e6;
}

#else

double threadWaitingMilliseconds() noexcept { return 0.0; }

#endif

} // namespace wqhost
