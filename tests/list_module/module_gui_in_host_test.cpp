// The built module library in the reference host: the list behaviour of its
// GUI side, with the exact requests of each handling taken from the host's
// trace, the host's echo on and off, and texts at and beyond the limits.
#include "tests/support/module_in_host_support.h"

#include "host/core/Session.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

using namespace wqhost;
using wqtest::echoOf;
using wqtest::nestedRequests;
using wqtest::Request;

namespace {

const std::string kUnchanged = "(unchanged)";

// The module's pins a user writes: the list text, the selection, and the
// item's value (a number written as text moves the selection).
constexpr int32_t kTextList = 0;
constexpr int32_t kList = 1;
constexpr int32_t kItemValue = 3;

Request getValue(int32_t pin, const std::string &answer) {
    return Request{GH_PIN_GET_VALUE, pin, 0, true, answer};
}
Request getText(int32_t pin, const std::string &answer) {
    return Request{GH_PIN_GET_TEXT, pin, 0, false, answer};
}
Request setText(int32_t pin, const std::string &text) {
    return Request{GH_PIN_SET_TEXT, pin, 0, true, text};
}
Request setValue(int32_t pin, int32_t value) {
    return Request{GH_PIN_SET_VALUE, pin, value, false, ""};
}
Request setListText(int32_t pin, const std::string &text) {
    return Request{GH_PIN_SET_LIST_TEXT, pin, 0, true, text};
}

class ModuleGuiInHost : public ::testing::Test {
protected:
    void start(bool echo = true) {
        Session::Options options;
        options.gui.echo = echo;
        session.reset(new Session(WQ_QUENDOR_LIBRARY, options));
        session->start();
        ASSERT_EQ(session->pinTable().size(), 4u);
    }
    GuiHost &gui() { return session->gui(); }
    PinStore &pins() { return session->gui().pins(); }

    // Puts values on the pins without telling the module, then clears the
    // trace, so that the next operation's requests stand alone.
    void prepare(const std::string &list, const std::string &name = kUnchanged,
                 const std::string &value = kUnchanged) {
        pins().setText(0, list);
        pins().setText(2, name);
        pins().setText(3, value);
        session->log().clear();
    }
    std::vector<Request> requests() {
        EXPECT_TRUE(wqtest::allOptsZero(session->log()));
        return nestedRequests(session->log());
    }

    std::unique_ptr<Session> session;
};

// ---------------------------------------------------------------- pin 1

struct Selection {
    const char *list;
    int32_t item;
    const char *name; // null: nothing written
};

// Parameters are printed by field: GoogleTest's fallback prints the raw
// bytes, padding included, which valgrind rightly reports as uninitialised.
void PrintTo(const Selection &s, std::ostream *os) {
    *os << '"' << s.list << "\" item " << s.item << " name " << (s.name ? s.name : "(none)");
}

class PinOneTable : public ModuleGuiInHost, public ::testing::WithParamInterface<Selection> {};

TEST_P(PinOneTable, WritesNameAndNumberOrNothing) {
    const Selection &s = GetParam();
    start();
    prepare(s.list);
    session->setPinInt(kList, s.item);
    const std::string number = std::to_string(s.item);
    std::vector<Request> expected = {getValue(1, number), getText(0, s.list)};
    if (s.name) {
        // The pin-3 echo comes back while the module writes pin 3 and is
        // ignored: nothing is nested inside it.
        expected.insert(expected.end(), {setText(2, s.name), echoOf(2), getValue(1, number),
                                         setText(3, number), echoOf(3)});
    }
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(pins().text(2), s.name ? s.name : kUnchanged);
    EXPECT_EQ(pins().text(3), s.name ? number : kUnchanged);
    EXPECT_EQ(pins().intValue(1), s.item); // pin 1 itself is never written back
    EXPECT_TRUE(session->problems().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Items, PinOneTable,
    ::testing::Values(Selection{"a=1,b=2", 0, "a"}, Selection{"a=1,b=2", 1, "b"},
                      Selection{"a=1,b=2", 2, nullptr}, Selection{"a=1,b=2", -1, nullptr},
                      Selection{"red,green,blue", 2, "blue"}, Selection{"x=1, y=2", 1, " y"},
                      Selection{"k=v=w", 0, "k"}, Selection{"=5", 0, ""}, Selection{"a,,c", 1, ""},
                      Selection{"a,b,", 2, nullptr}, Selection{"a,b,", 1, "b"},
                      Selection{"", 0, nullptr}, Selection{",", 0, ""}, Selection{",", 1, nullptr},
                      Selection{"caf\xe9,\x80\xff=\xfe", 1, "\x80\xff"},
                      Selection{"a,b", INT_MIN, nullptr}, Selection{"a,b", INT_MAX, nullptr}));

TEST_F(ModuleGuiInHost, PinOneWithEchoOffWritesTheSame) {
    start(false);
    prepare("a=1,b=2");
    session->setPinInt(kList, 1);
    std::vector<Request> expected = {getValue(1, "1"), getText(0, "a=1,b=2"), setText(2, "b"),
                                     getValue(1, "1"), setText(3, "1")};
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(pins().text(2), "b");
    EXPECT_EQ(pins().text(3), "1");
}

TEST_F(ModuleGuiInHost, NullListTextReadsAsEmpty) {
    start();
    prepare("a,b");
    gui().answerNullTextOnce();
    session->setPinInt(kList, 0);
    std::vector<Request> expected = {getValue(1, "0"), getText(0, "")};
    EXPECT_EQ(requests(), expected);
    auto reads = session->log().select([](const CallRecord &c) {
        return c.kind == CallKind::Callback && c.opcode == GH_PIN_GET_TEXT;
    });
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].result, 0); // the host really answered null
    EXPECT_EQ(pins().text(2), kUnchanged);
}

// ---------------------------------------------------------------- pin 3

struct NumberText {
    const char *text;
    int32_t number;
};

void PrintTo(const NumberText &n, std::ostream *os) {
    *os << '"' << n.text << "\" reads " << n.number;
}

class PinThreeNumbers : public ModuleGuiInHost, public ::testing::WithParamInterface<NumberText> {};

TEST_P(PinThreeNumbers, WritesTheNumberToPinOne) {
    start(false);
    prepare("a,b,c");
    session->setPinText(kItemValue, GetParam().text);
    std::vector<Request> expected = {getText(3, GetParam().text), setValue(1, GetParam().number)};
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(pins().intValue(1), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PinThreeNumbers,
    ::testing::Values(NumberText{"2", 2}, NumberText{"abc", 0}, NumberText{"  7x", 7},
                      NumberText{"", 0}, NumberText{"-3", -3}, NumberText{"+4", 4},
                      NumberText{"2147483647", INT_MAX}, NumberText{"2147483648", INT_MAX},
                      NumberText{"99999999999999999999", INT_MAX},
                      NumberText{"-2147483648", INT_MIN}, NumberText{"-99999999999", INT_MIN}));

TEST_F(ModuleGuiInHost, PinThreeWithEchoRunsThePinOneHandlingInsideTheWrite) {
    start();
    prepare("a,b,c");
    session->setPinText(kItemValue, "2");
    std::vector<Request> expected = {
        getText(3, "2"), setValue(1, 2), echoOf(1),        getValue(1, "2"), getText(0, "a,b,c"),
        setText(2, "c"), echoOf(2),      getValue(1, "2"), setText(3, "2"),  echoOf(3)};
    EXPECT_EQ(requests(), expected);
    // The pin-1 handling is nested in the pin-1 write, and the ignored pin-3
    // echo one level deeper still.
    const auto &calls = session->log().calls();
    EXPECT_EQ(calls[3].kind, CallKind::Dispatch);
    EXPECT_EQ(calls[3].depth, 2);
    EXPECT_EQ(calls.back().depth, 4);
    EXPECT_EQ(pins().text(2), "c");
    EXPECT_EQ(pins().text(3), "2");
    EXPECT_FALSE(gui().nestingLimitReached());
}

TEST_F(ModuleGuiInHost, NullPinThreeTextWritesZero) {
    start(false);
    prepare("a,b");
    pins().setText(3, "5");
    gui().answerNullTextOnce();
    gui().notifyPinChanged(3);
    std::vector<Request> expected = {getText(3, ""), setValue(1, 0)};
    EXPECT_EQ(requests(), expected);
}

// ---------------------------------------------------------------- pin 0

TEST_F(ModuleGuiInHost, PinZeroHandsOverTheListAndSetsPinOneFromPinThree) {
    start(false);
    prepare("", kUnchanged, "1");
    session->setPinText(kTextList, "red,green,blue");
    std::vector<Request> expected = {getText(0, "red,green,blue"), setListText(1, "red,green,blue"),
                                     getText(3, "1"), setValue(1, 1)};
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(pins().listText(1), "red,green,blue");
    EXPECT_EQ(pins().text(2), kUnchanged); // not written by this handling itself
    EXPECT_EQ(pins().text(3), "1");
}

TEST_F(ModuleGuiInHost, PinZeroWithEmptyPinThreeSelectsItemZeroThroughTheEcho) {
    start();
    session->log().clear();
    session->setPinText(kTextList, "red,green,blue");
    std::vector<Request> expected = {getText(0, "red,green,blue"),
                                     setListText(1, "red,green,blue"),
                                     getText(3, ""),
                                     setValue(1, 0),
                                     echoOf(1),
                                     getValue(1, "0"),
                                     getText(0, "red,green,blue"),
                                     setText(2, "red"),
                                     echoOf(2),
                                     getValue(1, "0"),
                                     setText(3, "0"),
                                     echoOf(3)};
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(pins().text(2), "red");
    EXPECT_EQ(pins().text(3), "0");
}

struct LongList {
    size_t length;     // bytes of the list text set on pin 0
    size_t handedOver; // bytes of the list the host receives
};

class LongLists : public ModuleGuiInHost, public ::testing::WithParamInterface<LongList> {};

TEST_P(LongLists, AreCutTo1023BytesInBothHandlings) {
    start(false);
    // "a," followed by one long second item.
    std::string list = "a," + std::string(GetParam().length - 2, 'x');
    prepare("", kUnchanged, "");
    session->setPinText(kTextList, list);
    auto handed = session->log().select([](const CallRecord &c) {
        return c.kind == CallKind::Callback && c.opcode == GH_PIN_SET_LIST_TEXT;
    });
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].text, list.substr(0, GetParam().handedOver));
    session->setPinInt(kList, 1);
    EXPECT_EQ(pins().text(2), std::string(GetParam().handedOver - 2, 'x'));
    EXPECT_EQ(pins().text(3), "1");
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongLists,
                         ::testing::Values(LongList{1022, 1022}, LongList{1023, 1023},
                                           LongList{1024, 1023}, LongList{5000, 1023}));

TEST_F(ModuleGuiInHost, ItemBeyondTheCutIsNotFound) {
    start(false);
    prepare(std::string(1030, 'y') + ",b");
    session->setPinInt(kList, 1);
    EXPECT_EQ(pins().text(2), kUnchanged);
    EXPECT_EQ(pins().text(3), kUnchanged);
    session->setPinInt(kList, 0);
    EXPECT_EQ(pins().text(2), std::string(1023, 'y'));
}

TEST_F(ModuleGuiInHost, EightBitListPassesThroughUnchanged) {
    start(false);
    prepare("");
    std::string list = "\x01\x7f\x80,\xff=\xc3\xa9";
    session->setPinText(kTextList, list);
    EXPECT_EQ(pins().listText(1), list);
    session->setPinInt(kList, 1);
    EXPECT_EQ(pins().text(2), "\xff");
}

// ---------------------------------------------------------------- others

class QuietPins : public ModuleGuiInHost, public ::testing::WithParamInterface<int32_t> {};

TEST_P(QuietPins, ChangeMakesNoRequest) {
    start();
    prepare("a,b");
    EXPECT_EQ(gui().notifyPinChanged(GetParam()), 0);
    EXPECT_TRUE(requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Indices, QuietPins, ::testing::Values(2, 4, -1, 1000));

TEST_F(ModuleGuiInHost, OpenAndDestructionEachSendOpcode22) {
    start();
    auto opcode22 = [this] {
        return session->log()
            .select([](const CallRecord &c) {
                return c.kind == CallKind::Callback && c.side == Side::Gui &&
                       c.opcode == GH_OPCODE_22;
            })
            .size();
    };
    EXPECT_EQ(opcode22(), 1u); // from open
    EXPECT_EQ(gui().dispatch(GD_OPCODE_10), 1);
    session->log().clear();
    EXPECT_EQ(gui().close(), 1);
    EXPECT_EQ(opcode22(), 1u); // from the destructor
    EXPECT_TRUE(session->problems().empty());
}

TEST_F(ModuleGuiInHost, NestingLimitBelowTheModulesChainIsReportedNotFatal) {
    Session::Options options;
    options.gui.nestingLimit = 2;
    session.reset(new Session(WQ_QUENDOR_LIBRARY, options));
    session->start();
    session->setPinText(kTextList, "a,b"); // its chain is three levels deep too
    gui().resetNestingReport();
    session->setPinText(kItemValue, "1"); // pin 3 -> pin 1 -> pins 2 and 3: three levels
    EXPECT_TRUE(gui().nestingLimitReached());
    EXPECT_EQ(gui().maxDepth(), 2);
    EXPECT_EQ(pins().intValue(1), 1);
    EXPECT_EQ(pins().text(2), "b");
}

TEST_F(ModuleGuiInHost, NegativeWideLengthIsAnsweredAndFillsNothing) {
    start();
    pins().setText(0, "abc");
    gui().answerWideLengthOnce(-4);
    EXPECT_EQ(GuiHost::callbackFunction()(gui().record(), GH_PIN_GET_TEXT_W, 0, 0, nullptr, 0.0f),
              -4);
    char16_t buffer[4] = {0x1111, 0x1111, 0x1111, 0x1111};
    EXPECT_EQ(GuiHost::callbackFunction()(gui().record(), GH_PIN_GET_TEXT_W, 0, -4, buffer, 0.0f),
              0);
    EXPECT_EQ(buffer[0], 0x1111);
    // The next first request is answered truly again.
    EXPECT_EQ(GuiHost::callbackFunction()(gui().record(), GH_PIN_GET_TEXT_W, 0, 0, nullptr, 0.0f),
              4);
}

TEST_F(ModuleGuiInHost, RestartedSessionStartsFromTheDeclaredList) {
    start();
    session->setPinText(kTextList, "p,q");
    session->restart();
    EXPECT_EQ(pins().listText(1), "a=1,b=2");
    EXPECT_EQ(pins().text(0), "");
}

} // namespace
