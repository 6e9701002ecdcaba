#include "host/process/ChildChannel.h"

namespace wqhost {

namespace {

void writeLine(std::FILE *file, const std::string &text) {
    std::fputs(text.c_str(), file);
    std::fputc('\n', file);
    std::fflush(file);
}

} // namespace

void ChannelWriter::send(const nlohmann::json &message) const {
    if (m_channel)
        writeLine(m_channel,
                  message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void ChannelWriter::send(const nlohmann::ordered_json &message) const {
    if (m_channel)
        writeLine(m_channel,
                  message.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

ChannelReader &ChannelReader::on(std::string kind, Handler handler) {
    m_handlers.emplace_back(std::move(kind), std::move(handler));
    return *this;
}

ChannelReader &ChannelReader::otherwise(Handler handler) {
    m_otherwise = std::move(handler);
    return *this;
}

ChannelReader &ChannelReader::unreadable(LineHandler handler) {
    m_unreadable = std::move(handler);
    return *this;
}

ChannelReader &ChannelReader::relayTo(std::FILE *trace, Relay what, nlohmann::ordered_json mark) {
    m_trace = trace;
    m_relay = what;
    m_mark = std::move(mark);
    return *this;
}

void ChannelReader::line(const std::string &text) const {
    // Only an object can be a message; parsing anything else is wasted.
    Message message = !text.empty() && text[0] == '{' ? Message::parse(text, nullptr, false)
                                                      : Message(Message::value_t::discarded);
    if (message.is_discarded() || !message.is_object()) {
        if (m_unreadable)
            m_unreadable(text);
        return;
    }
    relay(text, message);
    for (const auto &[kind, handler] : m_handlers)
        if (message.contains(kind)) {
            handler(message);
            return;
        }
    if (m_otherwise)
        m_otherwise(message);
}

ChannelReader::LineHandler ChannelReader::lineHandler() const {
    return [this](const std::string &text) { line(text); };
}

void ChannelReader::relay(const std::string &text, const Message &message) const {
    if (!m_trace)
        return;
    if (m_relay == Relay::Calls) {
        if (message.contains(kCallMessage) && message.contains("seq"))
            writeLine(m_trace, text);
        return;
    }
    if (m_mark.is_object()) {
        Message marked = m_mark;
        for (auto it = message.begin(); it != message.end(); ++it)
            marked[it.key()] = it.value();
        writeLine(m_trace, marked.dump());
    } else {
        writeLine(m_trace, text);
    }
}

} // namespace wqhost
