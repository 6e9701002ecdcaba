#include "host/platform/WindowsText.h"

#ifdef _WIN32

namespace wqhost {

namespace {

std::wstring convert(UINT codePage, DWORD flags, const std::string &text) {
    int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

} // namespace

std::wstring widen(const std::string &text) {
    std::wstring wide = convert(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    if (wide.empty() && !text.empty())
        wide = convert(CP_ACP, 0, text);
    return wide;
}

std::string narrow(const std::wstring &text) {
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    return out;
}

std::string windowsErrorText(DWORD code) {
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

} // namespace wqhost

#endif // _WIN32
