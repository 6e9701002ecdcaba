#include "host/panel/PanelRequest.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace wqhost {

namespace {

using nlohmann::json;

const json &field(const json &request, const char *name) {
    auto it = request.find(name);
    if (it == request.end())
        throw RequestError(std::string("\"") + name + "\" is missing");
    return *it;
}

json setRequest(const json &request, const std::vector<int32_t> &pins) {
    const json &pin = field(request, "pin");
    if (!pin.is_number_integer())
        throw RequestError("\"pin\" must be an integer");
    const long long index = pin.get<long long>();
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
        out["value"] = value;
    } else if (form == "int") {
        if (!value.is_number_integer() || value.get<long long>() < INT32_MIN ||
            value.get<long long>() > INT32_MAX)
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
    if (name == "open" || name == "close" || name == "recreate")
        return {{"op", name}};
    if (name == "process") {
        json blocks = 1;
        if (auto it = request.find("blocks"); it != request.end())
            blocks = *it;
        if (!blocks.is_number_integer() || blocks.get<long long>() < 1 ||
            blocks.get<long long>() > kMaxProcessBlocks)
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
    throw RequestError("unknown op \"" + name + "\"");
}

} // namespace wqhost
