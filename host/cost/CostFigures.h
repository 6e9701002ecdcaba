// CostFigures - what one `wqhost cost` run measured of a module's process
// function: thread CPU time per block for each rate and block size, the
// first block, denormal against normal input, and several objects
// processing in turn. Times are in nanoseconds, the clock's own cost taken
// off.
#pragma once

#include "host/cost/TimingSummary.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

// Steady-state blocks of one size at one rate.
struct BlockCost {
    double rate = 0.0;
    uint32_t blockSize = 0;
    TimingSummary steady; // the blocks after the first ones
    double first = 0.0;   // the first block after the object opened
};

// The same blocks with normal input and with input made of denormal numbers.
struct DenormalCost {
    bool measured = false; // false for a module without audio inputs
    double rate = 0.0;
    uint32_t blockSize = 0;
    TimingSummary normal;
    TimingSummary denormal;
};

// `objects` objects of the module, each processing its block in turn: the
// time of one object's call.
struct ObjectsCost {
    int objects = 0;
    TimingSummary perObject;
};

struct CostFigures {
    std::string library;      // as named on the command line
    std::string module;       // the description's name
    bool audioSide = false;   // false: nothing was measured
    std::string answer;       // why not, in one line
    std::string clock;        // the clock's name (ThreadCpuClock)
    bool clockFine = true;    // false: the clock steps in scheduler ticks
    double clockOverhead = 0; // one reading of the clock, taken off every figure
    int repeats = 0;          // timed blocks per figure
    int audioInputs = 0;
    std::vector<BlockCost> blocks;
    DenormalCost denormals;
    double comparisonRate = 0.0; // where the objects were compared
    uint32_t comparisonBlockSize = 0;
    std::vector<ObjectsCost> objects; // ascending counts, the first one object
};

} // namespace wqhost
