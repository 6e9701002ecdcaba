// CostMeasurement - measures what a module's process function costs per
// block, in one run: the module's audio side played as a host plays it
// (Session with playAudio), every audio input fed a signal, control pins at
// the values the module starts with, and the thread CPU time of each
// process call taken (ProcessTimer). What it measures is CostFigures.
//
// The comparisons (denormal input, several objects) run at one block size
// and rate, the figures of each pair taken in turn, block for block, so that
// a change of the machine's load meets both alike.
#pragma once

#include "host/cost/CostFigures.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

struct CostOptions {
    int repeats = 200;    // timed blocks per figure
    int warmupBlocks = 8; // blocks after the first that are not timed
    std::vector<double> rates{44100.0, 96000.0};
    std::vector<uint32_t> blockSizes{1, 32, 64, 256, 1024, 4096};
    std::vector<int> objectCounts{1, 2, 8};
    double comparisonRate = 44100.0;
    uint32_t comparisonBlockSize = 4096;
};

// The signals of the comparison: a sine of 440 Hz at 0.5 (every other
// figure's input too), and noise at 1e-39, every sample a denormal number
// (or 0).
constexpr double kNormalSineHz = 440.0;
constexpr float kNormalAmplitude = 0.5f;
constexpr float kDenormalAmplitude = 1e-39f;

// Throws HostError when the library cannot be loaded. A module without an
// audio side, or whose audio side has no process function, gives figures
// with audioSide false and the reason in their `answer`.
CostFigures measureCost(const std::string &libraryPath, const std::string &libraryName,
                        const CostOptions &options);

} // namespace wqhost
