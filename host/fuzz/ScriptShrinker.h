// ScriptShrinker - cuts a failing session down to a short one that still
// fails the same way, by delta debugging: the lines after the failing one
// go first, then the failing line is tried alone, then chunks of lines are
// dropped (halves, quarters, ... down to single lines), then the values of
// the lines left are made simpler (shorter texts, smaller numbers, smaller
// blocks), and the drops are tried again while anything changed.
//
// It knows nothing of modules: `fails` runs a candidate and says whether it
// fails the same way, and on which line. Each candidate is run at most once.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wqhost {

class ScriptShrinker {
public:
    // The line (from 1) the candidate failed on the same way, 0 when the
    // same failure came at no line (at the end); nothing when it did not
    // fail so.
    using Fails = std::function<std::optional<int>(const std::vector<std::string> &lines)>;
    // Simpler forms of one line, simplest first.
    using Simpler = std::function<std::vector<std::string>(const std::string &line)>;

    struct Result {
        std::vector<std::string> lines;
        size_t trials = 0;    // candidates run
        bool finished = true; // false when it stopped at the time limit
    };

    ScriptShrinker(Fails fails, Simpler simpler, std::function<bool()> outOfTime = nullptr)
        : m_fails(std::move(fails)), m_simpler(std::move(simpler)),
          m_outOfTime(std::move(outOfTime)) {}

    // `lines` fail, on `failingLine` (0: at the end).
    Result shrink(std::vector<std::string> lines, int failingLine);

private:
    // Runs a candidate (once); on the same failure takes it, cut after the
    // failing line, as `lines`.
    bool tryCandidate(std::vector<std::string> candidate, std::vector<std::string> &lines);
    bool dropChunks(std::vector<std::string> &lines);
    bool simplifyValues(std::vector<std::string> &lines);
    bool stopped();

    Fails m_fails;
    Simpler m_simpler;
    std::function<bool()> m_outOfTime;
    std::vector<std::pair<std::vector<std::string>, std::optional<int>>> m_tried;
    size_t m_trials = 0;
    bool m_stopped = false;
};

} // namespace wqhost
