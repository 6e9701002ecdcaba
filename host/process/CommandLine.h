// CommandLine - one argument as a command line must write it, so that the
// program started with the line receives exactly that argument.
//
// Both ways are available on every system (a command printed on one system
// may be meant for the other); commandWord() is the one of the system the
// host runs on, for a command line printed for the user to paste.
#pragma once

#include <string>

namespace wqhost {

// A word for a POSIX shell: left as it is when it holds only characters the
// shell takes literally, otherwise in single quotes (a quote inside written
// as '\''). The empty argument is ''.
std::string posixShellWord(const std::string &argument);

// An argument of a Windows command line as the C runtime (and
// CommandLineToArgvW) splits it: left as it is without blank or quote,
// otherwise in double quotes, where a '"' is escaped with a backslash and
// backslashes before a '"' or before the closing quote are doubled. The
// empty argument is "".
std::string windowsArgument(const std::string &argument);

// posixShellWord() on POSIX, windowsArgument() on Windows.
std::string commandWord(const std::string &argument);

} // namespace wqhost
