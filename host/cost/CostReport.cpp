#include "host/cost/CostReport.h"

#include "host/text/JsonText.h"
#include "host/text/NumberText.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace wqhost {

namespace {

using nlohmann::json;

std::string percentText(double percent) { return fixedText(percent, 2) + "%"; }

std::string ratioText(double ratio) { return fixedText(ratio, 2) + "x"; }

std::string padded(const std::string &text, size_t width, bool right = true) {
    if (text.size() >= width)
        return text;
    const std::string pad(width - text.size(), ' ');
    return right ? pad + text : text + pad;
}

std::string objectsText(int count) {
    return std::to_string(count) + (count == 1 ? " object" : " objects");
}

std::string whereText(double rate, uint32_t blockSize) {
    return "blocks of " + std::to_string(blockSize) + " at " + rateText(rate);
}

json summaryJson(const TimingSummary &s) {
    return {{"count", s.count}, {"medianNs", s.median}, {"p99Ns", s.p99}, {"maxNs", s.max}};
}

} // namespace

std::string durationText(double nanoseconds) {
    if (nanoseconds < 1000.0)
        return fixedText(nanoseconds, 0) + " ns";
    if (nanoseconds < 1e6)
        return fixedText(nanoseconds / 1e3, 2) + " us";
    return fixedText(nanoseconds / 1e6, 2) + " ms";
}

std::string formatCostReport(const CostFigures &f, const std::vector<CostFinding> &findings,
                             double budgetPercent) {
    std::string out = f.library;
    if (!f.module.empty())
        out += " (" + f.module + ")";
    if (!f.audioSide)
        return out + ": " + f.answer + "\n";
    out += ": thread CPU time of the process call per block (" + f.clock + ", " +
           std::to_string(f.repeats) + " blocks each, the clock's own " +
           durationText(f.clockOverhead) + " taken off)\n";
    if (!f.clockFine)
        out += "the clock here steps in scheduler ticks: short calls read 0 or a whole tick\n";
    if (f.audioInputs == 0)
        out += "the module has no audio inputs: its control pins keep the values it starts with\n";
    else
        out += "input: a sine of 440 Hz at 0.5 on every audio input; control pins at the values "
               "the module starts with\n";
    out += "\n";

    const size_t widths[] = {9, 6, 10, 10, 10, 10, 8, 8, 8, 10, 12};
    const char *heads[] = {"rate",    "block", "real time", "median", "p99",         "max",
                           "median%", "p99%",  "max%",      "first",  "first/steady"};
    std::string head;
    for (size_t i = 0; i < 11; ++i)
        head += padded(heads[i], widths[i], i != 0) + (i + 1 < 11 ? " " : "");
    out += head + "\n";
    for (const BlockCost &b : f.blocks) {
        const std::string cells[] = {
            rateText(b.rate),
            std::to_string(b.blockSize),
            durationText(blockRealTimeNanoseconds(b.blockSize, b.rate)),
            durationText(b.steady.median),
            durationText(b.steady.p99),
            durationText(b.steady.max),
            percentText(realTimePercent(b.steady.median, b.blockSize, b.rate)),
            percentText(realTimePercent(b.steady.p99, b.blockSize, b.rate)),
            percentText(realTimePercent(b.steady.max, b.blockSize, b.rate)),
            durationText(b.first),
            b.steady.median > 0.0 ? ratioText(timingRatio(b.first, b.steady.median)) : "-"};
        std::string line;
        for (size_t i = 0; i < 11; ++i)
            line += padded(cells[i], widths[i], i != 0) + (i + 1 < 11 ? " " : "");
        out += line + "\n";
    }
    out += "(percent: the share of the real time the block lasts at its rate; first: the first "
           "block after the object opened)\n\n";

    const DenormalCost &d = f.denormals;
    if (d.measured)
        out += "denormal input (noise at 1e-39) against normal input, " +
               whereText(d.rate, d.blockSize) + ": median " + durationText(d.denormal.median) +
               " against " + durationText(d.normal.median) + ", " +
               (d.normal.median > 0.0 ? ratioText(timingRatio(d.denormal.median, d.normal.median))
                                      : std::string("not resolved")) +
               "\n";
    else
        out += "denormal input: not compared (no audio inputs)\n";

    if (!f.objects.empty()) {
        out += "objects processing in turn, " + whereText(f.comparisonRate, f.comparisonBlockSize) +
               ": time per object (median) against one object\n";
        const double one = f.objects.front().perObject.median;
        for (const ObjectsCost &o : f.objects)
            out += "  " + padded(objectsText(o.objects), 10, false) + " " +
                   padded(durationText(o.perObject.median), 10) + "  " +
                   (one > 0.0 ? ratioText(timingRatio(o.perObject.median, one))
                              : std::string("not resolved")) +
                   "\n";
    }
    out += "\n";

    if (findings.empty())
        out += "findings: none\n";
    for (const CostFinding &finding : findings)
        out += "finding (" + finding.kind + "): " + finding.text + "\n";

    if (budgetPercent >= 0.0) {
        const std::vector<BudgetExcess> excesses = overBudget(f, budgetPercent);
        if (excesses.empty())
            out += "budget: every median within " + floatText(budgetPercent) + "% of real time\n";
        for (const BudgetExcess &e : excesses)
            out += "over budget: " + budgetExcessText(e, budgetPercent) + "\n";
    }
    return out;
}

std::string costReportJson(const CostFigures &f, const std::vector<CostFinding> &findings,
                           double budgetPercent) {
    json doc;
    doc["library"] = bytesToUtf8(f.library);
    doc["module"] = bytesToUtf8(f.module);
    doc["audioSide"] = f.audioSide;
    if (!f.audioSide) {
        doc["answer"] = f.answer;
        return doc.dump(2) + "\n";
    }
    doc["clock"] = {{"name", f.clock}, {"fine", f.clockFine}, {"overheadNs", f.clockOverhead}};
    doc["repeats"] = f.repeats;
    doc["audioInputs"] = f.audioInputs;

    json blocks = json::array();
    for (const BlockCost &b : f.blocks) {
        json row = summaryJson(b.steady);
        row["rate"] = b.rate;
        row["blockSize"] = b.blockSize;
        row["realTimeNs"] = blockRealTimeNanoseconds(b.blockSize, b.rate);
        row["medianPercent"] = realTimePercent(b.steady.median, b.blockSize, b.rate);
        row["p99Percent"] = realTimePercent(b.steady.p99, b.blockSize, b.rate);
        row["maxPercent"] = realTimePercent(b.steady.max, b.blockSize, b.rate);
        row["firstNs"] = b.first;
        row["firstRatio"] = timingRatio(b.first, b.steady.median);
        blocks.push_back(row);
    }
    doc["blocks"] = blocks;

    const DenormalCost &d = f.denormals;
    if (d.measured)
        doc["denormals"] = {{"rate", d.rate},
                            {"blockSize", d.blockSize},
                            {"normal", summaryJson(d.normal)},
                            {"denormal", summaryJson(d.denormal)},
                            {"ratio", timingRatio(d.denormal.median, d.normal.median)}};
    else
        doc["denormals"] = nullptr;

    json objects = json::array();
    const double one = f.objects.empty() ? 0.0 : f.objects.front().perObject.median;
    for (const ObjectsCost &o : f.objects) {
        json row = summaryJson(o.perObject);
        row["objects"] = o.objects;
        row["ratio"] = timingRatio(o.perObject.median, one);
        objects.push_back(row);
    }
    doc["objects"] = {
        {"rate", f.comparisonRate}, {"blockSize", f.comparisonBlockSize}, {"counts", objects}};

    json list = json::array();
    for (const CostFinding &finding : findings)
        list.push_back({{"kind", finding.kind}, {"ratio", finding.ratio}, {"text", finding.text}});
    doc["findings"] = list;

    if (budgetPercent >= 0.0) {
        json exceeded = json::array();
        for (const BudgetExcess &e : overBudget(f, budgetPercent))
            exceeded.push_back({{"rate", e.rate},
                                {"blockSize", e.blockSize},
                                {"medianPercent", e.percent},
                                {"text", budgetExcessText(e, budgetPercent)}});
        doc["budget"] = {{"percent", budgetPercent}, {"exceeded", exceeded}};
    } else {
        doc["budget"] = nullptr;
    }
    return doc.dump(2) + "\n";
}

} // namespace wqhost
