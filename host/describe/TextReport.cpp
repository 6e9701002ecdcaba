#include "host/describe/TextReport.h"

#include "host/text/NumberText.h"

#include <algorithm>

namespace wqhost {

namespace {

std::string padded(const std::string &s, size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

size_t nameWidth(size_t longest) { return longest + 2 + 2; } // quotes and a gap

} // namespace

std::string formatDescription(const ModuleDescription &d) {
    std::string out;
    if (!d.ok) {
        out += "  module " + std::to_string(d.index) + ": refused (getModuleProperties returned " +
               std::to_string(d.result) + "), sdkVersion " + std::to_string(d.sdkVersion) + "\n";
        return out;
    }
    out += "  name        " + quoteText(d.name) + "\n";
    out += "  id          " + quoteText(d.id) + "\n";
    out += "  about       " + quoteText(d.about) + "\n";
    out += "  flags       " + hexText(d.flags) + "\n";
    out += "  guiFlags    " + hexText(d.guiFlags) + "\n";
    out += "  sdkVersion  " + std::to_string(d.sdkVersion) + "\n";
    return out;
}

std::string formatPinTable(const std::vector<PinDeclaration> &table) {
    if (table.empty())
        return "  (no pins declared)\n";
    size_t longest = 0;
    for (const PinDeclaration &d : table)
        longest = std::max(longest, quoteText(d.name).size());
    std::string out;
    for (const PinDeclaration &d : table) {
        std::string line = "  " + padded(std::to_string(d.index), 3) +
                           padded(quoteText(d.name), longest + 2) +
                           padded(pinDirectionName(d.direction()), 5) +
                           padded(dataTypeName(d.dataType()), 9) + pinFlagNames(d.flags());
        if (d.listTextWritten)
            line += "  list " + quoteText(d.listText);
        if (!d.flagsConsistent())
            line += "  (fails the pin-flag consistency rule)";
        out += line + "\n";
    }
    return out;
}

size_t pinNameWidth(const std::vector<PinValue> &pins) {
    size_t longest = 0;
    for (const PinValue &p : pins)
        longest = std::max(longest, p.name.size());
    return nameWidth(longest) - 2;
}

std::string formatPinValues(const std::vector<PinValue> &pins) {
    return formatPinValues(pins, pinNameWidth(pins));
}

std::string formatPinValues(const std::vector<PinValue> &pins, size_t width) {
    if (pins.empty())
        return "  (no pins)\n";
    std::string out;
    for (const PinValue &p : pins) {
        std::string value;
        switch (p.kind) {
        case PinKind::Text: value = quoteText(p.text); break;
        case PinKind::Integer: value = std::to_string(p.integer); break;
        case PinKind::Float: value = PinStore::formatFloat(p.real); break;
        }
        std::string line =
            "  pin " + padded(std::to_string(p.index), 3) + padded(p.name, width) + value;
        if (!p.listText.empty())
            line += "   choices " + quoteText(p.listText);
        out += line + "\n";
    }
    return out;
}

} // namespace wqhost
