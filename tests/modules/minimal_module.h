// A small module library for the validator's own tests, written against the
// C interface alone: four pins ("TEXT", "LENGTH", "MODE" and the audio pin
// "SIGNAL"), an audio object that installs a process function on open, a
// GUI object that writes the length of pin 0's text to pin 1.
//
// Built as it stands (wq_conforming_module) it keeps the interface and
// passes `wqhost validate`. Each fault of the module in the fault table
// (tests/modules/faults.json) builds it again as wq_broken_<fault>, with the
// one switch WQ_FAULT_<FAULT> defined, and the validator's tests expect that
// fault to be reported by the check the table names.
#pragma once

namespace wqtest {

// The faults, each after the name of its switch (WQ_FAULT_<name>).
struct Faults {
    bool wrongAudioMagic = false;        // MAGIC: the audio record's magic is not "WQPL"
    bool inconsistentPin = false;        // PIN_FLAGS: "MODE" has IO_PATCH_STORE on an input
    bool crashOnAudioOpen = false;       // CRASH_OPEN: AD_OPEN writes through a null pointer
    bool hangOnPinChange = false;        // HANG: a change of pin 0 never returns
    bool crashOnPinChange = false;       // CRASH_SET: a change of pin 0 writes through null
    bool processChangedTooEarly = false; // CALLBACK_ORDER: AH_PROCESS_CHANGED too early
    bool makeAnyType = false;            // MAKE_ANY_TYPE: a GUI object for any type
    bool describeAnyIndex = false;       // DESCRIBE_ANY_INDEX: any index is described
    bool endlessEcho = false;            // ENDLESS_ECHO: pin 0 changes write it, longer
    bool unusedOpcodeAnswers = false;    // UNUSED_OPCODE: audio opcode 9 returns 1
    bool hostValueLost = false;          // HOST_VALUE: the GUI record's hostValue is 0
    bool unstableDeclaration = false;    // UNSTABLE_PINS: "TEXT" renamed at every query
    bool eventIntoThePast = false;       // PAST_EVENT: each event posts one a sample earlier
    bool sharedObject = false;           // SHARED_OBJECT: every GUI object is the same one
};

// The faults this build has switched on.
Faults builtFaults();

} // namespace wqtest
