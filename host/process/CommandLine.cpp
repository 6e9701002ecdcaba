#include "host/process/CommandLine.h"

namespace wqhost {

namespace {

// Characters a POSIX shell reads as themselves anywhere in a word.
bool shellLiteral(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == '/' || c == ':' || c == '=' || c == '+' || c == ',' ||
           c == '@' || c == '%';
}

} // namespace

std::string posixShellWord(const std::string &argument) {
    bool plain = !argument.empty();
    for (char c : argument)
        plain = plain && shellLiteral(c);
    if (plain)
        return argument;
    std::string out = "'";
    for (char c : argument) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string windowsArgument(const std::string &argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double before a quote, which itself needs one.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

std::string commandWord(const std::string &argument) {
#ifdef _WIN32
    return windowsArgument(argument);
#else
    return posixShellWord(argument);
#endif
}

} // namespace wqhost
