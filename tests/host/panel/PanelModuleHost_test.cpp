// The panel's module side carries out each request with the session engine
// that `wqhost run` uses: the same command through the panel's handler and
// through a script gives the same pins, the same state and the same error.
#include "host/core/Session.h"
#include "host/panel/PanelModuleHost.h"
#include "host/script/ScriptParser.h"
#include "host/script/ScriptRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using namespace wqhost;

// The panel's module host in this process, its events read back from a file.
class PanelSide {
public:
    PanelSide() : m_file(std::tmpfile(), &std::fclose), m_host(WQ_ECHO_MODULE_PATH, m_file.get()) {
        m_host.start();
    }

    // The events that answer `request`.
    std::vector<json> send(const json &request) {
        const long start = std::ftell(m_file.get());
        m_host.handleLine(request.dump());
        std::fflush(m_file.get());
        std::fseek(m_file.get(), start, SEEK_SET);
        std::vector<json> events;
        std::string line;
        for (int c; (c = std::fgetc(m_file.get())) != EOF;) {
            if (c != '\n') {
                line += static_cast<char>(c);
                continue;
            }
            const json j = json::parse(line);
            if (j.contains("event"))
                events.push_back(j);
            line.clear();
        }
        return events;
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> m_file;
    PanelModuleHost m_host;
};

const json *eventOf(const std::vector<json> &events, const std::string &name) {
    for (const json &e : events)
        if (e["event"] == name)
            return &e;
    return nullptr;
}

// The script's side: a run on a session of its own.
struct ScriptSide {
    Session session{WQ_ECHO_MODULE_PATH};
    std::ostringstream out, err;
    ScriptRunner runner{session, out, err, "test.wqs"};

    ScriptSide() { session.start(); }

    // The error text, or "" when the line was carried out.
    std::string run(const std::string &line) {
        try {
            runner.run(parseScript(line + "\n"));
        } catch (const ScriptError &e) {
            return e.what();
        }
        return "";
    }

    json pins() const {
        json all = json::array();
        if (session.isRunning())
            for (const PinValue &p : session.readPins())
                all.push_back(PanelModuleHost::pinValueJson(p, nullptr));
        return all;
    }
};

json withoutSamples(json pins) {
    for (json &p : pins)
        p.erase("samples");
    return pins;
}

struct Both {
    const char *name;
    std::vector<const char *> requests; // the panel's requests, JSON
    std::vector<const char *> lines;    // the same commands as script lines
    const char *error;                  // what the last one fails with, "" for none
};

void PrintTo(const Both &b, std::ostream *os) { *os << b.name; }

class PanelAndScript : public ::testing::TestWithParam<Both> {};

TEST_P(PanelAndScript, GiveTheSameResult) {
    const Both &b = GetParam();
    ASSERT_EQ(b.requests.size(), b.lines.size());
    PanelSide panel;
    ScriptSide script;
    std::vector<json> events;
    std::string scriptError;
    for (size_t i = 0; i < b.requests.size(); ++i) {
        events = panel.send(json::parse(b.requests[i]));
        scriptError = script.run(b.lines[i]);
    }
    EXPECT_EQ(scriptError, b.error) << script.out.str();
    const json *error = eventOf(events, "error");
    EXPECT_EQ(error ? (*error)["message"].get<std::string>() : std::string(), b.error);
    const json *status = eventOf(events, "status");
    ASSERT_TRUE(status);
    EXPECT_EQ((*status)["open"], script.session.isRunning());
    EXPECT_EQ((*status)["echo"], script.session.gui().echo());
    if (const json *pins = eventOf(events, "pins"))
        EXPECT_EQ(withoutSamples((*pins)["pins"]), script.pins());
    else
        EXPECT_STRNE(b.error, "") << "no pins event";
    ASSERT_TRUE(eventOf(events, "done"));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PanelAndScript,
    ::testing::Values(
        Both{"SetInt", {R"({"op":"set","pin":1,"form":"int","value":7})"}, {"set 1 int 7"}, ""},
        Both{"SetText",
             {R"({"op":"set","pin":0,"form":"text","value":"a,b"})"},
             {"set 0 text \"a,b\""},
             ""},
        Both{"SetFloat",
             {R"({"op":"set","pin":3,"form":"float","value":0.25})"},
             {"set 3 float 0.25"},
             ""},
        Both{"EchoOffThenSet",
             {R"({"op":"echo","on":false})", R"({"op":"set","pin":5,"form":"text","value":"x"})"},
             {"echo off", "set 5 x"},
             ""},
        Both{"Process", {R"({"op":"process","blocks":3})"}, {"process 3"}, ""},
        Both{"Close", {R"({"op":"close"})"}, {"close"}, ""},
        Both{"CloseThenOpen", {R"({"op":"close"})", R"({"op":"open"})"}, {"close", "open"}, ""},
        Both{"RecreateEmptiesThePins",
             {R"({"op":"set","pin":0,"form":"text","value":"abc"})", R"({"op":"recreate"})"},
             {"set 0 abc", "recreate"},
             ""},
        Both{"OpenWhenOpen",
             {R"({"op":"open"})"},
             {"open"},
             "the module is open already (use recreate)"},
        Both{"CloseTwice",
             {R"({"op":"close"})", R"({"op":"close"})"},
             {"close", "close"},
             "the module is closed (use open)"},
        Both{"SetWhenClosed",
             {R"({"op":"close"})", R"({"op":"set","pin":0,"value":"a"})"},
             {"close", "set 0 a"},
             "the module is closed (use open)"},
        Both{"ProcessWhenClosed",
             {R"({"op":"close"})", R"({"op":"process","blocks":1})"},
             {"close", "process"},
             "the module is closed (use open)"},
        Both{"UndeclaredPin",
             {R"({"op":"set","pin":9,"form":"int","value":1})"},
             {"set 9 int 1"},
             "pin 9 is not declared"}),
    [](const ::testing::TestParamInfo<Both> &info) { return info.param.name; });

TEST(PanelModuleHostTest, ASetReportsThePinTheUserSetAndThoseTheModuleWrote) {
    PanelSide panel;
    const std::vector<json> events =
        panel.send(json::parse(R"({"op":"set","pin":1,"form":"int","value":7})"));
    const json *pins = eventOf(events, "pins");
    ASSERT_TRUE(pins);
    // NUMBER set by the user; LEVEL written by the module.
    EXPECT_EQ((*pins)["changed"], json::parse(R"([{"index":1,"byModule":false},
                                                  {"index":3,"byModule":true}])"));
}

} // namespace
