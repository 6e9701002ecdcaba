// OpcodeNames - the interface's names for opcodes, for traces and reports.
#pragma once

#include "host/trace/CallRecord.h"

#include <cstdint>
#include <string>

namespace wqhost {

// The name of `opcode` for a call of `kind` on `side` in `direction`
// ("AD_OPEN", "AH_PIN_COUNT", "GD_PIN_CHANGED", "GH_PIN_SET_TEXT", ...), or
// null when the interface gives that number no name there.
const char *opcodeName(Side side, Direction direction, CallKind kind, int32_t opcode) noexcept;

// The name, or "opcode N" when it has none.
std::string opcodeLabel(Side side, Direction direction, CallKind kind, int32_t opcode);

const char *sideName(Side side) noexcept;        // "library", "audio", "gui"
const char *directionName(Direction d) noexcept; // "host->module", "module->host"
const char *kindName(CallKind kind) noexcept;    // "getModuleProperties", "dispatch", ...

} // namespace wqhost
