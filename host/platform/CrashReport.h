// CrashReport - what ended a child that died without a verdict, read from
// what it printed: a sanitizer's report ("AddressSanitizer: SEGV") or a C++
// exception that escaped the module ("C++ exception std::runtime_error:
// "bad list""); and, on the child's side, the line that names such an
// exception before the child aborts.
//
// An exception that leaves a module has crossed a C interface: the module
// is left half way through a call, so the child reports it and aborts, as
// after any other crash, rather than carrying on with the module.
#pragma once

#include <string>

namespace wqhost {

// The cause a child's error output names, in a few words, or empty: the
// line the child printed for an escaped exception, the C++ runtime's own
// report of one ("terminate called after throwing an instance of ..."), a
// sanitizer's first "ERROR: ...Sanitizer: KIND" line, or an undefined
// behaviour sanitizer's "FILE:LINE:COLUMN: runtime error: WHAT".
std::string crashCause(const std::string &errors);

// In the child, inside a catch block: prints the exception being handled
// (its demangled type and, for a std::exception, its what()) with the call
// it escaped from, and aborts.
[[noreturn]] void abortOnEscapedException(const std::string &call);

// In the child: std::terminate prints the exception that caused it the same
// way before aborting (an exception that met a noexcept frame).
void reportExceptionsOnTerminate();

} // namespace wqhost
