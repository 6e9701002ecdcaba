// ProcessActivity - what a child that outlived its time limit was doing,
// sampled from outside for a short while (kCpuShareSeconds) before it is
// killed: on Linux from /proc, elsewhere on POSIX unknown. (Windows asks
// its own process API, in ChildProcessWindows.cpp.)
#pragma once

#include "host/process/ChildProcess.h"

#include <sys/types.h>

namespace wqhost::childprocess {

// Sets outcome.cpuShare and outcome.activity where the system tells them:
// the share of one processor the child used, and how often it was found
// runnable (a busy machine gives a spinning child little processor time,
// but it stays runnable).
void watchActivity(pid_t pid, ChildOutcome &outcome);

} // namespace wqhost::childprocess
