// Library - one dynamic library, loaded for as long as the object lives.
//
// A thin RAII wrapper over the platform's loader (dlopen on POSIX,
// LoadLibraryW on Windows). Errors are thrown as HostError with a text that
// names the file and, for a symbol, the symbol.
#pragma once

#include <string>
#include <vector>

namespace wqhost {

class Library {
public:
    // Loads the library at `path` (UTF-8). Throws HostError naming the file
    // and the loader's reason when it cannot be loaded.
    explicit Library(const std::string &path);
    ~Library();

    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    Library(Library &&other) noexcept;
    Library &operator=(Library &&other) noexcept;

    // The address of an exported symbol, or null when the library has none
    // of that name.
    void *findSymbol(const char *name) const noexcept;

    // The address of an exported symbol; throws HostError naming the file and
    // the symbol when it is missing.
    void *symbol(const char *name) const;

    const std::string &path() const noexcept { return m_path; }

    // The path to hand the loader for a file named relative to the current
    // folder: a bare file name gets "./" (".\\" on Windows) in front, as the
    // loader would otherwise search its own list of folders for it.
    static std::string fromCurrentFolder(const std::string &path);

    bool isLoaded() const noexcept { return m_handle != nullptr; }

    // Whether the library at `path` is in the process, loaded by anyone;
    // after the last Library of it went, it should not be.
    static bool stillLoaded(const std::string &path);

    // Whether `address` lies in the loaded image of the library that holds
    // `inLibrary` (one of its functions): its code, constants or static
    // variables.
    static bool sameImage(const void *inLibrary, const void *address) noexcept;

    // The symbols of the library file at `path` that are bound GNU-unique
    // (the loader keeps a library with one loaded for good), their names
    // demangled; empty on systems without them or when the file cannot be
    // read.
    static std::vector<std::string> uniqueSymbols(const std::string &path);

private:
    void close() noexcept;

    std::string m_path;
    void *m_handle = nullptr;
};

} // namespace wqhost
