// SessionTrial - one fuzz session run in a child process (the tool started
// again with `fuzz LIB --in-child`, the session on its standard input), and
// what became of it: passed, failed (how: FuzzFailure), or refused by the
// engine. The child gets the guarded heap the checks of `validate` get
// (enableHeapCheckForChildren, called once by the caller) and the guarded
// memory of every session; a crash, hang or sanitizer report ends it and is
// named here from its channel and its error output.
#pragma once

#include "host/fuzz/FuzzFailure.h"
#include "host/fuzz/FuzzModule.h"

#include <string>

namespace wqhost {

struct TrialOptions {
    std::string program;     // the tool, started again
    std::string libraryPath; // as the loader takes it
    double timeoutSeconds = 5.0;
};

struct TrialResult {
    enum class End { Passed, Failed, Invalid };
    End end = End::Passed;
    FuzzFailure failure;     // Failed
    std::string invalid;     // Invalid: the engine's reason
    int invalidLine = 0;     // Invalid
    bool moduleSeen = false; // the child started the module and told what it declares
    FuzzModule module;       // when moduleSeen
    std::string errorOutput; // what the child printed to standard error
    double seconds = 0.0;
};

// Runs `script` (lines of the session language). Throws HostError when the
// child could not be started or could not load the library.
TrialResult runTrial(const TrialOptions &options, const std::string &script);

} // namespace wqhost
