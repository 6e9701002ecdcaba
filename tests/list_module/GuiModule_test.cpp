// The list behaviour against a host that stores pin values: the exact host
// calls of each pin handling, the echo guard, nested handlings, long and
// 8-bit texts, and the object's open and end.
#include "list_module/GuiModule.h"

#include "tests/support/fake_gui_host.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using fake::Expected;
using fake::PinStoreHost;

class GuiModuleTest : public ::testing::Test {
protected:
    GuiModuleTest() {
        module = new GuiModule(&PinStoreHost::callback, host.hostValue());
        host.record = module->hostRecord();
    }
    ~GuiModuleTest() override {
        if (module != nullptr)
            close();
    }

    wq_result_t close() {
        module = nullptr;
        return host.dispatch(host.record, GD_CLOSE);
    }
    void pinChanged(int32_t index) {
        host.calls.clear();
        EXPECT_EQ(host.dispatch(host.record, GD_PIN_CHANGED, index), 0);
    }

    void expectCalls(const std::vector<Expected> &expected) {
        ASSERT_EQ(host.calls.size(), expected.size()) << callsText();
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_TRUE(fake::matches(host.calls[i], expected[i])) << "call " << i << callsText();
            EXPECT_EQ(host.calls[i].record, host.record);
        }
    }
    std::string callsText() const {
        std::ostringstream os;
        for (const fake::HostCall &c : host.calls)
            os << "\n  " << c;
        return os.str();
    }

    // The host calls of a pin-1 handling, `depth` dispatches deep.
    static std::vector<Expected> selection(const std::string *name, const std::string &number,
                                           int depth = 1) {
        std::vector<Expected> calls = {{GH_PIN_GET_VALUE, 1, 0, true, "", depth},
                                       {GH_PIN_GET_TEXT, 0, 0, false, "", depth}};
        if (name != nullptr) {
            calls.push_back({GH_PIN_SET_TEXT, 2, 0, true, *name, depth});
            calls.push_back({GH_PIN_GET_VALUE, 1, 0, true, "", depth});
            calls.push_back({GH_PIN_SET_TEXT, 3, 0, true, number, depth});
        }
        return calls;
    }

    PinStoreHost host;
    GuiModule *module;
};

// --- Pin 1: a new selection -------------------------------------------------

struct Selection {
    const char *name;
    std::string list;
    int32_t selected;
    bool found;
    std::string itemName; // what pin 2 receives when found
};

void PrintTo(const Selection &s, std::ostream *out) { *out << s.name; }

class GuiModuleSelection : public GuiModuleTest, public ::testing::WithParamInterface<Selection> {};

TEST_P(GuiModuleSelection, WritesTheItemNameAndNumberOrNothing) {
    const Selection &s = GetParam();
    host.texts[0] = s.list;
    host.texts[2] = "old name";
    host.texts[3] = "old value";
    host.values[1] = s.selected;

    pinChanged(1);

    const std::string number = std::to_string(s.selected);
    expectCalls(selection(s.found ? &s.itemName : nullptr, number));
    EXPECT_EQ(host.texts[2], s.found ? s.itemName : "old name");
    EXPECT_EQ(host.texts[3], s.found ? number : "old value");
}

INSTANTIATE_TEST_SUITE_P(
    Lists, GuiModuleSelection,
    ::testing::Values(
        Selection{"First", "a=1,b=2", 0, true, "a"}, Selection{"Second", "a=1,b=2", 1, true, "b"},
        Selection{"PastTheEnd", "a=1,b=2", 2, false, ""},
        Selection{"Negative", "a=1,b=2", -1, false, ""},
        Selection{"Lowest", "a=1,b=2", INT32_MIN, false, ""},
        Selection{"BareNames", "red,green,blue", 2, true, "blue"},
        Selection{"BareNamesPastTheEnd", "red,green,blue", 3, false, ""},
        Selection{"SpaceKept", "x=1, y=2", 1, true, " y"},
        Selection{"FirstEqualsEndsName", "k=v=w", 0, true, "k"},
        Selection{"EmptyNameBeforeEquals", "=5", 0, true, ""},
        Selection{"EmptyItemCounts", "a,,c", 1, true, ""},
        Selection{"ItemAfterEmpty", "a,,c", 2, true, "c"},
        Selection{"LeadingComma", ",a", 0, true, ""}, Selection{"LoneComma", ",", 0, true, ""},
        Selection{"LoneCommaHasOneItem", ",", 1, false, ""},
        Selection{"TrailingCommaMakesNoItem", "a,b,", 2, false, ""},
        Selection{"BeforeTrailingComma", "a,b,", 1, true, "b"},
        Selection{"EmptyTextHasNoItem", "", 0, false, ""},
        Selection{"EightBitBytes", "\xe9t\xe9,caf\xc3\xa9=1,\xff\x80", 1, true, "caf\xc3\xa9"},
        Selection{"EightBitLastItem", "\xe9t\xe9,caf\xc3\xa9=1,\xff\x80", 2, true, "\xff\x80"},
        Selection{"ControlBytes", "\t\x01,\x7f", 0, true, "\t\x01"}),
    [](const ::testing::TestParamInfo<Selection> &info) { return std::string(info.param.name); });

TEST_F(GuiModuleTest, SelectionPublishesPinOnesValueAsItIsWhenPinThreeIsWritten) {
    host.texts[0] = "a,b,c";
    host.values[1] = 0;
    // The host moves pin 1 while pin 2 is written, without telling the module.
    host.onCall = [this](const fake::HostCall &c) {
        if (c.opcode == GH_PIN_SET_TEXT && c.index == 2)
            host.values[1] = 2;
    };
    pinChanged(1);
    const std::string a = "a";
    expectCalls(selection(&a, "2"));
}

TEST_F(GuiModuleTest, OwnPinThreeWriteEchoedFromInsideIsIgnored) {
    host.texts[0] = "a=1,b=2";
    host.values[1] = 1;
    host.echo = {2, 3};
    pinChanged(1);
    // The nested pin-2 and pin-3 notifications reach the module and make no call.
    const std::string b = "b";
    expectCalls(selection(&b, "1"));
    EXPECT_EQ(host.values[1], 1);
}

TEST_F(GuiModuleTest, PinThreeChangeFromInsideThePinTwoWriteIsHandled) {
    // The guard covers the pin-3 write only: a pin-3 change the host reports
    // while pin 2 is written is a real one and moves the selection.
    host.texts[0] = "a,b,c";
    host.texts[3] = "2";
    host.values[1] = 0;
    host.onCall = [this](const fake::HostCall &c) {
        if (c.opcode == GH_PIN_SET_TEXT && c.index == 2)
            host.dispatch(host.record, GD_PIN_CHANGED, 3);
    };
    pinChanged(1);
    expectCalls({{GH_PIN_GET_VALUE, 1, 0, true, "", 1},
                 {GH_PIN_GET_TEXT, 0, 0, false, "", 1},
                 {GH_PIN_SET_TEXT, 2, 0, true, "a", 1},
                 {GH_PIN_GET_TEXT, 3, 0, false, "", 2},
                 {GH_PIN_SET_VALUE, 1, 2, false, "", 2},
                 {GH_PIN_GET_VALUE, 1, 0, true, "", 1},
                 {GH_PIN_SET_TEXT, 3, 0, true, "2", 1}});
}

TEST_F(GuiModuleTest, PinThreeNotificationAfterTheWriteIsHandled) {
    host.texts[0] = "a,b";
    host.values[1] = 1;
    pinChanged(1);
    pinChanged(3); // delivered late: the guard is down again
    expectCalls({{GH_PIN_GET_TEXT, 3, 0, false, "", 1}, {GH_PIN_SET_VALUE, 1, 1, false, "", 1}});
}

// --- Pin 3: a number arrives ------------------------------------------------

struct ValueText {
    const char *name;
    std::string text;
    int32_t number;
};

void PrintTo(const ValueText &v, std::ostream *out) { *out << v.name; }

class GuiModuleValueText : public GuiModuleTest, public ::testing::WithParamInterface<ValueText> {};

TEST_P(GuiModuleValueText, MovesTheSelectionToTheNumberReadAsAtoiDoes) {
    host.texts[3] = GetParam().text;
    pinChanged(3);
    expectCalls({{GH_PIN_GET_TEXT, 3, 0, false, "", 1},
                 {GH_PIN_SET_VALUE, 1, GetParam().number, false, "", 1}});
    EXPECT_EQ(host.values[1], GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GuiModuleValueText,
    ::testing::Values(ValueText{"Digit", "2", 2}, ValueText{"Letters", "abc", 0},
                      ValueText{"SpacesThenTrailingLetters", "  7x", 7}, ValueText{"Empty", "", 0},
                      ValueText{"Negative", "-12", -12}, ValueText{"Plus", "+5", 5},
                      ValueText{"SignAlone", "-", 0}, ValueText{"AllWhiteSpace", "\t\n\v\f\r 3", 3},
                      ValueText{"LeadingZeros", "007", 7}, ValueText{"SpaceAfterSign", "- 4", 0},
                      ValueText{"EightBitSpaceIsNoSpace",
                                "\xa0"
                                "5",
                                0},
                      ValueText{"Max", "2147483647", INT32_MAX},
                      ValueText{"Min", "-2147483648", INT32_MIN},
                      ValueText{"JustAboveMax", "2147483648", INT32_MAX},
                      ValueText{"JustBelowMin", "-2147483649", INT32_MIN},
                      ValueText{"HugePositive", "99999999999999999999999", INT32_MAX},
                      ValueText{"HugeNegative", "-99999999999999999999999", INT32_MIN}),
    [](const ::testing::TestParamInfo<ValueText> &info) { return std::string(info.param.name); });

TEST_F(GuiModuleTest, PinOneWriteEchoedFromThePinThreeHandlingRunsTheSelectionNested) {
    host.texts[0] = "a,b,c";
    host.texts[3] = "2";
    host.echo = {1, 2, 3};
    pinChanged(3);

    const std::string c = "c";
    std::vector<Expected> expected = {{GH_PIN_GET_TEXT, 3, 0, false, "", 1},
                                      {GH_PIN_SET_VALUE, 1, 2, false, "", 1}};
    for (const Expected &e : selection(&c, "2", 2))
        expected.push_back(e);
    expectCalls(expected);
}

// --- Pin 0: a new list ------------------------------------------------------

TEST_F(GuiModuleTest, NewListBecomesTheChoicesThenPinThreesNumberGoesToPinOne) {
    host.texts[0] = "red,green,blue";
    host.texts[3] = " 1";
    pinChanged(0);
    expectCalls({{GH_PIN_GET_TEXT, 0, 0, false, "", 1},
                 {GH_PIN_SET_LIST_TEXT, 1, 0, true, "red,green,blue", 1},
                 {GH_PIN_GET_TEXT, 3, 0, false, "", 1},
                 {GH_PIN_SET_VALUE, 1, 1, false, "", 1}});
    EXPECT_EQ(host.choices, "red,green,blue");
}

TEST_F(GuiModuleTest, NewListWithEmptyPinThreeSetsPinOneToZero) {
    host.texts[0] = "a=1,b=2";
    pinChanged(0);
    expectCalls({{GH_PIN_GET_TEXT, 0, 0, false, "", 1},
                 {GH_PIN_SET_LIST_TEXT, 1, 0, true, "a=1,b=2", 1},
                 {GH_PIN_GET_TEXT, 3, 0, false, "", 1},
                 {GH_PIN_SET_VALUE, 1, 0, false, "", 1}});
}

TEST_F(GuiModuleTest, PinOneWriteEchoedFromThePinZeroHandlingRunsTheSelectionNested) {
    host.texts[0] = "x,y";
    host.texts[3] = "1";
    host.echo = {1, 2, 3};
    pinChanged(0);

    const std::string y = "y";
    std::vector<Expected> expected = {{GH_PIN_GET_TEXT, 0, 0, false, "", 1},
                                      {GH_PIN_SET_LIST_TEXT, 1, 0, true, "x,y", 1},
                                      {GH_PIN_GET_TEXT, 3, 0, false, "", 1},
                                      {GH_PIN_SET_VALUE, 1, 1, false, "", 1}};
    for (const Expected &e : selection(&y, "1", 2))
        expected.push_back(e);
    expectCalls(expected);
}

// Long lists are cut to the working buffer's 1023 bytes, in the list handed
// over and in the names found alike.
struct LongList {
    const char *name;
    std::string list;
    int32_t selected;
    bool found;
    std::string itemName;
};

void PrintTo(const LongList &l, std::ostream *out) { *out << l.name; }

std::string repeated(char c, size_t n) { return std::string(n, c); }

class GuiModuleLongList : public GuiModuleTest, public ::testing::WithParamInterface<LongList> {};

TEST_P(GuiModuleLongList, HandsOverAndSearchesTheFirst1023Bytes) {
    const LongList &l = GetParam();
    host.texts[0] = l.list;
    pinChanged(0);
    ASSERT_GE(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[1].text, l.list.substr(0, 1023));

    host.values[1] = l.selected;
    pinChanged(1);
    const std::string number = std::to_string(l.selected);
    expectCalls(selection(l.found ? &l.itemName : nullptr, number));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, GuiModuleLongList,
    ::testing::Values(
        LongList{"Exactly1023LastItemWhole", repeated('a', 1021) + ",b", 1, true, "b"},
        LongList{"Exactly1023OneName", repeated('n', 1023), 0, true, repeated('n', 1023)},
        LongList{"Exactly1024CutLeavesTrailingComma", repeated('a', 1022) + ",b", 1, false, ""},
        LongList{"Exactly1024FirstNameFits", repeated('a', 1022) + ",b", 0, true,
                 repeated('a', 1022)},
        LongList{"Long5000NameCutAtTheEdge", repeated('y', 1020) + ",abcdef" + repeated('z', 3973),
                 1, true, "ab"},
        LongList{"Long5000ItemsBeyondTheEdgeAbsent",
                 repeated('y', 1020) + ",ab,cd" + repeated(',', 3974), 2, false, ""},
        LongList{"Long5000SingleName", repeated('q', 5000), 0, true, repeated('q', 1023)}),
    [](const ::testing::TestParamInfo<LongList> &info) { return std::string(info.param.name); });

// --- Other pins, open, end --------------------------------------------------

TEST_F(GuiModuleTest, PinTwoAndUnknownPinsChangeNothing) {
    host.texts[0] = "a,b";
    host.texts[3] = "1";
    host.values[1] = 1;
    for (int32_t index : {2, 4, 100, -1, INT32_MIN, INT32_MAX}) {
        pinChanged(index);
        EXPECT_TRUE(host.calls.empty()) << "pin " << index << callsText();
    }
}

TEST_F(GuiModuleTest, ConstructionSendsNothingAndPinThreeIsHandledBeforeOpen) {
    EXPECT_TRUE(host.calls.empty());
    host.texts[3] = "4";
    pinChanged(3);
    EXPECT_EQ(host.values[1], 4);
}

TEST_F(GuiModuleTest, OpenSendsOpcode22OnceAndLeavesTheGuardDown) {
    EXPECT_EQ(host.dispatch(host.record, GD_OPEN, 1), 0);
    expectCalls({{GH_OPCODE_22, 0, 0, false, "", 1}});
    EXPECT_EQ(host.dispatch(host.record, GD_OPEN, 0), 0);
    EXPECT_EQ(host.calls.size(), 2u);

    host.texts[3] = "3";
    pinChanged(3);
    EXPECT_EQ(host.values[1], 3);
}

TEST_F(GuiModuleTest, SelectionWithoutItemLeavesTheGuardDown) {
    host.texts[0] = "a";
    host.values[1] = 5;
    pinChanged(1);
    host.texts[3] = "0";
    pinChanged(3);
    EXPECT_EQ(host.values[1], 0);
}

TEST_F(GuiModuleTest, CloseSendsOpcode22OnceFromTheDestructorAndAnswersOne) {
    EXPECT_EQ(close(), 1);
    expectCalls({{GH_OPCODE_22, 0, 0, false, "", 1}});
}

TEST_F(GuiModuleTest, AnswersOpcode10WithOneAndIgnoresOpcode6) {
    EXPECT_EQ(host.dispatch(host.record, GD_OPCODE_10), 1);
    int data = 0;
    EXPECT_EQ(host.dispatch(host.record, GD_OPCODE_6, 3, 7, &data), 0);
    EXPECT_TRUE(host.calls.empty());
}

} // namespace
