#include "host/platform/CrashReport.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#if defined(__has_include)
#  if __has_include(<cxxabi.h>)
#    include <cxxabi.h>
#    define WQ_HAVE_CXXABI 1
#  endif
#endif

namespace wqhost {

namespace {

// The start of the line the child prints; crashCause finds it again.
constexpr const char kEscaped[] = "wqhost: a C++ exception escaped the module: ";

std::string lineAt(const std::string &text, size_t pos) {
    const size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line.size() <= 300 ? line : line.substr(0, 300) + "...";
}

// The C++ runtime's report: "terminate called after throwing an instance
// of 'T'" and, for a std::exception, "  what():  M" on the next line.
std::string runtimeReport(const std::string &errors) {
    static const std::string marker = "terminate called after throwing an instance of '";
    const size_t at = errors.find(marker);
    if (at == std::string::npos)
        return std::string();
    const std::string rest = lineAt(errors, at + marker.size());
    const size_t quote = rest.rfind('\'');
    std::string cause = "C++ exception " + rest.substr(0, quote);
    const size_t what = errors.find("what():", at);
    if (what != std::string::npos) {
        std::string message = lineAt(errors, what + 7);
        message.erase(0, message.find_first_not_of(' '));
        cause += ": \"" + message + "\"";
    }
    return cause;
}

// UndefinedBehaviorSanitizer's "FILE:LINE:COLUMN: runtime error: WHAT",
// which ends the child when it does not recover.
std::string undefinedBehaviour(const std::string &errors) {
    static const std::string marker = ": runtime error: ";
    for (size_t at = errors.find(marker); at != std::string::npos; at = errors.find(marker, at + 1))
        if (at > 0 && errors[at - 1] >= '0' && errors[at - 1] <= '9')
            return "UndefinedBehaviorSanitizer: " + lineAt(errors, at + marker.size());
    return std::string();
}

std::string sanitizerReport(const std::string &errors) {
    for (size_t at = errors.find("Sanitizer: "); at != std::string::npos;
         at = errors.find("Sanitizer: ", at + 1)) {
        size_t start = at;
        while (start > 0 && errors[start - 1] != ' ' && errors[start - 1] != '\n')
            --start;
        const std::string line = lineAt(errors, start);
        const size_t colon = line.find("Sanitizer: ");
        const std::string tool = line.substr(0, colon + 9);
        std::string kind = line.substr(colon + 11);
        kind = kind.substr(0, kind.find(' '));
        if (!kind.empty() && start >= 7 && errors.compare(start - 7, 7, "ERROR: ") == 0)
            return tool + ": " + kind;
    }
    return std::string();
}

std::string currentExceptionText() {
    std::string type = "of a type the runtime cannot name";
#if defined(WQ_HAVE_CXXABI)
    if (const std::type_info *info = abi::__cxa_current_exception_type()) {
        int status = 0;
        char *name = abi::__cxa_demangle(info->name(), nullptr, nullptr, &status);
        type = status == 0 && name ? name : info->name();
        std::free(name);
    }
#endif
    std::string message;
    try {
        throw;
    } catch (const std::exception &e) {
        message = e.what();
    } catch (...) {
    }
    return message.empty() ? type : type + ": \"" + message + "\"";
}

[[noreturn]] void terminateWithReport() {
    if (std::current_exception()) {
        const std::string text = kEscaped + currentExceptionText() + "\n";
        std::fputs(text.c_str(), stderr);
    } else {
        std::fputs("wqhost: std::terminate was called with no exception\n", stderr);
    }
    std::fflush(stderr);
    std::abort();
}

} // namespace

std::string crashCause(const std::string &errors) {
    const size_t at = errors.find(kEscaped);
    if (at != std::string::npos) {
        std::string line = lineAt(errors, at + sizeof kEscaped - 1);
        const size_t in = line.rfind(" (in ");
        if (in != std::string::npos)
            line.erase(in);
        return "C++ exception " + line;
    }
    const std::string runtime = runtimeReport(errors);
    if (!runtime.empty())
        return runtime;
    const std::string sanitizer = sanitizerReport(errors);
    return sanitizer.empty() ? undefinedBehaviour(errors) : sanitizer;
}

void abortOnEscapedException(const std::string &call) {
    const std::string text =
        kEscaped + currentExceptionText() + (call.empty() ? "" : " (in " + call + ")") + "\n";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    std::abort();
}

void reportExceptionsOnTerminate() { std::set_terminate(terminateWithReport); }

} // namespace wqhost
