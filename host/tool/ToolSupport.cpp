#include "host/platform/Library.h"
#include "host/tool/Commands.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace wqtool {

std::string libraryPath(const std::string &argument) {
    if (argument.empty())
        throw ToolError("no module library given");
    std::FILE *f = std::fopen(argument.c_str(), "rb");
    if (!f)
        throw ToolError("'" + argument + "': " + std::strerror(errno));
    std::fclose(f);
    return wqhost::Library::fromCurrentFolder(argument);
}

TraceFile openTraceFile(const std::string &path) {
    if (path.empty())
        return nullptr;
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        throw ToolError("cannot write the trace file '" + path + "': " + std::strerror(errno));
    std::setvbuf(f, nullptr, _IONBF, 0);
    return TraceFile(f);
}

} // namespace wqtool

namespace wqtool {

int problemsFound(size_t count, bool allowProblems) {
    std::cout.flush();
    std::cerr << "wqhost: the host found " << count << (count == 1 ? " problem" : " problems")
              << " with the module" << (allowProblems ? "" : " (--allow-problems lets it pass)")
              << "\n"
              << std::flush;
    return allowProblems ? 0 : 1;
}

} // namespace wqtool
