// The fault table the build and the tests share: the tests' own table reads
// and holds what the runs need, a malformed table is refused with the row
// named, and a report is matched against a row's text as the build's
// regular expression matches it.
#include "tests/support/FaultTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

using wqtest::FaultRow;

namespace {

TEST(FaultTableTest, TheTestsTableReadsWithRowsForEveryRun) {
    std::vector<FaultRow> rows;
    ASSERT_NO_THROW(rows = wqtest::readFaultTable(WQ_FAULT_TABLE));
    std::map<std::string, int> onlyRows;
    std::set<std::string> uses;
    for (const FaultRow &row : rows) {
        EXPECT_FALSE(row.fault.empty());
        EXPECT_FALSE(row.check.empty()) << row.fault;
        EXPECT_FALSE(row.uses.empty()) << row.fault << ": a row no run uses";
        uses.insert(row.uses.begin(), row.uses.end());
        if (row.usedFor("only"))
            ++onlyRows[row.fault];
    }
    EXPECT_EQ(uses, (std::set<std::string>{"only", "whole", "alone"}));
    // The build names its run of a single check after the fault alone.
    for (const auto &[fault, count] : onlyRows)
        EXPECT_EQ(count, 1) << fault;
    EXPECT_FALSE(wqtest::faultRowsFor("whole").empty());
    EXPECT_FALSE(wqtest::faultRowsFor("alone").empty());
}

TEST(FaultTableTest, ARowReadsWithItsTimeoutAndTarget) {
    const std::string path = std::string(WQ_TEST_OUTPUT_DIR) + "/fault_table_rows.json";
    std::ofstream(path) << R"({"faults": [
        {"module": "minimal", "fault": "hang", "check": "pin-changes", "kind": "FAIL",
         "text": "hung: …", "uses": ["whole"], "timeout": 1.5},
        {"module": "authored", "fault": "leak", "check": "leaks", "kind": "WARN",
         "text": "…a round", "uses": ["only", "alone"]}]})";
    const std::vector<FaultRow> rows = wqtest::readFaultTable(path);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].target(), "wq_broken_hang");
    EXPECT_EQ(rows[0].timeout, 1.5);
    EXPECT_TRUE(rows[0].usedFor("whole"));
    EXPECT_FALSE(rows[0].usedFor("only"));
    EXPECT_EQ(rows[1].target(), "wq_authored_leak");
    EXPECT_EQ(rows[1].kind, "WARN");
    EXPECT_EQ(rows[1].text, "…a round");
    EXPECT_FALSE(rows[1].timeout.has_value());
    EXPECT_TRUE(rows[1].usedFor("alone"));
    std::remove(path.c_str());
}

struct Malformed {
    const char *name;
    std::string table;
    const char *says; // a part of the refusal
};

TEST(FaultTableTest, AMalformedTableIsRefusedWithTheRowNamed) {
    // A row but for its uses.
    const std::string row = R"({"module": "minimal", "fault": "magic", "check": "audio-record", )"
                            R"("kind": "FAIL", "text": "…")";
    const Malformed cases[] = {
        {"not json", R"({"faults": [)", "parse error"},
        {"no list", R"({"rows": []})", "no list \"faults\""},
        {"row no object", R"({"faults": [1]})", "row 0: not an object"},
        {"no check",
         R"({"faults": [{"module": "minimal", "fault": "x", "kind": "FAIL", "text": "", )"
         R"("uses": ["whole"]}]})",
         "row 0: no text \"check\""},
        {"unknown module",
         R"({"faults": [{"module": "other", "fault": "x", "check": "c", "kind": "FAIL", )"
         R"("text": "", "uses": []}]})",
         "row 0: 'other' is not known"},
        {"unknown kind",
         R"({"faults": [{"module": "minimal", "fault": "x", "check": "c", "kind": "PASS", )"
         R"("text": "", "uses": []}]})",
         "row 0: 'PASS' is not known"},
        {"unknown use in the second row",
         "{\"faults\": [" + row + R"(, "uses": ["whole"]}, )" + row + R"(, "uses": ["most"]}]})",
         "row 1: 'most' is not known"},
        {"no uses", "{\"faults\": [" + row + "}]}", "row 0: no list \"uses\""},
        {"timeout not a number", "{\"faults\": [" + row + R"(, "uses": [], "timeout": "3"}]})",
         "row 0: the timeout is no number above 0"},
        {"timeout 0", "{\"faults\": [" + row + R"(, "uses": [], "timeout": 0}]})",
         "row 0: the timeout is no number above 0"},
    };
    const std::string path = std::string(WQ_TEST_OUTPUT_DIR) + "/fault_table_malformed.json";
    for (const Malformed &c : cases) {
        std::ofstream(path) << c.table;
        try {
            wqtest::readFaultTable(path);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const std::runtime_error &e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos)
                << c.name << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    std::remove(path.c_str());
    EXPECT_THROW(wqtest::readFaultTable(path), std::runtime_error); // no file at all
}

struct PatternCase {
    const char *text;
    const char *pattern;
    bool matches;
};

TEST(FaultTableTest, APatternBeginsTheTextWithAnyRunForEachEllipsis) {
    const PatternCase cases[] = {
        {"pin 1 (\"\") has an empty name", "pin 1 (\"\") has an empty name", true},
        {"pin 1 has an empty name: give it one", "pin 1 has an empty name", true}, // more after
        {"and pin 1 has an empty name", "pin 1 has an empty name", false},         // not at start
        {"and pin 1 has an empty name", "…pin 1 has an empty name", true},
        {"crashed (signal 11) in audio process call\n      the module writes past",
         "crashed … in audio process call…the module writes past", true},
        {"crashed in audio process call", "crashed … in audio process call", false},
        {"took 812 ms, more than the 100 ms", "took … ms, more than the 100 ms", true},
        {"took ms, more", "took …ms, more", true}, // a run may be empty
        {"b then a", "…a…b", false},               // the pieces in their order
        {"a then b", "…a…b", true},
        {"a b a b c", "…a…b c", true}, // a later place of a piece
        {"", "", true},
        {"", "…", true},
        {"", "x", false},
        {"x(y)*.+", "x(y)*.+", true}, // no character but '…' stands for others
        {"xay", "x.y", false},
    };
    for (const PatternCase &c : cases)
        EXPECT_EQ(wqtest::beginsAsPattern(c.text, c.pattern), c.matches)
            << '"' << c.text << "\" ~ \"" << c.pattern << '"';
}

TEST(FaultTableTest, AReportIsARowsWithItsKindAndCheckFirst) {
    FaultRow row;
    row.module = "authored";
    row.fault = "leak";
    row.check = "leaks";
    row.kind = "FAIL";
    row.text = "leak: the heap grew by … bytes";
    EXPECT_TRUE(wqtest::isReportOf("FAIL  leaks: leak: the heap grew by 96 bytes a round\n", row));
    EXPECT_FALSE(wqtest::isReportOf("WARN  leaks: leak: the heap grew by 96 bytes\n", row));
    EXPECT_FALSE(wqtest::isReportOf("FAIL  pin-changes: leak: the heap grew by 96 bytes\n", row));
    EXPECT_FALSE(wqtest::isReportOf("FAIL  leaks: the heap grew by 96 bytes\n", row));
    EXPECT_FALSE(wqtest::isReportOf("", row));
}

} // namespace
