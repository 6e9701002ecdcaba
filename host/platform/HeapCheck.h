// HeapCheck - the C library's own checking of the heap, for the child
// processes that run a module, and how much heap a process has in use.
//
// On glibc (2.34 and later) the checking lives in libc_malloc_debug.so.0: a
// process that starts with it preloaded and MALLOC_CHECK_=3 keeps a guard
// byte after every block and aborts at the first free or realloc of a block
// whose guard was overwritten, so a one-byte overrun is found every time,
// not only when it happens to hit a chunk header. A tool built with
// AddressSanitizer has a heap of its own that checks more; Windows has no
// such switch for the C runtime a module brings.
#pragma once

#include <cstdint>
#include <string>

namespace wqhost {

// Sets up the environment so that child processes started from now on run
// with heap checking. Returns false, with the reason, where it is not
// available (the reason says what an author may use instead).
bool enableHeapCheckForChildren(std::string &whyNot);

// The bytes the process has allocated from its heap and not freed (the C
// library's allocation statistics on Linux, the busy blocks of the process
// heaps on Windows). False where the system cannot tell.
bool heapBytesInUse(uint64_t &bytes);

} // namespace wqhost
