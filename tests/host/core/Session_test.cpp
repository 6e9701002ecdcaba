// A session ties both objects of a module together: pin table from the audio
// side, pin values on the GUI side, one trace for both.
#include "host/platform/HostError.h"
#include "host/core/Session.h"
#include "host/describe/TextReport.h"
#include "host/trace/CallText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace wqhost;

namespace {

TEST(SessionTest, StartsWithThePinTableDeclaredOnTheGuiSide) {
    Session session(WQ_ECHO_MODULE_PATH);
    session.start();
    EXPECT_TRUE(session.isRunning());
    EXPECT_EQ(session.description().name, "Echo");
    ASSERT_EQ(session.pinTable().size(), 7u);
    ASSERT_EQ(session.readPins().size(), 7u);
    EXPECT_EQ(session.readPins()[4].listText, "x,y,z");
    EXPECT_TRUE(session.problems().empty());
    // Audio open and table, then GUI open, in one log.
    const auto &calls = session.log().calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, CallKind::GetModuleProperties);
    EXPECT_EQ(calls[1].kind, CallKind::MakeModule);
    EXPECT_EQ(calls[1].value, WQ_TYPE_AUDIO);
    EXPECT_EQ(calls[2].opcode, AD_OPEN);
    EXPECT_EQ(calls.back().side, Side::Gui);
    EXPECT_EQ(calls.back().opcode, GH_OPCODE_22);
}

TEST(SessionTest, RestartGivesFreshObjectsAndEmptyPins) {
    Session session(WQ_ECHO_MODULE_PATH);
    session.start();
    session.setPinText(0, "abc");
    EXPECT_EQ(session.gui().pins().text(2), "abc");
    session.restart();
    EXPECT_EQ(session.gui().pins().text(2), "");
    session.stop();
    EXPECT_FALSE(session.isRunning());
    EXPECT_THROW(session.setPinText(0, "x"), HostError);
}

TEST(SessionTest, TraceFileEndsWithTheLastCall) {
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        Session session(WQ_ECHO_MODULE_PATH);
        session.setTrace(f);
        session.start();
        session.stop();
        session.setTrace(nullptr);
    }
    std::rewind(f);
    std::string all;
    for (int c; (c = std::fgetc(f)) != EOF;)
        all += static_cast<char>(c);
    std::fclose(f);
    EXPECT_NE(all.find("\"kind\":\"makeModule\""), std::string::npos);
    // The audio close is the last call and it returned 1.
    size_t last = all.rfind("{\"seq\"");
    EXPECT_NE(all.find("\"phase\":\"return\",\"result\":1", last), std::string::npos)
        << all.substr(last);
}

TEST(SessionTest, ReportShowsDeclarationsAndValues) {
    Session session(WQ_ECHO_MODULE_PATH);
    session.start();
    std::string table = formatPinTable(session.pinTable());
    EXPECT_NE(table.find("\"CHOICE\""), std::string::npos) << table;
    EXPECT_NE(table.find("list \"x,y,z\""), std::string::npos) << table;
    EXPECT_NE(table.find("IO_UI_COMMUNICATION"), std::string::npos) << table;
    session.setPinText(0, "caf\xe9");
    std::string values = formatPinValues(session.readPins());
    EXPECT_NE(values.find("\"caf\\xe9\""), std::string::npos) << values;
}

// A module with one side only runs that side alone: no call goes to the
// side makeModule refused, and a restart asks for it once again only.
TEST(SessionTest, AModuleWithOneSideRunsThatSideAlone) {
    struct Case {
        const char *library;
        bool audio;
        size_t pins;
    };
    for (const Case &c :
         {Case{WQ_AUDIO_ONLY_MODULE, true, 2}, Case{WQ_GUI_ONLY_MODULE, false, 0}}) {
        SCOPED_TRACE(c.library);
        Session::Options options;
        options.audio.pinCount = 2;
        Session session(c.library, options);
        session.start();
        EXPECT_TRUE(session.isRunning());
        EXPECT_EQ(session.hasAudioSide(), c.audio);
        EXPECT_EQ(session.hasGuiSide(), !c.audio);
        EXPECT_EQ(session.pinTable().size(), c.pins);
        session.restart();
        size_t refused = 0;
        for (const CallRecord &call : session.log().calls()) {
            if (call.kind == CallKind::MakeModule) {
                refused += (call.value == WQ_TYPE_AUDIO) != c.audio ? 1 : 0;
                continue;
            }
            if (call.kind == CallKind::GetModuleProperties)
                continue;
            EXPECT_EQ(call.side, c.audio ? Side::Audio : Side::Gui)
                << callText(call, CallForm::Trace);
        }
        EXPECT_EQ(refused, 2u); // once per start
        if (c.audio) {
            // Without a GUI object a change is only kept.
            session.setPinFloat(0, 0.5f);
            EXPECT_EQ(session.gui().pins().floatValue(0), 0.5f);
            EXPECT_THROW(session.setPinFloat(7, 1.0f), HostError);
            session.audio().processBlocks(2);
        } else {
            EXPECT_THROW(session.setPinInt(0, 1), HostError);
        }
        EXPECT_TRUE(session.problems().empty());
        session.stop();
        EXPECT_FALSE(session.isRunning());
        EXPECT_THROW(session.setPinFloat(0, 1.0f), HostError);
    }
}

TEST(SessionTest, AModuleWithNeitherSideDoesNotStart) {
    Session session(WQ_ECHO_MODULE_PATH, Session::Options{{}, {}, 1});
    EXPECT_THROW(session.start(), HostError);
    EXPECT_FALSE(session.isRunning());
}

} // namespace
