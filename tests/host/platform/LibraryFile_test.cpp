// What a library's file says before it is loaded: its system and word size,
// exports left with C++ names, and the hint these give. Built from a few
// bytes of each kind of header, so every build checks every kind.
#include "host/platform/LibraryFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace wqhost;
using Format = LibraryFileFacts::Format;

namespace {

// A literal's bytes, NULs included.
template <size_t N> std::string bytes(const char (&text)[N]) { return std::string(text, N - 1); }

std::string elf(int wordClass, unsigned machine) {
    std::string b(64, '\0');
    b.replace(0, 4,
              "\x7f"
              "ELF");
    b[4] = static_cast<char>(wordClass);
    b[5] = 1; // little endian
    b[18] = static_cast<char>(machine & 0xff);
    b[19] = static_cast<char>(machine >> 8);
    return b;
}

std::string pe(unsigned machine, unsigned optionalMagic) {
    std::string b(0x100, '\0');
    b.replace(0, 2, "MZ");
    b[0x3c] = static_cast<char>(0x80);
    b.replace(0x80, 4, bytes("PE\0\0"));
    b[0x84] = static_cast<char>(machine & 0xff);
    b[0x85] = static_cast<char>(machine >> 8);
    b[0x98] = static_cast<char>(optionalMagic & 0xff);
    b[0x99] = static_cast<char>(optionalMagic >> 8);
    return b;
}

struct HeaderCase {
    const char *name;
    std::string bytes;
    Format format;
    int bits;
    const char *machine;
};

TEST(LibraryFileTest, HeadersTellSystemAndWordSize) {
    const std::vector<HeaderCase> cases = {
        {"elf64", elf(2, 62), Format::Elf, 64, "x86-64"},
        {"elf32", elf(1, 3), Format::Elf, 32, "i386"},
        {"pe32", pe(0x14c, 0x10b), Format::Pe, 32, "i386"},
        {"pe64", pe(0x8664, 0x20b), Format::Pe, 64, "x86-64"},
        {"text", "not a library at all", Format::Unknown, 0, ""},
        {"short elf",
         std::string("\x7f"
                     "ELF\x02",
                     5),
         Format::Unknown, 0, ""},
        // A PE offset that points past the end is no PE file.
        {"pe cut", pe(0x14c, 0x10b).substr(0, 0x82), Format::Unknown, 0, ""},
    };
    for (const HeaderCase &c : cases) {
        const LibraryFileFacts facts = inspectLibraryBytes(c.bytes);
        EXPECT_EQ(facts.format, c.format) << c.name;
        EXPECT_EQ(facts.bits, c.bits) << c.name;
        EXPECT_EQ(facts.machine, c.machine) << c.name;
    }
}

TEST(LibraryFileTest, OnlyTheExportsThemselvesUnderCppNamesCount) {
    std::string file = elf(2, 62);
    file += bytes("\0_Z19getModulePropertiesiP19WQModuleDescription\0");
    // A 32-bit Windows name with the size of its arguments.
    file += bytes("\0_Z10makeModuleiiPvi@16\0");
    // A part of it split off by the compiler is the same function.
    file += bytes("\0_Z10makeModuleiiPvi.cold\0");
    // The framework's own member of that name, and the plain C names.
    file += bytes("\0_ZN2wq5Entry19getModulePropertiesEi\0getModuleProperties\0");
    const LibraryFileFacts facts = inspectLibraryBytes(file);
#if defined(__GNUC__)
    EXPECT_EQ(facts.mangledExports,
              (std::vector<std::string>{"getModuleProperties(int, WQModuleDescription*)",
                                        "makeModule(int, int, void*, int)"}));
#endif
    EXPECT_TRUE(inspectLibraryBytes(elf(2, 62) + "getModuleProperties").mangledExports.empty());
}

struct HintCase {
    const char *name;
    std::string bytes;
    int hostBits;
    Format hostFormat;
    const char *hint; // a part of it; empty: no hint
};

TEST(LibraryFileTest, HintsNameWhatToDo) {
    const std::string mangled = elf(2, 62) + bytes("\0_Z10makeModuleii\0");
    const std::string rightSignature =
        elf(2, 62) + bytes("\0_Z19getModulePropertiesiP19WQModuleDescription\0");
    const std::vector<HintCase> cases = {
        {"32 for 64", elf(1, 3), 64, Format::Elf,
         "the library is 32-bit (i386) and this wqhost is 64-bit: use the 32-bit build of wqhost"},
        {"64 for 32", pe(0x8664, 0x20b), 32, Format::Pe, "use the 64-bit build of wqhost"},
        {"windows on linux", pe(0x14c, 0x10b), 64, Format::Elf,
         "the library is a Windows library (i386) and this wqhost runs on Linux"},
        {"same", elf(2, 62), 64, Format::Elf, ""},
        {"unknown", "text", 64, Format::Elf, ""},
#if defined(__GNUC__)
        {"mangled", rightSignature, 64, Format::Elf,
         "the library has getModuleProperties(int, WQModuleDescription*) under a C++ name: "
         "declare it extern \"C\""},
        {"wrong signature", mangled, 64, Format::Elf,
         "the library has makeModule(int, int) where the host looks for makeModule(int, int, "},
        {"wrong signature named first", rightSignature + bytes("\0_Z10makeModuleii\0"), 64,
         Format::Elf, "give the function exactly that signature"},
#endif
    };
    for (const HintCase &c : cases) {
        const std::string hint =
            libraryHint(inspectLibraryBytes(c.bytes), c.hostBits, c.hostFormat);
        if (*c.hint == '\0')
            EXPECT_EQ(hint, "") << c.name;
        else
            EXPECT_NE(hint.find(c.hint), std::string::npos) << c.name << ": " << hint;
    }
}

#if defined(__GNUC__)
TEST(LibraryFileTest, ExportSignaturesAreTheInterfacesOwn) {
    EXPECT_EQ(exportSignature("getModuleProperties"),
              "getModuleProperties(int, WQModuleDescription*)");
    const std::string make = exportSignature("makeModule");
    EXPECT_EQ(make.rfind("makeModule(int, int, ", 0), 0u) << make;
    EXPECT_EQ(exportSignature("open"), "");
}
#endif

TEST(LibraryFileTest, AFileThatCannotBeReadTellsNothing) {
    EXPECT_EQ(inspectLibraryFile("/nonexistent/dir/libnothing.so").format, Format::Unknown);
    EXPECT_EQ(libraryHint("/nonexistent/dir/libnothing.so"), "");
}

} // namespace
