// ChildChannel - how a child process reports to its parent: one JSON object
// a line, each flushed as it is written, so that all the child said before
// it crashed or hung has reached the parent. Every child of the tool speaks
// it: a check of `validate`, the module's process of `info` and `run`, and
// the module's process of the panel.
//
// A message's kind is a key it carries: {"step":"..."}, {"verdict":...},
// {"out":"..."}, {"event":"pins",...}. The lines of a call log (CallJson)
// are messages of the kind "phase" ({"seq":..,"phase":"call"|"return",...}).
// Texts in messages are JSON strings of UTF-8 (8-bit texts go through
// JsonText first).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace wqhost {

// The kind of the lines of a call log.
inline constexpr char kCallMessage[] = "phase";

// The child's end: writes messages to the channel.
class ChannelWriter {
public:
    // `channel` is not owned; null writes nothing.
    explicit ChannelWriter(std::FILE *channel = nullptr) noexcept : m_channel(channel) {}

    // Writes one message as a line and flushes it. A text that is not UTF-8
    // is written with replacement characters rather than lost.
    void send(const nlohmann::json &message) const;
    void send(const nlohmann::ordered_json &message) const;

    std::FILE *file() const noexcept { return m_channel; }

private:
    std::FILE *m_channel;
};

// The parent's end: takes the channel's lines as they come and hands each
// message to the handler of its kind.
class ChannelReader {
public:
    using Message = nlohmann::ordered_json;
    using Handler = std::function<void(const Message &message)>;
    using LineHandler = std::function<void(const std::string &line)>;

    // What goes to the trace as it arrives.
    enum class Relay {
        Calls,   // the lines of call logs, as they came
        Messages // every message, after the mark
    };

    // Handles the messages of `kind`. A message that carries several kinds
    // goes to the handler set first.
    ChannelReader &on(std::string kind, Handler handler);
    // Handles the messages of no kind that has a handler.
    ChannelReader &otherwise(Handler handler);
    // Handles the lines that are no message: not a JSON object, or cut
    // short (what a module wrote straight to the channel, or the half line
    // of a child that died while writing it).
    ChannelReader &unreadable(LineHandler handler);
    // Writes what `what` names to `trace` (null: nothing), flushed line by
    // line. A message relayed with a mark ({"check":"exports"}) has the
    // mark's keys first.
    ChannelReader &relayTo(std::FILE *trace, Relay what,
                           nlohmann::ordered_json mark = nlohmann::ordered_json());

    // Takes one line (without its newline).
    void line(const std::string &text) const;
    // line() as a handler for ChildProcess::runProgram. The reader must
    // outlive it.
    LineHandler lineHandler() const;

private:
    void relay(const std::string &text, const Message &message) const;

    std::vector<std::pair<std::string, Handler>> m_handlers;
    Handler m_otherwise;
    LineHandler m_unreadable;
    std::FILE *m_trace = nullptr;
    Relay m_relay = Relay::Calls;
    nlohmann::ordered_json m_mark;
};

} // namespace wqhost
