#include "host/trace/Problem.h"

namespace wqhost {

const char *problemCodeName(ProblemCode code) noexcept {
    switch (code) {
    case ProblemCode::RecordMagic: return "record-magic";
    case ProblemCode::RecordVersion: return "record-version";
    case ProblemCode::RecordHostValue: return "record-host-value";
    case ProblemCode::RecordBackPointer: return "record-back-pointer";
    case ProblemCode::RecordReserved: return "record-reserved";
    case ProblemCode::RecordNullEntry: return "record-null-entry";
    case ProblemCode::CloseResult: return "close-result";
    case ProblemCode::SharedRecord: return "shared-record";
    case ProblemCode::CallbackDuringMake: return "callback-during-make";
    case ProblemCode::CallbackOtherRecord: return "callback-other-record";
    case ProblemCode::ProcessWordUnannounced: return "process-word-unannounced";
    case ProblemCode::ProcessWordNotYetChanged: return "process-word-not-yet-changed";
    case ProblemCode::PinFlagRule: return "pin-flag-rule";
    case ProblemCode::EndlessPinTable: return "endless-pin-table";
    case ProblemCode::UndeclaredPin: return "undeclared-pin";
    case ProblemCode::NullText: return "null-text";
    case ProblemCode::BadText: return "bad-text";
    case ProblemCode::HostTextBack: return "host-text-back";
    case ProblemCode::NullSlot: return "null-slot";
    case ProblemCode::NegativePin: return "negative-pin";
    case ProblemCode::NullEvent: return "null-event";
    case ProblemCode::EventInThePast: return "event-in-the-past";
    case ProblemCode::EchoNestingLimit: return "echo-nesting-limit";
    case ProblemCode::InputChanged: return "input-changed";
    case ProblemCode::GuiWroteInput: return "gui-wrote-input";
    }
    return "?";
}

std::ostream &operator<<(std::ostream &out, ProblemCode code) {
    return out << problemCodeName(code);
}

std::ostream &operator<<(std::ostream &out, const Problem &problem) {
    return out << problemCodeName(problem.code) << ": " << problem.text;
}

} // namespace wqhost
