#include "host/process/ChildChannel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using wqhost::ChannelReader;
using wqhost::ChannelWriter;

// A reader with handlers for the kinds "verdict", "step" and calls, set in
// that order, that notes where each line went.
struct Seen {
    std::vector<std::string> where; // "verdict:<line>", "other:<line>", "unreadable:<line>", ...
};

ChannelReader readerInto(Seen &seen, bool withOtherwise, bool withUnreadable) {
    ChannelReader reader;
    for (const char *kind : {"verdict", "step", wqhost::kCallMessage})
        reader.on(kind, [&seen, kind](const ChannelReader::Message &m) {
            seen.where.push_back(std::string(kind) + ":" + m.dump());
        });
    if (withOtherwise)
        reader.otherwise([&seen](const ChannelReader::Message &m) {
            seen.where.push_back("other:" + m.dump());
        });
    if (withUnreadable)
        reader.unreadable(
            [&seen](const std::string &line) { seen.where.push_back("unreadable:" + line); });
    return reader;
}

struct DispatchCase {
    const char *label;
    std::string line;
    std::string expected; // where it went; empty: nowhere
};

void PrintTo(const DispatchCase &c, std::ostream *os) { *os << c.label; }

class ChannelDispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(ChannelDispatch, EachLineGoesToTheHandlerOfItsKind) {
    const DispatchCase &c = GetParam();
    Seen seen;
    const ChannelReader reader = readerInto(seen, true, true);
    reader.line(c.line);
    ASSERT_EQ(seen.where.size(), c.expected.empty() ? 0u : 1u);
    if (!c.expected.empty()) {
        EXPECT_EQ(seen.where[0], c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ChannelDispatch,
    ::testing::Values(
        DispatchCase{"verdict", R"({"verdict":"pass","details":[]})",
                     R"(verdict:{"verdict":"pass","details":[]})"},
        DispatchCase{"step", R"({"step":"loading"})", R"(step:{"step":"loading"})"},
        DispatchCase{"call", R"({"seq":3,"phase":"call","side":"audio"})",
                     R"(phase:{"seq":3,"phase":"call","side":"audio"})"},
        // A message with two kinds goes to the handler set first, whatever
        // the order of its keys.
        DispatchCase{"two kinds", R"({"step":"x","verdict":"fail"})",
                     R"(verdict:{"step":"x","verdict":"fail"})"},
        DispatchCase{"unknown kind", R"({"overrun":"wrote past"})",
                     R"(other:{"overrun":"wrote past"})"},
        DispatchCase{"empty object", "{}", "other:{}"},
        DispatchCase{"cut short", R"({"verdict":"pa)", R"(unreadable:{"verdict":"pa)"},
        DispatchCase{"cut after a key", R"({"step")", R"(unreadable:{"step")"},
        DispatchCase{"garbage after", R"({"step":"a"}x)", R"(unreadable:{"step":"a"}x)"},
        DispatchCase{"printed text", "hello from the module", "unreadable:hello from the module"},
        DispatchCase{"array", R"(["step"])", R"(unreadable:["step"])"},
        DispatchCase{"number", "42", "unreadable:42"},
        DispatchCase{"empty line", "", "unreadable:"},
        DispatchCase{"a carriage return", "{\"step\":\"a\"}\r", R"(step:{"step":"a"})"}),
    [](const ::testing::TestParamInfo<DispatchCase> &info) {
        std::string name;
        for (const char *p = info.param.label; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST(ChannelReader, WithoutTheirHandlersUnknownAndUnreadableLinesAreDropped) {
    Seen seen;
    const ChannelReader reader = readerInto(seen, false, false);
    for (const char *line : {R"({"overrun":"x"})", R"({"step":)", "plain text", R"({"step":"s"})"})
        reader.line(line);
    ASSERT_EQ(seen.where.size(), 1u);
    EXPECT_EQ(seen.where[0], R"(step:{"step":"s"})");
}

TEST(ChannelReader, AReaderWithNoHandlersTakesAnything) {
    const ChannelReader reader;
    for (const char *line : {"", "{", R"({"a":1})", "\xff\xfe"})
        EXPECT_NO_THROW(reader.line(line));
}

// What the file holds, from its start.
std::string contents(std::FILE *f) {
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;)
        text.push_back(static_cast<char>(c));
    return text;
}

struct RelayCase {
    const char *label;
    ChannelReader::Relay what;
    nlohmann::ordered_json mark;
    std::string expected;
};

void PrintTo(const RelayCase &c, std::ostream *os) { *os << c.label; }

class ChannelRelay : public ::testing::TestWithParam<RelayCase> {};

TEST_P(ChannelRelay, TheTraceGetsWhatTheRelayNames) {
    const RelayCase &c = GetParam();
    std::FILE *trace = std::tmpfile();
    ASSERT_NE(trace, nullptr);
    int steps = 0;
    ChannelReader reader;
    reader.on("step", [&steps](const ChannelReader::Message &) { ++steps; });
    reader.relayTo(trace, c.what, c.mark);
    for (const char *line : {R"({"seq":1,"phase":"call","name":"AD_OPEN"})", R"({"step":"s"})",
                             "printed", R"({"step":)", R"({"seq":1,"phase":"return"})"})
        reader.line(line);
    EXPECT_EQ(contents(trace), c.expected);
    // Relaying takes nothing from the handlers.
    EXPECT_EQ(steps, 1);
    std::fclose(trace);
}

INSTANTIATE_TEST_SUITE_P(
    Relays, ChannelRelay,
    ::testing::Values(RelayCase{"calls", ChannelReader::Relay::Calls, nullptr,
                                "{\"seq\":1,\"phase\":\"call\",\"name\":\"AD_OPEN\"}\n"
                                "{\"seq\":1,\"phase\":\"return\"}\n"},
                      RelayCase{"messages", ChannelReader::Relay::Messages, nullptr,
                                "{\"seq\":1,\"phase\":\"call\",\"name\":\"AD_OPEN\"}\n"
                                "{\"step\":\"s\"}\n"
                                "{\"seq\":1,\"phase\":\"return\"}\n"},
                      RelayCase{"marked messages", ChannelReader::Relay::Messages,
                                nlohmann::ordered_json{{"check", "events"}},
                                "{\"check\":\"events\",\"seq\":1,\"phase\":\"call\","
                                "\"name\":\"AD_OPEN\"}\n"
                                "{\"check\":\"events\",\"step\":\"s\"}\n"
                                "{\"check\":\"events\",\"seq\":1,\"phase\":\"return\"}\n"}),
    [](const ::testing::TestParamInfo<RelayCase> &info) {
        std::string name = info.param.label;
        for (char &c : name)
            if (c == ' ')
                c = '_';
        return name;
    });

TEST(ChannelWriter, EachMessageIsOneLineTheReaderGetsBack) {
    std::FILE *channel = std::tmpfile();
    ASSERT_NE(channel, nullptr);
    const ChannelWriter writer(channel);
    writer.send(nlohmann::json{{"step", "line one\nline two"}});
    writer.send(nlohmann::ordered_json{{"verdict", "pass"}, {"details", {"a", "b"}}});
    // A text that is no UTF-8 is replaced, not lost with the message.
    writer.send(nlohmann::json{{"failure", std::string("bad \xff byte")}});
    const std::string written = contents(channel);
    std::fclose(channel);

    std::vector<std::string> got;
    ChannelReader reader;
    reader.otherwise([&got](const ChannelReader::Message &m) { got.push_back(m.dump()); });
    reader.unreadable([&got](const std::string &line) { got.push_back("unreadable:" + line); });
    size_t start = 0;
    for (size_t end; (end = written.find('\n', start)) != std::string::npos; start = end + 1)
        reader.line(written.substr(start, end - start));
    EXPECT_EQ(start, written.size()) << "the last message ends its line";
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], R"({"step":"line one\nline two"})");
    EXPECT_EQ(got[1], R"({"verdict":"pass","details":["a","b"]})");
    EXPECT_EQ(got[2], "{\"failure\":\"bad \xef\xbf\xbd byte\"}");
}

TEST(ChannelWriter, WithoutAChannelItWritesNothing) {
    const ChannelWriter writer;
    EXPECT_NO_THROW(writer.send(nlohmann::json{{"step", "nowhere"}}));
    EXPECT_EQ(writer.file(), nullptr);
}

} // namespace
