// ThreadWait - how long the calling thread has waited, ready to run, for a
// processor. On a busy machine a call's wall time includes that wait, which
// is the machine's and not the module's: the slow-call budget leaves it out.
#pragma once

namespace wqhost {

// Milliseconds the calling thread has spent runnable but not running since
// it started (Linux: the scheduler's figure in /proc). 0 where the system
// does not tell, so that a caller falls back to wall time.
double threadWaitingMilliseconds() noexcept;

} // namespace wqhost
