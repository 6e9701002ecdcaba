#include "host/cost/CostFinding.h"

#include "host/text/NumberText.h"

namespace wqhost {

namespace {

bool beyond(double slower, double faster, double limit) noexcept {
    return faster > 0.0 && slower > faster * limit && slower - faster > kFindingNoiseFloor;
}

} // namespace

double denormalSlowdown(const DenormalCost &cost) noexcept {
    if (!cost.measured)
        return 0.0;
    return timingRatio(cost.denormal.median, cost.normal.median);
}

double objectGrowth(const std::vector<ObjectsCost> &objects) noexcept {
    if (objects.size() < 2)
        return 0.0;
    return timingRatio(objects.back().perObject.median, objects.front().perObject.median);
}

std::vector<CostFinding> findCostFaults(const CostFigures &figures) {
    std::vector<CostFinding> findings;
    const DenormalCost &d = figures.denormals;
    if (d.measured && beyond(d.denormal.median, d.normal.median, kDenormalSlowdownLimit)) {
        const double ratio = denormalSlowdown(d);
        findings.push_back({"denormals", ratio,
                            "denormal input makes the process call " + fixedText(ratio, 1) +
                                "x slower: flush values that decay towards 0 (state of filters, "
                                "envelopes, feedback) to 0 below a small threshold, or set "
                                "flush-to-zero while processing"});
    }
    if (figures.objects.size() >= 2 &&
        beyond(figures.objects.back().perObject.median, figures.objects.front().perObject.median,
               kObjectGrowthLimit)) {
        const double ratio = objectGrowth(figures.objects);
        findings.push_back({"objects", ratio,
                            "the time per object grows " + fixedText(ratio, 1) + "x from 1 to " +
                                std::to_string(figures.objects.back().objects) +
                                " objects: look for static state or caches that all objects share "
                                "and each call walks or fills; keep such state in the object"});
    }
    return findings;
}

} // namespace wqhost
