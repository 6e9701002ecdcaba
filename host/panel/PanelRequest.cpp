#include "host/panel/PanelRequest.h"

#include "host/audio/SignalSource.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace wqhost {

namespace {

using nlohmann::json;

// An integer of JSON as a 64-bit signed number: one written beyond 64 bits
// parses as a float, and one beyond the signed range as unsigned; neither
// is an integer here.
bool integerOf(const json &value, long long &out) {
    if (!value.is_number_integer())
        return false;
    if (value.is_number_unsigned() &&
        value.get<unsigned long long>() >
            static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
        return false;
    out = value.get<long long>();
    return true;
}

// The position of the first character of a UTF-8 text beyond U+00FF (a
// module's texts have 8 bits a character), or npos.
size_t firstBeyondLatin1(const std::string &text) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++chars) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0xC4)
            return chars;
        i += c < 0x80 ? 1 : c >= 0xC0 ? 2 : 1;
    }
    return std::string::npos;
}

const json &field(const json &request, const char *name) {
    auto it = request.find(name);
    if (it == request.end())
        throw RequestError(std::string("\"") + name + "\" is missing");
    return *it;
}

json setRequest(const json &request, const std::vector<int32_t> &pins) {
    long long index = 0;
    if (!integerOf(field(request, "pin"), index))
        throw RequestError("\"pin\" must be an integer");
    if (std::find(pins.begin(), pins.end(), index) == pins.end())
        throw RequestError("the module has no pin " + std::to_string(index));
    std::string form = "text";
    if (auto it = request.find("form"); it != request.end()) {
        if (!it->is_string())
            throw RequestError("\"form\" must be \"text\", \"int\" or \"float\"");
        form = it->get<std::string>();
    }
    const json &value = field(request, "value");
    json out = {{"op", "set"}, {"pin", index}, {"form", form}};
    if (form == "text") {
        if (!value.is_string())
            throw RequestError("a text value must be a string");
        const size_t beyond = firstBeyondLatin1(value.get<std::string>());
        if (beyond != std::string::npos)
            throw RequestError("character " + std::to_string(beyond + 1) +
                               " of the text is beyond U+00FF: a text is 8-bit, one "
                               "character (U+0000 to U+00FF) a byte");
        out["value"] = value;
    } else if (form == "int") {
        long long v = 0;
        if (!integerOf(value, v) || v < INT32_MIN || v > INT32_MAX)
            throw RequestError("an int value must be a 32-bit integer");
        out["value"] = value;
    } else if (form == "float") {
        if (!value.is_number())
            throw RequestError("a float value must be a number");
        const double d = value.get<double>();
        if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max())
            throw RequestError("a float value must fit a 32-bit float");
        out["value"] = d;
    } else {
        throw RequestError("\"form\" must be \"text\", \"int\" or \"float\"");
    }
    return out;
}

json signalRequest(const json &request, const std::vector<int32_t> &pins) {
    long long index = 0;
    if (!integerOf(field(request, "pin"), index))
        throw RequestError("\"pin\" must be an integer");
    if (std::find(pins.begin(), pins.end(), index) == pins.end())
        throw RequestError("the module has no pin " + std::to_string(index));
    const json &text = field(request, "signal");
    if (!text.is_string())
        throw RequestError("\"signal\" must be a string such as \"sine 440 0.5\"");
    std::vector<std::string> words;
    std::istringstream in(text.get<std::string>());
    for (std::string w; in >> w;)
        words.push_back(w);
    SignalSetting setting;
    try {
        setting = parseSignalSpec(words);
    } catch (const std::invalid_argument &e) {
        throw RequestError(e.what());
    }
    // The page names no files: what the module's process may read stays
    // what the user started it with.
    if (setting.kind == SignalSetting::Kind::File)
        throw RequestError("the panel feeds no files: a constant, sine, impulse, step or noise");
    return {{"op", "signal"}, {"pin", index}, {"signal", signalText(setting)}};
}

} // namespace

json parsePanelRequest(const std::string &body, const std::vector<int32_t> &pins) {
    const json request = json::parse(body, nullptr, false);
    if (request.is_discarded())
        throw RequestError("the body is not JSON");
    if (!request.is_object())
        throw RequestError("the body must be a JSON object");
    const json &op = field(request, "op");
    if (!op.is_string())
        throw RequestError("\"op\" must be a string");
    const std::string name = op.get<std::string>();
    if (name == "set")
        return setRequest(request, pins);
    if (name == "echo") {
        const json &on = field(request, "on");
        if (!on.is_boolean())
            throw RequestError("\"on\" must be true or false");
        return {{"op", "echo"}, {"on", on}};
    }
    if (name == "open" || name == "close" || name == "recreate" || name == "restart" ||
        name == "reload")
        return {{"op", name}};
    if (name == "process") {
        json blocks = 1;
        if (auto it = request.find("blocks"); it != request.end())
            blocks = *it;
        long long count = 0;
        if (!integerOf(blocks, count) || count < 1 || count > kMaxProcessBlocks)
            throw RequestError("\"blocks\" must be an integer from 1 to " +
                               std::to_string(kMaxProcessBlocks));
        json out = {{"op", "process"}, {"blocks", blocks}};
        // Play leaves the calls of its blocks out of the event stream.
        if (auto it = request.find("calls"); it != request.end()) {
            if (!it->is_boolean())
                throw RequestError("\"calls\" must be true or false");
            out["calls"] = *it;
        }
        return out;
    }
    if (name == "rate") {
        const json &hz = field(request, "hz");
        if (!hz.is_number() || !std::isfinite(hz.get<double>()) || hz.get<double>() < 1.0 ||
            hz.get<double>() > kMaxSampleRate)
            throw RequestError("\"hz\" must be a sample rate from 1 to " +
                               std::to_string(static_cast<int>(kMaxSampleRate)));
        return {{"op", "rate"}, {"hz", hz}};
    }
    if (name == "block") {
        const json &size = field(request, "size");
        if (!size.is_number_integer() || size.get<long long>() < 1 ||
            size.get<long long>() > kMaxBlockSize)
            throw RequestError("\"size\" must be an integer from 1 to " +
                               std::to_string(kMaxBlockSize));
        return {{"op", "block"}, {"size", size}};
    }
    if (name == "signal")
        return signalRequest(request, pins);
    throw RequestError("unknown op \"" + name + "\"");
}

} // namespace wqhost
