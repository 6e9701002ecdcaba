// ProcessState - the parts of the process a module shares with its host and
// must leave as it found them: the floating-point control state (rounding
// mode, the SSE control word with its flush-to-zero and denormals-are-zero
// bits and exception masks, and on 32-bit x86 the x87 control word), the C
// locale, the handlers of the usual signals, the working folder, the open
// file descriptors, and the number of threads.
//
// A snapshot is taken before a call and compared after it; each difference
// is one line that says what changed, from what to what.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

struct ProcessState {
    int rounding = 0;                      // fegetround()
    uint32_t sseControl = 0;               // MXCSR without its sticky exception flags (x86)
    uint32_t x87Control = 0;               // the x87 control word (32-bit x86)
    std::string locale;                    // setlocale(LC_ALL, nullptr)
    std::vector<uintptr_t> signalHandlers; // one a signal of kWatchedSignals
    std::string folder;                    // the working folder
    std::vector<int> descriptors;          // the open file descriptors, in order
    int threads = 0;                       // the process's threads (0 where it cannot be told)

    // Takes the snapshot now.
    static ProcessState now();
};

// What differs between `before` and `after`, one text each, such as
// "the rounding mode (to nearest became toward zero)". `withThreads` also
// compares the thread count.
std::vector<std::string> processChanges(const ProcessState &before, const ProcessState &after,
                                        bool withThreads);

} // namespace wqhost
