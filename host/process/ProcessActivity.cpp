#ifndef _WIN32

#  include "host/process/ProcessActivity.h"

#  include "host/process/ChildProcessSystem.h"

#  include <string>

#  include <unistd.h>

#  ifdef __linux__
#    include <fstream>
#    include <sstream>
#  endif

namespace wqhost::childprocess {

namespace {

// The processor time a process has used so far, in seconds, or below 0.
double processorSeconds(pid_t pid) {
#  ifdef __linux__
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return -1.0;
    // The fields after the program's name, which may hold blanks, in ( ).
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return -1.0;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            user = std::stoull(field);
        if (i == 15)
            system = std::stoull(field);
    }
    const long ticks = ::sysconf(_SC_CLK_TCK);
    return ticks > 0 ? static_cast<double>(user + system) / static_cast<double>(ticks) : -1.0;
#  else
    (void)pid;
    return -1.0;
#  endif
}

// Whether a process is running or waiting to run ('R' in /proc), as
// opposed to sleeping or waiting for a device; -1 when unknown.
int runnable(pid_t pid) {
#  ifdef __linux__
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size())
        return -1;
    return line[close + 2] == 'R' ? 1 : 0;
#  else
    (void)pid;
    return -1;
#  endif
}

} // namespace

void watchActivity(pid_t pid, ChildOutcome &outcome) {
    const double before = processorSeconds(pid);
    const auto start = Clock::now();
    constexpr int kLooks = 20;
    int looked = 0, running = 0;
    for (int i = 0; i < kLooks; ++i) {
        const int r = runnable(pid);
        if (r >= 0) {
            ++looked;
            running += r;
        }
        ::usleep(static_cast<useconds_t>(kCpuShareSeconds * 1e6 / kLooks));
    }
    const double after = processorSeconds(pid);
    const double wall = secondsSince(start);
    if (before >= 0.0 && after >= 0.0 && wall > 0.0)
        outcome.cpuShare = (after - before) / wall;
    if (looked > 0)
        outcome.activity = 2 * running >= looked ? ChildOutcome::Activity::Computing
                                                 : ChildOutcome::Activity::Blocked;
    else if (outcome.cpuShare >= 0.0)
        outcome.activity = outcome.cpuShare >= 0.2 ? ChildOutcome::Activity::Computing
                                                   : ChildOutcome::Activity::Blocked;
}

} // namespace wqhost::childprocess

#endif // !_WIN32
