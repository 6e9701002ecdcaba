// CrashFrames - the frames of the thread that crashed, told by the child
// that dies of it: on SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT (on
// Windows, an exception nothing handles) it writes one channel line per
// frame, innermost first,
//   {"frame":{"module":"/path/of/libmine.so","offset":4660}}
// (the library or program that holds the code address, and the address's
// offset from where the loader put it), then lets the crash take its course.
// The parent names each frame's function and source line (FrameNames).
//
// Only what is safe in a dying process is done here: the addresses are
// walked and written with no heap and no locks of the C library's stdio.
// On Windows the walk follows the chain of frame pointers within the
// thread's stack: the faulting frame always, its callers as far as their
// code keeps the chain.
// Under AddressSanitizer, which prints its own stacks, nothing is installed.
#pragma once

#include <cstdio>

namespace wqhost {

// Installs the handlers (once) and sends the frames to `channel` from now
// on; a null channel stops the reports. Installed after the guarded
// memory's handler, so that both run: the frames first.
void reportCrashFramesTo(std::FILE *channel);

} // namespace wqhost
