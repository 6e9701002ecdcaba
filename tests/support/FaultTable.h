// FaultTable - the faults the tests build into module libraries, and what
// `wqhost validate` must report of each: the rows of tests/modules/faults.json,
// which the build reads as well (tests/modules/fault_table.cmake) to make
// the libraries and the runs of a single check.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace wqtest {

struct FaultRow {
    std::string module; // "minimal" or "authored": the source the fault is built into
    std::string fault;
    std::string check; // the check that reports it
    std::string kind;  // "FAIL" or "WARN"
    std::string text;  // its report after "<kind>  <check>: ", '…' any run of characters
    std::vector<std::string> uses; // "only", "whole", "alone": which runs hold it to that
    std::optional<double> timeout; // --timeout of the runs; none: the default

    bool usedFor(const std::string &use) const;
    // The target of the library with the fault: wq_broken_<fault> for the
    // minimal module, wq_authored_<fault> for the authored one.
    std::string target() const;
};

// A row as a test's parameter: its fault and check.
void PrintTo(const FaultRow &row, std::ostream *out);

// Reads a fault table. Throws std::runtime_error, naming the file and the
// row, when it cannot be read or a row lacks a field or has one that is not
// known.
std::vector<FaultRow> readFaultTable(const std::string &path);

// The rows of the tests' table (WQ_FAULT_TABLE) that have `use`, in table
// order; none when the table cannot be read (FaultTableTest says why).
std::vector<FaultRow> faultRowsFor(const std::string &use);

// Whether `text` begins as `pattern` says, '…' in it standing for any run of
// characters (none too). What follows the pattern's end is not looked at.
bool beginsAsPattern(const std::string &text, const std::string &pattern);

// Whether `report` (the lines of one check) is the row's: "<kind>  <check>: "
// and then its text.
bool isReportOf(const std::string &report, const FaultRow &row);

} // namespace wqtest
