#include "host/checks/ConformanceCheck.h"

#include "host/memory/GuardedMemory.h"

namespace wqhost {

// The checks, one file per topic: LibraryChecks.cpp, RecordChecks.cpp,
// LifecycleChecks.cpp, AudioChecks.cpp, RealtimeChecks.cpp, PinChecks.cpp,
// AnswerChecks.cpp and AudioBlockChecks.cpp. Each is declared here, beside
// its row, and nowhere else.
void checkExports(CheckContext &ctx);
void checkDescribeIndex0(CheckContext &ctx);
void checkDescribeOtherIndex(CheckContext &ctx);
void checkMakeModuleRefusals(CheckContext &ctx);
void checkAudioRecord(CheckContext &ctx);
void checkGuiRecord(CheckContext &ctx);
void checkAudioOpenClose(CheckContext &ctx);
void checkGuiOpenClose(CheckContext &ctx);
void checkAudioSeveralObjects(CheckContext &ctx);
void checkGuiSeveralObjects(CheckContext &ctx);
void checkLeaks(CheckContext &ctx);
void checkProcessWord(CheckContext &ctx);
void checkProcessReference(CheckContext &ctx);
void checkProcessRealtime(CheckContext &ctx);
void checkUnusedOpcodes(CheckContext &ctx);
void checkPinDeclarations(CheckContext &ctx);
void checkPinDeclarationsStable(CheckContext &ctx);
void checkPinNames(CheckContext &ctx);
void checkEvents(CheckContext &ctx);
void checkPinChanges(CheckContext &ctx);
void checkPinChangesRandom(CheckContext &ctx);
void checkNestedEcho(CheckContext &ctx);
void checkTextAnswers(CheckContext &ctx);
void checkUnload(CheckContext &ctx);
// AudioBlockChecks.cpp: the process function at many block sizes and rates,
// and the samples it gives.
void checkAudioBlocks(CheckContext &ctx);
void checkAudioOutput(CheckContext &ctx);

const std::vector<ConformanceCheck> &conformanceChecks() {
    static const std::vector<ConformanceCheck> checks = {
        {"exports", "the library loads, both exports resolve, it unloads and loads again",
         checkExports},
        {"describe-index-0",
         "getModuleProperties(0): result 1, sdkVersion, texts and flags written, stable",
         checkDescribeIndex0, kGuardedDescriptionRecord},
        {"describe-other-index",
         "getModuleProperties for other indices: result 0, sdkVersion written, the rest left",
         checkDescribeOtherIndex},
        {"make-module-refusals",
         "makeModule refuses other indices and types 0, 3 and others, calling nothing",
         checkMakeModuleRefusals},
        {"audio-record",
         "audio records: magic, version, hostValue kept, back pointer, entries, reserved 0",
         checkAudioRecord},
        {"gui-record",
         "GUI records: magic, version, hostValue kept, back pointer, entry, reserved 0",
         checkGuiRecord},
        {"audio-open-close", "audio objects created, opened and closed many times",
         checkAudioOpenClose},
        {"gui-open-close", "GUI objects created, opened and closed many times", checkGuiOpenClose},
        {"audio-several-objects", "several live audio objects, processed and closed in any order",
         checkAudioSeveralObjects},
        {"gui-several-objects", "several live GUI objects, pins changed, closed in any order",
         checkGuiSeveralObjects},
        {"leaks", "the heap does not grow with objects made and closed again or with pin changes",
         checkLeaks},
        {"process-word",
         "the process word is set, called, and changed only with AH_PROCESS_CHANGED after it",
         checkProcessWord},
        {"process-reference",
         "AD_GET_PROCESS_REFERENCE gives 1, 8, the current process function, 1002",
         checkProcessReference},
        {"process-realtime",
         "the process function does not allocate, sleep or wait on a lock or another thread",
         checkProcessRealtime},
        {"pin-declarations",
         "every declaration passes the pin-flag rule and has a name; the table ends",
         checkPinDeclarations, kGuardedPinRecord},
        {"pin-declarations-stable",
         "declarations are the same in every query and object; unwritten fields keep the "
         "host's values",
         checkPinDeclarationsStable},
        {"pin-names",
         "pin names are not empty, hold no control characters, and no two pins share one "
         "(warnings)",
         checkPinNames},
        {"unused-opcodes", "opcodes without an action return 0 and change nothing",
         checkUnusedOpcodes},
        {"events", "events delivered at their sample clock; no event posted into the past",
         checkEvents, kGuardedEventRecord},
        {"pin-changes",
         "every pin given empty, long (to 64 KiB), 8-bit and number texts, integers and floats",
         checkPinChanges, kGuardedPinText},
        {"pin-changes-random",
         "random pin changes with changed values reported back (randomised by --seed)",
         checkPinChangesRandom},
        {"nested-echo", "with every write reported back at once the nesting ends", checkNestedEcho},
        {"text-answers",
         "every text pin read while the host answers a null text, and 16-bit lengths of 0 and "
         "below",
         checkTextAnswers},
        {"unload",
         "the library unloads for real at the end: its static destructors and atexit handlers "
         "run without a crash",
         checkUnload},
        {"audio-blocks",
         "process at block sizes 1, 37, 64 and 4096, at 44100 and 96000 Hz, and with the size "
         "changed between blocks; sample buffers exactly the block size",
         checkAudioBlocks},
        {"audio-output",
         "every sample on every audio output is a number: no NaN, no infinity, no denormal",
         checkAudioOutput},
    };
    return checks;
}

const ConformanceCheck *findConformanceCheck(const std::string &name) {
    for (const ConformanceCheck &c : conformanceChecks())
        if (name == c.name)
            return &c;
    return nullptr;
}

} // namespace wqhost
