// FrameNames - a frame of a crashed child (CrashFrames: a module file and
// an offset into it) named as a reader wants it: the function, and the
// source file and line where the file has debug information, read from the
// file itself after the child is gone.
//   "libmine.so: Mine::process() + 0x1c (Mine.cpp:42)"
//   "libmine.so + 0x11a4" (no symbol, no debug information, or a system
//   without a reader of it)
#pragma once

#include <cstdint>
#include <string>

namespace wqhost {

struct FrameName {
    std::string module;   // the file's name, without its folder
    std::string function; // demangled, or empty
    std::string file;     // the source file, or empty
    int line = 0;         // its line, or 0
    uint64_t offset = 0;  // from where the loader put the module

    // The one-line form above.
    std::string text() const;
};

// Names the frame at `offset` into the module file at `path`. Each file is
// read once per process.
FrameName nameFrame(const std::string &path, uint64_t offset);

// Whether this build can read function names and lines (libdw).
bool frameNamesHaveLines() noexcept;

} // namespace wqhost
