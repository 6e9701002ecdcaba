// The findings and the budget of a cost run, from made-up figures.
#include "host/cost/CostBudget.h"
#include "host/cost/CostFinding.h"
#include "host/cost/CostReport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace {

using namespace wqhost;

TimingSummary median(double ns) {
    TimingSummary s;
    s.count = 10;
    s.median = ns;
    s.p99 = ns;
    s.max = ns;
    return s;
}

CostFigures figures(double normal, double denormal, std::vector<double> perObject) {
    CostFigures f;
    f.library = "libm.so";
    f.module = "M";
    f.audioSide = true;
    f.repeats = 10;
    f.audioInputs = 1;
    f.denormals.measured = true;
    f.denormals.rate = 44100;
    f.denormals.blockSize = 4096;
    f.denormals.normal = median(normal);
    f.denormals.denormal = median(denormal);
    const int counts[] = {1, 2, 8};
    for (size_t i = 0; i < perObject.size(); ++i)
        f.objects.push_back({counts[i], median(perObject[i])});
    return f;
}

std::vector<std::string> kinds(const std::vector<CostFinding> &findings) {
    std::vector<std::string> k;
    for (const CostFinding &f : findings)
        k.push_back(f.kind);
    return k;
}

struct FindingCase {
    const char *name;
    double normal, denormal;
    std::vector<double> perObject;
    std::vector<std::string> kinds;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const FindingCase &c, std::ostream *out) { *out << c.name; }

class FindingTable : public ::testing::TestWithParam<FindingCase> {};

TEST_P(FindingTable, NamesWhatIsBeyondItsLimit) {
    const FindingCase &c = GetParam();
    EXPECT_EQ(kinds(findCostFaults(figures(c.normal, c.denormal, c.perObject))), c.kinds);
}

INSTANTIATE_TEST_SUITE_P(
    Figures, FindingTable,
    ::testing::Values(
        FindingCase{"Flat", 10000, 11000, {10000, 10100, 10500}, {}},
        FindingCase{"DenormalsJustAtTheLimit", 10000, 20000, {10000, 10000, 10000}, {}},
        FindingCase{"DenormalsBeyond", 10000, 20001, {10000, 10000, 10000}, {"denormals"}},
        FindingCase{"DenormalsFiftyTimes", 10000, 500000, {10000, 10000, 10000}, {"denormals"}},
        // 10x, but 900 ns: below what the clock resolves on a busy machine
        FindingCase{"TinyRatiosAreNoise", 100, 1000, {100, 300, 1000}, {}},
        FindingCase{"ObjectsGrow", 10000, 10000, {10000, 20000, 80000}, {"objects"}},
        // the last count against the first, whatever lies between
        FindingCase{"ObjectsGrowOnlyAtTwo", 10000, 10000, {10000, 40000, 15000}, {}},
        FindingCase{"Both", 10000, 90000, {10000, 20000, 80000}, {"denormals", "objects"}},
        FindingCase{"OneObjectCountOnly", 10000, 10000, {10000}, {}},
        FindingCase{"UnresolvedNormal", 0, 90000, {0, 0, 90000}, {}}),
    [](const ::testing::TestParamInfo<FindingCase> &info) { return info.param.name; });

TEST(CostFindings, RatioAndAdviceInTheFinding) {
    const std::vector<CostFinding> found =
        findCostFaults(figures(10000, 250000, {10000, 20000, 80000}));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_DOUBLE_EQ(found[0].ratio, 25.0);
    EXPECT_NE(found[0].text.find("25.0x slower: flush values that decay towards 0"),
              std::string::npos);
    EXPECT_DOUBLE_EQ(found[1].ratio, 8.0);
    EXPECT_NE(found[1].text.find("8.0x from 1 to 8 objects"), std::string::npos);
}

TEST(CostFindings, NoDenormalFindingWhenNotMeasured) {
    CostFigures f = figures(10000, 500000, {10000, 10000, 10000});
    f.denormals.measured = false;
    EXPECT_TRUE(findCostFaults(f).empty());
    EXPECT_EQ(denormalSlowdown(f.denormals), 0.0);
}

TEST(CostBudget, EachMedianOverItsShareOfRealTimeIsNamed) {
    CostFigures f = figures(1, 1, {1});
    // 441 samples at 44.1 kHz last 10 ms, 960 at 96 kHz too.
    f.blocks.push_back({44100, 441, median(1e6), 0});  // 10%
    f.blocks.push_back({96000, 960, median(3e6), 0});  // 30%
    f.blocks.push_back({96000, 96, median(0.5e6), 0}); // 50% of 1 ms
    struct Case {
        double budget;
        std::vector<uint32_t> over;
    };
    for (const Case &c : {Case{5, {441, 960, 96}}, Case{10, {960, 96}}, Case{40, {96}},
                          Case{50, {}}, Case{100, {}}}) {
        std::vector<uint32_t> over;
        for (const BudgetExcess &e : overBudget(f, c.budget))
            over.push_back(e.blockSize);
        EXPECT_EQ(over, c.over) << c.budget;
    }
    const BudgetExcess e = overBudget(f, 40).front();
    EXPECT_EQ(
        budgetExcessText(e, 40),
        "blocks of 96 at 96 kHz: the median takes 50.00% of real time, over the budget of 40%");
    EXPECT_EQ(rateText(44100), "44.1 kHz");
    EXPECT_EQ(rateText(96000), "96 kHz");
}

TEST(CostReport, DurationsInTheirUnit) {
    struct Case {
        double ns;
        const char *text;
    };
    for (const Case &c :
         {Case{0, "0 ns"}, Case{999.4, "999 ns"}, Case{1000, "1.00 us"}, Case{12345, "12.35 us"},
          Case{1.2e6, "1.20 ms"}, Case{2.5e9, "2500.00 ms"}})
        EXPECT_EQ(durationText(c.ns), c.text) << c.ns;
}

TEST(CostReport, JsonCarriesFindingsAndBudget) {
    CostFigures f = figures(10000, 90000, {10000, 10000, 10000});
    f.blocks.push_back({44100, 441, median(1e6), 2e6});
    const auto doc = nlohmann::json::parse(costReportJson(f, findCostFaults(f), 5.0));
    EXPECT_EQ(doc.at("findings").at(0).at("kind"), "denormals");
    EXPECT_DOUBLE_EQ(doc.at("denormals").at("ratio").get<double>(), 9.0);
    EXPECT_DOUBLE_EQ(doc.at("blocks").at(0).at("firstRatio").get<double>(), 2.0);
    EXPECT_DOUBLE_EQ(doc.at("blocks").at(0).at("medianPercent").get<double>(), 10.0);
    EXPECT_EQ(doc.at("budget").at("exceeded").size(), 1u);

    CostFigures none;
    none.library = "libgui.so";
    none.answer = "the module has no audio side";
    const std::string text = formatCostReport(none, {}, -1.0);
    EXPECT_EQ(text, "libgui.so: the module has no audio side\n");
}

} // namespace
