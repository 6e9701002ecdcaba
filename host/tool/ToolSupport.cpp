#include "host/platform/Library.h"
#include "host/text/NumberReading.h"
#include "host/tool/Commands.h"

#include <cerrno>
#include <chrono>
#include <optional>
#include <random>
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

// --seed: a whole number that fits 64 bits, written in at most 20 decimal
// digits.
uint64_t parseSeed(const std::string &text) {
    const std::optional<uint64_t> seed =
        text.size() <= 20 ? wqhost::decimalNumber(text) : std::nullopt;
    if (!seed)
        throw ToolError("--seed takes a whole number from 0 to 18446744073709551615, not '" + text +
                        "'");
    return *seed;
}

uint64_t freshSeed() {
    std::random_device device;
    const uint64_t now =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return ((static_cast<uint64_t>(device()) << 16) ^ now) % 1000000000ull;
}

} // namespace wqtool
