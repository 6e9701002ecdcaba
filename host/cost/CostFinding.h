// CostFinding - what a cost run names as a fault of the module, with what
// to do about it: a slowdown on denormal input, and a time per object that
// grows with the number of objects. Each comes from ratios of figures taken
// in one run, so the machine's speed cancels out.
#pragma once

#include "host/cost/CostFigures.h"

#include <string>
#include <vector>

namespace wqhost {

// A slowdown above these ratios is a finding.
constexpr double kDenormalSlowdownLimit = 2.0;
constexpr double kObjectGrowthLimit = 2.0;
// Differences smaller than this (nanoseconds per block) are the clock's and
// the machine's noise, whatever their ratio.
constexpr double kFindingNoiseFloor = 2000.0;

struct CostFinding {
    std::string kind; // "denormals", "objects"
    double ratio = 0.0;
    std::string text; // what was seen and what to do, one line
};

// The denormal slowdown: the denormal median against the normal one (0 when
// not measured or not resolved).
double denormalSlowdown(const DenormalCost &cost) noexcept;
// The time per object with the most objects against the time with one.
double objectGrowth(const std::vector<ObjectsCost> &objects) noexcept;

std::vector<CostFinding> findCostFaults(const CostFigures &figures);

} // namespace wqhost
