// How a command's reader takes its arguments: whole numbers exactly in the
// 32-bit range, numbers in their written form, pins by number or name.
#include "host/script/ScriptArguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace wqhost;

namespace {

struct IntText {
    const char *text;
    bool ok;
    int32_t value;
};

void PrintTo(const IntText &t, std::ostream *os) { *os << ::testing::PrintToString(t.text); }

class ScriptIntTest : public ::testing::TestWithParam<IntText> {};

TEST_P(ScriptIntTest, ReadsOnlyAWholeDecimalNumberInRange) {
    int32_t value = 12345;
    EXPECT_EQ(parseScriptInt(GetParam().text, value), GetParam().ok);
    EXPECT_EQ(value, GetParam().ok ? GetParam().value : 12345) << "changed on a refusal";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScriptIntTest,
    ::testing::Values(IntText{"0", true, 0}, IntText{"-0", true, 0}, IntText{"+7", true, 7},
                      IntText{"007", true, 7}, IntText{"2147483647", true, 2147483647},
                      IntText{"-2147483648", true, INT32_MIN}, IntText{"2147483648", false, 0},
                      IntText{"-2147483649", false, 0},
                      IntText{"99999999999999999999999", false, 0}, IntText{"", false, 0},
                      IntText{"+", false, 0}, IntText{"-", false, 0}, IntText{"+-1", false, 0},
                      IntText{"--1", false, 0}, IntText{"1.0", false, 0}, IntText{"0x10", false, 0},
                      IntText{" 1", false, 0}, IntText{"1 ", false, 0}, IntText{"1e3", false, 0}));

std::vector<ScriptToken> words(std::initializer_list<ScriptToken> tokens) { return tokens; }

TEST(ArgumentReaderTest, ANumberKeepsItsWrittenFormAndKind) {
    const std::vector<ScriptToken> line =
        words({{"x", false}, {"-3", false}, {"2.5", false}, {"\"1\"", true}, {"red", false}});
    const ArgumentReader r(line, 3);
    EXPECT_EQ(r.number(line[1], false).kind, ScriptValue::Kind::Int);
    EXPECT_EQ(r.number(line[1], false).real, -3.0f);
    EXPECT_EQ(r.number(line[2], false).kind, ScriptValue::Kind::Float);
    EXPECT_EQ(r.number(line[3], false).kind, ScriptValue::Kind::Text);
    EXPECT_EQ(r.number(line[4], true).kind, ScriptValue::Kind::Text);
    EXPECT_THROW(r.number(line[4], false), ScriptError);
}

TEST(ArgumentReaderTest, MistakesNameTheCommandAndTheLine) {
    const std::vector<ScriptToken> line = words({{"frob", false}, {"x", false}});
    const ArgumentReader r(line, 9);
    try {
        r.integer(1, "a count");
        FAIL();
    } catch (const ScriptError &e) {
        EXPECT_EQ(e.line(), 9);
        EXPECT_EQ(std::string(e.what()), "'frob' needs a count (a whole number from -2147483648 "
                                         "to 2147483647), not 'x'");
    }
    try {
        r.need(2, "a pin");
        FAIL();
    } catch (const ScriptError &e) {
        EXPECT_EQ(std::string(e.what()), "'frob' needs a pin");
    }
    EXPECT_THROW(r.done(1), ScriptError);
    EXPECT_NO_THROW(r.done(2));
}

} // namespace
