// CostBudget - `--budget PERCENT`: each steady-state median above that share
// of the real time its block lasts is an excess, named with its block size
// and rate.
#pragma once

#include "host/cost/CostFigures.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

struct BudgetExcess {
    double rate = 0.0;
    uint32_t blockSize = 0;
    double percent = 0.0; // the median's share of real time
};

std::vector<BudgetExcess> overBudget(const CostFigures &figures, double budgetPercent);

// "blocks of 64 at 44.1 kHz: the median takes 12.5% of real time, over the budget of 10%"
std::string budgetExcessText(const BudgetExcess &excess, double budgetPercent);

// "44.1 kHz", "96 kHz".
std::string rateText(double rate);

} // namespace wqhost
