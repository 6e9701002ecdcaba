#include "host/platform/Library.h"

#include "host/platform/HostError.h"
#include "host/platform/WindowsText.h"

#include <utility>

#ifndef _WIN32
#  include <dlfcn.h>
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
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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
