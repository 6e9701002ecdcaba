// Problem - a fault the host found in what a module did: a code saying what
// kind of fault it is, for programs (tests, the validator's "report each
// fault once"), and a sentence saying what happened, for people.
//
// Problems are recorded, never thrown: the host goes on driving the module.
#pragma once

#include <ostream>
#include <string>

namespace wqhost {

enum class ProblemCode {
    // The words of a host record (HostRecordCheck).
    RecordMagic,       // the magic word is not the side's
    RecordVersion,     // the version word is not WQ_RECORD_VERSION
    RecordHostValue,   // hostValue is not the value given to makeModule
    RecordBackPointer, // the object word is null
    RecordReserved,    // a reserved word is not 0
    RecordNullEntry,   // an entry word (dispatcher, process, event) is null
    // The life of an object.
    CloseResult,              // AD_CLOSE or GD_CLOSE returned other than 1
    SharedRecord,             // makeModule returned the record of another live object
    CallbackDuringMake,       // a callback came before makeModule returned the record
    CallbackOtherRecord,      // a callback named another record than the caller's own
    ProcessWordUnannounced,   // the process word changed without AH_PROCESS_CHANGED
    ProcessWordNotYetChanged, // AH_PROCESS_CHANGED came before the word changed
    // Pins and what flows through them.
    PinFlagRule,      // a declaration fails the pin-flag consistency rule
    EndlessPinTable,  // the module never refused a pin declaration
    UndeclaredPin,    // a request named a pin that was never declared
    NullText,         // a text write passed a null text
    BadText,          // a text the module handed over cannot be read to its NUL within the bound
    HostTextBack,     // a text write passed the host's own text instead of a copy
    NullSlot,         // GH_PIN_GET_VALUE passed a null slot
    NegativePin,      // AH_PIN_BUFFER named a negative pin
    NullEvent,        // AH_ADD_EVENT passed a null event
    EventInThePast,   // AH_ADD_EVENT stamped before the sample clock
    EchoNestingLimit, // the module's own writes, reported back, did not come to an end
    InputChanged,     // the module changed what the host wrote into an input pin's variable
    GuiWroteInput,    // the GUI side wrote a pin that is an input of the audio side
};

// A short name for the code: "record-magic", "close-result", ...
const char *problemCodeName(ProblemCode code) noexcept;

struct Problem {
    ProblemCode code;
    std::string text;
};

inline bool operator==(const Problem &a, const Problem &b) {
    return a.code == b.code && a.text == b.text;
}

std::ostream &operator<<(std::ostream &out, ProblemCode code);
std::ostream &operator<<(std::ostream &out, const Problem &problem);

} // namespace wqhost
