#include "host/platform/Library.h"

#include "host/platform/HostError.h"
#include "host/platform/ModuleCodeWatch.h"
#include "host/platform/WindowsText.h"

#include <utility>

#ifndef _WIN32
#  include <cxxabi.h>
#  include <dlfcn.h>
#  include <elf.h>

#  include <cstdlib>
#  include <cstring>
#  include <fstream>
#  include <iterator>
#endif

namespace wqhost {

namespace {

#ifdef _WIN32

std::string lastErrorText() { return windowsErrorText(GetLastError()); }

#else

std::string lastErrorText() {
    const char *text = dlerror();
    return text ? std::string(text) : std::string("unknown error");
}

#endif

} // namespace

Library::Library(const std::string &path) : m_path(path) {
#ifdef _WIN32
    std::wstring wide = widen(path);
    // No error dialog box for a file that is not a library.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    m_handle = reinterpret_cast<void *>(LoadLibraryW(wide.c_str()));
    std::string reason = m_handle ? std::string() : lastErrorText();
    SetErrorMode(oldMode);
#else
    dlerror(); // clear an old error text
    {
        // The library's static constructors are module code.
        ModuleCodeScope moduleCode(RunningCode::Module);
        m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    std::string reason = m_handle ? std::string() : lastErrorText();
#endif
    if (!m_handle)
        throw HostError("cannot load library '" + path + "': " + reason);
}

Library::~Library() { close(); }

Library::Library(Library &&other) noexcept
    : m_path(std::move(other.m_path)), m_handle(std::exchange(other.m_handle, nullptr)) {}

Library &Library::operator=(Library &&other) noexcept {
    if (this != &other) {
        close();
        m_path = std::move(other.m_path);
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

void Library::close() noexcept {
    if (!m_handle)
        return;
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(m_handle));
#else
    ModuleCodeScope moduleCode(RunningCode::Module); // its static destructors
    dlclose(m_handle);
#endif
    m_handle = nullptr;
}

void *Library::findSymbol(const char *name) const noexcept {
    if (!m_handle)
        return nullptr;
#ifdef _WIN32
    // A function address travels through a data pointer here, as the
    // loader's interface itself does.
    return reinterpret_cast<void *>(GetProcAddress(reinterpret_cast<HMODULE>(m_handle), name));
#else
    dlerror();
    return dlsym(m_handle, name);
#endif
}

bool Library::stillLoaded(const std::string &path) {
#ifdef _WIN32
    return GetModuleHandleW(widen(path).c_str()) != nullptr;
#else
    // Asks the loader without loading: a handle only for a library that is
    // there already, given back at once.
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
#endif
}

bool Library::sameImage(const void *inLibrary, const void *address) noexcept {
    if (!inLibrary || !address)
        return false;
#ifdef _WIN32
    MEMORY_BASIC_INFORMATION known{};
    MEMORY_BASIC_INFORMATION asked{};
    if (!VirtualQuery(inLibrary, &known, sizeof known) ||
        !VirtualQuery(address, &asked, sizeof asked))
        return false;
    return asked.Type == MEM_IMAGE && known.AllocationBase == asked.AllocationBase;
#else
    // The loader finds the library whose mapping holds an address, the
    // zero-filled part of its static storage included.
    Dl_info known{};
    Dl_info asked{};
    if (!dladdr(inLibrary, &known) || !dladdr(address, &asked))
        return false;
    return known.dli_fbase == asked.dli_fbase;
#endif
}

#ifndef _WIN32
namespace {

template <class Header, class Section, class Symbol>
std::vector<std::string> uniqueSymbolsOf(const std::string &bytes) {
    std::vector<std::string> names;
    auto fits = [&](uint64_t offset, uint64_t size) {
        return offset <= bytes.size() && size <= bytes.size() - offset;
    };
    if (!fits(0, sizeof(Header)))
        return names;
    Header header;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (header.e_shentsize != sizeof(Section) ||
        !fits(header.e_shoff, uint64_t{header.e_shnum} * sizeof(Section)))
        return names;
    auto section = [&](size_t i) {
        Section s;
        std::memcpy(&s, bytes.data() + header.e_shoff + i * sizeof(Section), sizeof s);
        return s;
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const Section symbols = section(i);
        if (symbols.sh_type != SHT_DYNSYM || symbols.sh_link >= header.e_shnum ||
            !fits(symbols.sh_offset, symbols.sh_size))
            continue;
        const Section strings = section(symbols.sh_link);
        if (!fits(strings.sh_offset, strings.sh_size))
            continue;
        for (uint64_t at = 0; at + sizeof(Symbol) <= symbols.sh_size; at += sizeof(Symbol)) {
            Symbol symbol;
            std::memcpy(&symbol, bytes.data() + symbols.sh_offset + at, sizeof symbol);
            const unsigned bind = static_cast<unsigned>(symbol.st_info) >> 4;
            if (bind != STB_GNU_UNIQUE || symbol.st_shndx == SHN_UNDEF ||
                symbol.st_name >= strings.sh_size)
                continue;
            const char *name = bytes.data() + strings.sh_offset + symbol.st_name;
            const size_t length = strnlen(name, strings.sh_size - symbol.st_name);
            const std::string mangled(name, length);
            int status = 0;
            char *demangled = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
            names.push_back(status == 0 && demangled ? std::string(demangled) : mangled);
            std::free(demangled);
        }
    }
    return names;
}

} // namespace
#endif

std::vector<std::string> Library::uniqueSymbols(const std::string &path) {
#ifdef _WIN32
    (void)path;
    return {};
#else
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < EI_NIDENT || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0)
        return {};
    if (bytes[EI_CLASS] == ELFCLASS64)
        return uniqueSymbolsOf<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(bytes);
    if (bytes[EI_CLASS] == ELFCLASS32)
        return uniqueSymbolsOf<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(bytes);
    return {};
#endif
}

std::string Library::fromCurrentFolder(const std::string &path) {
#ifdef _WIN32
    const bool hasFolder = path.find_first_of("/\\:") != std::string::npos;
    return hasFolder ? path : ".\\" + path;
#else
    return path.find('/') != std::string::npos ? path : "./" + path;
#endif
}

void *Library::symbol(const char *name) const {
    if (!m_handle)
        throw HostError("library '" + m_path + "' is not loaded (looking for '" + name + "')");
    void *address = findSymbol(name);
    if (!address)
        throw HostError("library '" + m_path + "' does not export '" + name + "'");
    return address;
}

} // namespace wqhost
