// `wqhost cost` through the built tool: the report's shape for the examples
// and Quendor, the one-line answer of a module without an audio side, the
// budget's exit status, and the findings for modules with a deliberate
// fault. No test asserts a time: the faults are made large (some 8x and
// more against a limit of 2x) and only whether they are named is checked.
#include "tests/support/ToolRun.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <string>
#include <vector>

using nlohmann::json;
using wqtest::runTool;
using wqtest::ToolRun;

namespace {

const std::vector<double> kRates = {44100.0, 96000.0};
const std::vector<int> kBlockSizes = {1, 32, 64, 256, 1024, 4096};

json costJson(const std::string &library, const std::vector<std::string> &extra = {}) {
    std::vector<std::string> args = {"cost", library, "--json", "--repeats", "9"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ToolRun r = runTool(args);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0) << r.err;
    return json::parse(r.out);
}

std::vector<std::string> findingKinds(const json &doc) {
    std::vector<std::string> kinds;
    for (const json &f : doc.at("findings"))
        kinds.push_back(f.at("kind").get<std::string>());
    return kinds;
}

void expectSummary(const json &s, int count) {
    EXPECT_EQ(s.at("count").get<int>(), count);
    EXPECT_GE(s.at("medianNs").get<double>(), 0.0);
    EXPECT_GE(s.at("p99Ns").get<double>(), s.at("medianNs").get<double>());
    EXPECT_GE(s.at("maxNs").get<double>(), s.at("p99Ns").get<double>());
}

struct AudioModule {
    const char *name;
    const char *path;
    int audioInputs;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const AudioModule &c, std::ostream *out) { *out << c.name; }

class CostReportShape : public ::testing::TestWithParam<AudioModule> {};

TEST_P(CostReportShape, JsonHasEveryBlockSizeAtBothRatesTheComparisonsAndNoBudget) {
    const json doc = costJson(GetParam().path);
    ASSERT_TRUE(doc.at("audioSide").get<bool>());
    EXPECT_EQ(doc.at("repeats").get<int>(), 9);
    EXPECT_EQ(doc.at("audioInputs").get<int>(), GetParam().audioInputs);
    EXPECT_FALSE(doc.at("clock").at("name").get<std::string>().empty());

    const json &blocks = doc.at("blocks");
    ASSERT_EQ(blocks.size(), kRates.size() * kBlockSizes.size());
    size_t row = 0;
    for (double rate : kRates)
        for (int size : kBlockSizes) {
            const json &b = blocks[row++];
            SCOPED_TRACE(std::to_string(size) + " at " + std::to_string(rate));
            EXPECT_EQ(b.at("rate").get<double>(), rate);
            EXPECT_EQ(b.at("blockSize").get<int>(), size);
            EXPECT_DOUBLE_EQ(b.at("realTimeNs").get<double>(), size * 1e9 / rate);
            expectSummary(b, 9);
            EXPECT_NEAR(b.at("medianPercent").get<double>(),
                        100.0 * b.at("medianNs").get<double>() / b.at("realTimeNs").get<double>(),
                        1e-9);
            EXPECT_GE(b.at("firstNs").get<double>(), 0.0);
        }

    if (GetParam().audioInputs > 0) {
        const json &d = doc.at("denormals");
        EXPECT_EQ(d.at("blockSize").get<int>(), 4096);
        expectSummary(d.at("normal"), 9);
        expectSummary(d.at("denormal"), 9);
    } else {
        EXPECT_TRUE(doc.at("denormals").is_null());
    }
    const json &counts = doc.at("objects").at("counts");
    ASSERT_EQ(counts.size(), 3u);
    const int objects[] = {1, 2, 8};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(counts[i].at("objects").get<int>(), objects[i]);
        expectSummary(counts[i], 9 * objects[i]);
    }
    EXPECT_TRUE(doc.at("budget").is_null());
    // Correct modules: no object shares state with another. A busy machine
    // can make one run's figures look so; shared state shows in every run,
    // so a correct module passes at least one of three. (Whether denormal
    // input slows a module down depends on the processor too: on many,
    // plain arithmetic on denormal samples does, so no test here says that
    // a module passes that comparison.)
    const json findings = doc.at("findings");
    for (int run = 0; run < 3; ++run) {
        const std::vector<std::string> kinds =
            findingKinds(run == 0 ? doc : costJson(GetParam().path));
        if (std::count(kinds.begin(), kinds.end(), "objects") == 0)
            return;
    }
    ADD_FAILURE() << "three runs found objects sharing state, the first: " << findings.dump();
}

INSTANTIATE_TEST_SUITE_P(Modules, CostReportShape,
                         ::testing::Values(AudioModule{"GainExample", WQ_GAIN_EXAMPLE_LIBRARY, 1},
                                           AudioModule{"Doubler", WQ_DOUBLER_LIBRARY, 0},
                                           AudioModule{"Quendor", WQ_QUENDOR_LIBRARY, 0}),
                         [](const ::testing::TestParamInfo<AudioModule> &info) {
                             return info.param.name;
                         });

TEST(CostTool, TextReportHasARowForEveryBlockSizeAndRate) {
    const ToolRun r = runTool({"cost", WQ_GAIN_EXAMPLE_LIBRARY, "--repeats", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("thread CPU time of the process call per block"), std::string::npos);
    for (const char *rate : {"44.1 kHz", "96 kHz"})
        for (int size : kBlockSizes) {
            const std::string row =
                std::string("\n") + rate + std::string(9 - std::string(rate).size(), ' ') +
                std::string(6 - std::to_string(size).size() + 1, ' ') + std::to_string(size) + " ";
            EXPECT_NE(r.out.find(row), std::string::npos) << row << "\n" << r.out;
        }
    EXPECT_NE(r.out.find("denormal input (noise at 1e-39) against normal input"),
              std::string::npos);
    EXPECT_NE(r.out.find("  8 objects"), std::string::npos);
    // The findings close the report (which ones a run finds on a correct
    // module is the JSON test's matter: a busy machine can make one run's
    // figures look like shared state).
    EXPECT_TRUE(r.out.find("\nfindings: none\n") != std::string::npos ||
                r.out.find("\nfinding (") != std::string::npos)
        << r.out;
}

TEST(CostTool, ModuleWithoutAudioSideGetsOneLine) {
    for (const bool json : {false, true}) {
        std::vector<std::string> args = {"cost", WQ_GUI_ONLY_MODULE};
        if (json)
            args.push_back("--json");
        const ToolRun r = runTool(args);
        EXPECT_EQ(r.status, 0) << r.err;
        if (json) {
            const auto doc = nlohmann::json::parse(r.out);
            EXPECT_FALSE(doc.at("audioSide").get<bool>());
            EXPECT_NE(doc.at("answer").get<std::string>().find("no audio side"), std::string::npos);
        } else {
            EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
            EXPECT_NE(r.out.find("the module has no audio side"), std::string::npos) << r.out;
        }
    }
}

TEST(CostTool, BudgetFailsTheRunNamingEachBlockSizeAndRateOverIt) {
    // Every process call of the gain takes some time: no median fits in 0%.
    const ToolRun over =
        runTool({"cost", WQ_GAIN_EXAMPLE_LIBRARY, "--repeats", "5", "--budget", "0"});
    EXPECT_EQ(over.status, 1);
    EXPECT_NE(over.err.find("wqhost: over budget: blocks of 4096 at 44.1 kHz: the median takes "),
              std::string::npos)
        << over.err;
    EXPECT_NE(over.out.find("over budget: blocks of 4096 at 96 kHz"), std::string::npos);

    // Nothing takes a million times real time.
    const ToolRun within =
        runTool({"cost", WQ_GAIN_EXAMPLE_LIBRARY, "--repeats", "5", "--budget", "1000000"});
    EXPECT_EQ(within.status, 0) << within.err;
    EXPECT_TRUE(within.err.empty()) << within.err;
    EXPECT_NE(within.out.find("budget: every median within 1e+06% of real time"), std::string::npos)
        << within.out;

    const json doc = costJson(WQ_GAIN_EXAMPLE_LIBRARY, {"--budget", "1000000"});
    EXPECT_EQ(doc.at("budget").at("percent").get<double>(), 1e6);
    EXPECT_TRUE(doc.at("budget").at("exceeded").empty());
}

TEST(CostTool, BadArgumentsAreRefusedWithStatus2) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"cost"},
          {"cost", WQ_GAIN_EXAMPLE_LIBRARY, "--repeats", "0"},
          {"cost", WQ_GAIN_EXAMPLE_LIBRARY, "--budget", "-1"},
          {"cost", "no-such-library.so"}}) {
        const ToolRun r = runTool(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.errorLines().size(), 1u) << r.err;
    }
}

struct FaultyModule {
    const char *name;
    const char *path;
    const char *finding;
    const char *advice; // a part of what the finding tells the author to do
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const FaultyModule &c, std::ostream *out) { *out << c.name; }

class CostFindingNamed : public ::testing::TestWithParam<FaultyModule> {};

TEST_P(CostFindingNamed, InTheJsonAndTheText) {
    const json doc = costJson(GetParam().path);
    EXPECT_EQ(findingKinds(doc), std::vector<std::string>{GetParam().finding})
        << doc.at("findings").dump() << "\n"
        << doc.at("denormals").dump() << "\n"
        << doc.at("objects").dump();

    const ToolRun r = runTool({"cost", GetParam().path, "--repeats", "9"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("finding (") + GetParam().finding + "): "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(GetParam().advice), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CostFindingNamed,
    ::testing::Values(FaultyModule{"DenormalState", WQ_COST_DENORMAL_MODULE, "denormals",
                                   "flush values that decay towards 0"},
                      FaultyModule{"SharedStaticState", WQ_COST_SHARED_MODULE, "objects",
                                   "static state or caches that all objects share"}),
    [](const ::testing::TestParamInfo<FaultyModule> &info) { return info.param.name; });

} // namespace
