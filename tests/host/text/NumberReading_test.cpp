// Reading numbers out of texts: what each reader takes, what it refuses, and
// where a number too large for its type is told apart from one that fits.
#include "host/text/NumberReading.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

using namespace wqhost;

namespace {

constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();

struct WholeCase {
    std::string text;
    std::optional<uint64_t> want;
};

TEST(NumberReadingTest, ADecimalNumberIsDigitsOnlyAndFits64Bits) {
    const WholeCase cases[] = {
        {"0", 0},
        {"7", 7},
        {"007", 7},
        {"1234567890", 1234567890},
        {"18446744073709551615", kMax64},
        {"18446744073709551616", std::nullopt}, // one past the largest
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"12x", std::nullopt},
        {"0x10", std::nullopt},
        {"1.5", std::nullopt},
        {"\xd9\xa3", std::nullopt}, // a digit of another script
        {std::string("1\0"
                     "2",
                     3),
         std::nullopt},
    };
    for (const WholeCase &c : cases)
        EXPECT_EQ(decimalNumber(c.text), c.want) << '"' << c.text << '"';
}

struct LeadingCase {
    const char *text;
    std::optional<uint64_t> want;
    const char *rest; // what follows the number, or the text as it was
};

TEST(NumberReadingTest, ALeadingDecimalNumberMovesTheTextPastItsDigits) {
    const LeadingCase cases[] = {
        {"123 456 7\n", 123, " 456 7\n"},
        {" \t\n456 7", 456, " 7"},
        {"0", 0, ""},
        {"18446744073709551615x", kMax64, "x"},
        {"18446744073709551616 1", std::nullopt, "18446744073709551616 1"},
        {"", std::nullopt, ""},
        {"   ", std::nullopt, "   "},
        {"-5", std::nullopt, "-5"},
        {"+5", std::nullopt, "+5"},
        {"x1", std::nullopt, "x1"},
    };
    for (const LeadingCase &c : cases) {
        std::string_view text = c.text;
        EXPECT_EQ(leadingDecimalNumber(text), c.want) << '"' << c.text << '"';
        EXPECT_EQ(text, c.rest) << '"' << c.text << '"';
    }
}

TEST(NumberReadingTest, TwoLeadingNumbersInARow) {
    std::string_view text = "811 2500 9\n";
    EXPECT_EQ(leadingDecimalNumber(text), 811u);
    EXPECT_EQ(leadingDecimalNumber(text), 2500u);
    EXPECT_EQ(leadingDecimalNumber(text), 9u);
    EXPECT_EQ(leadingDecimalNumber(text), std::nullopt);
    EXPECT_EQ(text, "\n");
}

struct IntCase {
    std::string text;
    int32_t want;
};

TEST(NumberReadingTest, ASaturatedIntegerReadsAsAtoiWithoutOverflow) {
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const IntCase cases[] = {
        {"2", 2},
        {"-5", -5},
        {"+12", 12},
        {"007", 7},
        {"  7x", 7},
        {"\t\n\v\f\r 3", 3},
        {"", 0},
        {"abc", 0},
        {"- 3", 0},
        {"+-3", 0},
        {"--3", 0},
        {"-", 0},
        {"3-4", 3},
        {"2147483647", kMax},
        {"2147483648", kMax},
        {"-2147483647", -kMax},
        {"-2147483648", kMin},
        {"-2147483649", kMin},
        {"4294967296", kMax},
        {"18446744073709551616", kMax}, // past 64 bits as well
        {"99999999999999999999999", kMax},
        {"-99999999999999999999999", kMin},
        {"\xe9"
         "5",
         0},
        {std::string("5\0"
                     "7",
                     3),
         5},
        {std::string("\0"
                     "7",
                     2),
         0},
    };
    for (const IntCase &c : cases)
        EXPECT_EQ(saturatedInt32(c.text), c.want) << '"' << c.text << '"';
}

} // namespace
