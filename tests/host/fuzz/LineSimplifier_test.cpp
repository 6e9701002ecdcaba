// Simpler forms of a session line: texts emptied or halved, numbers made 0,
// 1 or half as large, a pin's number kept; simplest first.
#include "host/fuzz/LineSimplifier.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace {

struct SimplerCase {
    const char *name;
    std::string line;
    std::vector<std::string> simpler;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const SimplerCase &c, std::ostream *out) { *out << c.name; }

std::ostream &operator<<(std::ostream &os, const SimplerCase &c) { return os << c.name; }

class SimplerTest : public ::testing::TestWithParam<SimplerCase> {};

TEST_P(SimplerTest, GivesTheSimplerForms) {
    EXPECT_EQ(wqhost::simplerLines(GetParam().line), GetParam().simpler);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimplerTest,
    ::testing::ValuesIn(std::vector<SimplerCase>{
        {"TextEmptiedThenHalved", "set 0 text \"abcd\"", {"set 0 text \"\"", "set 0 text \"ab\""}},
        {"OneByteTextOnlyEmptied", "set 2 text \"x\"", {"set 2 text \"\""}},
        {"EmptyTextHasNone", "set 0 text \"\"", {}},
        {"EightBitTextKeepsItsEscapes",
         "set 0 text \"\\xe9\\xff\"",
         {"set 0 text \"\"", "set 0 text \"\\xe9\""}},
        {"IntegerTowardsZero", "set 3 int 100", {"set 3 int 0", "set 3 int 1", "set 3 int 50"}},
        {"NegativeIntegerTowardsZero",
         "set 3 int -2147483648",
         {"set 3 int 0", "set 3 int 1", "set 3 int -1073741824"}},
        {"OneOnlyToZero", "set 1 int 1", {"set 1 int 0"}},
        {"ZeroHasNone", "set 1 int 0", {}},
        {"FloatToZeroOneAndWhole",
         "set 2 float 123.5",
         {"set 2 float 0", "set 2 float 1", "set 2 float 123"}},
        {"PinNumberStays", "signal 4 constant 0.5", {"signal 4 constant 0", "signal 4 constant 1"}},
        {"BlockSize", "block 37", {"block 0", "block 1", "block 18"}},
        {"TimedChangeBothNumbers",
         "set 1 float 2 at 40",
         {"set 1 float 0 at 40", "set 1 float 1 at 40", "set 1 float 2 at 0", "set 1 float 2 at 1",
          "set 1 float 2 at 20"}},
        {"WordsWithoutNumbers", "echo on", {}},
        {"CommentOnly", "# nothing", {}},
        {"UnterminatedQuote", "set 0 text \"abc", {}},
    }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
