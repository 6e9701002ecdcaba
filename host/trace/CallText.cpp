#include "host/trace/CallText.h"

#include "host/text/NumberText.h"
#include "host/trace/OpcodeNames.h"
#include "host/text/QuotedText.h"

namespace wqhost {

namespace {

constexpr size_t kRunningTextBytes = 40;

std::string shortened(const std::string &text, size_t max) {
    return text.size() <= max ? text : text.substr(0, max) + "...";
}

std::string opcodeText(const CallRecord &call, CallForm form) {
    if (form == CallForm::Running && call.kind == CallKind::Callback &&
        !opcodeName(call.side, call.direction, call.kind, call.opcode))
        return "callback opcode " + std::to_string(call.opcode);
    return opcodeLabel(call.side, call.direction, call.kind, call.opcode);
}

// What a call is: the export, or the entry with its arguments.
std::string what(const CallRecord &call, CallForm form) {
    const std::string side = sideName(call.side);
    switch (call.kind) {
    case CallKind::GetModuleProperties:
        return "getModuleProperties index=" + std::to_string(call.index);
    case CallKind::MakeModule:
        return "makeModule index=" + std::to_string(call.index) +
               " type=" + std::to_string(call.value);
    case CallKind::Process: return form == CallForm::Running ? side + " process call" : "process";
    case CallKind::Event:
        if (form == CallForm::Trace)
            return "event";
        return side + " event" +
               (call.hasEvent ? " type=" + std::to_string(call.event.event_type) +
                                    " time_stamp=" + std::to_string(call.event.time_stamp)
                              : std::string());
    case CallKind::Dispatch:
    case CallKind::Callback: break;
    }
    std::string out = (form == CallForm::Running ? side + " " : std::string()) +
                      opcodeText(call, form) + " index=" + std::to_string(call.index);
    if (call.value != 0)
        out += " value=" + std::to_string(call.value);
    if (form == CallForm::Running) {
        if (!call.text.empty() || carriesText(call))
            out += " text=" + quoteText(shortened(call.text, kRunningTextBytes));
        return out;
    }
    if (call.opt != 0.0f)
        out += " opt=" + floatText(static_cast<double>(call.opt));
    if (carriesText(call))
        out += " text=" + quoteText(call.text);
    return out;
}

// How the result of a traced call reads.
std::string resultText(const CallRecord &call) {
    const bool guiCallback = call.kind == CallKind::Callback && call.side == Side::Gui;
    if (guiCallback && call.opcode == GH_PIN_GET_TEXT)
        return quoteText(call.answer);
    if (guiCallback && call.opcode == GH_PIN_GET_VALUE)
        return "slot " + call.answer;
    const bool address = call.kind == CallKind::MakeModule ||
                         (call.kind == CallKind::Dispatch && call.side == Side::Audio &&
                          call.opcode == AD_GET_PROCESS_REFERENCE) ||
                         (call.kind == CallKind::Callback && call.side == Side::Audio &&
                          call.opcode == AH_PIN_BUFFER);
    if (address)
        return call.result ? "address" : "null";
    return std::to_string(static_cast<long long>(call.result));
}

} // namespace

std::string callText(const CallRecord &call, CallForm form) {
    if (form == CallForm::Running)
        return what(call, form);
    std::string out(2 + static_cast<size_t>(call.depth) * 2, ' ');
    out += sideName(call.side);
    out += call.direction == Direction::HostToModule ? " -> " : " <- ";
    out += what(call, form);
    if (call.hasEvent)
        out += " {time_stamp=" + std::to_string(call.event.time_stamp) +
               " type=" + std::to_string(call.event.event_type) +
               " int_value=" + std::to_string(call.event.int_value) +
               " int_value2=" + std::to_string(call.event.int_value2) + "}";
    if (call.side == Side::Audio)
        out += " @" + std::to_string(call.clock);
    if (!call.returned)
        return out + " (no return)";
    return out + " => " + resultText(call);
}

} // namespace wqhost
