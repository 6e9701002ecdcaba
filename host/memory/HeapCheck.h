// HeapCheck - heap checking for the child processes that run a module's
// checks, and how much heap a process has in use.
//
// One mechanism: the tool's own guarded heap (GuardedHeap). The validator
// switches it on for its check children through the environment; each child
// turns it on once at its start, and from then on every block module code
// allocates ends against an inaccessible page, with its few padding bytes
// checked at free, so a one-byte overrun is found on every run, whatever the
// byte written, as are a use after free (within the quarantine) and a double
// free. The C library's debugging allocator is no longer preloaded: blocks the
// host allocates itself are left to the C library's allocator. A tool built
// with AddressSanitizer leaves the heap to the sanitizer, which checks more;
// Windows has no way to replace the heap of the C runtime a module brings.
#pragma once

#include <cstdint>
#include <string>

namespace wqhost {

// Sets up the environment so that child processes started from now on turn
// the guarded heap on. Returns false, with the reason, where it is not
// available (the reason says what an author may use instead).
bool enableHeapCheckForChildren(std::string &whyNot);

// In a child: turns the guarded heap on when the parent asked for it. Called
// once, before the module is loaded.
void enableHeapCheckIfAsked();

// The bytes the process has allocated from its heap and not freed (the C
// library's allocation statistics and the guarded heap on Linux, the busy
// blocks of the process heaps on Windows). False where the system cannot
// tell.
bool heapBytesInUse(uint64_t &bytes);

} // namespace wqhost
