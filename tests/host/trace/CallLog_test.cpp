// The call log: order, nesting depth, and the JSON lines written before a
// call returns (so a crash leaves the call on disk).
#include "host/trace/CallLog.h"

#include "host/text/JsonText.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#  include <fcntl.h>
#  include <unistd.h>
#endif

using namespace wqhost;

namespace {

std::vector<std::string> linesOf(std::FILE *f) {
    std::rewind(f);
    std::vector<std::string> lines;
    std::string line;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    return lines;
}

CallRecord callback(int32_t opcode, const std::string &text = std::string()) {
    CallRecord c;
    c.direction = Direction::ModuleToHost;
    c.side = Side::Gui;
    c.kind = CallKind::Callback;
    c.opcode = opcode;
    c.text = text;
    return c;
}

TEST(CallLogTest, NestedCallsKeepOrderAndDepth) {
    CallLog log;
    CallRecord outer;
    outer.side = Side::Gui;
    outer.opcode = GD_PIN_CHANGED;
    uint64_t a = log.begin(outer);
    uint64_t b = log.begin(callback(GH_PIN_GET_TEXT));
    log.end(b, 42, "x");
    uint64_t c = log.begin(callback(GH_PIN_SET_TEXT, "y"));
    EXPECT_EQ(log.depth(), 2);
    log.end(c, 0);
    log.end(a, 0);
    EXPECT_EQ(log.depth(), 0);
    ASSERT_EQ(log.calls().size(), 3u);
    EXPECT_EQ(log.calls()[0].depth, 0);
    EXPECT_EQ(log.calls()[1].depth, 1);
    EXPECT_EQ(log.calls()[2].depth, 1);
    EXPECT_EQ(log.calls()[1].result, 42);
    EXPECT_EQ(log.calls()[1].answer, "x");
    EXPECT_TRUE(log.calls()[0].returned);
    EXPECT_EQ(log.callbacks(Side::Gui).size(), 2u);
    EXPECT_EQ(log.callbacks(Side::Audio).size(), 0u);
}

TEST(CallLogTest, JsonCallLineIsWrittenBeforeTheCallReturns) {
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    CallLog log;
    log.setJsonSink(f);
    uint64_t seq = log.begin(callback(GH_PIN_SET_TEXT, "caf\xe9 \"q\"\n"));
    std::vector<std::string> lines = linesOf(f);
    ASSERT_EQ(lines.size(), 1u); // on disk while the call runs
    const nlohmann::json call = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(call["phase"], "call");
    EXPECT_EQ(call["seq"], seq);
    EXPECT_EQ(call["name"], "GH_PIN_SET_TEXT");
    EXPECT_EQ(utf8ToBytes(call["text"].get<std::string>()), "caf\xe9 \"q\"\n");
    std::fseek(f, 0, SEEK_END);
    log.end(seq, 7, "done");
    lines = linesOf(f);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "{\"seq\":" + std::to_string(seq) +
                            ",\"phase\":\"return\",\"result\":7,\"answer\":\"done\"}");
    std::fclose(f);
}

TEST(CallLogTest, NotKeepingStillWritesJsonAndCountsDepth) {
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    CallLog log;
    log.setKeeping(false);
    log.setJsonSink(f);
    {
        CallScope scope(log, callback(GH_OPCODE_22));
        EXPECT_EQ(log.depth(), 1);
    } // completed without a result of its own
    EXPECT_EQ(log.depth(), 0);
    EXPECT_TRUE(log.calls().empty());
    EXPECT_EQ(linesOf(f).size(), 2u);
    std::fclose(f);
}

// A call on the GUI side, into the module or back from it.
CallRecord guiCall(Direction direction, int32_t opcode) {
    CallRecord c;
    c.side = Side::Gui;
    c.kind = direction == Direction::HostToModule ? CallKind::Dispatch : CallKind::Callback;
    c.direction = direction;
    c.opcode = opcode;
    c.index = 3;
    return c;
}

// Calls into the module that take longer than the budget are named once,
// the innermost slow one, never a callback of the module's.
TEST(CallLogTest, SlowCallsAreNamedInnermostFirst) {
    std::vector<std::string> slow;
    CallLog::watchSlowCalls([&slow](const SlowCall &c) { slow.push_back(c.call); });
    const auto wait = std::chrono::milliseconds(static_cast<int>(kCallBudgetMilliseconds) + 20);
    CallLog log;
    {
        CallScope outer(log, guiCall(Direction::HostToModule, GD_PIN_CHANGED));
        {
            CallScope inner(log, guiCall(Direction::HostToModule, GD_OPCODE_12));
            std::this_thread::sleep_for(wait);
        }
    }
    { CallScope quick(log, guiCall(Direction::HostToModule, GD_OPEN)); }
    {
        CallScope callback(log, guiCall(Direction::ModuleToHost, GH_PIN_SET_TEXT));
        std::this_thread::sleep_for(wait);
    }
    CallLog::watchSlowCalls(nullptr);
    EXPECT_EQ(slow, std::vector<std::string>{"GD_OPCODE_12 (index 3)"});
}

#ifndef _WIN32
// A call whose trace lines wait on a reader that is slow to take them (a
// parent under a memory checker) is not the module's slowness.
TEST(CallLogTest, WaitingOnTheTracesReaderIsNotACallsTime) {
    std::vector<std::string> slow;
    CallLog::watchSlowCalls([&slow](const SlowCall &c) { slow.push_back(c.call); });
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::fcntl(fds[1], F_SETPIPE_SZ, 4096); // fills after a few lines
    std::FILE *sink = ::fdopen(fds[1], "w");
    ASSERT_NE(sink, nullptr);
    // Slow throughout, so that each write waits a little and all of them
    // together far longer than a call may take.
    std::thread reader([fd = fds[0]] {
        char buffer[512];
        while (::read(fd, buffer, sizeof buffer) > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    {
        CallLog log;
        log.setKeeping(false);
        log.setJsonSink(sink);
        CallScope call(log, guiCall(Direction::HostToModule, GD_PIN_CHANGED));
        for (int i = 0; i < 200; ++i)
            CallScope callback(log, guiCall(Direction::ModuleToHost, GH_PIN_SET_TEXT));
    }
    std::fclose(sink);
    reader.join();
    ::close(fds[0]);
    CallLog::watchSlowCalls(nullptr);
    EXPECT_EQ(slow, std::vector<std::string>{});
}
#endif

} // namespace
