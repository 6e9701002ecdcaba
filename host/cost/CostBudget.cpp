#include "host/cost/CostBudget.h"

#include "host/text/NumberText.h"

namespace wqhost {

std::vector<BudgetExcess> overBudget(const CostFigures &figures, double budgetPercent) {
    std::vector<BudgetExcess> excesses;
    for (const BlockCost &b : figures.blocks) {
        const double share = realTimePercent(b.steady.median, b.blockSize, b.rate);
        if (share > budgetPercent)
            excesses.push_back({b.rate, b.blockSize, share});
    }
    return excesses;
}

std::string rateText(double rate) { return floatText(rate / 1000.0, 4) + " kHz"; }

std::string budgetExcessText(const BudgetExcess &excess, double budgetPercent) {
    return "blocks of " + std::to_string(excess.blockSize) + " at " + rateText(excess.rate) +
           ": the median takes " + fixedText(excess.percent, 2) +
           "% of real time, over the budget of " + floatText(budgetPercent) + "%";
}

} // namespace wqhost
