// WindowsText - what the Windows code of the platform layer shares: the
// system header, the conversions between the host's 8-bit texts and the
// 16-bit texts of the Windows API, and the text of a system error. Empty on
// other systems.
#pragma once

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>

#  include <string>

namespace wqhost {

// UTF-8 to UTF-16; a text that is not valid UTF-8 is taken in the system
// code page instead.
std::wstring widen(const std::string &text);

// UTF-16 to UTF-8.
std::string narrow(const std::wstring &text);

// The system's message for an error code, then "(error N)".
std::string windowsErrorText(DWORD code);

} // namespace wqhost

#endif // _WIN32
