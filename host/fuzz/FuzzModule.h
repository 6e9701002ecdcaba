// FuzzModule - what a fuzz run knows of the module it draws sessions for:
// its sides and, for each pin declaration, what a host may do with it. The
// fuzz child learns it from a session it starts and sends it to the parent
// as JSON, which draws every session from it.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

struct FuzzPin {
    int32_t index = 0; // the declaration
    std::string name;
    int32_t dataType = 0; // DT_*
    int32_t direction = 0;
    bool audioControl = false; // an audio-side control input: `set ... at SAMPLE` applies
    bool sampleInput = false;  // an audio-side sample input: `signal` feeds it
};

struct FuzzModule {
    bool audioSide = false;
    bool guiSide = false;
    bool audioPins = false; // the audio side has sample or control pins: `process` plays
    std::vector<FuzzPin> pins;

    nlohmann::json toJson() const;
    // Throws nlohmann::json::exception for a document of another shape.
    static FuzzModule fromJson(const nlohmann::json &j);
};

} // namespace wqhost
