// PinDeclaration - one pin declaration as a module answered it through the
// audio dispatcher's pin query, with its texts copied, and the words used to
// show declarations.
#pragma once

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

struct PinDeclaration {
    int32_t index = 0;            // the declaration index the host asked for
    WQPinProperties record{};     // the record as the module left it
    std::string name;             // copy of record.name, when the module wrote it
    bool nameWritten = false;     // record.name differs from what the host put there
    std::string listText;         // copy of record.list_text, when the module wrote it
    bool listTextWritten = false; // record.list_text differs from what the host put there

    int32_t direction() const noexcept { return record.direction; }
    int32_t dataType() const noexcept { return record.datatype; }
    uint32_t flags() const noexcept { return record.flags; }

    // The pin-flag consistency rule every declaration must pass.
    bool flagsConsistent() const noexcept;

    // Whether the audio side makes a pin for this declaration: it lacks
    // IO_UI_COMMUNICATION or has IO_UI_DUAL.
    bool getsAudioPin() const noexcept;
};

// One audio-side pin as a module's default open() builds its pins from the
// declarations and the host's pin count: the declarations that get an
// audio pin, in order, until the count is reached; then, when the walk ran
// out of declarations first and the last one it took has IO_REPEATING, that
// declaration again (without its variable) for every pin left.
struct AudioPinSlot {
    int32_t index = 0;         // the audio-side index
    int32_t declaration = 0;   // the declaration it comes from
    int32_t direction = DR_IN; // DR_IN or DR_OUT
    int32_t datatype = DT_FSAMPLE;
    void *variable = nullptr; // the declared variable; null for a repeated pin
    std::string name;         // the declaration's name
    bool repeated = false;    // made by the repeat step

    bool isSampleInput() const noexcept { return datatype == DT_FSAMPLE && direction == DR_IN; }
    bool isSampleOutput() const noexcept { return datatype == DT_FSAMPLE && direction != DR_IN; }
};

// The audio-side pins of `table` (read until the module refused) for a host
// that answers AH_PIN_COUNT with `count`.
std::vector<AudioPinSlot> audioPinLayout(const std::vector<PinDeclaration> &table, int32_t count);

// The consistency rule: IO_PATCH_STORE is clear, or IO_PRIVATE is set, or the
// direction is DR_OUT, or IO_UI_COMMUNICATION is set.
bool pinFlagsConsistent(const WQPinProperties &record) noexcept;

// The number of declarations in `table` that get an audio-side pin; a host
// that knows a module's table answers AH_PIN_COUNT with it.
int32_t countAudioPins(const std::vector<PinDeclaration> &table) noexcept;

// "enum", "text", "byte", "fsample", "float", "int", or "type N".
std::string dataTypeName(int32_t datatype);

// "in", "out", or "direction N".
std::string pinDirectionName(int32_t direction);

// The flags by name joined with '|' ("IO_UI_COMMUNICATION|IO_PRIVATE"),
// unnamed bits as one hex number at the end, "0" for none.
std::string pinFlagNames(uint32_t flags);

} // namespace wqhost
