// LibraryFile - what a module library's file says about itself before any
// loader sees it: its format (ELF or PE) and word size, and the exports an
// author meant but wrote under C++ names; and the hint these give for a
// library that cannot be used.
#pragma once

#include <string>
#include <vector>

namespace wqhost {

struct LibraryFileFacts {
    enum class Format { Unknown, Elf, Pe };
    Format format = Format::Unknown;
    int bits = 0;        // 32 or 64; 0 when the file does not say
    std::string machine; // "x86-64", "i386", ... or empty
    // Names of the file whose demangled form is getModuleProperties(...) or
    // makeModule(...): the exports with `extern "C"` left out.
    std::vector<std::string> mangledExports;
};

// Reads the file's header and looks through its names (bounded: the first
// 64 MiB). A file that cannot be read gives Format::Unknown.
LibraryFileFacts inspectLibraryFile(const std::string &path);

// The same from the file's bytes.
LibraryFileFacts inspectLibraryBytes(const std::string &bytes);

// What a person can do about a library that cannot be used, from its facts,
// or empty: a library of the other word size or system ("use the 32-bit
// build of wqhost"), exports under C++ names ("declare it extern "C""), or
// with other parameters than the export has (the two signatures).
// `hostBits` and `hostFormat` describe the running tool.
std::string libraryHint(const LibraryFileFacts &facts, int hostBits,
                        LibraryFileFacts::Format hostFormat);

// How an export named `name` (getModuleProperties or makeModule) reads as
// a C++ declaration of its exact parameters, "getModuleProperties(int,
// WQModuleDescription*)", in this build's words; empty for another name or
// where the tool cannot tell.
std::string exportSignature(const std::string &name);

// The hint for the library at `path` and this build of the tool.
std::string libraryHint(const std::string &path);

} // namespace wqhost
