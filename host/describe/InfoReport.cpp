#include "host/describe/InfoReport.h"

#include "host/text/JsonText.h"
#include "host/describe/TextReport.h"

#include <nlohmann/json.hpp>

namespace wqhost {

namespace {

nlohmann::json flagList(uint32_t flags) {
    nlohmann::json list = nlohmann::json::array();
    const std::string names = pinFlagNames(flags);
    if (names == "0")
        return list;
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find('|', start);
        if (end == std::string::npos)
            end = names.size();
        list.push_back(names.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

// The sides makeModule gives, as info shows them.
std::string sidesText(const ModuleProbe &probe) {
    if (!probe.guiProbed)
        return probe.audioCreated ? "audio" : "no audio side";
    if (probe.audioCreated && probe.guiCreated)
        return "audio and GUI";
    if (probe.audioCreated)
        return "audio only (makeModule gives no GUI object)";
    if (probe.guiCreated)
        return "GUI only (makeModule gives no audio object)";
    return "none (makeModule gives no object)";
}

} // namespace

std::string formatModuleInfo(const ModuleProbe &probe, const std::string &libraryPath) {
    std::string out = "Module library " + libraryPath + "\n\nDescription (module " +
                      std::to_string(probe.description.index) + ")\n" +
                      formatDescription(probe.description) + "  sides       " + sidesText(probe) +
                      "\n\nPins\n";
    if (!probe.audioCreated)
        out += "  (makeModule gave no audio object, so the pins are unknown)\n";
    else
        out += formatPinTable(probe.pins) +
               "  audio-side pins: " + std::to_string(probe.audioPinCount()) + "\n";
    for (const Problem &p : probe.problems)
        out += "  problem: " + p.text + "\n";
    return out;
}

std::string moduleInfoJson(const ModuleProbe &probe, const std::string &libraryPath) {
    using nlohmann::json;
    const ModuleDescription &d = probe.description;
    json doc;
    doc["library"] = bytesToUtf8(libraryPath);
    doc["module"] = d.index;
    if (d.ok) {
        doc["description"] = {{"name", bytesToUtf8(d.name)},   {"id", bytesToUtf8(d.id)},
                              {"about", bytesToUtf8(d.about)}, {"flags", d.flags},
                              {"guiFlags", d.guiFlags},        {"sdkVersion", d.sdkVersion}};
    } else {
        doc["description"] = nullptr;
    }
    json pins = json::array();
    for (const PinDeclaration &p : probe.pins) {
        json pin = {{"index", p.index},
                    {"name", bytesToUtf8(p.name)},
                    {"direction", pinDirectionName(p.direction())},
                    {"dataType", dataTypeName(p.dataType())},
                    {"dataTypeValue", p.dataType()},
                    {"flags", flagList(p.flags())},
                    {"flagsValue", p.flags()},
                    {"audioPin", p.getsAudioPin()},
                    {"consistent", p.flagsConsistent()}};
        pin["listText"] = p.listTextWritten ? json(bytesToUtf8(p.listText)) : json(nullptr);
        pins.push_back(std::move(pin));
    }
    doc["pins"] = probe.audioCreated ? pins : json(nullptr);
    doc["sides"] = {{"audio", probe.audioCreated}};
    if (probe.guiProbed)
        doc["sides"]["gui"] = probe.guiCreated;
    doc["audioPinCount"] = probe.audioPinCount();
    json problems = json::array();
    for (const Problem &p : probe.problems)
        problems.push_back(bytesToUtf8(p.text));
    doc["problems"] = problems;
    return doc.dump(2) + "\n";
}

} // namespace wqhost
