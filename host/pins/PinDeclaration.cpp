#include "host/pins/PinDeclaration.h"

#include "host/text/NumberText.h"

namespace wqhost {

bool pinFlagsConsistent(const WQPinProperties &record) noexcept {
    return (record.flags & IO_PATCH_STORE) == 0 || (record.flags & IO_PRIVATE) != 0 ||
           record.direction == DR_OUT || (record.flags & IO_UI_COMMUNICATION) != 0;
}

bool PinDeclaration::flagsConsistent() const noexcept { return pinFlagsConsistent(record); }

bool PinDeclaration::getsAudioPin() const noexcept {
    return (record.flags & IO_UI_COMMUNICATION) == 0 || (record.flags & IO_UI_DUAL) != 0;
}

int32_t countAudioPins(const std::vector<PinDeclaration> &table) noexcept {
    int32_t n = 0;
    for (const PinDeclaration &d : table)
        if (d.getsAudioPin())
            ++n;
    return n;
}

std::vector<AudioPinSlot> audioPinLayout(const std::vector<PinDeclaration> &table, int32_t count) {
    std::vector<AudioPinSlot> pins;
    const auto add = [&pins](const PinDeclaration &d, bool repeated) {
        AudioPinSlot slot;
        slot.index = static_cast<int32_t>(pins.size());
        slot.declaration = d.index;
        slot.direction = d.direction();
        slot.datatype = d.dataType();
        slot.variable = repeated ? nullptr : d.record.variable;
        slot.name = d.nameWritten ? d.name : std::string();
        slot.repeated = repeated;
        pins.push_back(std::move(slot));
    };
    // The walk: it stops at the first declaration the module refuses or
    // once every counted pin is set up.
    size_t d = 0;
    for (; d < table.size(); ++d) {
        if (static_cast<int32_t>(pins.size()) >= count)
            break;
        if (table[d].getsAudioPin())
            add(table[d], false);
    }
    // The repeat step re-reads the declaration before the one where the
    // walk stopped.
    if (d > 0) {
        const PinDeclaration &last = table[d - 1];
        if (last.getsAudioPin() && (last.flags() & IO_REPEATING) != 0)
            while (static_cast<int32_t>(pins.size()) < count)
                add(last, true);
    }
    return pins;
}

std::string dataTypeName(int32_t datatype) {
    switch (datatype) {
    case DT_ENUM: return "enum";
    case DT_TEXT: return "text";
    case DT_BYTE: return "byte";
    case DT_FSAMPLE: return "fsample";
    case DT_FLOAT: return "float";
    case DT_INT: return "int";
    default: return "type " + std::to_string(datatype);
    }
}

std::string pinDirectionName(int32_t direction) {
    switch (direction) {
    case DR_IN: return "in";
    case DR_OUT: return "out";
    default: return "direction " + std::to_string(direction);
    }
}

std::string pinFlagNames(uint32_t flags) {
    static const struct {
        uint32_t bit;
        const char *name;
    } named[] = {{IO_REPEATING, "IO_REPEATING"},
                 {IO_PRIVATE, "IO_PRIVATE"},
                 {IO_UI_COMMUNICATION, "IO_UI_COMMUNICATION"},
                 {IO_UI_DUAL, "IO_UI_DUAL"},
                 {IO_PATCH_STORE, "IO_PATCH_STORE"}};
    std::string out;
    uint32_t rest = flags;
    for (const auto &n : named) {
        if (flags & n.bit) {
            if (!out.empty())
                out += '|';
            out += n.name;
            rest &= ~n.bit;
        }
    }
    if (rest) {
        if (!out.empty())
            out += '|';
        out += hexText(rest);
    }
    return out.empty() ? "0" : out;
}

} // namespace wqhost
