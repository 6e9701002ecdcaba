// ProcessTimer - the thread CPU time of the process calls an audio object
// made since the last reset, each call's reading less the cost of reading
// the clock itself (measured once, the median of back-to-back readings), so
// that a call too short for the clock comes to about 0 rather than to the
// clock's own cost.
#pragma once

#include "host/core/ProcessWatch.h"

#include <cstdint>

namespace wqhost {

class ProcessTimer : public ProcessWatch {
public:
    ProcessTimer();

    void entering() noexcept override;
    void left() noexcept override;

    void reset() noexcept {
        m_total = 0.0;
        m_calls = 0;
    }
    // Nanoseconds of the calls since the reset.
    double total() const noexcept { return m_total; }
    int calls() const noexcept { return m_calls; }
    // What one reading of the clock costs, as taken off each call.
    double clockOverhead() const noexcept { return m_overhead; }

private:
    double m_overhead = 0.0;
    uint64_t m_start = 0;
    double m_total = 0.0;
    int m_calls = 0;
};

} // namespace wqhost
