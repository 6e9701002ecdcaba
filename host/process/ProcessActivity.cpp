#ifndef _WIN32

#  include "host/process/ProcessActivity.h"

#  include "host/process/ChildProcessSystem.h"
#  include "host/text/NumberReading.h"

#  include <cstdint>
#  include <optional>
#  include <string>

#  include <unistd.h>

#  ifdef __linux__
#    include <fstream>
#    include <sstream>
#  endif

namespace wqhost::childprocess {

namespace {

#  ifdef __linux__
// The fields of /proc/<pid>/stat after the program's name (which may hold
// blanks, in ( )): field 3, the state, on. Nothing when the file cannot be
// read or has no name in ( ).
std::optional<std::string> statFields(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return std::nullopt;
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    return line.substr(close + 1);
}
#  endif

// The processor time a process has used so far, in seconds, or below 0.
double processorSeconds(pid_t pid) {
#  ifdef __linux__
    const std::optional<std::string> fields = statFields(pid);
    if (!fields)
        return -1.0;
    // Fields 14 and 15: the clock ticks spent in user and in system mode.
    std::istringstream words(*fields);
    std::string word;
    uint64_t user = 0, system = 0;
    for (int i = 3; i <= 15 && words >> word; ++i) {
        if (i < 14)
            continue;
        const std::optional<uint64_t> ticks = decimalNumber(word);
        if (!ticks)
            return -1.0;
        (i == 14 ? user : system) = *ticks;
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
    const std::optional<std::string> fields = statFields(pid);
    if (!fields || fields->size() < 2)
        return -1;
    return (*fields)[1] == 'R' ? 1 : 0;
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
