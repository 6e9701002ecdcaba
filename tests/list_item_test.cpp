// The item walk of the list pin's text and the decimal numbers that travel
// between pins, on their own.
#include "list_module/decimal_text.h"
#include "list_module/list_item.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Walk {
    const char *name;
    std::string list;
    int32_t number;
    bool found;
    std::string itemName;
};

class ListItemWalk : public ::testing::TestWithParam<Walk> {};

TEST_P(ListItemWalk, FindsTheNameOfTheNumberedItem) {
    const Walk &w = GetParam();
    std::string_view name = "untouched";
    EXPECT_EQ(findListItemName(w.list, w.number, name), w.found);
    EXPECT_EQ(std::string(name), w.found ? w.itemName : "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ListItemWalk,
    ::testing::Values(
        Walk{"NameBeforeEquals", "a=1,b=2", 1, true, "b"},
        Walk{"BareName", "red,green,blue", 1, true, "green"},
        Walk{"LastBareName", "red,green,blue", 2, true, "blue"},
        Walk{"PastTheEnd", "red,green,blue", 3, false, ""},
        Walk{"Negative", "red", -1, false, ""},
        Walk{"LargestNumber", "a,b", INT32_MAX, false, ""},
        Walk{"SpacesKept", " a , b ", 1, true, " b "},
        Walk{"OnlyFirstEqualsCounts", "k=v=w", 0, true, "k"},
        Walk{"EqualsFirstGivesEmptyName", "=5,x", 0, true, ""},
        Walk{"EqualsInLaterItemOnly", "ab,c=d", 0, true, "ab"},
        Walk{"EmptyItemBetweenCommas", "a,,c", 1, true, ""},
        Walk{"LeadingCommaEmptyFirst", ",a", 0, true, ""},
        Walk{"LeadingCommaSecond", ",a", 1, true, "a"},
        Walk{"TrailingCommaNoEmptyLast", "a,b,", 2, false, ""},
        Walk{"TwoTrailingCommasOneEmpty", "a,,", 1, true, ""},
        Walk{"TwoTrailingCommasNoThird", "a,,", 2, false, ""},
        Walk{"EmptyText", "", 0, false, ""},
        Walk{"LoneComma", ",", 0, true, ""},
        Walk{"EightBit", "\x80\xff=\xfe,\xc3\xa9", 0, true, "\x80\xff"}),
    [](const ::testing::TestParamInfo<Walk> &info) { return std::string(info.param.name); });

TEST(ListItemWalkBounds, ReadsNothingBeyondTheSelectedItem) {
    // The view ends inside the buffer; bytes after it must play no part.
    const char buffer[] = "a,bc,d";
    std::string_view name;
    ASSERT_TRUE(findListItemName(std::string_view(buffer, 4), 1, name));
    EXPECT_EQ(name, "bc"); // cut at the view's end, not at the ',' after it
    EXPECT_EQ(name.data(), buffer + 2);
    EXPECT_FALSE(findListItemName(std::string_view(buffer, 4), 2, name));
}

TEST(DecimalText, NullReadsAsZero) {
    EXPECT_EQ(readDecimalText(nullptr), 0);
}

TEST(DecimalText, FormatsLikePercentI) {
    const std::pair<int32_t, const char *> cases[] = {
        {0, "0"}, {7, "7"}, {-1, "-1"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"}};
    for (const auto &[value, text] : cases) {
        char out[kDecimalTextSize];
        formatDecimalText(value, out);
        EXPECT_STREQ(out, text);
        EXPECT_EQ(readDecimalText(out), value) << "round trip of " << text;
    }
}

} // namespace
