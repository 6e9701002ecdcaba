#include "host/panel/ModuleChild.h"

namespace wqhost {

namespace {

using nlohmann::json;

std::string callLabel(const json &call) {
    std::string label = call.value("side", "?");
    label += call.value("dir", "") == "module->host" ? " <- " : " -> ";
    if (call.contains("name"))
        label += call.value("name", "");
    else
        label += call.value("kind", "call") + " " + std::to_string(call.value("opcode", 0));
    return label;
}

std::string lastLines(const std::string &text, size_t count) {
    size_t pos = text.size();
    while (pos > 0 && (text[pos - 1] == '\n' || text[pos - 1] == '\r'))
        --pos;
    const size_t end = pos;
    for (size_t n = 0; pos > 0; --pos)
        if (text[pos - 1] == '\n' && ++n == count)
            break;
    return text.substr(pos, end - pos);
}

} // namespace

ModuleChild::ModuleChild(std::vector<std::string> argv, double timeoutSeconds, EventHandler onEvent)
    : m_argv(std::move(argv)), m_timeout(timeoutSeconds), m_onEvent(std::move(onEvent)) {
    // What is no message is not ours: something the module printed.
    m_reader
        .on(kCallMessage,
            [this](const ChannelReader::Message &message) {
                json call = message;
                const long long seq = call.value("seq", -1LL);
                if (call.value("phase", "") == "call")
                    m_openCalls[seq] = callLabel(call);
                else
                    m_openCalls.erase(seq);
                m_onEvent({{"event", "trace"}, {"call", std::move(call)}});
            })
        .otherwise([this](const ChannelReader::Message &message) {
            const std::string kind = message.value("event", "");
            if (kind == "done") {
                m_answered = true;
                return;
            }
            if (kind == "error")
                m_error = message.value("message", "error");
            m_onEvent(json(message));
        });
}

ModuleChild::~ModuleChild() { stop(); }

void ModuleChild::stop() {
    if (m_child.running())
        m_child.finish(2.0);
}

ModuleChild::Reply ModuleChild::start() {
    if (!m_child.start(m_argv))
        return end("the module's process could not start: " + m_child.startError(), false);
    return readAnswer();
}

ModuleChild::Reply ModuleChild::request(const json &request) {
    if (m_ended)
        return {true, m_endMessage};
    // A child that no longer reads has ended, or is about to: say how.
    if (!m_child.writeLine(request.dump()))
        return end("", false);
    return readAnswer();
}

bool ModuleChild::poll() {
    if (m_ended)
        return false;
    std::string line;
    for (;;) {
        switch (m_child.readLine(line, 0.005)) {
        case PipedChild::Read::Line: m_reader.line(line); break;
        case PipedChild::Read::TimedOut: return true;
        case PipedChild::Read::Ended: end("", false); return false;
        }
    }
}

ModuleChild::Reply ModuleChild::readAnswer() {
    m_answered = false;
    m_error.clear();
    std::string line;
    for (;;) {
        switch (m_child.readLine(line, m_timeout)) {
        case PipedChild::Read::Line:
            m_reader.line(line);
            if (m_answered)
                return {false, m_error};
            break;
        case PipedChild::Read::TimedOut: {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", m_timeout);
            return end(std::string("the module did not answer within ") + seconds +
                           " s; its process was stopped",
                       true);
        }
        case PipedChild::Read::Ended: return end("", false);
        }
    }
}

ModuleChild::Reply ModuleChild::end(const std::string &why, bool killIt) {
    std::string message = why;
    if (m_child.running()) {
        const ChildOutcome outcome = killIt ? m_child.kill() : m_child.finish(2.0);
        if (message.empty())
            message = "the module's process ended: " + ChildProcess::describeEnd(outcome, 0);
        const std::string tail = lastLines(outcome.errors, 3);
        if (!tail.empty())
            message += " (it wrote: " + tail + ")";
    }
    if (!m_openCalls.empty())
        message += "; the last call that did not return: " + m_openCalls.rbegin()->second;
    m_ended = true;
    m_endMessage = message;
    m_onEvent({{"event", "ended"}, {"message", message}});
    return {true, message};
}

} // namespace wqhost
