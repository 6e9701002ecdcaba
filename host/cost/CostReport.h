// CostReport - a cost run as text (a table per rate and block size, the
// comparisons, the findings) and as one JSON document. `budgetPercent` < 0:
// no budget was given.
#pragma once

#include "host/cost/CostBudget.h"
#include "host/cost/CostFigures.h"
#include "host/cost/CostFinding.h"

#include <string>
#include <vector>

namespace wqhost {

// "850 ns", "12.35 us", "1.20 ms".
std::string durationText(double nanoseconds);

std::string formatCostReport(const CostFigures &figures, const std::vector<CostFinding> &findings,
                             double budgetPercent);

std::string costReportJson(const CostFigures &figures, const std::vector<CostFinding> &findings,
                           double budgetPercent);

} // namespace wqhost
