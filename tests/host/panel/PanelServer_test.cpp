// The panel's server with the module in its child process (the built
// wqhost), asked over HTTP as a page or another program would.
#include "host/panel/PanelServer.h"
#include "host/platform/HostError.h"

#include "TestSocket.h"
#include "tests/support/ReplaceFile.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <malloc.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Whether the address sanitizer is in: its quarantine keeps freed blocks.
#if defined(__SANITIZE_ADDRESS__)
#  define WQ_TEST_ASAN 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define WQ_TEST_ASAN 1
#  endif
#endif
#ifndef WQ_TEST_ASAN
#  define WQ_TEST_ASAN 0
#endif
#if WQ_TEST_ASAN
// The sanitizer's runtime has it; GCC installs no header that declares it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

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
    explicit RunningPanel(const std::string &library, double timeout = 10.0, size_t maxStreams = 32,
                          bool watch = false) {
        PanelServer::Options options;
        options.childArgv = {WQ_WQHOST_PATH, "panel", library, "--child"};
        options.timeoutSeconds = timeout;
        options.maxStreams = maxStreams;
        options.onEnded = [this](const std::string &m) { ended = m; };
        if (watch)
            options.watchPath = library;
        options.onReload = [this](const std::string &m) {
            std::lock_guard<std::mutex> lock(reloadMutex);
            reloads.push_back(m);
        };
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
    std::mutex reloadMutex;
    std::vector<std::string> reloads; // what each reload said, in order

    // Waits for the reload after `count` reloads, or gives up after a long
    // while (a loaded machine is slow); the message, or empty.
    std::string awaitReload(size_t count) {
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
            {
                std::lock_guard<std::mutex> lock(reloadMutex);
                if (reloads.size() > count)
                    return reloads[count];
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return std::string();
    }
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
                      BadRequest{"typeWithASuffix", "{\"op\":\"echo\",\"on\":true}",
                                 "application/jsonfoo", 415, "application/json"},
                      BadRequest{"typeAsAPrefix", "{\"op\":\"echo\",\"on\":true}",
                                 "text/application/json", 415, "application/json"},
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
    // No icon, and no error for the browser's question about one.
    auto icon = panel->client->Get("/favicon.ico", panel->headers());
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->status, 204);
    auto traversal = panel->client->Get("/../etc/passwd", panel->headers());
    ASSERT_TRUE(traversal);
    EXPECT_NE(traversal->status, 200);
}

TEST_F(QuendorPanel, TakesJsonWithParametersInAnyCase) {
    for (const char *type : {"application/json; charset=utf-8", "Application/JSON"}) {
        auto res = panel->client->Post("/api/request", panel->headers(),
                                       "{\"op\":\"echo\",\"on\":true}", type);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200) << type;
    }
}

TEST_F(QuendorPanel, ServesTheEmbeddedPageWithAStrictPolicy) {
    for (const char *path : {"/", "/panel.js", "/panel-events.js", "/panel.css"}) {
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
    // Chosen while closed, the block size is the one of the next objects.
    ASSERT_EQ(panel.post("{\"op\":\"close\"}")->status, 200);
    EXPECT_EQ(panel.post("{\"op\":\"block\",\"size\":8}")->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"open\"}")->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"process\"}")->status, 200);
    EXPECT_EQ(panel.state()["pins"][1]["samples"].size(), 8u);
    EXPECT_EQ(panel.state()["problemCount"], 0);
}

std::vector<float> outputSamples(RunningPanel &panel) {
    return panel.state()["pins"][1]["samples"].get<std::vector<float>>();
}

// The input signal the page chooses feeds IN; OUT is IN times GAIN.
TEST(PanelWithGain, FeedsTheChosenSignalToTheInput) {
    RunningPanel panel(WQ_GAIN_LIBRARY);
    ASSERT_EQ(panel.post("{\"op\":\"block\",\"size\":32}")->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"signal\",\"pin\":0,\"signal\":\"constant 0.25\"}")->status,
              200);
    ASSERT_EQ(panel.post("{\"op\":\"set\",\"pin\":2,\"form\":\"float\",\"value\":2}")->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"process\",\"blocks\":2}")->status, 200);
    EXPECT_EQ(outputSamples(panel), std::vector<float>(32, 0.5f));

    // An impulse at sample 3 of the signal's own clock.
    ASSERT_EQ(panel.post("{\"op\":\"signal\",\"pin\":0,\"signal\":\"impulse 3\"}")->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"process\"}")->status, 200);
    std::vector<float> impulse(32, 0.0f);
    impulse[3] = 2.0f;
    EXPECT_EQ(outputSamples(panel), impulse);
    EXPECT_EQ(panel.state()["problemCount"], 0);
}

struct RefusedSignal {
    const char *name;
    bool closeFirst; // asked of a closed module
    const char *body;
    int status;
    const char *reason;
};

void PrintTo(const RefusedSignal &r, std::ostream *out) { *out << r.name; }

class PanelWithGainSignal : public ::testing::TestWithParam<RefusedSignal> {};

TEST_P(PanelWithGainSignal, IsRefusedWithItsReason) {
    RunningPanel panel(WQ_GAIN_LIBRARY);
    const RefusedSignal &r = GetParam();
    if (r.closeFirst) {
        ASSERT_EQ(panel.post("{\"op\":\"close\"}")->status, 200);
    }
    auto res = panel.post(r.body);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, r.status);
    EXPECT_NE(errorOf(res).find(r.reason), std::string::npos) << errorOf(res);
    EXPECT_EQ(panel.ended, "");
}

const RefusedSignal kRefusedSignals[] = {
    {"output", false, "{\"op\":\"signal\",\"pin\":1,\"signal\":\"sine 440 0.5\"}", 409,
     "is an output"},
    {"control", false, "{\"op\":\"signal\",\"pin\":2,\"signal\":\"sine 440 0.5\"}", 409,
     "no audio pin"},
    {"closed", true, "{\"op\":\"signal\",\"pin\":0,\"signal\":\"sine 440 0.5\"}", 409, "closed"},
    {"file", false, "{\"op\":\"signal\",\"pin\":0,\"signal\":\"file in.wav\"}", 400,
     "feeds no files"},
};

INSTANTIATE_TEST_SUITE_P(Signals, PanelWithGainSignal, ::testing::ValuesIn(kRefusedSignals),
                         [](const auto &info) { return std::string(info.param.name); });

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

// -- under load --------------------------------------------------------------

using namespace std::chrono_literals;
using wqtest::TestSocket;

// Whether this process runs under valgrind (its preloaded part is in
// LD_PRELOAD): its allocator never hands memory back, so the process's size
// cannot show what the server keeps, and the bounds are not asserted.
bool sizeIsMeasurable() {
    const char *preload = std::getenv("LD_PRELOAD");
    return !(preload && std::strstr(preload, "vgpreload"));
}

// What the process holds, after handing back what its allocator keeps free:
// each connection thread may have an arena of its own, and how much an idle
// arena keeps depends on how the threads were scheduled, not on the server.
// Under the address sanitizer freed blocks wait in its quarantine, so the
// process's size says nothing of what is kept there: the live heap counts.
size_t residentBytes() {
#if WQ_TEST_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    ::malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
#endif
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string setText(int pin, const std::string &value) {
    return json{{"op", "set"}, {"pin", pin}, {"value", value}}.dump();
}

TEST(PanelUnderLoad, HeldStreamsAndHalfRequestsLeaveASetAnsweredWithinASecond) {
    RunningPanel panel(WQ_QUENDOR_LIBRARY);
    const std::string host = "Host: " + panel.host() + "\r\n";
    std::vector<std::unique_ptr<TestSocket>> streams, slow;
    for (int i = 0; i < 16; ++i) {
        streams.push_back(std::make_unique<TestSocket>(panel.port));
        streams.back()->send("GET /api/events HTTP/1.1\r\n" + host + "\r\n");
        ASSERT_NE(streams.back()->read("\"event\":\"state\"", 3000).find("\"event\":\"state\""),
                  std::string::npos)
            << "stream " << i;
    }
    for (int i = 0; i < 8; ++i) {
        slow.push_back(std::make_unique<TestSocket>(panel.port));
        slow.back()->send("POST /api/request HTTP/1.1\r\n" + host);
    }
    for (int round = 0; round < 4; ++round) {
        for (auto &s : slow)
            s->send("X-Slow: " + std::to_string(round) + "\r\n");
        // Answered at all: a server whose threads the streams and the slow
        // clients held would leave the request to the client's time-out.
        const auto start = std::chrono::steady_clock::now();
        auto res = panel.post(setText(0, "round" + std::to_string(round) + ",b"));
        ASSERT_TRUE(res) << "round " << round;
        EXPECT_EQ(res->status, 200);
        std::printf("round %d answered in %.3f s\n", round, secondsSince(start));
        std::this_thread::sleep_for(250ms);
    }
    EXPECT_EQ(panel.pinValue(2), "round3");
    for (auto &s : streams)
        EXPECT_NE(s->read("round3", 2000).find("round3"), std::string::npos);
}

TEST(PanelUnderLoad, AStreamPastTheLimitIsRefusedWithTheReasonUntilOneCloses) {
    RunningPanel panel(WQ_QUENDOR_LIBRARY, 10.0, 2);
    const std::string request = "GET /api/events HTTP/1.1\r\nHost: " + panel.host() + "\r\n\r\n";
    std::vector<std::unique_ptr<TestSocket>> streams;
    for (int i = 0; i < 2; ++i) {
        streams.push_back(std::make_unique<TestSocket>(panel.port));
        streams.back()->send(request);
        ASSERT_NE(streams.back()->read("\"state\"", 3000).find("\"state\""), std::string::npos);
    }
    auto refused = panel.client->Get("/api/events", panel.headers());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    EXPECT_NE(errorOf(refused).find("at most 2 event streams"), std::string::npos)
        << errorOf(refused);
    streams.pop_back();
    bool served = false;
    for (int attempt = 0; attempt < 30 && !served; ++attempt) {
        TestSocket again(panel.port);
        again.send(request);
        served = again.read("\"state\"", 200).find("\"state\"") != std::string::npos;
        if (!served)
            std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(served) << "a closed stream's place was not freed";
}

TEST(PanelUnderLoad, ABodyPastTheLimitIsRefusedWithoutBeingKeptChunkedOrNot) {
    RunningPanel panel(WQ_QUENDOR_LIBRARY);
    const size_t before = residentBytes();
    const std::string start = "{\"op\":\"set\",\"pin\":0,\"value\":\"";
    const std::string piece(64 * 1024, 'a');
    size_t sent = 0;
    auto res = panel.client->Post(
        "/api/request", panel.headers(),
        [&](size_t, httplib::DataSink &sink) {
            if (sent >= (20u << 20)) {
                sink.done();
                return true;
            }
            const std::string &next = sent == 0 ? start : piece;
            sent += next.size();
            return sink.write(next.data(), next.size());
        },
        "application/json");
    ASSERT_TRUE(res) << "no answer to a 20 MB chunked body";
    EXPECT_EQ(res->status, 413);
    EXPECT_NE(errorOf(res).find("too large"), std::string::npos);
    // The body was never held (20 MB would show).
    const size_t after = residentBytes();
    if (sizeIsMeasurable()) {
        EXPECT_LT(after, before + (8u << 20)) << before << " -> " << after;
    }

    // A body with neither length nor chunks ends with the connection.
    TestSocket raw(panel.port);
    raw.send("POST /api/request HTTP/1.1\r\nHost: " + panel.host() +
             "\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n" + start +
             std::string(256 * 1024, 'a'));
    raw.shutdownWrite();
    EXPECT_EQ(raw.read("}", 3000).rfind("HTTP/1.1 413", 0), 0u);
    EXPECT_EQ(panel.post("{\"op\":\"echo\",\"on\":true}")->status, 200);
}

TEST(PanelUnderLoad, AThousandRequestsWithLargeValuesLeaveMemoryFlat) {
    RunningPanel panel(WQ_QUENDOR_LIBRARY);
    const auto request = [](int i) {
        if (i % 10 == 9)
            return std::string("{\"op\":\"process\",\"blocks\":8}");
        // Near the body limit, a fresh value each time.
        return setText(0, std::to_string(i) + std::string(20000, static_cast<char>('a' + i % 26)) +
                              "," + std::to_string(i));
    };
    // Long enough for every bound of what is kept to be reached.
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(panel.post(request(i))->status, 200);
    const size_t before = residentBytes();
    for (int i = 100; i < 1100; ++i) {
        auto res = panel.post(request(i));
        ASSERT_TRUE(res) << i;
        ASSERT_EQ(res->status, 200) << i;
    }
    const size_t after = residentBytes();
    if (sizeIsMeasurable()) {
        EXPECT_LT(after, before + (8u << 20)) << before << " -> " << after;
    }
}

// -- the port ----------------------------------------------------------------

// Runs `command` (bounded by `timeout`), giving its output and exit status.
int runCommand(const std::string &command, std::string &output) {
    std::FILE *pipe = ::popen(("timeout 15 " + command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PanelPort, ASecondPanelOnAPortInUseIsRefused) {
    RunningPanel first(WQ_QUENDOR_LIBRARY);
    PanelServer::Options options;
    options.childArgv = {WQ_WQHOST_PATH, "panel", WQ_QUENDOR_LIBRARY, "--child"};
    PanelServer second(options);
    EXPECT_THROW(second.bind(first.port), wqhost::HostError);

    std::string output;
    const int status = runCommand(std::string(WQ_WQHOST_PATH) + " panel " + WQ_ECHO_MODULE_PATH +
                                      " --no-open --port " + std::to_string(first.port),
                                  output);
    EXPECT_EQ(status, 2) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    EXPECT_NE(output.find("in use"), std::string::npos) << output;
    // The first still answers with its own module.
    EXPECT_EQ(first.state()["module"]["pins"].size(), 4u);
}

struct Unusable {
    const char *name;
    std::string library;
    const char *reason;
};

void PrintTo(const Unusable &u, std::ostream *out) { *out << u.name; }

class PanelOfAnUnusableLibrary : public ::testing::TestWithParam<Unusable> {};

TEST_P(PanelOfAnUnusableLibrary, IsOneLineAndStatus2BeforeAnyPageAsInfoSays) {
    const Unusable &u = GetParam();
    std::string library = u.library;
    if (library.empty()) { // a text file named like a library
        library = "/tmp/wq-panel-test-" + std::to_string(::getpid()) + ".so";
        std::ofstream(library) << "not a library\n";
    }
    std::string info, panel;
    EXPECT_EQ(runCommand(std::string(WQ_WQHOST_PATH) + " info " + library, info), 2) << info;
    EXPECT_EQ(runCommand(std::string(WQ_WQHOST_PATH) + " panel " + library + " --no-open", panel),
              2)
        << panel;
    if (u.library.empty())
        std::remove(library.c_str());
    EXPECT_EQ(panel, info);
    EXPECT_EQ(std::count(panel.begin(), panel.end(), '\n'), 1) << panel;
    EXPECT_NE(panel.find(u.reason), std::string::npos) << panel;
    EXPECT_EQ(panel.find("http://"), std::string::npos) << panel;
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, PanelOfAnUnusableLibrary,
    ::testing::Values(Unusable{"notALibrary", "", "cannot load library"},
                      Unusable{"noModule", testModule("wq_half_module"), "does not export"},
                      Unusable{"missing", "/nonexistent/libnothing.so", "No such file"}),
    [](const ::testing::TestParamInfo<Unusable> &info) { return std::string(info.param.name); });

// -- after a fault -----------------------------------------------------------

// The module's processes the test's panels started.
std::vector<pid_t> childProcesses() {
    std::vector<pid_t> out;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return out;
    while (const dirent *entry = ::readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
            parent == ::getpid() && state != 'Z')
            out.push_back(pid);
    }
    ::closedir(proc);
    return out;
}

struct Fault {
    const char *name;
    std::string library;
    double timeout;
    bool kill;         // killed from outside, rather than by the request
    const char *named; // in the end message
};

void PrintTo(const Fault &f, std::ostream *out) { *out << f.name; }

class PanelAfterAFault : public ::testing::TestWithParam<Fault> {};

TEST_P(PanelAfterAFault, RestartStartsAFreshModuleProcess) {
    const Fault &f = GetParam();
    RunningPanel panel(f.library, f.timeout);
    ASSERT_EQ(panel.startMessage, "");
    for (int round = 0; round < 2; ++round) {
        if (f.kill) {
            const std::vector<pid_t> children = childProcesses();
            ASSERT_EQ(children.size(), 1u);
            ::kill(children[0], SIGKILL);
            // Noticed without a request, and named. The watcher looks every
            // few milliseconds; the wait is long only so that a loaded
            // machine does not fail the test.
            const auto killed = std::chrono::steady_clock::now();
            json ended;
            while (ended.is_null() && secondsSince(killed) < 10.0) {
                std::this_thread::sleep_for(50ms);
                ended = panel.state()["ended"];
            }
            ASSERT_TRUE(ended.is_string()) << "the death was not noticed without a request";
            std::printf("the death was noticed after %.3f s\n", secondsSince(killed));
            EXPECT_NE(ended.get<std::string>().find(f.named), std::string::npos) << ended;
        } else {
            auto res = panel.post(setText(0, "a"));
            ASSERT_TRUE(res);
            EXPECT_EQ(res->status, 502) << res->body;
            EXPECT_NE(errorOf(res).find(f.named), std::string::npos) << errorOf(res);
        }
        auto refused = panel.post("{\"op\":\"echo\",\"on\":true}");
        EXPECT_EQ(refused->status, 409);
        EXPECT_NE(errorOf(refused).find("restart"), std::string::npos) << errorOf(refused);

        auto restarted = panel.post("{\"op\":\"restart\"}");
        ASSERT_TRUE(restarted);
        EXPECT_EQ(restarted->status, 200) << restarted->body;
        const json state = panel.state();
        EXPECT_TRUE(state["ended"].is_null()) << state["ended"];
        EXPECT_EQ(state["status"]["open"], true);
        EXPECT_EQ(panel.post("{\"op\":\"echo\",\"on\":true}")->status, 200);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PanelAfterAFault,
    ::testing::Values(Fault{"crash", testModule("wq_broken_crash_set"), 10.0, false,
                            "GD_PIN_CHANGED"},
                      Fault{"hang", testModule("wq_broken_hang"), 1.0, false, "did not answer"},
                      Fault{"kill", WQ_QUENDOR_LIBRARY, 10.0, true, "signal 9 (SIGKILL)"}),
    [](const ::testing::TestParamInfo<Fault> &info) { return std::string(info.param.name); });

} // namespace

// -- reload after a rebuild -----------------------------------------------------

namespace {

// A copy of Quendor of the test's own, to be replaced under the panel.
std::string quendorCopy(const std::string &name) {
    const std::string path = std::string(WQ_TEST_OUTPUT_DIR) + "/" + name + ".so";
    std::remove(path.c_str());
    wqtest::replaceFile(WQ_QUENDOR_LIBRARY, path);
    return path;
}

} // namespace

TEST(PanelReload, AReplacedLibraryIsLoadedAfreshWithItsSettingsReplayed) {
    const std::string library = quendorCopy("reload_watched");
    RunningPanel panel(library, 10.0, 32, true);
    ASSERT_EQ(panel.startMessage, "");
    ASSERT_EQ(panel.post(setText(0, "red,green,blue"))->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":2}")->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"echo\",\"on\":false}")->status, 200);
    const std::vector<pid_t> before = childProcesses();
    ASSERT_EQ(before.size(), 1u);

    wqtest::replaceFile(WQ_QUENDOR_LIBRARY, library);
    const std::string message = panel.awaitReload(0);
    EXPECT_EQ(message, "reloaded reload_watched.so, 3 settings replayed");
    const std::vector<pid_t> after = childProcesses();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after[0], before[0]) << "the module was not loaded in a fresh process";
    EXPECT_EQ(panel.pinValue(0), "red,green,blue");
    EXPECT_EQ(panel.pinValue(2), "blue");
    EXPECT_EQ(panel.state()["status"]["echo"], false);
    EXPECT_EQ(panel.state()["problemCount"], 0);
    // The fresh module takes requests.
    EXPECT_EQ(panel.post(setText(3, "0"))->status, 200);
    EXPECT_EQ(panel.pinValue(1), 0);
}

TEST(PanelReload, ALibraryThatNoLongerLoadsIsReportedAndTheOldModuleKept) {
    const std::string library = quendorCopy("reload_broken");
    RunningPanel panel(library, 10.0, 32, true);
    ASSERT_EQ(panel.post(setText(0, "a,b"))->status, 200);
    const std::vector<pid_t> before = childProcesses();

    wqtest::replaceFile(std::string(WQ_TEST_SOURCE_DIR) + "/CMakeLists.txt", library);
    const std::string message = panel.awaitReload(0);
    EXPECT_EQ(message.rfind("reload failed: ", 0), 0u) << message;
    EXPECT_NE(message.find("the module loaded before keeps running"), std::string::npos) << message;
    EXPECT_EQ(childProcesses(), before);
    EXPECT_EQ(panel.pinValue(0), "a,b");
    EXPECT_EQ(panel.post(setText(3, "1"))->status, 200);
    EXPECT_EQ(panel.pinValue(2), "b");

    // Rebuilt right, it is loaded again.
    wqtest::replaceFile(WQ_QUENDOR_LIBRARY, library);
    EXPECT_EQ(panel.awaitReload(1).rfind("reloaded reload_broken.so", 0), 0u);
    EXPECT_EQ(panel.pinValue(2), "b");
}

TEST(PanelReload, ARequestReloadsAfterACrashAndReplaysOnlyWhatStillHolds) {
    RunningPanel panel(WQ_QUENDOR_LIBRARY);
    ASSERT_EQ(panel.post(setText(0, "x,y"))->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"recreate\"}")->status, 200);
    ASSERT_EQ(panel.post(setText(0, "p,q,r"))->status, 200);
    ASSERT_EQ(panel.post("{\"op\":\"close\"}")->status, 200);
    // The process dies; a reload brings the module back in the state the
    // user left it: the set after the recreate, then closed.
    const std::vector<pid_t> children = childProcesses();
    ASSERT_EQ(children.size(), 1u);
    ::kill(children[0], SIGKILL);
    auto res = panel.post("{\"op\":\"reload\"}");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << res->body;
    const std::string quendor = WQ_QUENDOR_LIBRARY;
    EXPECT_EQ(json::parse(res->body)["message"], "reloaded " +
                                                     quendor.substr(quendor.find_last_of('/') + 1) +
                                                     ", 1 settings replayed");
    const json state = panel.state();
    EXPECT_TRUE(state["ended"].is_null()) << state["ended"];
    EXPECT_EQ(state["status"]["open"], false);
    ASSERT_EQ(panel.post("{\"op\":\"open\"}")->status, 200);
}
