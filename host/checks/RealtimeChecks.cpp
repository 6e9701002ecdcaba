// The check of what the process function may not do: it runs on the audio
// thread, where waiting for the system or another thread for an unbounded
// time makes the sound drop out. The tool's own allocator and waiting-call
// entries count what module code does while the process function runs (a
// callback it makes is the host's, and not counted).
#include "host/checks/CheckSupport.h"
#include "host/core/AudioHost.h"
#include "host/platform/ModuleCodeWatch.h"

#include <string>

namespace wqhost {

namespace {

std::string times(uint64_t count) {
    return count == 1 ? std::string("once") : std::to_string(count) + " times";
}

} // namespace

void checkProcessRealtime(CheckContext &ctx) {
    const auto audio = createCheckedAudio(ctx, audioOptionsFor(readCheckedTable(ctx)),
                                          "makeModule(0, 1), AD_OPEN, sample rate, block size");
    AudioHost &host = *audio;
    size_t seen = 0;
    host.open();
    host.setSampleRate(48000.0f);
    host.setBlockSize(256);
    failOnNewProblems(ctx, host.problems(), seen, "opening");

    // Every block counts, the first ones too: a buffer made at the first
    // block is made on the audio thread all the same.
    const RealtimeCounts before = realtimeCounts();
    for (uint32_t blockSize : {256u, 64u}) {
        ctx.step("blocks of " + std::to_string(blockSize) + " samples");
        host.setBlockSize(blockSize);
        for (int block = 0; block < 16 && host.isLive(); ++block)
            host.processBlock();
    }
    const RealtimeCounts after = realtimeCounts();
    failOnNewProblems(ctx, host.problems(), seen, "processing");
    if (host.isLive())
        host.close();

    static const struct {
        RealtimeHazard hazard;
        const char *did;
        const char *instead;
    } kHazards[] = {
        {RealtimeHazard::Allocation, "allocated",
         "allocate in AD_OPEN or AD_SET_BLOCK_SIZE instead (operator new, a growing std::vector "
         "or std::string allocate too)"},
        {RealtimeHazard::Sleep, "slept",
         "it must never wait; count time in samples from the sample clock instead"},
        {RealtimeHazard::LockWait, "locked a mutex or waited on a semaphore",
         "a lock makes it wait for the thread that holds it; hand values over without a lock "
         "(an atomic, a lock-free queue)"},
        {RealtimeHazard::ConditionWait, "waited on a condition variable",
         "it must never wait for another thread; take what is ready and go on"},
        {RealtimeHazard::InputOutput, "read or wrote a file, a pipe or a standard stream",
         "output waits for the disk or for whoever reads it (a host's standard error may be a "
         "pipe nobody reads); print from a pin change or AD_OPEN, or count what to report and "
         "report it there"},
    };
    for (const auto &h : kHazards) {
        const uint64_t count = after[h.hazard] - before[h.hazard];
        if (count)
            ctx.fail(std::string(h.did) + " " + times(count) +
                     " in the process function: " + h.instead);
    }
}

} // namespace wqhost
