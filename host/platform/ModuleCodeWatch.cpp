#include "host/platform/ModuleCodeWatch.h"

#include "host/platform/StackPaint.h"

#include <atomic>

namespace wqhost {

namespace {

// Plain thread-local integers: read by the allocator on every call, so they
// must need no construction and no allocation of their own.
thread_local int t_running = 0;

std::atomic<uint64_t> g_counts[static_cast<int>(RealtimeHazard::Count)];
std::atomic<bool> g_seen{false};
std::atomic<int> g_stackFill{-1};

void paintWhenAsked() noexcept {
    const int fill = g_stackFill.load(std::memory_order_relaxed);
    if (fill >= 0)
        paintStackBelow(static_cast<unsigned char>(fill));
}

} // namespace

ModuleCodeScope::ModuleCodeScope(RunningCode code) noexcept : m_previous(t_running) {
    t_running = static_cast<int>(code);
    if (code != RunningCode::Host)
        paintWhenAsked();
}

ModuleCodeScope::~ModuleCodeScope() {
    if (m_previous != static_cast<int>(RunningCode::Host) &&
        t_running == static_cast<int>(RunningCode::Host))
        paintWhenAsked(); // what the callback left below is not the module's
    t_running = m_previous;
}

void setCallStackFill(int fill) noexcept { g_stackFill.store(fill, std::memory_order_relaxed); }

RunningCode runningCode() noexcept { return static_cast<RunningCode>(t_running); }

void noteRealtimeHazard(RealtimeHazard hazard) noexcept {
    if (t_running == static_cast<int>(RunningCode::Process))
        g_counts[static_cast<int>(hazard)].fetch_add(1, std::memory_order_relaxed);
}

RealtimeCounts realtimeCounts() noexcept {
    RealtimeCounts c;
    for (int i = 0; i < static_cast<int>(RealtimeHazard::Count); ++i)
        c.counts[i] = g_counts[i].load(std::memory_order_relaxed);
    return c;
}

void markRealtimeHazardsSeen() noexcept { g_seen.store(true, std::memory_order_relaxed); }

bool realtimeHazardsSeen(std::string &whyNot) {
    if (g_seen.load(std::memory_order_relaxed))
        return true;
#ifdef _WIN32
    whyNot = "on Windows a module's C runtime and system calls cannot be watched, so allocation "
             "and blocking inside the process function go unseen";
#else
    whyNot = "this program does not watch the allocator and the blocking calls";
#endif
    return false;
}

} // namespace wqhost
