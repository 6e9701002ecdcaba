#include "tests/support/FaultTable.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <stdexcept>

namespace wqtest {

namespace {

const std::string kAnyRun = "…";

std::string field(const nlohmann::json &row, const char *name, const std::string &where) {
    if (!row.contains(name) || !row[name].is_string())
        throw std::runtime_error(where + ": no text \"" + name + "\"");
    return row[name].get<std::string>();
}

void oneOf(const std::string &value, std::initializer_list<const char *> known,
           const std::string &where) {
    if (std::find(known.begin(), known.end(), value) == known.end())
        throw std::runtime_error(where + ": '" + value + "' is not known");
}

} // namespace

bool FaultRow::usedFor(const std::string &use) const {
    return std::find(uses.begin(), uses.end(), use) != uses.end();
}

std::string FaultRow::target() const {
    return (module == "minimal" ? "wq_broken_" : "wq_authored_") + fault;
}

void PrintTo(const FaultRow &row, std::ostream *out) {
    *out << row.target() << " in " << row.check;
}

std::vector<FaultRow> readFaultTable(const std::string &path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + ": cannot be read");
    nlohmann::json table;
    try {
        table = nlohmann::json::parse(in);
    } catch (const nlohmann::json::exception &e) {
        throw std::runtime_error(path + ": " + e.what());
    }
    if (!table.contains("faults") || !table["faults"].is_array())
        throw std::runtime_error(path + ": no list \"faults\"");
    std::vector<FaultRow> rows;
    for (const nlohmann::json &entry : table["faults"]) {
        const std::string where = path + ": row " + std::to_string(rows.size());
        if (!entry.is_object())
            throw std::runtime_error(where + ": not an object");
        FaultRow row;
        row.module = field(entry, "module", where);
        oneOf(row.module, {"minimal", "authored"}, where);
        row.fault = field(entry, "fault", where);
        row.check = field(entry, "check", where);
        row.kind = field(entry, "kind", where);
        oneOf(row.kind, {"FAIL", "WARN"}, where);
        row.text = field(entry, "text", where);
        if (!entry.contains("uses") || !entry["uses"].is_array())
            throw std::runtime_error(where + ": no list \"uses\"");
        for (const nlohmann::json &use : entry["uses"]) {
            if (!use.is_string())
                throw std::runtime_error(where + ": a use that is not a text");
            row.uses.push_back(use.get<std::string>());
            oneOf(row.uses.back(), {"only", "whole", "alone"}, where);
        }
        if (entry.contains("timeout")) {
            if (!entry["timeout"].is_number() || entry["timeout"].get<double>() <= 0)
                throw std::runtime_error(where + ": the timeout is no number above 0");
            row.timeout = entry["timeout"].get<double>();
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<FaultRow> faultRowsFor(const std::string &use) {
    std::vector<FaultRow> rows;
    try {
        for (const FaultRow &row : readFaultTable(WQ_FAULT_TABLE))
            if (row.usedFor(use))
                rows.push_back(row);
    } catch (const std::runtime_error &) {
        return {};
    }
    return rows;
}

bool beginsAsPattern(const std::string &text, const std::string &pattern) {
    // The pieces between the '…' stand in the text in their order; the
    // first one at its start. The first place each can stand is the best
    // one: any later place leaves less text for the pieces after it.
    size_t at = 0;
    size_t piece = 0;
    bool first = true;
    while (true) {
        const size_t end = pattern.find(kAnyRun, piece);
        const std::string part =
            pattern.substr(piece, end == std::string::npos ? std::string::npos : end - piece);
        if (first) {
            if (text.compare(0, part.size(), part) != 0)
                return false;
            at = part.size();
            first = false;
        } else {
            const size_t found = text.find(part, at);
            if (found == std::string::npos)
                return false;
            at = found + part.size();
        }
        if (end == std::string::npos)
            return true;
        piece = end + kAnyRun.size();
    }
}

bool isReportOf(const std::string &report, const FaultRow &row) {
    const std::string start = row.kind + "  " + row.check + ": ";
    return report.compare(0, start.size(), start) == 0 &&
           beginsAsPattern(report.substr(start.size()), row.text);
}

} // namespace wqtest
