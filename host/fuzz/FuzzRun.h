// FuzzRun - `wqhost fuzz`: random sessions (SessionGenerator), each run in a
// guarded child (SessionTrial), until one fails, the time is up or the
// number of sessions is reached; a failing session is shrunk (ScriptShrinker)
// to a short script that fails the same way and ends with the failing line,
// written as a .wqs file that `wqhost run` replays. Sessions are drawn from
// the seed alone and run `jobs` at a time; the failure reported is the one of
// the lowest session number in its batch, so a seed finds the same failure
// however many jobs run (unless the time runs out first).
//
// The replay of a written file runs it in the same guarded child and tells
// whether it still fails as its header says.
#pragma once

#include "host/fuzz/FuzzFailure.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace wqhost {

struct FuzzOptions {
    std::string program;         // the tool, started again for each session
    std::string libraryPath;     // as the loader takes it
    std::string libraryArgument; // as the user wrote it, for the lines that replay
    uint64_t seed = 1;
    double timeSeconds = 10.0;   // the whole run, shrinking included
    double sessionTimeout = 5.0; // one session: a hang past it is a failure
    unsigned jobs = 1;
    uint64_t runs = 0;           // sessions at most; 0: until the time is up
    std::string outFolder = "."; // where the shrunk script goes
};

// The header line of a written script that says how it fails.
inline constexpr char kFailsHeader[] = "# fails: ";

// Runs the fuzz run, printing to `out`; returns the exit status: 1 when a
// session failed (its script written), 0 when none did. Throws HostError
// when the module cannot be started or the script not written.
int runFuzz(const FuzzOptions &options, std::ostream &out);

// Replays the script at `path` in the guarded child; returns 1 when it
// fails (the same way as its header says, or otherwise), 0 when it no
// longer fails.
int replayFuzzScript(const FuzzOptions &options, const std::string &path, std::ostream &out);

} // namespace wqhost
