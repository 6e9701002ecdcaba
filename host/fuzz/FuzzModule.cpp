#include "host/fuzz/FuzzModule.h"

#include "host/text/JsonText.h"

namespace wqhost {

nlohmann::json FuzzModule::toJson() const {
    nlohmann::json list = nlohmann::json::array();
    for (const FuzzPin &p : pins)
        list.push_back({{"index", p.index},
                        {"name", bytesToUtf8(p.name)},
                        {"dataType", p.dataType},
                        {"direction", p.direction},
                        {"audioControl", p.audioControl},
                        {"sampleInput", p.sampleInput}});
    return {
        {"audioSide", audioSide}, {"guiSide", guiSide}, {"audioPins", audioPins}, {"pins", list}};
}

FuzzModule FuzzModule::fromJson(const nlohmann::json &j) {
    FuzzModule m;
    m.audioSide = j.at("audioSide").get<bool>();
    m.guiSide = j.at("guiSide").get<bool>();
    m.audioPins = j.at("audioPins").get<bool>();
    for (const auto &p : j.at("pins")) {
        FuzzPin pin;
        pin.index = p.at("index").get<int32_t>();
        pin.name = utf8ToBytes(p.at("name").get<std::string>());
        pin.dataType = p.at("dataType").get<int32_t>();
        pin.direction = p.at("direction").get<int32_t>();
        pin.audioControl = p.at("audioControl").get<bool>();
        pin.sampleInput = p.at("sampleInput").get<bool>();
        m.pins.push_back(pin);
    }
    return m;
}

} // namespace wqhost
