// InfoReport - `wqhost info`: a module's description and pin table (index,
// name, direction, data type, flags by name, list text), as text for a
// person or as one JSON document for a program.
#pragma once

#include "host/describe/ModuleProbe.h"

#include <string>

namespace wqhost {

std::string formatModuleInfo(const ModuleProbe &probe, const std::string &libraryPath);

// {"library", "module", "description": {...} or null, "pins": [...],
//  "audioPinCount", "problems": [...]}; texts as JsonText maps them.
std::string moduleInfoJson(const ModuleProbe &probe, const std::string &libraryPath);

} // namespace wqhost
