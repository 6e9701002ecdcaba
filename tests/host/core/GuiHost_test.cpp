// The GUI host against the test module: pin values by data type, echo of the
// module's own writes (on, off, bounded by the nesting limit), both wide-text
// requests, the test hooks and the trace of each exchange.
#include "host/core/AudioHost.h"
#include "host/core/GuiHost.h"
#include "host/platform/HostError.h"
#include "host/core/ObjectRegistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

// A compact view of a GUI callback: opcode, pin, text or answer.
struct Step {
    int32_t opcode;
    int32_t index;
    std::string text;
    bool operator==(const Step &o) const {
        return opcode == o.opcode && index == o.index && text == o.text;
    }
    friend std::ostream &operator<<(std::ostream &os, const Step &s) {
        return os << "{" << s.opcode << ", " << s.index << ", \"" << s.text << "\"}";
    }
};

class GuiHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        AudioHost audio(library);
        ASSERT_TRUE(audio.create());
        table = audio.readPinDeclarations();
    }

    std::unique_ptr<GuiHost> makeHost(GuiHost::Options options = GuiHost::Options()) {
        auto host = std::make_unique<GuiHost>(library, options);
        EXPECT_TRUE(host->create());
        host->declarePins(table);
        host->open();
        host->log().clear();
        return host;
    }

    // The GUI callbacks of the log, texts of writes and answers of reads.
    static std::vector<Step> steps(const CallLog &log) {
        std::vector<Step> out;
        for (const CallRecord &c : log.calls()) {
            if (c.kind == CallKind::Callback)
                out.push_back({c.opcode, c.index, c.text.empty() ? c.answer : c.text});
            else if (c.kind == CallKind::Dispatch && c.depth > 0)
                out.push_back({-c.opcode, c.index, "echo"});
        }
        return out;
    }

    std::shared_ptr<const ModuleLibrary> library = ModuleLibrary::load(WQ_ECHO_MODULE_PATH);
    std::vector<PinDeclaration> table;
};

TEST_F(GuiHostTest, RecordOpenAndCloseAreCheckedAndTraced) {
    GuiHost host(library);
    ASSERT_TRUE(host.create());
    EXPECT_TRUE(host.checkRecord().empty());
    EXPECT_EQ(host.record()->hostValue, host.hostValue());
    EXPECT_EQ(host.open(), 0);
    EXPECT_EQ(host.dispatch(GD_OPCODE_10), 1);
    EXPECT_EQ(host.close(), 1);
    EXPECT_FALSE(host.isLive());
    auto cbs = host.log().callbacks(Side::Gui);
    ASSERT_EQ(cbs.size(), 2u);
    EXPECT_EQ(cbs[0].opcode, GH_OPCODE_22);
    EXPECT_EQ(cbs[1].opcode, GH_OPCODE_22);
    EXPECT_TRUE(host.problems().empty());
    EXPECT_THROW(host.notifyPinChanged(0), HostError);
}

TEST_F(GuiHostTest, TextWriteIsEchoedFromInsideTheWrite) {
    auto host = makeHost();
    host->setPinText(0, "red,green");
    std::vector<Step> expected = {{GH_PIN_GET_TEXT, 0, "red,green"},
                                  {GH_PIN_SET_LIST_TEXT, 4, "red,green"},
                                  {GH_PIN_SET_TEXT, 2, "red,green"},
                                  {-GD_PIN_CHANGED, 2, "echo"}};
    EXPECT_EQ(steps(host->log()), expected);
    EXPECT_EQ(host->pins().text(2), "red,green");
    EXPECT_EQ(host->pins().listText(4), "red,green");
    // The echo is nested in the write: user call 0, write 1, echo 2.
    const CallRecord &echo = host->log().calls().back();
    EXPECT_EQ(echo.kind, CallKind::Dispatch);
    EXPECT_EQ(echo.depth, 2);
    EXPECT_EQ(host->maxDepth(), 2);
}

TEST_F(GuiHostTest, EchoOffDeliversNoNestedNotification) {
    GuiHost::Options options;
    options.echo = false;
    auto host = makeHost(options);
    host->setPinInt(1, 5);
    std::vector<Step> expected = {{GH_PIN_GET_VALUE, 1, "5"}, {GH_PIN_SET_VALUE, 3, ""}};
    EXPECT_EQ(steps(host->log()), expected);
    EXPECT_EQ(host->pins().floatValue(3), 2.5f);
    EXPECT_EQ(host->maxDepth(), 1);
}

TEST_F(GuiHostTest, FloatWriteEchoesAndReadsBackAsFloat) {
    auto host = makeHost();
    host->setPinInt(1, 5);
    std::vector<Step> expected = {{GH_PIN_GET_VALUE, 1, "5"},
                                  {GH_PIN_SET_VALUE, 3, ""},
                                  {-GD_PIN_CHANGED, 3, "echo"},
                                  {GH_PIN_GET_VALUE, 3, "2.5"}};
    EXPECT_EQ(steps(host->log()), expected);
    auto sets = host->log().select([](const CallRecord &c) {
        return c.kind == CallKind::Callback && c.opcode == GH_PIN_SET_VALUE;
    });
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].value, 0);
    EXPECT_EQ(sets[0].opt, 2.5f);
}

TEST_F(GuiHostTest, EchoOnlyOfChangesSkipsAnUnchangedWrite) {
    GuiHost::Options options;
    options.echoOnlyChanges = true;
    auto host = makeHost(options);
    host->setPinText(0, ""); // pin 2 already holds the empty text
    for (const CallRecord &c : host->log().calls())
        EXPECT_FALSE(c.kind == CallKind::Dispatch && c.depth > 0);
}

class GuiHostNestingTest : public GuiHostTest, public ::testing::WithParamInterface<int> {};

TEST_P(GuiHostNestingTest, RunawayEchoStopsAtTheLimitAndIsReported) {
    GuiHost::Options options;
    options.nestingLimit = GetParam();
    auto host = makeHost(options);
    host->setPinText(5, "");
    // One write per dispatcher level; the echo beyond the limit is held back.
    EXPECT_EQ(host->pins().text(5), std::string(static_cast<size_t>(GetParam()), '+'));
    EXPECT_TRUE(host->nestingLimitReached());
    EXPECT_EQ(host->maxDepth(), GetParam());
    ASSERT_EQ(host->problems().size(), 1u);
    EXPECT_EQ(host->problems()[0].code, ProblemCode::EchoNestingLimit);
    // Every call came back.
    for (const CallRecord &c : host->log().calls())
        EXPECT_TRUE(c.returned);
    host->resetNestingReport();
    EXPECT_FALSE(host->nestingLimitReached());
}

INSTANTIATE_TEST_SUITE_P(Limits, GuiHostNestingTest, ::testing::Values(1, 2, 16, 64));

TEST_F(GuiHostTest, NullTextHookAnswersNullOnce) {
    auto host = makeHost();
    host->answerNullTextOnce();
    host->setPinText(0, "abc");
    auto reads = host->log().select([](const CallRecord &c) {
        return c.kind == CallKind::Callback && c.opcode == GH_PIN_GET_TEXT;
    });
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].result, 0);
    EXPECT_EQ(host->pins().text(2), ""); // the module read the empty text
    host->setPinText(0, "abc");
    EXPECT_EQ(host->pins().text(2), "abc");
}

struct WideCase {
    const char *name;
    bool hook;
    intptr_t length; // the first answer, when hooked
    intptr_t firstAnswer;
    int32_t requested;  // `value` of the buffer request
    intptr_t filled;    // units the host wrote
    const char *copied; // what the module made of it
};

void PrintTo(const WideCase &c, std::ostream *out) { *out << c.name; }

class GuiHostWideTest : public GuiHostTest, public ::testing::WithParamInterface<WideCase> {};

TEST_P(GuiHostWideTest, BothRequestsAreAnswered) {
    const WideCase &w = GetParam();
    auto host = makeHost();
    host->setEcho(false);
    host->pins().setText(0, "h\xe9llo");
    if (w.hook)
        host->answerWideLengthOnce(w.length);
    host->dispatch(GD_OPCODE_12, 1, 0);
    auto wide = host->log().select([](const CallRecord &c) {
        return c.kind == CallKind::Callback && c.opcode == GH_PIN_GET_TEXT_W;
    });
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[0].ptr, 0);
    EXPECT_EQ(wide[0].result, w.firstAnswer);
    EXPECT_EQ(wide[1].value, w.requested);
    EXPECT_EQ(wide[1].result, w.filled);
    EXPECT_EQ(host->pins().text(2), w.copied);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, GuiHostWideTest,
    ::testing::Values(WideCase{"Real", false, 0, 6, 6, 6, "h\xe9llo"},
                      WideCase{"Negative", true, -5, -5, 0, 0, ""},
                      WideCase{"Huge", true, 1 << 20, 1 << 20, 1 << 20, 6, "h\xe9llo"},
                      WideCase{"Short", true, 3, 3, 3, 3, "h\xe9l"}),
    [](const ::testing::TestParamInfo<WideCase> &info) { return std::string(info.param.name); });

TEST_F(GuiHostTest, WideFillWritesAtMostTheRequestedUnits) {
    auto host = makeHost();
    host->pins().setText(0, "abcdef");
    char16_t buffer[8];
    for (char16_t &u : buffer)
        u = 0xAAAA;
    EXPECT_EQ(GuiHost::callbackFunction()(host->record(), GH_PIN_GET_TEXT_W, 0, 3, buffer, 0.0f),
              3);
    EXPECT_EQ(std::u16string(buffer, 4), (std::u16string{u'a', u'b', u'c', 0xAAAA}));
    EXPECT_EQ(GuiHost::callbackFunction()(host->record(), GH_PIN_GET_TEXT_W, 0, 8, buffer, 0.0f),
              7);
    EXPECT_EQ(buffer[6], 0);
    EXPECT_EQ(buffer[7], 0xAAAA);
}

TEST_F(GuiHostTest, TextAnswersStayValidUntilTheOuterCallReturns) {
    auto host = makeHost();
    host->pins().setText(0, std::string(5000, 'x'));
    host->pins().setText(2, "second");
    auto first = reinterpret_cast<const char *>(
        GuiHost::callbackFunction()(host->record(), GH_PIN_GET_TEXT, 0, 0, nullptr, 0.0f));
    auto second = reinterpret_cast<const char *>(
        GuiHost::callbackFunction()(host->record(), GH_PIN_GET_TEXT, 2, 0, nullptr, 0.0f));
    host->pins().setText(0, "changed");
    EXPECT_EQ(std::string(first), std::string(5000, 'x'));
    EXPECT_EQ(std::string(second), "second");
}

TEST_F(GuiHostTest, TextAnswersEndWithTheirNulBeforeTheGuard) {
    auto host = makeHost();
    for (const std::string &text : {std::string(), std::string("red"), std::string(5000, 'x')}) {
        host->pins().setText(0, text);
        auto answer = reinterpret_cast<const char *>(
            GuiHost::callbackFunction()(host->record(), GH_PIN_GET_TEXT, 0, 0, nullptr, 0.0f));
        EXPECT_EQ(std::string(answer), text);
        EXPECT_EQ(GuardedMemory::guardedAt(answer + text.size()), nullptr);
        EXPECT_STREQ(GuardedMemory::guardedAt(answer + text.size() + 1), kGuardedPinText)
            << text.size() << " bytes";
    }
}

TEST_F(GuiHostTest, UndeclaredPinsAndUnnamedOpcodesAreAnsweredHarmlessly) {
    auto host = makeHost();
    int32_t slot = 77;
    EXPECT_EQ(GuiHost::callbackFunction()(host->record(), GH_PIN_GET_VALUE, 99, 0, &slot, 0.0f), 0);
    EXPECT_EQ(slot, 0);
    auto text = reinterpret_cast<const char *>(
        GuiHost::callbackFunction()(host->record(), GH_PIN_GET_TEXT, -1, 0, nullptr, 0.0f));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), "");
    ASSERT_EQ(host->problems().size(), 2u);
    EXPECT_EQ(host->problems()[0].code, ProblemCode::UndeclaredPin);
    EXPECT_EQ(host->problems()[1].code, ProblemCode::UndeclaredPin);
    EXPECT_THROW(host->setPinText(99, "x"), HostError);

    EXPECT_EQ(GuiHost::callbackFunction()(host->record(), GH_OPCODE_20, 0, 0, nullptr, 0.0f), 0);
    host->setAnswer(GH_OPCODE_20, -1);
    host->setAnswer(GH_OPCODE_8, 12);
    EXPECT_EQ(GuiHost::callbackFunction()(host->record(), GH_OPCODE_20, 0, 0, nullptr, 0.0f), -1);
    EXPECT_EQ(GuiHost::callbackFunction()(host->record(), GH_OPCODE_8, 3, 4, nullptr, 0.0f), 12);
    EXPECT_EQ(host->log().calls().back().index, 3);
}

TEST_F(GuiHostTest, CallbackForAnUnknownRecordIsStrayAndAnswered0) {
    uint64_t before = ObjectRegistry::strayCallbacks();
    WQGuiHostRecord bogus{};
    EXPECT_EQ(GuiHost::callbackFunction()(&bogus, GH_PIN_GET_TEXT, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(ObjectRegistry::strayCallbacks(), before + 1);
}

// Texts a module writes are read without trusting them: the host's own text
// handed back, and a text of the host's cut without its NUL, are problems;
// copies are not.
struct WrittenTextCase {
    const char *name;
    // What the module writes to pin 2, given the address of the host's
    // answer for pin 0 (a 100-byte printable text) and a buffer of its own.
    const char *(*write)(const char *hostText, char *own);
    std::vector<ProblemCode> problems;
};

class GuiHostWrittenTextTest : public GuiHostTest,
                               public ::testing::WithParamInterface<WrittenTextCase> {};

TEST_P(GuiHostWrittenTextTest, WrittenTextIsJudged) {
    GuiHost::Options options;
    options.echo = false;
    options.judgeWrittenTexts = true;
    auto host = makeHost(options);
    host->pins().setText(0, std::string(100, 'n'));
    const auto hostText = reinterpret_cast<const char *>(
        GuiHost::callbackFunction()(host->record(), GH_PIN_GET_TEXT, 0, 0, nullptr, 0.0f));
    char own[256] = {};
    const char *written = GetParam().write(hostText, own);
    GuiHost::callbackFunction()(host->record(), GH_PIN_SET_TEXT, 2, 0, const_cast<char *>(written),
                                0.0f);
    std::vector<ProblemCode> codes;
    for (const Problem &p : host->problems())
        codes.push_back(p.code);
    EXPECT_EQ(codes, GetParam().problems);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GuiHostWrittenTextTest,
    ::testing::Values(WrittenTextCase{"its_own_copy",
                                      [](const char *host, char *own) -> const char * {
                                          std::strcpy(own, host);
                                          return own;
                                      },
                                      {}},
                      WrittenTextCase{"the_hosts_text",
                                      [](const char *host, char *) { return host; },
                                      {ProblemCode::HostTextBack}},
                      WrittenTextCase{"inside_the_hosts_text",
                                      [](const char *host, char *) { return host + 10; },
                                      {ProblemCode::HostTextBack}},
                      WrittenTextCase{"cut_with_its_nul",
                                      [](const char *host, char *own) -> const char * {
                                          std::memcpy(own, host, 40);
                                          own[40] = '\0';
                                          return own;
                                      },
                                      {}},
                      WrittenTextCase{"cut_followed_by_text",
                                      [](const char *host, char *own) -> const char * {
                                          std::memcpy(own, host, 40);
                                          std::strcpy(own + 40, "...");
                                          return own;
                                      },
                                      {}},
                      WrittenTextCase{"cut_without_its_nul",
                                      [](const char *host, char *own) -> const char * {
                                          std::memcpy(own, host, 40);
                                          std::memcpy(own + 40, "\xff\xff\x01\x7f", 5);
                                          return own;
                                      },
                                      {ProblemCode::BadText}}),
    [](const ::testing::TestParamInfo<WrittenTextCase> &info) { return info.param.name; });

// Which writes of the GUI object are to an input of the audio side: a
// declaration with DR_IN and without IO_UI_COMMUNICATION. A pin the GUI
// owns (IO_UI_COMMUNICATION, also with IO_UI_DUAL), an output, and a list
// of choices are the GUI's to write. Each pin is told once.
struct InputWriteCase {
    const char *name;
    int32_t direction;
    uint32_t flags;
    int32_t opcode;
    bool judged; // with judgeInputWrites
    size_t problems;
};

void PrintTo(const InputWriteCase &c, std::ostream *os) { *os << c.name; }

class GuiHostInputWriteTest : public GuiHostTest,
                              public ::testing::WithParamInterface<InputWriteCase> {};

TEST_P(GuiHostInputWriteTest, OnlyAnAudioInputWrittenByTheGuiIsAProblem) {
    const InputWriteCase &c = GetParam();
    GuiHost::Options options;
    options.echo = false;
    options.judgeInputWrites = c.judged;
    auto host = makeHost(options);
    PinDeclaration pin;
    pin.index = 0;
    pin.record.direction = c.direction;
    pin.record.datatype = DT_FLOAT;
    pin.record.flags = c.flags;
    pin.name = "GAIN";
    host->declarePins({pin});
    char text[] = "0.5";
    for (int write = 0; write < 2; ++write)
        GuiHost::callbackFunction()(host->record(), c.opcode, 0, 1, text, 0.5f);
    ASSERT_EQ(host->problems().size(), c.problems);
    if (c.problems > 0) {
        EXPECT_EQ(host->problems()[0].code, ProblemCode::GuiWroteInput);
        EXPECT_NE(host->problems()[0].text.find("pin 0 (\"GAIN\"), an input of the audio side"),
                  std::string::npos)
            << host->problems()[0].text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GuiHostInputWriteTest,
    ::testing::Values(InputWriteCase{"AudioInputValue", DR_IN, 0, GH_PIN_SET_VALUE, true, 1},
                      InputWriteCase{"AudioInputText", DR_IN, 0, GH_PIN_SET_TEXT, true, 1},
                      InputWriteCase{"AudioInputListText", DR_IN, 0, GH_PIN_SET_LIST_TEXT, true, 0},
                      InputWriteCase{"AudioInputNotJudged", DR_IN, 0, GH_PIN_SET_VALUE, false, 0},
                      InputWriteCase{"GuiInput", DR_IN, IO_UI_COMMUNICATION, GH_PIN_SET_VALUE, true,
                                     0},
                      InputWriteCase{"DualInput", DR_IN, IO_UI_COMMUNICATION | IO_UI_DUAL,
                                     GH_PIN_SET_TEXT, true, 0},
                      InputWriteCase{"AudioOutput", DR_OUT, 0, GH_PIN_SET_VALUE, true, 0}),
    [](const ::testing::TestParamInfo<InputWriteCase> &info) { return info.param.name; });

} // namespace
