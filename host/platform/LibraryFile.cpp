#include "host/platform/LibraryFile.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <typeinfo>

#if defined(__has_include)
#  if __has_include(<cxxabi.h>)
#    include <cxxabi.h>
#    define WQ_HAVE_CXXABI 1
#  endif
#endif

#ifdef _WIN32
#  include "host/platform/WindowsText.h"
#endif

#define WQ_NO_MODULE_EXPORT_DECLARATIONS
#include "wq_sdk2/wq_interface.h"

namespace wqhost {

namespace {

constexpr size_t kMaxRead = 64u * 1024 * 1024;

uint32_t little(const std::string &b, size_t at, size_t size) {
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return value;
}

const char *elfMachine(uint32_t machine) {
    switch (machine) {
    case 3: return "i386";
    case 40: return "ARM";
    case 62: return "x86-64";
    case 183: return "AArch64";
    default: return "";
    }
}

const char *peMachine(uint32_t machine) {
    switch (machine) {
    case 0x14c: return "i386";
    case 0x8664: return "x86-64";
    case 0x1c4: return "ARM";
    case 0xaa64: return "ARM64";
    default: return "";
    }
}

void readHeader(const std::string &b, LibraryFileFacts &facts) {
    if (b.size() >= 20 && b.compare(0, 4,
                                    "\x7f"
                                    "ELF") == 0) {
        facts.format = LibraryFileFacts::Format::Elf;
        facts.bits = b[4] == 1 ? 32 : b[4] == 2 ? 64 : 0;
        const bool big = b[5] == 2;
        const uint32_t machine =
            big ? (static_cast<uint32_t>(static_cast<unsigned char>(b[18])) << 8) |
                      static_cast<unsigned char>(b[19])
                : little(b, 18, 2);
        facts.machine = elfMachine(machine);
        return;
    }
    if (b.size() >= 0x40 && b.compare(0, 2, "MZ") == 0) {
        const uint32_t pe = little(b, 0x3c, 4);
        if (pe > b.size() || b.size() - pe < 26 || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
            return;
        facts.format = LibraryFileFacts::Format::Pe;
        const uint32_t machine = little(b, pe + 4, 2);
        facts.machine = peMachine(machine);
        // The optional header's magic: 0x10b for 32-bit images, 0x20b for
        // 64-bit ones.
        const uint32_t magic = little(b, pe + 24, 2);
        facts.bits = magic == 0x10b ? 32 : magic == 0x20b ? 64 : 0;
    }
}

// A mangled name (a symbol or a type's) as the compiler writes it, or empty
// where it is none or the tool cannot demangle.
std::string demangledText(const char *mangled) {
#if defined(WQ_HAVE_CXXABI)
    int status = 0;
    char *name = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string text = status == 0 && name ? name : "";
    std::free(name);
    return text;
#else
    (void)mangled;
    return std::string();
#endif
}

// The C++ name `symbol` stands for, or empty when it is none.
std::string demangled(std::string symbol) {
    // A 32-bit Windows name may carry the size of its arguments: "@8".
    const size_t at = symbol.rfind('@');
    if (at != std::string::npos && at > 0 &&
        symbol.find_first_not_of("0123456789", at + 1) == std::string::npos)
        symbol.erase(at);
    return demangledText(symbol.c_str());
}

// A demangled name without the calling convention that 32-bit builds write
// into it ("int ( cdecl)(int, ...)", "int ( cdecl*)(...)"), which every
// export of the interface has alike.
std::string withoutCallingConvention(std::string text) {
    for (const char *convention :
         {"( __cdecl__)", " __cdecl__", "( __cdecl)", " __cdecl", "( cdecl)", " cdecl"})
        for (size_t at = text.find(convention); at != std::string::npos; at = text.find(convention))
            text.erase(at, std::char_traits<char>::length(convention));
    return text;
}

bool symbolChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '@' || c == '$' || c == '.';
}

void findMangledExports(const std::string &b, LibraryFileFacts &facts) {
    for (const char *wanted : {"getModuleProperties", "makeModule"}) {
        const std::string word = wanted;
        for (size_t at = b.find(word); at != std::string::npos; at = b.find(word, at + 1)) {
            size_t start = at;
            while (start > 0 && symbolChar(b[start - 1]))
                --start;
            size_t end = at + word.size();
            while (end < b.size() && symbolChar(b[end]))
                ++end;
            const std::string symbol = b.substr(start, end - start);
            if (symbol.compare(0, 2, "_Z") != 0 && symbol.compare(0, 3, "__Z") != 0)
                continue;
            std::string name = demangled(symbol[1] == '_' ? symbol.substr(1) : symbol);
            // A part the compiler split off ("[clone .cold]") is the same
            // function.
            const size_t clone = name.find(" [clone");
            if (clone != std::string::npos)
                name.erase(clone);
            if (name.compare(0, word.size() + 1, word + "(") != 0)
                continue;
            bool known = false;
            for (const std::string &seen : facts.mangledExports)
                known = known || seen == name;
            if (!known)
                facts.mangledExports.push_back(name);
        }
    }
}

const char *systemOf(LibraryFileFacts::Format format) {
    return format == LibraryFileFacts::Format::Pe ? "Windows" : "Linux";
}

} // namespace

LibraryFileFacts inspectLibraryBytes(const std::string &bytes) {
    LibraryFileFacts facts;
    readHeader(bytes, facts);
    if (facts.format != LibraryFileFacts::Format::Unknown)
        findMangledExports(bytes, facts);
    return facts;
}

LibraryFileFacts inspectLibraryFile(const std::string &path) {
#ifdef _WIN32
    std::ifstream in(widen(path).c_str(), std::ios::binary);
#else
    std::ifstream in(path, std::ios::binary);
#endif
    if (!in)
        return LibraryFileFacts();
    std::string bytes;
    char buffer[65536];
    while (bytes.size() < kMaxRead && in.read(buffer, sizeof buffer).gcount() > 0)
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
    return inspectLibraryBytes(bytes);
}

std::string libraryHint(const LibraryFileFacts &facts, int hostBits,
                        LibraryFileFacts::Format hostFormat) {
    using Format = LibraryFileFacts::Format;
    if (facts.format == Format::Unknown)
        return std::string();
    const std::string machine = facts.machine.empty() ? "" : " (" + facts.machine + ")";
    if (facts.format != hostFormat)
        return std::string("the library is a ") + systemOf(facts.format) + " library" + machine +
               " and this wqhost runs on " + systemOf(hostFormat) + ": use the " +
               systemOf(facts.format) + " build of wqhost";
    if (facts.bits != 0 && facts.bits != hostBits)
        return "the library is " + std::to_string(facts.bits) + "-bit" + machine +
               " and this wqhost is " + std::to_string(hostBits) + "-bit: use the " +
               std::to_string(facts.bits) + "-bit build of wqhost, or build the module for " +
               std::to_string(hostBits) + " bits";
    if (!facts.mangledExports.empty()) {
        // Two causes give the same C++ name: a definition that matches the
        // export but lacks C linkage (the fix is extern "C"), and one whose
        // parameters differ, which the interface's extern "C" declaration
        // leaves a C++ overload (the fix is the signature).
        std::string sameSignature;
        std::string otherSignature;
        for (const std::string &found : facts.mangledExports) {
            const std::string n = withoutCallingConvention(found);
            const std::string wanted = exportSignature(n.substr(0, n.find('(')));
            std::string &list = wanted.empty() || wanted == n ? sameSignature : otherSignature;
            if (&list == &otherSignature)
                list += std::string(list.empty() ? "" : "; ") + n + " where the host looks for " +
                        wanted;
            else
                list += (list.empty() ? "" : " and ") + n;
        }
        if (!otherSignature.empty())
            return "the library has " + otherSignature +
                   " with C linkage: give the function exactly that signature (the interface "
                   "header declares it extern \"C\"; with other parameters it is another, "
                   "C++ function)";
        return "the library has " + sameSignature + " under a C++ name: declare it extern \"C\"";
    }
    return std::string();
}

std::string exportSignature(const std::string &name) {
    std::string type;
    if (name == WQ_GET_MODULE_PROPERTIES_NAME)
        type = demangledText(typeid(std::remove_pointer_t<WQGetModulePropertiesProc>).name());
    else if (name == WQ_MAKE_MODULE_NAME)
        type = demangledText(typeid(std::remove_pointer_t<WQMakeModuleProc>).name());
    type = withoutCallingConvention(type);
    const size_t parameters = type.find('(');
    return parameters == std::string::npos ? std::string() : name + type.substr(parameters);
}

std::string libraryHint(const std::string &path) {
#ifdef _WIN32
    const LibraryFileFacts::Format self = LibraryFileFacts::Format::Pe;
#else
    const LibraryFileFacts::Format self = LibraryFileFacts::Format::Elf;
#endif
    return libraryHint(inspectLibraryFile(path), static_cast<int>(sizeof(void *) * 8), self);
}

} // namespace wqhost
