// The panel's server with the module in its child process (the built
// wqhost), asked over HTTP as a page or another program would.
#include "host/panel/PanelServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

namespace {

using nlohmann::json;
using wqhost::PanelServer;

std::string testModule(const std::string &name) {
    return std::string(WQ_TEST_MODULE_DIR) + "/lib" + name + ".so";
}

// A server on a free port, serving from a thread of its own until the test
// ends.
class RunningPanel {
public:
    explicit RunningPanel(const std::string &library, double timeout = 10.0) {
        PanelServer::Options options;
        options.childArgv = {WQ_WQHOST_PATH, "panel", library, "--child"};
        options.timeoutSeconds = timeout;
        options.onEnded = [this](const std::string &m) { ended = m; };
        server = std::make_unique<PanelServer>(options);
        port = server->bind(0);
        startMessage = server->startModule();
        thread = std::thread([this] { server->run(); });
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
        client->set_read_timeout(20);
    }
    ~RunningPanel() {
        server->stop();
        thread.join();
    }

    std::string host() const { return "127.0.0.1:" + std::to_string(port); }
    httplib::Headers headers() const { return {{"Host", host()}}; }

    httplib::Result post(const std::string &body) {
        return client->Post("/api/request", headers(), body, "application/json");
    }
    json state() {
        auto res = client->Get("/api/state", headers());
        return res && res->status == 200 ? json::parse(res->body) : json();
    }
    json pinValue(int index) {
        const json now = state();
        for (const json &p : now["pins"])
            if (p["index"] == index)
                return p["value"];
        return nullptr;
    }

    std::unique_ptr<PanelServer> server;
    std::unique_ptr<httplib::Client> client;
    std::thread thread;
    int port = 0;
    std::string startMessage;
    std::string ended;
};

std::string errorOf(const httplib::Result &res) {
    if (!res)
        return "(no answer)";
    const json body = json::parse(res->body, nullptr, false);
    return body.is_object() ? body.value("error", "(no error field)")
                            : "(not JSON: " + res->body + ")";
}

class QuendorPanel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { panel = new RunningPanel(WQ_QUENDOR_LIBRARY); }
    static void TearDownTestSuite() {
        delete panel;
        panel = nullptr;
    }
    static RunningPanel *panel;
};
RunningPanel *QuendorPanel::panel = nullptr;

// -- who may ask -----------------------------------------------------------

struct Origins {
    const char *name;
    std::string host;   // "" leaves the header out; "@" is the right one
    const char *origin; // null leaves the header out; "@" is the right one
    int status;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const Origins &o, std::ostream *out) { *out << o.name; }

class RefusedOrigin : public QuendorPanel, public ::testing::WithParamInterface<Origins> {};

TEST_P(RefusedOrigin, AnswersOnlyTheLoopbackAddressAndPort) {
    const Origins &o = GetParam();
    const std::string right = panel->host();
    httplib::Headers headers;
    headers.emplace("Host", o.host == "@" ? right : o.host);
    if (o.origin)
        headers.emplace("Origin", std::string(o.origin) == "@" ? "http://" + right : o.origin);
    for (const char *path : {"/", "/api/state"}) {
        auto res = panel->client->Get(path, headers);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, o.status) << path;
        if (o.status == 403) {
            EXPECT_NE(errorOf(res).find("127.0.0.1:"), std::string::npos) << errorOf(res);
        }
    }
    auto res = panel->client->Post("/api/request", headers, "{\"op\":\"echo\",\"on\":true}",
                                   "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, o.status);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, RefusedOrigin,
    ::testing::Values(Origins{"right", "@", nullptr, 200}, Origins{"rightOrigin", "@", "@", 200},
                      Origins{"rebound", "attacker.example:PORT", nullptr, 403},
                      Origins{"localhostName", "localhost", nullptr, 403},
                      Origins{"noPort", "127.0.0.1", nullptr, 403},
                      Origins{"otherPort", "127.0.0.1:1", nullptr, 403},
                      Origins{"foreignOrigin", "@", "http://attacker.example", 403},
                      Origins{"nullOrigin", "@", "null", 403},
                      Origins{"httpsOrigin", "@", "https://127.0.0.1", 403}),
    [](const ::testing::TestParamInfo<Origins> &info) { return std::string(info.param.name); });

// -- what is refused -------------------------------------------------------

struct BadRequest {
    const char *name;
    std::string body;
    const char *type;
    int status;
    const char *reason;
};

void PrintTo(const BadRequest &b, std::ostream *out) { *out << b.name; }

class MalformedRequest : public QuendorPanel, public ::testing::WithParamInterface<BadRequest> {};

TEST_P(MalformedRequest, IsAnsweredWithAJsonError) {
    const BadRequest &b = GetParam();
    auto res = panel->client->Post("/api/request", panel->headers(), b.body, b.type);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, b.status);
    EXPECT_NE(errorOf(res).find(b.reason), std::string::npos) << errorOf(res);
    // The server and the module are still there.
    EXPECT_EQ(panel->post("{\"op\":\"echo\",\"on\":true}")->status, 200);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, MalformedRequest,
    ::testing::Values(BadRequest{"notJson", "{op:set}", "application/json", 400, "not JSON"},
                      BadRequest{"unknownPin", "{\"op\":\"set\",\"pin\":7,\"value\":\"x\"}",
                                 "application/json", 400, "no pin 7"},
                      BadRequest{"unknownOp", "{\"op\":\"rm\"}", "application/json", 400,
                                 "unknown op"},
                      BadRequest{"formPost", "op=set", "application/x-www-form-urlencoded", 415,
                                 "application/json"},
                      BadRequest{"oversize", std::string(64 * 1024 + 1, ' '), "application/json",
                                 413, "too large"},
                      BadRequest{"hugeOversize", std::string(4 << 20, '['), "application/json", 413,
                                 "too large"}),
    [](const ::testing::TestParamInfo<BadRequest> &info) { return std::string(info.param.name); });

TEST_F(QuendorPanel, UnknownPathsAndMethodsAreJsonErrors) {
    auto missing = panel->client->Get("/nothing-here", panel->headers());
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(errorOf(missing), "no such page");
    auto traversal = panel->client->Get("/../etc/passwd", panel->headers());
    ASSERT_TRUE(traversal);
    EXPECT_NE(traversal->status, 200);
}

TEST_F(QuendorPanel, ServesTheEmbeddedPageWithAStrictPolicy) {
    for (const char *path : {"/", "/panel.js", "/panel.css"}) {
        auto res = panel->client->Get(path, panel->headers());
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_FALSE(res->body.empty()) << path;
        EXPECT_NE(res->get_header_value("Content-Security-Policy").find("default-src 'self'"),
                  std::string::npos);
    }
}

// -- the module through the API --------------------------------------------

TEST_F(QuendorPanel, DrivesTheListSelectorByPinIndex) {
    const json module = panel->state()["module"];
    EXPECT_EQ(module["pins"].size(), 4u);
    ASSERT_EQ(panel->post("{\"op\":\"set\",\"pin\":0,\"value\":\"red,green,blue\"}")->status, 200);
    ASSERT_EQ(panel->post("{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":1}")->status, 200);
    EXPECT_EQ(panel->pinValue(2), "green");
    EXPECT_EQ(panel->pinValue(3), "1");
    ASSERT_EQ(panel->post("{\"op\":\"set\",\"pin\":3,\"value\":\"2\"}")->status, 200);
    EXPECT_EQ(panel->pinValue(1), 2);
    EXPECT_EQ(panel->pinValue(2), "blue");
    for (const char *op : {"{\"op\":\"process\",\"blocks\":3}", "{\"op\":\"recreate\"}",
                           "{\"op\":\"close\"}", "{\"op\":\"open\"}"})
        EXPECT_EQ(panel->post(op)->status, 200) << op;
    EXPECT_EQ(panel->pinValue(2), "");
    // The module's own state says what cannot be done now.
    auto again = panel->post("{\"op\":\"open\"}");
    EXPECT_EQ(again->status, 409);
    EXPECT_NE(errorOf(again).find("open already"), std::string::npos);
    EXPECT_EQ(panel->state()["problemCount"], 0);
}

TEST_F(QuendorPanel, StreamsTheStateThenTheModulesWritesMarkedAsItsOwn) {
    httplib::Client stream("127.0.0.1", panel->port);
    stream.set_read_timeout(10);
    std::string received;
    std::thread poke([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        panel->post("{\"op\":\"set\",\"pin\":0,\"value\":\"x,y\"}");
    });
    stream.Get("/api/events", panel->headers(), [&](const char *data, size_t size) {
        received.append(data, size);
        return received.find("\"event\":\"pins\"") == std::string::npos;
    });
    poke.join();
    ASSERT_EQ(received.rfind("retry: 1000\ndata: {", 0), 0u) << received.substr(0, 200);
    EXPECT_NE(received.find("\"event\":\"state\""), std::string::npos);
    // Pin 0 was the user's; pin 2 (the item's name) the module's.
    const size_t at = received.find("data: {\"changed\"");
    ASSERT_NE(at, std::string::npos) << received;
    const json pins = json::parse(received.substr(at + 6, received.find('\n', at) - at - 6));
    bool user0 = false, module2 = false;
    for (const json &c : pins["changed"]) {
        user0 |= c["index"] == 0 && c["byModule"] == false;
        module2 |= c["index"] == 2 && c["byModule"] == true;
    }
    EXPECT_TRUE(user0) << pins.dump();
    EXPECT_TRUE(module2) << pins.dump();
}

TEST(PanelWithEchoModule, SetsPinsOfEveryDataTypeInTheirOwnForm) {
    RunningPanel panel(WQ_ECHO_MODULE_PATH);
    struct Write {
        int pin;
        const char *request;
        json stored;
    };
    // Pins: 1 int, 3 float, 4 enum "x,y,z", 6 sample.
    const Write writes[] = {
        {1, "{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":-7}", -7},
        {1, "{\"op\":\"set\",\"pin\":1,\"value\":\"42abc\"}", 42},
        {3, "{\"op\":\"set\",\"pin\":3,\"form\":\"float\",\"value\":0.25}", 0.25},
        {3, "{\"op\":\"set\",\"pin\":3,\"form\":\"int\",\"value\":3}", 3.0},
        {4, "{\"op\":\"set\",\"pin\":4,\"form\":\"int\",\"value\":2}", 2},
        {6, "{\"op\":\"set\",\"pin\":6,\"form\":\"float\",\"value\":1.5}", 1.5},
    };
    for (const Write &w : writes) {
        ASSERT_EQ(panel.post(w.request)->status, 200) << w.request;
        EXPECT_EQ(panel.pinValue(w.pin), w.stored) << w.request;
    }
    ASSERT_EQ(panel.post("{\"op\":\"process\",\"blocks\":2}")->status, 200);
    const json state = panel.state();
    for (const json &p : state["pins"]) {
        EXPECT_EQ(p.contains("samples"), p["index"] == 6) << p.dump();
        EXPECT_EQ(p.contains("listText"), p["index"] == 4) << p.dump();
    }
    EXPECT_EQ(state["module"]["pins"][6]["dataType"], "fsample");
    EXPECT_EQ(state["pins"][4]["listText"], "x,y,z");
}

// -- a module with one side only --------------------------------------------

struct OneSided {
    const char *name;
    const char *library;
    bool audio;
};

void PrintTo(const OneSided &m, std::ostream *os) { *os << m.name; }

class OneSidedPanel : public ::testing::TestWithParam<OneSided> {};

TEST_P(OneSidedPanel, RunsTheOneSideAndOffersNothingOfTheOther) {
    const OneSided &m = GetParam();
    RunningPanel panel(m.library);
    EXPECT_EQ(panel.startMessage, "");
    json state = panel.state();
    EXPECT_EQ(state["status"]["open"], true) << state.dump();
    EXPECT_EQ(state["status"]["sides"]["audio"], m.audio) << state.dump();
    EXPECT_EQ(state["status"]["sides"]["gui"], !m.audio) << state.dump();
    for (const char *op : {"{\"op\":\"close\"}", "{\"op\":\"open\"}", "{\"op\":\"recreate\"}"})
        EXPECT_EQ(panel.post(op)->status, 200) << op;
    auto process = panel.post("{\"op\":\"process\",\"blocks\":2}");
    ASSERT_TRUE(process);
    if (m.audio) {
        EXPECT_EQ(process->status, 200);
        EXPECT_EQ(panel.post("{\"op\":\"set\",\"pin\":0,\"form\":\"float\",\"value\":0.5}")->status,
                  200);
        EXPECT_EQ(panel.pinValue(0), 0.5);
    } else {
        EXPECT_EQ(process->status, 409);
        EXPECT_NE(errorOf(process).find("no audio side"), std::string::npos) << errorOf(process);
    }
    EXPECT_EQ(panel.state()["problemCount"], 0);
    EXPECT_EQ(panel.ended, "");
}

const OneSided kOneSided[] = {{"AudioOnly", WQ_AUDIO_ONLY_MODULE, true},
                              {"GuiOnly", WQ_GUI_ONLY_MODULE, false}};

INSTANTIATE_TEST_SUITE_P(Modules, OneSidedPanel, ::testing::ValuesIn(kOneSided),
                         [](const auto &info) { return std::string(info.param.name); });

// The rate and block size a page chooses for what it processes next: the
// scope of an output shows one block of the chosen size.
TEST(PanelWithGain, ProcessesAtTheChosenBlockSize) {
    RunningPanel panel(WQ_GAIN_LIBRARY);
    ASSERT_EQ(panel.post("{\"op\":\"rate\",\"hz\":44100}")->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"block\",\"size\":16}")->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"process\",\"blocks\":3}")->status, 200);
    const json state = panel.state();
    ASSERT_EQ(state["pins"].size(), 3u) << state.dump();
    EXPECT_EQ(state["pins"][1]["samples"].size(), 16u) << state.dump();
    EXPECT_EQ(panel.post("{\"op\":\"block\",\"size\":5000}")->status, 400);
    ASSERT_EQ(panel.post("{\"op\":\"close\"}")->status, 200);
    EXPECT_EQ(panel.post("{\"op\":\"block\",\"size\":8}")->status, 409);
    EXPECT_EQ(panel.state()["problemCount"], 0);
}

// -- a module that does not survive ----------------------------------------

TEST(PanelWithBrokenModule, ACrashInOpenEndsTheSessionNotTheServer) {
    RunningPanel panel(testModule("wq_broken_crash_open"));
    // (A sanitizer build ends it with an exit status rather than the signal.)
    EXPECT_NE(panel.startMessage.find("the module's process ended: "), std::string::npos)
        << panel.startMessage;
    EXPECT_NE(panel.startMessage.find("AD_OPEN"), std::string::npos) << panel.startMessage;
    EXPECT_EQ(panel.ended, panel.startMessage);
    EXPECT_EQ(panel.state()["ended"], panel.startMessage);
    auto res = panel.post("{\"op\":\"recreate\"}");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 409);
    EXPECT_NE(errorOf(res).find("the session has ended"), std::string::npos);
    EXPECT_EQ(panel.client->Get("/", panel.headers())->status, 200);
}

TEST(PanelWithBrokenModule, EachProblemIsCountedOnce) {
    RunningPanel panel(testModule("wq_broken_host_value"));
    const int atStart = panel.state()["problemCount"];
    ASSERT_GT(atStart, 0);
    EXPECT_EQ(panel.post("{\"op\":\"process\",\"blocks\":2}")->status, 200);
    EXPECT_EQ(panel.state()["problemCount"], atStart);
    // Fresh objects keep the fault: the same problems again, once each.
    EXPECT_EQ(panel.post("{\"op\":\"recreate\"}")->status, 200);
    EXPECT_EQ(panel.state()["problemCount"], 2 * atStart);
}

TEST(PanelWithBrokenModule, AHangIsStoppedAfterTheTimeLimit) {
    RunningPanel panel(testModule("wq_broken_hang"), 1.0);
    ASSERT_EQ(panel.startMessage, "");
    auto res = panel.post("{\"op\":\"set\",\"pin\":0,\"value\":\"a\"}");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 502);
    EXPECT_NE(errorOf(res).find("did not answer within 1 s"), std::string::npos) << errorOf(res);
    EXPECT_NE(errorOf(res).find("GD_PIN_CHANGED"), std::string::npos) << errorOf(res);
    EXPECT_EQ(panel.state()["ended"], errorOf(res));
}

} // namespace
