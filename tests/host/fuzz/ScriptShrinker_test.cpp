// The shrinker on synthetic failures: a predicate over the lines stands for
// a module, so each case knows the shortest script that still fails.
#include "host/fuzz/LineSimplifier.h"
#include "host/fuzz/ScriptShrinker.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using wqhost::ScriptShrinker;

// The line (from 1) on which the first line of `lines` that `bad` takes
// stands, or nothing.
std::optional<int> firstLine(const Lines &lines,
                             const std::function<bool(const std::string &)> &bad) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (bad(lines[i]))
            return static_cast<int>(i + 1);
    return std::nullopt;
}

bool has(const Lines &lines, const std::string &line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The length of the quoted text of a `set` line, or 0.
size_t textLength(const std::string &line) {
    const size_t open = line.find('"');
    const size_t close = line.rfind('"');
    return open == std::string::npos || close == open ? 0 : close - open - 1;
}

struct ShrinkCase {
    const char *name;
    Lines lines;
    int failingLine;
    ScriptShrinker::Fails fails;
    Lines shortest;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const ShrinkCase &c, std::ostream *out) { *out << c.name; }

std::ostream &operator<<(std::ostream &os, const ShrinkCase &c) { return os << c.name; }

Lines padded(Lines core, size_t noise) {
    Lines out;
    for (size_t i = 0; i < noise; ++i)
        out.push_back("echo " + std::string(i % 2 ? "on" : "off"));
    for (const std::string &l : core) {
        out.push_back(l);
        for (size_t i = 0; i < noise; ++i)
            out.push_back("process " + std::to_string(i + 1));
    }
    return out;
}

std::vector<ShrinkCase> shrinkCases() {
    return {
        {"OneBadLineAmongMany",
         padded({"set 0 text \"x\"", "close"}, 6),
         0,
         [](const Lines &l) {
             return firstLine(l, [](const std::string &s) { return s == "close"; });
         },
         {"close"}},
        {"LinesAfterTheFailingOneGo",
         {"echo off", "recreate", "process 1", "process 2"},
         2,
         [](const Lines &l) {
             return firstLine(l, [](const std::string &s) { return s == "recreate"; });
         },
         {"recreate"}},
        {"ASequenceInItsOrderStays",
         padded({"close", "open", "set 0 text \"\""}, 5),
         0,
         [](const Lines &l) -> std::optional<int> {
             // Fails on a set that comes after a close and a reopen.
             bool closed = false, reopened = false;
             for (size_t i = 0; i < l.size(); ++i) {
                 closed = closed || l[i] == "close";
                 reopened = reopened || (closed && l[i] == "open");
                 if (reopened && l[i].rfind("set 0", 0) == 0)
                     return static_cast<int>(i + 1);
             }
             return std::nullopt;
         },
         {"close", "open", "set 0 text \"\""}},
        {"ALongTextIsHalvedWhileItFails",
         {"echo on", "set 0 text \"" + std::string(100, 'a') + "\""},
         2,
         [](const Lines &l) {
             return firstLine(l, [](const std::string &s) { return textLength(s) > 10; });
         },
         {"set 0 text \"" + std::string(12, 'a') + "\""}},
        {"ANumberIsMadeSmallerButThePinStays",
         {"set 7 int 4096"},
         1,
         [](const Lines &l) {
             return firstLine(l, [](const std::string &s) {
                 return s.rfind("set 7 int ", 0) == 0 && std::stol(s.substr(10)) >= 100;
             });
         },
         {"set 7 int 128"}},
        {"ABlockSizeGoesDownToWhatStillFails",
         {"block 4095", "process 8"},
         2,
         [](const Lines &l) -> std::optional<int> {
             // Fails on a process after a block size above 37.
             long block = 64;
             for (size_t i = 0; i < l.size(); ++i) {
                 if (l[i].rfind("block ", 0) == 0)
                     block = std::stol(l[i].substr(6));
                 if (l[i].rfind("process ", 0) == 0 && std::stol(l[i].substr(8)) >= 1 && block > 37)
                     return static_cast<int>(i + 1);
             }
             return std::nullopt;
         },
         // The default block size fails too: the block line goes.
         {"process 1"}},
        {"AFailureWithNoLineLeavesNone",
         {"echo on", "echo off"},
         0,
         [](const Lines &) { return std::optional<int>(0); },
         {}},
    };
}

class ShrinkTest : public ::testing::TestWithParam<ShrinkCase> {};

TEST_P(ShrinkTest, FindsTheShortestScript) {
    const ShrinkCase &c = GetParam();
    ScriptShrinker shrinker(c.fails, wqhost::simplerLines);
    const ScriptShrinker::Result r = shrinker.shrink(c.lines, c.failingLine);
    EXPECT_EQ(r.lines, c.shortest);
    EXPECT_TRUE(r.finished);
    // What it hands back fails, and ends with the failing line.
    const std::optional<int> at = c.fails(r.lines);
    ASSERT_TRUE(at.has_value());
    if (*at > 0) {
        EXPECT_EQ(static_cast<size_t>(*at), r.lines.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShrinkTest, ::testing::ValuesIn(shrinkCases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ShrinkerTest, RunsEachCandidateOnce) {
    std::set<Lines> seen;
    size_t runs = 0;
    bool repeated = false;
    ScriptShrinker shrinker(
        [&](const Lines &l) {
            ++runs;
            repeated = repeated || !seen.insert(l).second;
            return firstLine(l, [](const std::string &s) { return s == "close"; });
        },
        wqhost::simplerLines);
    const ScriptShrinker::Result r = shrinker.shrink(padded({"close"}, 12), 0);
    EXPECT_FALSE(repeated);
    EXPECT_EQ(r.trials, runs);
    EXPECT_EQ(r.lines, Lines{"close"});
}

TEST(ShrinkerTest, StopsAtTheTimeLimitWithWhatStillFails) {
    size_t runs = 0;
    ScriptShrinker shrinker(
        [&](const Lines &l) {
            ++runs;
            return firstLine(l, [](const std::string &s) { return s == "close"; });
        },
        wqhost::simplerLines, [&] { return runs >= 3; });
    const Lines lines = padded({"close"}, 12);
    const ScriptShrinker::Result r = shrinker.shrink(lines, 0);
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(runs, 3u);
    EXPECT_TRUE(has(r.lines, "close"));
    EXPECT_LT(r.lines.size(), lines.size());
}

TEST(ShrinkerTest, KeepsTheScriptWhenNothingSmallerFails) {
    // Fails only with all three lines.
    const Lines lines = {"open", "set 0 text \"a\"", "close"};
    ScriptShrinker shrinker(
        [&](const Lines &l) -> std::optional<int> {
            if (l == lines)
                return 3;
            return std::nullopt;
        },
        wqhost::simplerLines);
    EXPECT_EQ(shrinker.shrink(lines, 3).lines, lines);
}

} // namespace
