// A small module library for the validator's own tests, written against the
// C interface alone: four pins ("TEXT", "LENGTH", "MODE" and the audio pin
// "SIGNAL"), an audio object that installs a process function on open, a
// GUI object that writes the length of pin 0's text to pin 1.
//
// Built as it stands (conforming_module.cpp) it keeps the interface and
// passes `wqhost validate`. Each broken_*.cpp builds the same module with
// one fault switched on, and the validator's tests expect that fault to be
// reported by the check that looks for it.
#pragma once

namespace wqtest {

struct Faults {
    bool wrongAudioMagic = false;        // the audio record's magic is not "WQPL"
    bool inconsistentPin = false;        // "MODE" declares IO_PATCH_STORE on an input
    bool crashOnAudioOpen = false;       // AD_OPEN writes through a null pointer
    bool hangOnPinChange = false;        // a change of pin 0 never returns
    bool crashOnPinChange = false;       // a change of pin 0 writes through a null pointer
    bool processChangedTooEarly = false; // AH_PROCESS_CHANGED before the word is written
    bool makeAnyType = false;            // makeModule makes a GUI object for any type
    bool describeAnyIndex = false;       // getModuleProperties accepts every index
    bool endlessEcho = false;            // a change of pin 0 writes pin 0 again, longer
    bool unusedOpcodeAnswers = false;    // audio opcode 9 returns 1
    bool hostValueLost = false;          // the GUI record's hostValue is 0
    bool unstableDeclaration = false;    // "TEXT" is named differently in every query
    bool eventIntoThePast = false;       // each delivered event posts one a sample earlier
    bool sharedObject = false;           // every GUI object is the same one
};

// Which faults this library has; defined once in each module's own file.
Faults moduleFaults();

} // namespace wqtest
