#include "host/trace/CallJson.h"

#include "host/text/NumberText.h"
#include "host/text/JsonText.h"
#include "host/trace/OpcodeNames.h"

#include <cmath>

namespace wqhost {

namespace {

using Json = nlohmann::ordered_json;

// "%.9g", enough digits to give the float back, parsed as a JSON number so
// that nlohmann-json writes those digits again ("48000", "0.25", "1e+30").
Json floatJson(float f) {
    if (std::isnan(f))
        return "nan";
    if (std::isinf(f))
        return f > 0 ? "inf" : "-inf";
    return Json::parse(floatText(static_cast<double>(f), 9));
}

float floatFrom(const Json &v) {
    if (v.is_number())
        return v.get<float>();
    const std::string word = v.is_string() ? v.get<std::string>() : std::string();
    if (word == "inf")
        return INFINITY;
    if (word == "-inf")
        return -INFINITY;
    return word == "nan" ? NAN : 0.0f;
}

template <class T> T field(const Json &j, const char *key, T fallback) {
    const auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<T>() : fallback;
}

std::string word(const Json &j, const char *key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

} // namespace

std::string callLine(const CallRecord &call) {
    Json j;
    j["seq"] = call.seq;
    j["phase"] = "call";
    j["dir"] = directionName(call.direction);
    j["side"] = sideName(call.side);
    j["kind"] = kindName(call.kind);
    j["record"] = hexText(call.record);
    j["opcode"] = call.opcode;
    if (const char *name = opcodeName(call.side, call.direction, call.kind, call.opcode))
        j["name"] = name;
    j["index"] = call.index;
    j["value"] = call.value;
    j["ptr"] = static_cast<long long>(call.ptr);
    j["opt"] = floatJson(call.opt);
    j["depth"] = call.depth;
    if (call.side == Side::Audio)
        j["clock"] = call.clock;
    if (!call.text.empty() || carriesText(call))
        j["text"] = bytesToUtf8(call.text);
    if (call.hasEvent)
        j["event"] = Json{{"time_stamp", call.event.time_stamp},
                          {"event_type", call.event.event_type},
                          {"int_value", call.event.int_value},
                          {"int_value2", call.event.int_value2},
                          {"ptr_value", static_cast<long long>(call.event.ptr_value)}};
    return j.dump();
}

std::string returnLine(const CallRecord &call) {
    Json j;
    j["seq"] = call.seq;
    j["phase"] = "return";
    j["result"] = static_cast<long long>(call.result);
    if (!call.answer.empty())
        j["answer"] = bytesToUtf8(call.answer);
    return j.dump();
}

CallRecord callFromJson(const nlohmann::ordered_json &line) {
    CallRecord call;
    call.seq = field<uint64_t>(line, "seq", 0);
    call.direction = word(line, "dir") == directionName(Direction::ModuleToHost)
                         ? Direction::ModuleToHost
                         : Direction::HostToModule;
    const std::string side = word(line, "side");
    for (Side s : {Side::Library, Side::Audio, Side::Gui})
        if (side == sideName(s))
            call.side = s;
    const std::string kind = word(line, "kind");
    for (CallKind k : {CallKind::GetModuleProperties, CallKind::MakeModule, CallKind::Dispatch,
                       CallKind::Process, CallKind::Event, CallKind::Callback})
        if (kind == kindName(k))
            call.kind = k;
    call.opcode = field<int32_t>(line, "opcode", 0);
    call.index = field<int32_t>(line, "index", 0);
    call.value = field<int32_t>(line, "value", 0);
    call.ptr = static_cast<intptr_t>(field<long long>(line, "ptr", 0));
    if (line.contains("opt"))
        call.opt = floatFrom(line["opt"]);
    call.depth = field<int>(line, "depth", 0);
    call.clock = field<uint32_t>(line, "clock", 0);
    call.text = utf8ToBytes(word(line, "text"));
    const auto event = line.find("event");
    if (event != line.end() && event->is_object()) {
        call.hasEvent = true;
        call.event.time_stamp = field<uint32_t>(*event, "time_stamp", 0);
        call.event.event_type = field<int32_t>(*event, "event_type", 0);
        call.event.int_value = field<int32_t>(*event, "int_value", 0);
        call.event.int_value2 = field<int32_t>(*event, "int_value2", 0);
        call.event.ptr_value = static_cast<intptr_t>(field<long long>(*event, "ptr_value", 0));
    }
    return call;
}

} // namespace wqhost
