// FuzzFailure - how a fuzz session failed, said so that two runs can be
// told to fail the same way: the kind of failure, the call it happened in
// (an opcode, or the command for what the host found after a step) and its
// cause in a few words. The shrinker keeps a smaller session only when it
// fails the same way; the line number is where, not how.
#pragma once

#include <string>

namespace wqhost {

struct FuzzFailure {
    enum class Kind {
        Crash,     // a signal or an abnormal end
        Contract,  // the module's own contract check aborted it
        Heap,      // the heap checking stopped it (overrun, use after free, ...)
        Guard,     // it ran past memory the host handed it
        Sanitizer, // a sanitizer's report
        Hang,      // no end within the time limit
        Problem,   // the host recorded a fault of the module
        NotFinite, // an audio output carried NaN or infinity
        Leak,      // the module's heap grew each time the last line was repeated
    };
    Kind kind = Kind::Crash;
    std::string call;   // "GD_PIN_CHANGED", "process", the problem's code
    std::string cause;  // "SIGSEGV", the check's text, the heap fault, the pin
    std::string detail; // more for a person (not compared): sizes, values
    int line = 0;       // the script line it happened on, from 1; 0 when unknown

    bool sameAs(const FuzzFailure &other) const noexcept {
        return kind == other.kind && call == other.call && cause == other.cause;
    }
    // One line: "crashed (SIGSEGV) in GD_PIN_CHANGED: the module used a heap
    // block after freeing it".
    std::string text() const;
    // text() without the detail: what two runs that fail the same way share.
    std::string signature() const;
};

const char *failureKindName(FuzzFailure::Kind kind) noexcept;

} // namespace wqhost
