#include "host/trace/CallLog.h"

#include "host/trace/OpcodeNames.h"

#include <cmath>
#include <cstdio>

namespace wqhost {

namespace {

// Escapes a byte string for JSON. Bytes 0x80 to 0xFF are written as \u00XX
// (each byte one code point), so the output is valid JSON whatever the bytes
// and the exact bytes can be recovered.
void appendJsonString(std::string &out, const std::string &text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

void appendFloat(std::string &out, float f) {
    if (std::isnan(f)) {
        out += "\"nan\"";
    } else if (std::isinf(f)) {
        out += f > 0 ? "\"inf\"" : "\"-inf\"";
    } else {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(f));
        out += buf;
    }
}

std::string hexAddress(const void *p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

void appendField(std::string &out, const char *name, long long v) {
    out += ",\"";
    out += name;
    out += "\":";
    out += std::to_string(v);
}

// Whether the call passes a text to the host, so an empty text is shown too.
bool carriesText(const CallRecord &call) {
    return call.side == Side::Gui && call.kind == CallKind::Callback &&
           (call.opcode == GH_PIN_SET_TEXT || call.opcode == GH_PIN_SET_LIST_TEXT);
}

} // namespace

uint64_t CallLog::begin(CallRecord call) {
    call.seq = m_nextSeq++;
    call.depth = m_depth++;
    call.returned = false;
    call.result = 0;
    if (m_sink) {
        std::string line = callJson(call);
        line += '\n';
        std::fputs(line.c_str(), m_sink);
        std::fflush(m_sink);
    }
    if (m_keeping)
        m_calls.push_back(std::move(call));
    return m_nextSeq - 1;
}

void CallLog::end(uint64_t seq, intptr_t result, const std::string &answer) {
    if (m_depth > 0)
        --m_depth;
    CallRecord *call = find(seq);
    CallRecord detached;
    if (!call) { // not kept: complete a stand-in for the JSON line
        detached.seq = seq;
        call = &detached;
    }
    call->result = result;
    call->returned = true;
    call->answer = answer;
    if (m_sink) {
        std::string line = returnJson(*call);
        line += '\n';
        std::fputs(line.c_str(), m_sink);
        std::fflush(m_sink);
    }
}

CallRecord *CallLog::find(uint64_t seq) noexcept {
    // Calls end in the reverse order they began, so the one wanted is near
    // the back.
    for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it) {
        if (it->seq == seq)
            return &*it;
        if (it->seq < seq)
            break;
    }
    return nullptr;
}

std::vector<CallRecord>
CallLog::select(const std::function<bool(const CallRecord &)> &pred) const {
    std::vector<CallRecord> out;
    for (const CallRecord &c : m_calls)
        if (pred(c))
            out.push_back(c);
    return out;
}

std::vector<CallRecord> CallLog::callbacks(Side side) const {
    return select([side](const CallRecord &c) {
        return c.kind == CallKind::Callback && c.side == side;
    });
}

std::string CallLog::describe(const CallRecord &call) {
    std::string out(static_cast<size_t>(call.depth) * 2, ' ');
    out += sideName(call.side);
    out += ' ';
    out += call.direction == Direction::HostToModule ? "-> " : "<- ";
    switch (call.kind) {
    case CallKind::Dispatch:
    case CallKind::Callback:
        out += opcodeLabel(call.side, call.direction, call.kind, call.opcode);
        out += " index=" + std::to_string(call.index) + " value=" + std::to_string(call.value);
        if (call.ptr)
            out += " ptr=" + hexAddress(reinterpret_cast<const void *>(call.ptr));
        if (call.opt != 0.0f) {
            char buf[32];
            std::snprintf(buf, sizeof buf, " opt=%g", static_cast<double>(call.opt));
            out += buf;
        }
        break;
    case CallKind::GetModuleProperties:
        out += "getModuleProperties index=" + std::to_string(call.index);
        break;
    case CallKind::MakeModule:
        out += "makeModule index=" + std::to_string(call.index) +
               " type=" + std::to_string(call.value);
        break;
    case CallKind::Process:
        out += "process";
        break;
    case CallKind::Event:
        out += "event";
        break;
    }
    if (call.hasEvent) {
        out += " {time_stamp=" + std::to_string(call.event.time_stamp) +
               " type=" + std::to_string(call.event.event_type) +
               " int_value=" + std::to_string(call.event.int_value) +
               " int_value2=" + std::to_string(call.event.int_value2) +
               " ptr_value=" + std::to_string(static_cast<long long>(call.event.ptr_value)) + "}";
    }
    if (call.side == Side::Audio)
        out += " @" + std::to_string(call.clock);
    if (!call.text.empty() || carriesText(call)) {
        std::string quoted;
        appendJsonString(quoted, call.text);
        out += " text=" + quoted;
    }
    if (call.returned) {
        out += " => " + std::to_string(static_cast<long long>(call.result));
        if (!call.answer.empty()) {
            std::string quoted;
            appendJsonString(quoted, call.answer);
            out += " " + quoted;
        }
    } else {
        out += " (no return)";
    }
    return out;
}

std::string CallLog::callJson(const CallRecord &call) {
    std::string out = "{\"seq\":" + std::to_string(call.seq) + ",\"phase\":\"call\"";
    out += ",\"dir\":\"";
    out += directionName(call.direction);
    out += "\",\"side\":\"";
    out += sideName(call.side);
    out += "\",\"kind\":\"";
    out += kindName(call.kind);
    out += "\",\"record\":\"" + hexAddress(call.record) + "\"";
    appendField(out, "opcode", call.opcode);
    if (const char *name = opcodeName(call.side, call.direction, call.kind, call.opcode)) {
        out += ",\"name\":\"";
        out += name;
        out += '"';
    }
    appendField(out, "index", call.index);
    appendField(out, "value", call.value);
    appendField(out, "ptr", static_cast<long long>(call.ptr));
    out += ",\"opt\":";
    appendFloat(out, call.opt);
    appendField(out, "depth", call.depth);
    if (call.side == Side::Audio)
        appendField(out, "clock", call.clock);
    if (!call.text.empty() || carriesText(call)) {
        out += ",\"text\":";
        appendJsonString(out, call.text);
    }
    if (call.hasEvent) {
        out += ",\"event\":{\"time_stamp\":" + std::to_string(call.event.time_stamp);
        appendField(out, "event_type", call.event.event_type);
        appendField(out, "int_value", call.event.int_value);
        appendField(out, "int_value2", call.event.int_value2);
        appendField(out, "ptr_value", static_cast<long long>(call.event.ptr_value));
        out += '}';
    }
    out += '}';
    return out;
}

std::string CallLog::returnJson(const CallRecord &call) {
    std::string out = "{\"seq\":" + std::to_string(call.seq) + ",\"phase\":\"return\"";
    appendField(out, "result", static_cast<long long>(call.result));
    if (!call.answer.empty()) {
        out += ",\"answer\":";
        appendJsonString(out, call.answer);
    }
    out += '}';
    return out;
}

} // namespace wqhost
