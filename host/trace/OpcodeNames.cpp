#include "host/trace/OpcodeNames.h"

namespace wqhost {

namespace {

const char *audioDispatcherName(int32_t opcode) noexcept {
    switch (opcode) {
    case AD_OPEN: return "AD_OPEN";
    case AD_CLOSE: return "AD_CLOSE";
    case AD_SET_SAMPLE_RATE: return "AD_SET_SAMPLE_RATE";
    case AD_SET_BLOCK_SIZE: return "AD_SET_BLOCK_SIZE";
    case AD_OPCODE_4: return "AD_OPCODE_4";
    case AD_OPCODE_5: return "AD_OPCODE_5";
    case AD_GET_PIN_PROPERTIES: return "AD_GET_PIN_PROPERTIES";
    case AD_OPCODE_7: return "AD_OPCODE_7";
    case AD_OPCODE_8: return "AD_OPCODE_8";
    case AD_OPCODE_9: return "AD_OPCODE_9";
    case AD_OPCODE_10: return "AD_OPCODE_10";
    case AD_OPCODE_11: return "AD_OPCODE_11";
    case AD_OPCODE_12: return "AD_OPCODE_12";
    case AD_GET_PROCESS_REFERENCE: return "AD_GET_PROCESS_REFERENCE";
    default: return nullptr;
    }
}

const char *audioCallbackName(int32_t opcode) noexcept {
    switch (opcode) {
    case AH_OPCODE_0: return "AH_OPCODE_0";
    case AH_OPCODE_1: return "AH_OPCODE_1";
    case AH_SAMPLE_CLOCK: return "AH_SAMPLE_CLOCK";
    case AH_PIN_STATUS: return "AH_PIN_STATUS";
    case AH_PIN_BUFFER: return "AH_PIN_BUFFER";
    case AH_PIN_BUFFER_CLOCK: return "AH_PIN_BUFFER_CLOCK";
    case AH_OPCODE_10: return "AH_OPCODE_10";
    case AH_PIN_COUNT: return "AH_PIN_COUNT";
    case AH_ADD_EVENT: return "AH_ADD_EVENT";
    case AH_PROCESS_CHANGED: return "AH_PROCESS_CHANGED";
    default: return nullptr;
    }
}

const char *guiDispatcherName(int32_t opcode) noexcept {
    switch (opcode) {
    case GD_OPEN: return "GD_OPEN";
    case GD_CLOSE: return "GD_CLOSE";
    case GD_OPCODE_2: return "GD_OPCODE_2";
    case GD_OPCODE_3: return "GD_OPCODE_3";
    case GD_OPCODE_4: return "GD_OPCODE_4";
    case GD_OPCODE_5: return "GD_OPCODE_5";
    case GD_OPCODE_6: return "GD_OPCODE_6";
    case GD_PIN_CHANGED: return "GD_PIN_CHANGED";
    case GD_OPCODE_8: return "GD_OPCODE_8";
    case GD_OPCODE_9: return "GD_OPCODE_9";
    case GD_OPCODE_10: return "GD_OPCODE_10";
    case GD_OPCODE_11: return "GD_OPCODE_11";
    case GD_OPCODE_12: return "GD_OPCODE_12";
    default: return nullptr;
    }
}

const char *guiCallbackName(int32_t opcode) noexcept {
    switch (opcode) {
    case GH_PIN_SET_TEXT: return "GH_PIN_SET_TEXT";
    case GH_PIN_GET_TEXT: return "GH_PIN_GET_TEXT";
    case GH_OPCODE_8: return "GH_OPCODE_8";
    case GH_PIN_GET_VALUE: return "GH_PIN_GET_VALUE";
    case GH_PIN_SET_VALUE: return "GH_PIN_SET_VALUE";
    case GH_PIN_SET_LIST_TEXT: return "GH_PIN_SET_LIST_TEXT";
    case GH_PIN_GET_TEXT_W: return "GH_PIN_GET_TEXT_W";
    case GH_OPCODE_18: return "GH_OPCODE_18";
    case GH_OPCODE_19: return "GH_OPCODE_19";
    case GH_OPCODE_20: return "GH_OPCODE_20";
    case GH_OPCODE_22: return "GH_OPCODE_22";
    default: return nullptr;
    }
}

} // namespace

const char *opcodeName(Side side, Direction direction, CallKind kind, int32_t opcode) noexcept {
    if (kind != CallKind::Dispatch && kind != CallKind::Callback)
        return nullptr;
    if (side == Side::Audio)
        return direction == Direction::HostToModule ? audioDispatcherName(opcode)
                                                    : audioCallbackName(opcode);
    if (side == Side::Gui)
        return direction == Direction::HostToModule ? guiDispatcherName(opcode)
                                                    : guiCallbackName(opcode);
    return nullptr;
}

std::string opcodeLabel(Side side, Direction direction, CallKind kind, int32_t opcode) {
    const char *name = opcodeName(side, direction, kind, opcode);
    return name ? std::string(name) : "opcode " + std::to_string(opcode);
}

const char *sideName(Side side) noexcept {
    switch (side) {
    case Side::Library: return "library";
    case Side::Audio: return "audio";
    case Side::Gui: return "gui";
    }
    return "?";
}

const char *directionName(Direction d) noexcept {
    return d == Direction::HostToModule ? "host->module" : "module->host";
}

const char *kindName(CallKind kind) noexcept {
    switch (kind) {
    case CallKind::GetModuleProperties: return "getModuleProperties";
    case CallKind::MakeModule: return "makeModule";
    case CallKind::Dispatch: return "dispatch";
    case CallKind::Process: return "process";
    case CallKind::Event: return "event";
    case CallKind::Callback: return "callback";
    }
    return "?";
}

} // namespace wqhost
