#include "host/fuzz/FuzzFailure.h"

namespace wqhost {

const char *failureKindName(FuzzFailure::Kind kind) noexcept {
    switch (kind) {
    case FuzzFailure::Kind::Crash: return "crash";
    case FuzzFailure::Kind::Contract: return "contract check";
    case FuzzFailure::Kind::Heap: return "heap fault";
    case FuzzFailure::Kind::Guard: return "guarded memory";
    case FuzzFailure::Kind::Sanitizer: return "sanitizer report";
    case FuzzFailure::Kind::Hang: return "hang";
    case FuzzFailure::Kind::Problem: return "problem";
    case FuzzFailure::Kind::NotFinite: return "output not finite";
    case FuzzFailure::Kind::Leak: return "leak";
    }
    return "failure";
}

std::string FuzzFailure::text() const {
    return detail.empty() ? signature() : signature() + ": " + detail;
}

std::string FuzzFailure::signature() const {
    const std::string in = call.empty() ? std::string() : " in " + call;
    switch (kind) {
    case Kind::Crash: return "crashed (" + cause + ")" + in;
    case Kind::Contract: return "failed its contract check" + in + ": " + cause;
    case Kind::Heap: return "crashed" + in + ": " + cause;
    case Kind::Guard: return "crashed" + in + ": the module " + cause;
    case Kind::Sanitizer: return "crashed (" + cause + ")" + in;
    case Kind::Hang: return "hung (" + cause + ")" + in;
    case Kind::Problem: return "the host found a problem (" + cause + ")" + in;
    case Kind::NotFinite: return "an audio output is not finite" + in + ": " + cause;
    case Kind::Leak: return "leaked" + in + ": " + cause;
    }
    return "failed" + in;
}

} // namespace wqhost
