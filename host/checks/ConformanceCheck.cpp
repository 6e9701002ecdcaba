#include "host/checks/ConformanceCheck.h"

#include "host/memory/GuardedMemory.h"

namespace wqhost {

// The checks, one file per topic: LibraryChecks.cpp, RecordChecks.cpp,
// LifecycleChecks.cpp, AudioChecks.cpp, RealtimeChecks.cpp, PinChecks.cpp,
// AnswerChecks.cpp, AudioBlockChecks.cpp, EnvironmentChecks.cpp and
// MemoryChecks.cpp. Each is declared here, beside
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
// The paths a host may take through an object's life: closed without being
// opened, its pin table read before it is opened, several made before any
// is opened.
void checkLifecyclePaths(CheckContext &ctx);
// EnvironmentChecks.cpp: the process as the host set it after every kind of
// call (floating-point state, locale, signal handlers, working folder, file
// descriptors), and no thread left after close.
void checkProcessEnvironment(CheckContext &ctx);
// AudioBlockChecks.cpp: the process function at many block sizes and rates,
// and the samples it gives.
void checkAudioBlocks(CheckContext &ctx);
void checkAudioOutput(CheckContext &ctx);
// Every sample of every output written in each process call, every input
// left as the host filled it.
void checkAudioWritten(CheckContext &ctx);
// MemoryChecks.cpp: one session twice, fresh heap blocks filled with two
// different bytes; the pins and samples must be the same.
void checkUninitialisedMemory(CheckContext &ctx);
// InterleavingChecks.cpp: one session through one object alone and through
// two objects taking each step in turn; each must give the same.
void checkObjectsInterleaved(CheckContext &ctx);
// CheckSupport.cpp: the sides the module has, for the report's header.
void probeModuleSides(CheckContext &ctx);

const char *const kSidesProbe = "module-sides";

const std::vector<ConformanceCheck> &conformanceChecks() {
    static const std::vector<ConformanceCheck> checks = {
        {"exports",
         "the library loads, both exports resolve, it unloads and loads again",
         {"The library loads, exports getModuleProperties and makeModule under their C names, "
          "unloads, and loads again.",
          "A host finds a module only through these two names; one it cannot load or find is no "
          "module to it.",
          "extern \"C\" or the export list is missing, the library needs a library that is not "
          "there, or it was built for another word size."},
         checkExports},
        {"describe-index-0",
         "getModuleProperties(0): result 1, sdkVersion, texts and flags written, stable",
         {"getModuleProperties(0, record) returns 1, writes sdkVersion, and gives name, id and "
          "about as NUL-terminated texts that stay valid and the same while the library is loaded.",
          "A host lists the module by these texts and keeps the pointers for as long as it has the "
          "library.",
          "A text built on the stack or in a buffer that is overwritten, a text without its NUL, "
          "or a description record filled beyond its fields."},
         checkDescribeIndex0,
         kGuardedDescriptionRecord},
        {"describe-other-index",
         "getModuleProperties for other indices: result 0, sdkVersion written, the rest left",
         {"getModuleProperties for any index but 0 returns 0, writes sdkVersion and leaves every "
          "other field alone.",
          "Hosts ask for index 1, 2, ... until one is refused, to learn how many modules a library "
          "has.",
          "The index is not tested, or a lookup for another index throws or reads past a table."},
         checkDescribeOtherIndex},
        {"make-module-refusals",
         "makeModule refuses other indices and types 0, 3 and others, calling nothing",
         {"makeModule returns null for any index but 0 and for any type but 1 (audio) and 2 (GUI), "
          "and calls nothing back.",
          "A host may ask for a type or index it knows from other libraries; an object of the "
          "wrong kind is a crash later.",
          "The type or index is not tested before an object is made."},
         checkMakeModuleRefusals},
        {"audio-record",
         "audio records: magic, version, hostValue kept, back pointer, entries, reserved 0",
         {"An audio object's record has the magic, version 1, the hostValue given, a pointer back "
          "to the object, its entries, and reserved words 0, from makeModule until close.",
          "The host calls the module only through this record; a wrong word sends its calls "
          "anywhere.",
          "makeModule returned the object instead of its record, or the record is changed by the "
          "module's own code."},
         checkAudioRecord},
        {"gui-record",
         "GUI records: magic, version, hostValue kept, back pointer, entry, reserved 0",
         {"A GUI object's record has the magic, version 1, the hostValue given, a pointer back to "
          "the object, its entry, and reserved words 0.",
          "The host calls the GUI side only through this record.",
          "makeModule returned the object instead of its record, or the record is changed by the "
          "module's own code."},
         checkGuiRecord},
        {"audio-open-close",
         "audio objects created, opened and closed many times",
         {"Audio objects are made, opened, given a rate and a block size, processed once and "
          "closed, many times in turn; each call answers as the interface says.",
          "Hosts make and close objects whenever a patch is loaded or edited.",
          "Something set up in open is not torn down in close, or state outlives its object."},
         checkAudioOpenClose},
        {"gui-open-close",
         "GUI objects created, opened and closed many times",
         {"GUI objects are made, opened and closed many times in turn; GD_OPCODE_10 answers 0 or "
          "1.",
          "Hosts open and close the GUI side whenever the user shows or hides the module.",
          "Something set up in open is not torn down in close, or state outlives its object."},
         checkGuiOpenClose},
        {"audio-several-objects",
         "several live audio objects, processed and closed in any order",
         {"Several audio objects live at once, are processed in any order and closed in any order.",
          "A patch may hold the module many times over.",
          "State shared between objects (a static or global variable), or a record handed out "
          "twice."},
         checkAudioSeveralObjects},
        {"gui-several-objects",
         "several live GUI objects, pins changed, closed in any order",
         {"Several GUI objects live at once, their pins are changed in any order, and they are "
          "closed in any order.",
          "A patch may hold the module many times over, each with its own panel.",
          "State shared between objects (a static or global variable), or a pin handle kept across "
          "calls."},
         checkGuiSeveralObjects},
        {"lifecycle-paths",
         "objects closed without being opened, pin tables read before open, several objects "
         "made before any is opened",
         {"Objects closed without being opened, the pin table read before open, and several "
          "objects of each side made before any is opened: none crashes, and each close returns 1.",
          "Hosts take these paths: one gives up on an object it made, one reads the pins first, "
          "one loading a patch makes every object before it opens them.",
          "close uses something that only open makes (a null pointer then), or a declaration "
          "depends on open."},
         checkLifecyclePaths},
        {"leaks",
         "the heap does not grow with objects made and closed again or with pin changes",
         {"The heap does not grow while objects are made, opened and closed again, nor while pins "
          "change.",
          "A host runs for hours; a module that leaks on every change or every patch load exhausts "
          "it.",
          "Memory allocated in open or on a pin change that close or the next change does not "
          "free."},
         checkLeaks},
        {"process-word",
         "the process word is set, called, and changed only with AH_PROCESS_CHANGED after it",
         {"The audio record's process word is set after AD_OPEN, is called, and changes only "
          "together with AH_PROCESS_CHANGED.",
          "The host calls the process word on every block; it must know when it changes.",
          "setProcessFunction bypassed, or the process word written by the module's own code."},
         checkProcessWord},
        {"process-reference",
         "AD_GET_PROCESS_REFERENCE gives 1, 8, the current process function, 1002",
         {"AD_GET_PROCESS_REFERENCE returns the process reference record: 1, 8, the current "
          "process function, 1002.",
          "Hosts use this record to call the process function directly.",
          "The dispatcher answers the opcode itself, or the record is changed."},
         checkProcessReference},
        {"process-realtime",
         "the process function does not allocate, sleep or wait on a lock or another thread",
         {"The process function does not allocate, sleep, or wait on a lock, a semaphore or a "
          "condition variable.",
          "It runs on the audio thread, which has a deadline of one block; any wait for the system "
          "or another thread makes the sound drop out.",
          "A buffer made per block (a std::vector or std::string that grows), a mutex shared with "
          "the GUI thread, a sleep."},
         checkProcessRealtime},
        {"pin-declarations",
         "every declaration passes the pin-flag rule and has a name; the table ends",
         {"Every pin declaration passes the pin-flag rule, has a name, a direction and a data "
          "type, and the table ends with a refused query (-1 refused too).",
          "A host builds its pins from these declarations once, and asks until one is refused.",
          "The switch of getPinProperties has no default that returns false, or a declaration "
          "leaves a field unwritten."},
         checkPinDeclarations,
         kGuardedPinRecord},
        {"pin-declarations-stable",
         "declarations are the same in every query and object; unwritten fields keep the "
         "host's values",
         {"Each declaration is the same in every query and from every object (a declared variable "
          "may differ between objects, but is null for all or none, inside its object or the "
          "library's static storage); fields a declaration does not write keep what the host put "
          "there.",
          "Hosts ask again at any time, with records they do not clear, and compare the answers.",
          "A declaration that depends on the object's state, reads the record the host passed, or "
          "writes reserved words."},
         checkPinDeclarationsStable},
        {"pin-names",
         "pin names are not empty, hold no control characters, and no two pins share one "
         "(warnings)",
         {"Pin names are not empty, hold no control characters, and no two pins share one "
          "(warnings).",
          "The user picks pins by name; hosts cope with bad names, but users guess wrong.",
          "A declaration copied and not renamed, or a name built with a tab or newline."},
         checkPinNames},
        {"unused-opcodes",
         "opcodes without an action return 0 and change nothing",
         {"Every opcode without an action returns 0 and changes nothing, on both sides.",
          "Hosts send opcodes of other versions of the interface; a module that acts on them does "
          "something nobody asked for.",
          "A dispatcher that treats an unknown opcode as a known one, or reads its pointer."},
         checkUnusedOpcodes},
        {"events",
         "events delivered at their sample clock; no event posted into the past",
         {"Events are delivered at their sample clock; the module posts no event into the past.",
          "The host schedules events by clock; one in the past can never be delivered on time.",
          "A time stamp computed from a stale clock, or from the block start instead of the "
          "current clock."},
         checkEvents,
         kGuardedEventRecord},
        {"pin-changes",
         "every pin given empty, long (to 64 KiB), 8-bit and number texts, integers and floats",
         {"Every pin is given empty, long (to 64 KiB), 8-bit and number texts, integers and "
          "floats, and the module survives each and answers within the call budget.",
          "A user or a patch can put any text into a pin.",
          "A fixed-size buffer, a parse that overflows, a text read past its NUL, or a slow "
          "parse."},
         checkPinChanges,
         kGuardedPinText},
        {"pin-changes-random",
         "random pin changes with changed values reported back (randomised by --seed)",
         {"Random pin changes, with the module's own changed values reported back to it "
          "(randomised by --seed).",
          "Real hosts mix changes and echoes in any order.",
          "State that goes wrong only in some order of changes; repeat with the seed shown."},
         checkPinChangesRandom},
        {"nested-echo",
         "with every write reported back at once the nesting ends",
         {"With every write of the module reported back at once, from inside the write, the "
          "nesting ends.",
          "Some hosts report a write back to the module before the write returns.",
          "onPinChanged writes the pin it was told about, or two pins that write each other."},
         checkNestedEcho},
        {"text-answers",
         "every text pin read while the host answers a null text, and 16-bit lengths of 0 and "
         "below",
         {"Every text pin is read while the host answers a null text, and 16-bit lengths of 0 and "
          "below.",
          "A host may have no text for a pin; lengths come from the host and cannot be trusted.",
          "A text taken from the host without a test for null, or a length used without bounds."},
         checkTextAnswers},
        {"unload",
         "the library unloads for real at the end: its static destructors and atexit handlers "
         "run without a crash",
         {"The library unloads for real at the end: its static destructors and atexit handlers run "
          "without a crash, no thread the library started is left, and a library kept loaded by "
          "GNU unique symbols is a warning.",
          "Hosts unload libraries when a patch no longer needs them, and load them again later.",
          "A static destructor that uses something already gone, a thread still running, or unique "
          "symbols (build with -fno-gnu-unique)."},
         checkUnload},
        {"audio-blocks",
         "process at block sizes 1, 37, 64 and 4096, at 44100 and 96000 Hz, and with the size "
         "changed between blocks; sample buffers exactly the block size",
         {"Process at block sizes 1, 37, 64 and 4096, at 44100 and 96000 Hz, and with the size "
          "changed between blocks; sample buffers are exactly the block size.",
          "Hosts use any block size and change it between blocks.",
          "A loop over a fixed size instead of blockSize(), or a read or write one past the end."},
         checkAudioBlocks},
        {"audio-output",
         "every sample on every audio output is a number: no NaN, no infinity, no denormal",
         {"Every sample on every audio output is a number: no NaN, no infinity, no denormal.",
          "A NaN or infinity spreads through every module after this one; a denormal costs many "
          "times the time of a number.",
          "A division by 0 or a block peak of 0, a growing feedback, a decay never set to 0."},
         checkAudioOutput},
        {"audio-written",
         "every output sample written in each process call (the buffers hold a marker before "
         "it); every input left as the host gave it: its buffer, and its variable's value",
         {"Every sample of every audio output is written in each process call (the host fills the "
          "buffers with a marker first); every input buffer is left as the host filled it, and "
          "the variable of every input pin keeps what the host wrote into it (a control value, "
          "a buffer's address).",
          "The host does not clear output buffers: an unwritten sample plays whatever an earlier "
          "block or module left there; input buffers are shared with other modules; and a host "
          "that writes an input's variable again, or compares with it, no longer knows the "
          "value the module plays.",
          "A loop that stops short of blockSize(), an early return without writing silence, an "
          "input buffer used as scratch space, or a control value clamped or rounded in place."},
         checkAudioWritten},
        {"process-environment",
         "after every kind of call: floating-point control state, C locale, signal handlers, "
         "working folder, open file descriptors as the host set them; no thread left after "
         "close",
         {"After every kind of call the floating-point control state (rounding, MXCSR "
          "flush-to-zero and denormal bits, exception masks), the C locale, the signal handlers, "
          "the working folder and the open file descriptors are as the host set them; no thread is "
          "left after close.",
          "The module runs on the host's threads and in its process: what it changes there changes "
          "every other module and the host itself.",
          "Flush-to-zero set and not put back, a setlocale call, a file left open, a worker thread "
          "that close does not join."},
         checkProcessEnvironment},
        {"uninitialised-memory",
         "one session twice, fresh heap blocks and the stack below each call filled with 0xA5 "
         "and then 0x5A: the same pins and samples both times",
         {"The same session twice, fresh heap blocks and the stack below each call filled with "
          "0xA5 and then 0x5A, gives the same pins and samples both times.",
          "A host's heap and stack hold whatever was there; a result that depends on it differs "
          "from run to run and from host to host.",
          "A member without an initial value, a local buffer or variable read before it is "
          "written, or a heap buffer read before it is written."},
         checkUninitialisedMemory},
        {"objects-interleaved",
         "one session through one object alone and through two objects in turn: each gives the "
         "same pins and samples",
         {"The same session (blocks of a sine on every input; texts on every pin) through one "
          "object alone, then through two objects made and opened together, each step taken by "
          "the first and then the second: each of the two gives the pins and samples the lone "
          "object gave.",
          "A patch holds the module many times over, and the host runs every instance's block "
          "before the next block of any; objects that share state disturb each other's sound and "
          "pins.",
          "A static or global variable that every object reads and writes: a filter's state, a "
          "level, a phase, a last value, a cache."},
         checkObjectsInterleaved},
    };
    return checks;
}

const ConformanceCheck *findConformanceCheck(const std::string &name) {
    for (const ConformanceCheck &c : conformanceChecks())
        if (name == c.name)
            return &c;
    static const ConformanceCheck probe = {
        kSidesProbe,
        "which sides the module has",
        {"makeModule(0, 1) and makeModule(0, 2) each give an object or null.",
         "The report names a side the module does not have once, in its header.",
         "An audio or GUI class declared void."},
        probeModuleSides};
    return name == probe.name ? &probe : nullptr;
}

} // namespace wqhost
