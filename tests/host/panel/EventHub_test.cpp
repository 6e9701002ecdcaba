// What the panel's pages are told stays bounded whatever the module does:
// events in count and bytes, pins as what changed, calls and problems as the
// recent ones, and a stream that falls behind starts over from the state.
#include "host/panel/EventHub.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using nlohmann::json;
using wqhost::EventHub;

json pinsEvent(const std::vector<std::string> &values) {
    json pins = json::array();
    for (size_t i = 0; i < values.size(); ++i)
        pins.push_back({{"index", i}, {"value", values[i]}});
    return {{"event", "pins"}, {"pins", pins}, {"changed", json::array()}};
}

std::vector<json> eventsAfter(EventHub &hub, uint64_t &next) {
    std::vector<std::string> texts;
    EXPECT_TRUE(hub.eventsFrom(next, texts, 0));
    std::vector<json> out;
    for (const std::string &t : texts)
        out.push_back(json::parse(t));
    return out;
}

TEST(EventHub, APinsEventCarriesOnlyTheValuesThatChanged) {
    EventHub hub;
    uint64_t next = 0;
    hub.snapshot(next);
    hub.publish(pinsEvent({"a", "b", "c"}));
    hub.publish(pinsEvent({"a", "B", "c"}));
    const std::vector<json> told = eventsAfter(hub, next);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0]["pins"].size(), 3u); // the first: every value
    ASSERT_EQ(told[1]["pins"].size(), 1u);
    EXPECT_EQ(told[1]["pins"][0]["index"], 1);
    EXPECT_EQ(told[1]["pins"][0]["value"], "B");
    // The state has them all.
    EXPECT_EQ(hub.snapshot(next)["pins"], pinsEvent({"a", "B", "c"})["pins"]);
}

struct Flood {
    const char *name;
    json event;
    size_t count;
};

void PrintTo(const Flood &f, std::ostream *out) { *out << f.name; }

class FloodedHub : public ::testing::TestWithParam<Flood> {};

TEST_P(FloodedHub, KeepsItsBytesBounded) {
    EventHub::Limits limits;
    limits.eventBytes = 256 * 1024;
    limits.callBytes = 64 * 1024;
    EventHub hub(limits);
    uint64_t behind = 0;
    hub.snapshot(behind);
    const Flood &f = GetParam();
    for (size_t i = 0; i < f.count; ++i) {
        json e = f.event;
        if (e["event"] == "pins") // a fresh value each time
            e["pins"][0]["value"] = std::to_string(i) + e["pins"][0]["value"].get<std::string>();
        hub.publish(e);
    }
    EXPECT_LE(hub.keptBytes(), limits.eventBytes + limits.callBytes);
    // A stream that did not keep up is told to start over from the state.
    std::vector<std::string> texts;
    EXPECT_FALSE(hub.eventsFrom(behind, texts, 0));
    uint64_t next = 0;
    const json state = hub.snapshot(next);
    EXPECT_LE(state.dump().size(), limits.callBytes + 256 * 1024);
    EXPECT_LE(state["problems"].size(), limits.problems);
}

const std::string kLarge(20000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Events, FloodedHub,
    ::testing::Values(
        Flood{"largePins", pinsEvent({kLarge, "b"}), 200},
        Flood{"largeCalls",
              {{"event", "trace"}, {"call", {{"seq", 1}, {"phase", "call"}, {"text", kLarge}}}},
              200},
        Flood{"manySmallCalls",
              {{"event", "trace"}, {"call", {{"seq", 1}, {"phase", "call"}}}},
              20000},
        Flood{"problems", {{"event", "problem"}, {"code", "X"}, {"text", kLarge}}, 200}),
    [](const ::testing::TestParamInfo<Flood> &info) { return std::string(info.param.name); });

TEST(EventHub, CountsEveryProblemButKeepsTheRecentInWords) {
    EventHub hub;
    for (int i = 0; i < 120; ++i)
        hub.publish({{"event", "problem"}, {"code", "C"}, {"text", std::to_string(i)}});
    uint64_t next = 0;
    const json state = hub.snapshot(next);
    EXPECT_EQ(state["problemCount"], 120);
    ASSERT_EQ(state["problems"].size(), 50u);
    EXPECT_EQ(state["problems"].back(), "C: 119");
}

TEST(EventHub, AnEventTooLargeToKeepSendsEveryStreamToTheState) {
    EventHub::Limits limits;
    limits.eventBytes = 4096;
    EventHub hub(limits);
    uint64_t next = 0;
    hub.snapshot(next);
    hub.publish(pinsEvent({std::string(8192, 'v')}));
    std::vector<std::string> texts;
    EXPECT_FALSE(hub.eventsFrom(next, texts, 0));
    EXPECT_LE(hub.keptBytes(), limits.eventBytes);
    EXPECT_EQ(hub.snapshot(next)["pins"][0]["value"].get<std::string>().size(), 8192u);
}

TEST(EventHub, StartingOverForgetsTheEndedSession) {
    EventHub hub;
    hub.publish({{"event", "problem"}, {"text", "p"}});
    hub.publish({{"event", "ended"}, {"message", "the module's process ended"}});
    uint64_t stream = 0;
    hub.snapshot(stream);
    hub.startOver();
    std::vector<std::string> texts;
    EXPECT_FALSE(hub.eventsFrom(stream, texts, 0)); // streams take the new state
    uint64_t next = 0;
    const json state = hub.snapshot(next);
    EXPECT_TRUE(state["ended"].is_null());
    EXPECT_EQ(state["problemCount"], 0);
}

} // namespace
