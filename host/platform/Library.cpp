#include "host/platform/Library.h"

#include "host/platform/HostError.h"

#include <utility>

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

namespace wqhost {

namespace {

#ifdef _WIN32

std::wstring convert(UINT codePage, DWORD flags, const std::string &text) {
    int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

// Paths are UTF-8; a path that is not valid UTF-8 is taken in the system
// code page instead.
std::wstring widen(const std::string &path) {
    std::wstring wide = convert(CP_UTF8, MB_ERR_INVALID_CHARS, path);
    if (wide.empty() && !path.empty())
        wide = convert(CP_ACP, 0, path);
    return wide;
}

std::string lastErrorText() {
    DWORD code = GetLastError();
    char *buffer = nullptr;
    DWORD len = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text = len && buffer ? std::string(buffer, len) : std::string();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text + " (error " + std::to_string(static_cast<unsigned long>(code)) + ")";
}

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

void *Library::symbol(const char *name) const {
    if (!m_handle)
        throw HostError("library '" + m_path + "' is not loaded (looking for '" + name + "')");
    void *address = findSymbol(name);
    if (!address)
        throw HostError("library '" + m_path + "' does not export '" + name + "'");
    return address;
}

} // namespace wqhost
