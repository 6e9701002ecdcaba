// TextReport - how the host shows a module to a person: its description, its
// pin table and its pin values, as plain text lines.
#pragma once

#include "host/core/ModuleLibrary.h"
#include "host/text/QuotedText.h"
#include "host/pins/PinDeclaration.h"
#include "host/pins/PinStore.h"

#include <string>
#include <vector>

namespace wqhost {

// "name "Quendor", id ..., flags 0x200, guiFlags 0x100, sdkVersion 2230",
// or the refusal, one item per line.
std::string formatDescription(const ModuleDescription &d);

// One line per declaration: index, name, direction, data type, flags by
// name, list text when the declaration wrote one.
std::string formatPinTable(const std::vector<PinDeclaration> &table);

// One line per pin: index, name, value in the pin's form, list of choices
// for a pin that has one.
std::string formatPinValues(const std::vector<PinValue> &pins);

// The same with the name column `nameWidth` wide, so that lines of a few
// pins line up with a table of all of them (pinNameWidth of all pins).
std::string formatPinValues(const std::vector<PinValue> &pins, size_t nameWidth);
size_t pinNameWidth(const std::vector<PinValue> &pins);

} // namespace wqhost
