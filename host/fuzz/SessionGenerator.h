// SessionGenerator - random sessions of what a host may do with a module,
// as lines of the session language, so that every session replays with
// `wqhost run`: pin changes of every data type the module declares (texts
// that are empty, long, 8-bit, without or only of separators; integers at
// their extremes; floats tiny, huge and negative), open, close, recreate,
// blocks processed at random block sizes and rates, control changes at
// random samples, signals on sample inputs, echo on and off, and several
// objects of the module at once (`object N`: up to three, the lines that
// follow going to one of them).
//
// Each session starts with the module open (as `run` starts) and every line
// is one the engine can carry out in the state the earlier lines leave: a
// pin is set only while the object it goes to is open, `open` only after
// `close`.
#pragma once

#include "host/fuzz/FuzzModule.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

class SessionGenerator {
public:
    explicit SessionGenerator(FuzzModule module) : m_module(std::move(module)) {}

    // The session drawn from `seed`: between `minLines` and `maxLines` lines.
    std::vector<std::string> session(uint64_t seed, size_t minLines = 4,
                                     size_t maxLines = 40) const;

private:
    FuzzModule m_module;
};

} // namespace wqhost
