#include "list_module/it_enum_list.h"
#include "tests/support/SearchPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr std::int32_t kMin = INT32_MIN;
constexpr std::int32_t kMax = INT32_MAX;

// (index, value, text) of one yielded item.
using Item = std::tuple<std::int32_t, std::int32_t, std::wstring>;
using Items = std::vector<Item>;

// Walks from First to done. Stops after `limit` items so that a walk that
// never ends fails instead of hanging.
Items walk(it_enum_list &it, std::size_t limit = 1000) {
    Items items;
    for (it.First(); !it.IsDone() && items.size() < limit; it.Next()) {
        const enum_entry &e = it.CurrentItem();
        items.emplace_back(e.index, e.value, e.text);
    }
    return items;
}

struct WalkCase {
    const char *name; // test name suffix
    std::wstring text;
    Items items;
    std::int32_t count;
};

std::ostream &operator<<(std::ostream &os, const WalkCase &c) { return os << c.name; }

std::string caseName(const testing::TestParamInfo<WalkCase> &info) { return info.param.name; }

class WalkTest : public testing::TestWithParam<WalkCase> {};

using testsupport::onEachSearchPath;

TEST_P(WalkTest, YieldsTheItems) {
    onEachSearchPath([] {
        it_enum_list it(GetParam().text);
        EXPECT_EQ(walk(it), GetParam().items);
    });
}

TEST_P(WalkTest, CountsFromTheTextAlone) {
    const it_enum_list it(GetParam().text);
    EXPECT_EQ(it.Count(), GetParam().count);
}

TEST_P(WalkTest, RestartingGivesTheSameItems) {
    it_enum_list it(GetParam().text);
    const Items first = walk(it);
    EXPECT_EQ(walk(it), first);
    // Restart from the middle of a walk, too.
    it.First();
    if (!it.IsDone())
        it.Next();
    EXPECT_EQ(walk(it), first);
}

TEST_P(WalkTest, StaysDoneOnceDone) {
    it_enum_list it(GetParam().text);
    walk(it);
    ASSERT_TRUE(it.IsDone());
    for (int i = 0; i < 3; ++i) {
        it.Next();
        EXPECT_TRUE(it.IsDone());
    }
}

TEST_P(WalkTest, FindsEveryItemByIndexAndValue) {
    it_enum_list it(GetParam().text);
    for (const Item &item : GetParam().items) {
        ASSERT_TRUE(it.FindIndex(std::get<0>(item)));
        EXPECT_EQ(it.CurrentItem().value, std::get<1>(item));
        EXPECT_EQ(it.CurrentItem().text, std::get<2>(item));
        ASSERT_TRUE(it.FindValue(std::get<1>(item)));
        EXPECT_LE(it.CurrentItem().index, std::get<0>(item)); // the first with that value
    }
    EXPECT_FALSE(it.FindIndex(static_cast<std::int32_t>(GetParam().items.size())));
    EXPECT_TRUE(it.IsDone());
}

// List texts.
INSTANTIATE_TEST_SUITE_P(
    ListText, WalkTest,
    testing::Values(
        WalkCase{"NamedValues", L"a=1,b=2", {{0, 1, L"a"}, {1, 2, L"b"}}, 2},
        WalkCase{"ImplicitValues", L"x,y,z", {{0, 0, L"x"}, {1, 1, L"y"}, {2, 2, L"z"}}, 3},
        WalkCase{"MixedValues",
                 L"a=5,b,c=-1,d",
                 {{0, 5, L"a"}, {1, 6, L"b"}, {2, -1, L"c"}, {3, 0, L"d"}},
                 4},
        WalkCase{"EmptyMiddleItem", L"a,,b", {{0, 0, L"a"}, {1, 1, L""}, {2, 2, L"b"}}, 3},
        WalkCase{"TrailingComma", L"a,b,", {{0, 0, L"a"}, {1, 1, L"b"}}, 3},
        WalkCase{"LeadingComma", L",a", {{0, 0, L""}, {1, 1, L"a"}}, 1},
        WalkCase{"EmptyText", L"", {}, 1}, WalkCase{"CommaOnly", L",", {{0, 0, L""}}, 1},
        WalkCase{"EqualsFirstIsName", L"=5", {{0, 0, L"=5"}}, 1},
        WalkCase{"SecondEqualsInValue", L"a=b=3", {{0, 0, L"a"}}, 1},
        WalkCase{"DigitsThenLetters", L"a=12abc,b", {{0, 12, L"a"}, {1, 13, L"b"}}, 2},
        WalkCase{"ValueSaturatesHigh", L"a=99999999999", {{0, kMax, L"a"}}, 1},
        WalkCase{"RangeIsCaseSensitive", L"Range 1,3", {{0, 0, L"Range 1"}, {1, 1, L"3"}}, 2},
        // Names lose their spaces; the value is read past its leading space.
        WalkCase{"SpacesTrimmed", L" a = 3 , b ", {{0, 3, L"a"}, {1, 4, L"b"}}, 2},
        WalkCase{"TabsKept", L"\ta\t,b\t", {{0, 0, L"\ta\t"}, {1, 1, L"b\t"}}, 2},
        WalkCase{"SpacesOnlyNameIsEmpty", L"   ,b", {{0, 0, L""}, {1, 1, L"b"}}, 2},
        // '=' is found before trimming: a space before it makes it a separator.
        WalkCase{"SpaceBeforeEquals", L" =5,b", {{0, 5, L""}, {1, 6, L"b"}}, 2},
        WalkCase{"EmptyValueReadsZero", L"a=,b", {{0, 0, L"a"}, {1, 1, L"b"}}, 2},
        WalkCase{
            "ValueSaturatesLow", L"a=-99999999999,b", {{0, kMin, L"a"}, {1, kMin + 1, L"b"}}, 2},
        WalkCase{"ImplicitValueWrapsAfterMax",
                 L"a=2147483647,b,c",
                 {{0, kMax, L"a"}, {1, kMin, L"b"}, {2, kMin + 1, L"c"}},
                 3},
        WalkCase{"ValuesRepeatAndGoDown",
                 L"a=3,b=3,c=1,d",
                 {{0, 3, L"a"}, {1, 3, L"b"}, {2, 1, L"c"}, {3, 2, L"d"}},
                 4},
        WalkCase{
            "NonAsciiName", L"\u00e9t\u00e9=2,b", {{0, 2, L"\u00e9t\u00e9"}, {1, 3, L"b"}}, 2}),
    caseName);

// Range texts.
INSTANTIATE_TEST_SUITE_P(
    RangeText, WalkTest,
    testing::Values(
        WalkCase{"Ascending", L"range 1,3", {{0, 1, L"1"}, {1, 2, L"2"}, {2, 3, L"3"}}, 3},
        WalkCase{"Negative", L"range -2,0", {{0, -2, L"-2"}, {1, -1, L"-1"}, {2, 0, L"0"}}, 3},
        WalkCase{"SingleValue", L"range 4,4", {{0, 4, L"4"}}, 1},
        WalkCase{"LastBelowFirst", L"range 5,1", {}, 5},
        WalkCase{"SixthCharacterSkipped", L"range-2,2", {{0, 2, L"2"}}, 1},
        WalkCase{"NonNumbersReadZero", L"ranger,a=1", {{0, 0, L"0"}}, 1},
        WalkCase{"MissingLastValue", L"range 1,", {}, 2},
        WalkCase{"SpacesSkippedByConversion",
                 L"range  1, 10",
                 {{0, 1, L"1"},
                  {1, 2, L"2"},
                  {2, 3, L"3"},
                  {3, 4, L"4"},
                  {4, 5, L"5"},
                  {5, 6, L"6"},
                  {6, 7, L"7"},
                  {7, 8, L"8"},
                  {8, 9, L"9"},
                  {9, 10, L"10"}},
                 10},
        WalkCase{"TrailingTextIgnored", L"range 1,2xyz,9", {{0, 1, L"1"}, {1, 2, L"2"}}, 2},
        WalkCase{
            "EndsAtMaxInt",
            L"range 2147483645,2147483647",
            {{0, kMax - 2, L"2147483645"}, {1, kMax - 1, L"2147483646"}, {2, kMax, L"2147483647"}},
            3},
        WalkCase{"StartsAtMinInt",
                 L"range -2147483648,-2147483646",
                 {{0, kMin, L"-2147483648"},
                  {1, kMin + 1, L"-2147483647"},
                  {2, kMin + 2, L"-2147483646"}},
                 3},
        WalkCase{"BoundsSaturate", L"range 99999999999,2147483647", {{0, kMax, L"2147483647"}}, 1},
        WalkCase{"WideReversedBoundsSaturateCount", L"range 2147483647,-2147483648", {}, kMax},
        // Malformed range texts are empty ranges.
        WalkCase{"MalformedPrefixOnly", L"range", {}, 0},
        WalkCase{"MalformedSeparatorOnly", L"range ", {}, 0},
        WalkCase{"MalformedNoComma", L"range 5", {}, 0},
        WalkCase{"MalformedLetterAfter", L"rangeX", {}, 0},
        // The ',' must come after the skipped sixth character.
        WalkCase{"MalformedCommaIsSixth", L"range,5", {}, 0}),
    caseName);

// Items much longer than usual: the search for ',' and '=' changes method
// past a few dozen characters and must find the same separators.
std::wstring repeated(wchar_t c, std::size_t n) { return std::wstring(n, c); }

INSTANTIATE_TEST_SUITE_P(
    LongItems, WalkTest,
    testing::Values(WalkCase{"LongName",
                             repeated(L'x', 200) + L",b",
                             {{0, 0, repeated(L'x', 200)}, {1, 1, L"b"}},
                             2},
                    WalkCase{"LongNameAtTheEnd",
                             L"a," + repeated(L'y', 150),
                             {{0, 0, L"a"}, {1, 1, repeated(L'y', 150)}},
                             2},
                    WalkCase{"EqualsFarIn",
                             repeated(L'x', 100) + L"=7,b",
                             {{0, 7, repeated(L'x', 100)}, {1, 8, L"b"}},
                             2},
                    WalkCase{"EqualsNearCommaFar",
                             L"a=" + repeated(L'1', 3) + repeated(L'z', 120) + L",b",
                             {{0, 111, L"a"}, {1, 112, L"b"}},
                             2},
                    WalkCase{"LongValueSaturates",
                             L"a=" + repeated(L'9', 100) + L",b",
                             {{0, kMax, L"a"}, {1, kMin, L"b"}},
                             2},
                    WalkCase{"LongValueOfZeros",
                             L"a=" + repeated(L'0', 100) + L"42,b",
                             {{0, 42, L"a"}, {1, 43, L"b"}},
                             2},
                    WalkCase{"LongSpacedName",
                             repeated(L' ', 70) + L"n" + repeated(L' ', 70) + L"=1",
                             {{0, 1, L"n"}},
                             1},
                    WalkCase{"EqualsFirstThenMoreEquals",
                             L"=a=5," + repeated(L'=', 80),
                             {{0, 0, L"=a=5"}, {1, 1, repeated(L'=', 80)}},
                             2},
                    WalkCase{"ManyShortItems",
                             L"a,b,c,d,e,f,g,h,i,j",
                             {{0, 0, L"a"},
                              {1, 1, L"b"},
                              {2, 2, L"c"},
                              {3, 3, L"d"},
                              {4, 4, L"e"},
                              {5, 5, L"f"},
                              {6, 6, L"g"},
                              {7, 7, L"h"},
                              {8, 8, L"i"},
                              {9, 9, L"j"}},
                             10}),
    caseName);

// A reference walk written straight from the rules of a list text, with the
// standard library's searching and conversion, to compare the iterator with
// on many generated texts.
std::int32_t referenceNumber(const std::wstring &text) {
    const long n = std::wcstol(text.c_str(), nullptr, 10);
    return n > kMax ? kMax : n < kMin ? kMin : static_cast<std::int32_t>(n);
}

Items referenceWalk(const std::wstring &text) {
    Items items;
    std::size_t start = 0;
    std::int32_t value = -1;
    for (std::int32_t index = 0; start < text.size(); ++index) {
        value = value == kMax ? kMin : value + 1;
        std::size_t f = text.find(L',', start);
        if (f == std::wstring::npos)
            f = text.size();
        std::wstring item = text.substr(start, f - start);
        const std::size_t h = item.find(L'=');
        if (h != std::wstring::npos && h >= 1) {
            value = referenceNumber(item.substr(h + 1));
            item.resize(h);
        }
        start = f + 1;
        const std::size_t first = item.find_first_not_of(L' ');
        item = first == std::wstring::npos
                   ? std::wstring()
                   : item.substr(first, item.find_last_not_of(L' ') - first + 1);
        items.emplace_back(index, value, item);
    }
    return items;
}

TEST(EnumListWalk, AgreesWithAReferenceWalkOnGeneratedTexts) {
    std::mt19937 random(20240611);
    const std::wstring alphabet = L"ab =,,,=1234567890- +\tx";
    for (int round = 0; round < 3000; ++round) {
        // Mostly short texts, some with long runs, so that items of every
        // length up to a few hundred characters occur.
        const std::size_t length = random() % (round % 10 == 0 ? 400 : 40);
        std::wstring text;
        while (text.size() < length) {
            const wchar_t c = alphabet[random() % alphabet.size()];
            text.append(random() % 8 == 0 ? random() % 90 + 1 : 1, c);
        }
        text.resize(length);
        if (text.compare(0, 5, L"range") == 0)
            continue;
        it_enum_list it(text);
        const Items expected = referenceWalk(text);
        onEachSearchPath([&] {
            ASSERT_EQ(walk(it, 100000), expected) << "text of " << text.size() << " characters";
        });
        if (HasFatalFailure())
            return;
        const std::int32_t commasAfterFirst =
            text.size() < 2
                ? 0
                : static_cast<std::int32_t>(std::count(text.begin() + 1, text.end(), L','));
        ASSERT_EQ(it.Count(), 1 + commasAfterFirst);
    }
}

TEST(EnumListWalk, RangesAgreeWithTheirBounds) {
    std::mt19937 random(7);
    const std::int32_t anchors[] = {kMin, -1000, -1, 0, 1, 1000, kMax - 20};
    for (int round = 0; round < 500; ++round) {
        const std::int32_t first = anchors[random() % 7] + static_cast<std::int32_t>(random() % 20);
        const std::int64_t wanted =
            std::int64_t{first} + static_cast<std::int64_t>(random() % 21) - 10;
        const std::int32_t last =
            static_cast<std::int32_t>(std::clamp<std::int64_t>(wanted, kMin, kMax));
        it_enum_list it(L"range " + std::to_wstring(first) + L"," + std::to_wstring(last));
        Items expected;
        for (std::int64_t v = first; v <= last; ++v)
            expected.emplace_back(static_cast<std::int32_t>(v - first),
                                  static_cast<std::int32_t>(v), std::to_wstring(v));
        ASSERT_EQ(walk(it), expected) << first << " to " << last;
        ASSERT_EQ(it.Count(),
                  static_cast<std::int32_t>(std::llabs(static_cast<long long>(last) - first) + 1));
    }
}

TEST(EnumListCount, WideRangesSaturate) {
    EXPECT_EQ(it_enum_list(L"range -2147483648,2147483647").Count(), kMax);
    EXPECT_EQ(it_enum_list(L"range 0,2147483647").Count(), kMax);
    EXPECT_EQ(it_enum_list(L"range -1,2147483646").Count(), kMax);
    EXPECT_EQ(it_enum_list(L"range 1,2147483647").Count(), kMax);
    EXPECT_EQ(it_enum_list(L"range -2147483647,-1").Count(), kMax);
    EXPECT_EQ(it_enum_list(L"range -2147483648,-1").Count(), kMax);
}

TEST(EnumListCount, DoesNotMoveTheIterator) {
    it_enum_list it(L"a,b,c");
    it.First();
    it.Next();
    EXPECT_EQ(it.Count(), 3);
    EXPECT_EQ(it.CurrentItem().index, 1);
    EXPECT_EQ(it.CurrentItem().text, L"b");
}

TEST(EnumListWalk, WholeIntRangeStartsAtMinWithoutOverflow) {
    it_enum_list it(L"range -2147483648,2147483647");
    it.First();
    ASSERT_FALSE(it.IsDone());
    EXPECT_EQ(it.CurrentItem().index, 0);
    EXPECT_EQ(it.CurrentItem().value, kMin);
    EXPECT_EQ(it.CurrentItem().text, L"-2147483648");
    it.Next();
    EXPECT_EQ(it.CurrentItem().value, kMin + 1);
}

TEST(EnumListWalk, NotPositionedReadsAsDone) {
    it_enum_list it(L"a,b");
    EXPECT_TRUE(it.IsDone());
    it.Next();
    EXPECT_TRUE(it.IsDone());
}

TEST(EnumListWalk, LongListYieldsEveryItemInOrder) {
    constexpr std::int32_t kItems = 100000;
    std::wstring text;
    for (std::int32_t i = 0; i < kItems; ++i)
        text += L"n" + std::to_wstring(i) + (i % 7 == 0 ? L"=" + std::to_wstring(i) : L"") + L",";
    it_enum_list it(text);
    onEachSearchPath([&] {
        std::int32_t expected = 0;
        for (it.First(); !it.IsDone(); it.Next(), ++expected) {
            ASSERT_EQ(it.CurrentItem().index, expected);
            ASSERT_EQ(it.CurrentItem().value, expected);
            ASSERT_EQ(it.CurrentItem().text, L"n" + std::to_wstring(expected));
        }
        EXPECT_EQ(expected, kItems);
    });
    EXPECT_EQ(it.Count(), kItems + 1); // the trailing ',' counts
}

TEST(EnumListFind, ValueStopsAtTheFirstOfRepeatedValues) {
    it_enum_list it(L"a=1,b=2,c=1,d=2");
    ASSERT_TRUE(it.FindValue(2));
    EXPECT_EQ(it.CurrentItem().index, 1);
    EXPECT_EQ(it.CurrentItem().text, L"b");
    ASSERT_TRUE(it.FindValue(1));
    EXPECT_EQ(it.CurrentItem().index, 0);
}

TEST(EnumListFind, IndexMinusOneIsNotFound) {
    it_enum_list it(L"a,b");
    EXPECT_FALSE(it.FindIndex(-1));
    EXPECT_TRUE(it.IsDone());
}

TEST(EnumListFind, IndexZeroIsTheFirstItem) {
    it_enum_list it(L"a=4,b");
    ASSERT_TRUE(it.FindIndex(0));
    EXPECT_EQ(it.CurrentItem().value, 4);
    EXPECT_EQ(it.CurrentItem().text, L"a");
    // The walk goes on from the found item.
    it.Next();
    EXPECT_EQ(it.CurrentItem().text, L"b");
}

TEST(EnumListFind, MissingValueLeavesTheIteratorDone) {
    it_enum_list it(L"range 1,5");
    EXPECT_FALSE(it.FindValue(6));
    EXPECT_TRUE(it.IsDone());
    EXPECT_FALSE(it.FindValue(0));
    ASSERT_TRUE(it.FindValue(5));
    EXPECT_EQ(it.CurrentItem().index, 4);
    EXPECT_EQ(it.CurrentItem().text, L"5");
}

TEST(EnumListFind, EmptyTextFindsNothing) {
    it_enum_list it(L"");
    EXPECT_FALSE(it.FindIndex(0));
    EXPECT_FALSE(it.FindValue(0));
}

struct ValueCase {
    const wchar_t *text;
    std::int32_t value;
    bool valid;
    std::int32_t forced;
};

std::ostream &operator<<(std::ostream &os, const ValueCase &c) {
    return os << '"' << std::string(c.text, c.text + std::wcslen(c.text)) << "\" " << c.value;
}

class ValidValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(ValidValueTest, ChecksAndForcesTheValue) {
    const ValueCase &c = GetParam();
    EXPECT_EQ(it_enum_list::IsValidValue(c.text, c.value), c.valid);
    EXPECT_EQ(it_enum_list::ForceValidValue(c.text, c.value), c.forced);
}

INSTANTIATE_TEST_SUITE_P(
    EnumList, ValidValueTest,
    testing::Values(ValueCase{L"a=1,b=2", 1, true, 1}, ValueCase{L"a=1,b=2", 2, true, 2},
                    ValueCase{L"a=1,b=2", 3, false, 1}, ValueCase{L"a=1,b=2", 7, false, 1},
                    ValueCase{L"a=1,b=2", 0, false, 1}, ValueCase{L"", 0, false, 0},
                    ValueCase{L"", 5, false, 0}, ValueCase{L",", 0, true, 0},
                    ValueCase{L",", 3, false, 0}, ValueCase{L"a=-4,b", -3, true, -3},
                    ValueCase{L"a=-4,b", 9, false, -4}, ValueCase{L"range 3,5", 4, true, 4},
                    ValueCase{L"range 3,5", 9, false, 3}, ValueCase{L"range 5,3", 4, false, 0},
                    ValueCase{L"range 5", 5, false, 0}));

struct ConversionCase {
    const wchar_t *text;
    std::int32_t base;
    std::int32_t expected;
};

std::ostream &operator<<(std::ostream &os, const ConversionCase &c) {
    std::string narrow;
    for (const wchar_t *p = c.text; *p; ++p)
        narrow += (*p >= 0x20 && *p < 0x7f) ? static_cast<char>(*p) : '?';
    return os << '"' << narrow << "\" base " << c.base;
}

class StringToIntTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(StringToIntTest, Converts) {
    EXPECT_EQ(it_enum_list::StringToInt(GetParam().text, GetParam().base), GetParam().expected);
}

// The standard conversion, clamped to 32 bits, is the reference wherever it
// gives a result: with a 64-bit long it reads past the 32-bit limits, with a
// 32-bit long it saturates there itself. Only for ASCII texts: some platforms'
// conversion also reads digits and spaces of other scripts, while ours reads
// ASCII only, as the "C" locale does, so a list reads the same everywhere.
TEST_P(StringToIntTest, AgreesWithTheStandardConversionInEveryBase) {
    const std::wstring text = GetParam().text;
    if (std::any_of(text.begin(), text.end(),
                    [](wchar_t c) { return static_cast<std::uint32_t>(c) > 0x7f; }))
        GTEST_SKIP() << "not ASCII";
    for (int base = 0; base <= 36; ++base) {
        if (base == 1)
            continue;
        errno = 0;
        const long standard = std::wcstol(text.c_str(), nullptr, base);
        const std::int32_t clamped = standard > kMax   ? kMax
                                     : standard < kMin ? kMin
                                                       : static_cast<std::int32_t>(standard);
        EXPECT_EQ(it_enum_list::StringToInt(text, base), clamped) << "base " << base;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EnumList, StringToIntTest,
    testing::Values(
        ConversionCase{L"123", 10, 123}, ConversionCase{L"", 10, 0}, ConversionCase{L"abc", 10, 0},
        ConversionCase{L"-", 10, 0}, ConversionCase{L"+", 10, 0}, ConversionCase{L"- 5", 10, 0},
        ConversionCase{L"+7", 10, 7}, ConversionCase{L"  -42xyz", 10, -42},
        ConversionCase{L"\t\n\v\f\r 5", 10, 5}, ConversionCase{L"12 34", 10, 12},
        ConversionCase{L"007", 10, 7}, ConversionCase{L"2147483647", 10, kMax},
        ConversionCase{L"2147483648", 10, kMax}, ConversionCase{L"-2147483648", 10, kMin},
        ConversionCase{L"-2147483649", 10, kMin}, ConversionCase{L"4294967296", 10, kMax},
        ConversionCase{L"99999999999999999999999999", 10, kMax},
        ConversionCase{L"-99999999999999999999999999", 10, kMin}, ConversionCase{L"1010", 2, 10},
        ConversionCase{L"12", 2, 1}, ConversionCase{L"11111111111111111111111111111111", 2, kMax},
        ConversionCase{L"-10000000000000000000000000000000", 2, kMin},
        ConversionCase{L"777", 8, 511}, ConversionCase{L"ff", 16, 255},
        ConversionCase{L"0xff", 16, 255}, ConversionCase{L"0XFF", 16, 255},
        ConversionCase{L"-0x10", 16, -16}, ConversionCase{L"0x", 16, 0},
        ConversionCase{L"0xg", 16, 0}, ConversionCase{L"7fffffff", 16, kMax},
        ConversionCase{L"80000000", 16, kMax}, ConversionCase{L"-80000000", 16, kMin},
        ConversionCase{L"-80000001", 16, kMin}, ConversionCase{L"zz", 36, 1295},
        ConversionCase{L"ZZ", 36, 1295}, ConversionCase{L"zik0zj", 36, kMax},
        ConversionCase{L"0x1f", 0, 31}, ConversionCase{L"0X1F", 0, 31},
        ConversionCase{L"017", 0, 15}, ConversionCase{L"019", 0, 1}, ConversionCase{L"08", 0, 0},
        ConversionCase{L"0", 0, 0}, ConversionCase{L"0x", 0, 0},
        ConversionCase{L" -0x7fffffff", 0, -kMax}, ConversionCase{L"123", 0, 123},
        ConversionCase{L"0x10", 10, 0},
        ConversionCase{L"\u0663", 10, 0}, // a non-ASCII digit is no digit
        ConversionCase{L"\u00a05", 10, 0}));

TEST(EnumListStringToInt, UnsupportedBaseGivesZero) {
    EXPECT_EQ(it_enum_list::StringToInt(L"12", 1), 0);
    EXPECT_EQ(it_enum_list::StringToInt(L"12", 37), 0);
    EXPECT_EQ(it_enum_list::StringToInt(L"12", -10), 0);
}

TEST(EnumListStringToInt, StopsAtTheEndOfTheString) {
    // Digits after an embedded NUL are outside what wcstol sees but inside
    // the string: conversion stops at the NUL, which is no digit.
    const std::wstring text(L"12\0"
                            L"34",
                            5);
    EXPECT_EQ(it_enum_list::StringToInt(text, 10), 12);
    // A string that ends in the middle of a number ends the number.
    const std::wstring full = L"98765";
    EXPECT_EQ(it_enum_list::StringToInt(full.substr(0, 3), 10), 987);
}

} // namespace
