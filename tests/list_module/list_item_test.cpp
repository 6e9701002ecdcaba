// The item walk of the list pin's text and the decimal numbers that travel
// between pins, on their own.
#include "list_module/decimal_text.h"
#include "list_module/list_item.h"
#include "list_module/sse2_paths.h"
#include "tests/support/SearchPaths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Walk {
    const char *name;
    std::string list;
    int32_t number;
    bool found;
    std::string itemName;
};

void PrintTo(const Walk &w, std::ostream *out) { *out << w.name; }

class ListItemWalk : public ::testing::TestWithParam<Walk> {};

using testsupport::onEachSearchPath;

TEST(SearchPaths, SSE2OnX86UnlessForcedOff) {
#if QUENDOR_SSE2_PATHS
    // Every machine the tests run on has SSE2, the 32-bit ones included.
    EXPECT_TRUE(quendor::sse2PathsEnabled());
#else
    EXPECT_FALSE(quendor::sse2PathsEnabled());
#endif
    {
        testsupport::PlainSearchPaths plain;
        EXPECT_FALSE(quendor::sse2PathsEnabled());
    }
    EXPECT_EQ(quendor::sse2PathsEnabled(), QUENDOR_SSE2_PATHS == 1);
}

TEST_P(ListItemWalk, FindsTheNameOfTheNumberedItem) {
    const Walk &w = GetParam();
    onEachSearchPath([&w] {
        std::string_view name = "untouched";
        EXPECT_EQ(findListItemName(w.list, w.number, name), w.found);
        EXPECT_EQ(std::string(name), w.found ? w.itemName : "untouched");
    });
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ListItemWalk,
    ::testing::Values(Walk{"NameBeforeEquals", "a=1,b=2", 1, true, "b"},
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
                      Walk{"EmptyText", "", 0, false, ""}, Walk{"LoneComma", ",", 0, true, ""},
                      Walk{"EightBit", "\x80\xff=\xfe,\xc3\xa9", 0, true, "\x80\xff"}),
    [](const ::testing::TestParamInfo<Walk> &info) { return std::string(info.param.name); });

TEST(ListItemWalkBounds, ReadsNothingBeyondTheSelectedItem) {
    onEachSearchPath([] {
        // The view ends inside the buffer; bytes after it must play no part.
        const char buffer[] = "a,bc,d";
        std::string_view name;
        ASSERT_TRUE(findListItemName(std::string_view(buffer, 4), 1, name));
        EXPECT_EQ(name, "bc"); // cut at the view's end, not at the ',' after it
        EXPECT_EQ(name.data(), buffer + 2);
        EXPECT_FALSE(findListItemName(std::string_view(buffer, 4), 2, name));
    });
}

// Lists long enough for the walk's block-wise search: every item number of
// lists whose items have the same length, from 1 byte to more than a block,
// compared with a plain split. Items are "n...n=v" with the '=' at a length
// of its own, so that names also end in every position of a block.
struct LongList {
    std::size_t itemLength; // bytes of an item, without its ','
    std::size_t nameLength; // bytes before the '=' (itemLength: no '=')
};

class ListItemLongLists : public ::testing::TestWithParam<LongList> {};

TEST_P(ListItemLongLists, AgreesWithAPlainSplitForEveryItem) {
    const LongList &l = GetParam();
    std::string list;
    std::vector<std::string> names;
    for (int i = 0; list.size() + l.itemLength + 1 <= 1023; ++i) {
        std::string item(l.itemLength, static_cast<char>('a' + i % 26));
        if (l.nameLength < l.itemLength)
            item[l.nameLength] = '=';
        if (!list.empty())
            list += ',';
        list += item;
        names.push_back(item.substr(0, l.nameLength));
    }
    // Bytes after the view that would change the answer if they were read.
    const std::string buffer = list + ",zz,zz";
    const std::string_view view(buffer.data(), list.size());

    const int32_t count = static_cast<int32_t>(names.size());
    onEachSearchPath([&] {
        for (int32_t number = 0; number <= count + 1; ++number) {
            std::string_view name = "untouched";
            const bool found = findListItemName(view, number, name);
            ASSERT_EQ(found, number < count) << "item " << number << " of " << count;
            if (found) {
                ASSERT_EQ(std::string(name), names[static_cast<std::size_t>(number)])
                    << "item " << number;
            }
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Lengths, ListItemLongLists,
                         ::testing::Values(LongList{1, 1}, LongList{2, 1}, LongList{3, 3},
                                           LongList{7, 4}, LongList{8, 4}, LongList{15, 15},
                                           LongList{16, 16}, LongList{17, 9}, LongList{31, 20},
                                           LongList{40, 35}, LongList{63, 62}, LongList{64, 64},
                                           LongList{65, 17}, LongList{100, 70}, LongList{300, 299}),
                         [](const ::testing::TestParamInfo<LongList> &info) {
                             return "Item" + std::to_string(info.param.itemLength) + "Name" +
                                    std::to_string(info.param.nameLength);
                         });

TEST(ListItemLongLists, EmptyItemsInARunOfCommas) {
    // 200 commas: 200 empty items (the end of the text ends no further item).
    const std::string list(200, ',');
    onEachSearchPath([&list] {
        std::string_view name;
        ASSERT_TRUE(findListItemName(list, 199, name));
        EXPECT_TRUE(name.empty());
        EXPECT_EQ(name.data(), list.data() + 199);
        EXPECT_FALSE(findListItemName(list, 200, name));
    });
}

TEST(DecimalText, NullReadsAsZero) { EXPECT_EQ(readDecimalText(nullptr), 0); }

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

TEST(DecimalText, FormatsEveryDigitCountAsPercentIDoes) {
    // Each side of every power of ten, both signs.
    for (int64_t power = 1; power <= 1000000000; power *= 10) {
        for (int64_t v : {power - 1, power, power + 1, -(power - 1), -power, -(power + 1)}) {
            const int32_t value = static_cast<int32_t>(v);
            char expected[32];
            std::snprintf(expected, sizeof expected, "%i", static_cast<int>(value));
            char out[kDecimalTextSize];
            formatDecimalText(value, out);
            EXPECT_STREQ(out, expected);
        }
    }
}

} // namespace
