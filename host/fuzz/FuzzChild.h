// FuzzChild - the child's side of a fuzz session: the module loaded and
// started as `wqhost run` starts it, the session's lines carried out one by
// one by the session engine, and what went wrong told on the channel before
// anything else can happen. It runs in a child process with the guarded
// memory and heap that the checks of `validate` run with, so a crash or a
// hang ends the child and the parent names it (SessionTrial).
//
// Channel messages, besides the calls of the log and {"step":"line N"}:
//   {"module":{...}}   what the module declares (FuzzModule), once started
//   {"fuzz":"pass"}    every line carried out, nothing found
//   {"fuzz":"invalid","line":N,"text":"..."}   a line the engine refused
//   {"fuzz":"problem","line":N,"code":"...","text":"..."}
//   {"fuzz":"notFinite","line":N,"pin":"...","sample":N,"value":"nan"}
//   {"fuzz":"leak","line":N,"bytes":N}   the heap grew with each repeat
#pragma once

#include "host/fuzz/LeakMeasure.h"

#include <cstdio>
#include <string>

namespace wqhost {

// Runs `script` on the library at `libraryPath`, reporting on `channel`.
// Returns the child's exit status (0: a verdict was sent).
int runFuzzChild(const std::string &libraryPath, const std::string &script, std::FILE *channel);

} // namespace wqhost
