// ChildProcessSystem - what the two halves of ChildProcess share, and what
// each system's half provides (ChildProcessPosix.cpp, ChildProcessWindows.cpp).
// For the files of ChildProcess only.
#pragma once

#include "host/process/ChildProcess.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace wqhost::childprocess {

using Clock = std::chrono::steady_clock;

// The most of a child's standard error that is kept.
constexpr size_t kMaxErrors = 256 * 1024;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Splits what arrives on the channel into lines.
class LineSplitter {
public:
    LineSplitter(const LineHandler &onLine, std::string &keep) : m_onLine(onLine), m_keep(keep) {}

    void add(const char *data, size_t size) {
        if (!m_onLine) {
            m_keep.append(data, size);
            return;
        }
        m_pending.append(data, size);
        size_t start = 0;
        for (size_t nl; (nl = m_pending.find('\n', start)) != std::string::npos; start = nl + 1) {
            std::string line = m_pending.substr(start, nl - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_onLine(line);
        }
        m_pending.erase(0, start);
    }

    void finish() {
        if (m_onLine && !m_pending.empty()) {
            m_onLine(m_pending);
            m_pending.clear();
        }
    }

private:
    const LineHandler &m_onLine;
    std::string &m_keep;
    std::string m_pending;
};

// Each system's half:
// Runs a program: argv is not empty; `outcome` is NotStarted on entry.
void run(const std::vector<std::string> &argv, const ChildOptions &options,
         const LineHandler &onLine, ChildOutcome &outcome);
// The name of a signal that ends a process ("SIGSEGV"), or null (always on
// Windows, which has none).
const char *signalName(int sig);

} // namespace wqhost::childprocess
