// CheckChild - the child's side of a check of `wqhost validate`: one check
// run in this process, its verdict and everything it finds written to the
// check's channel as it happens (the lines ConformanceCheck.h and
// CheckContext.h describe). Validator starts the tool again with
// `--run-check NAME` for each check, and calls runCheckHere itself with
// --in-process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace wqhost {

struct ConformanceCheck;

// Runs one check in this process, writing its channel to `channel`.
// Returns 0: the verdict travels on the channel.
int runCheckHere(const ConformanceCheck &check, const std::string &libraryPath, uint64_t seed,
                 std::FILE *channel);

// The check child: runs the check `name` with its channel on standard
// output and ends the process as a program ends. Throws HostError for a
// check that does not exist or a channel that cannot be set up.
[[noreturn]] void runCheckChild(const std::string &name, const std::string &libraryPath,
                                uint64_t seed);

} // namespace wqhost
