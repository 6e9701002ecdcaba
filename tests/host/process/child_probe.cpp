// A child for the ChildProcess tests: does what its first argument names,
// on the child's side of the channel protocol.
//   args A B ...   the arguments as it received them, each ended by \x1f
//   report         channel lines, error output, then exit status 3
//   abort          a channel line, then abort()
//   hang           a channel line, then sleeps for ever
//   flood          20000 channel lines, more than a pipe holds
//   cat            standard input copied to the channel
//   sleeper FILE   its process id written to FILE, then sleeps for ever
//   parent FILE    runs a sleeper FILE as its own child
//   throw          a std::runtime_error("bad list") meets a noexcept frame
//   escape         the same caught, and reported as escaped from a module
#include "host/platform/CrashReport.h"
#include "host/process/ChildProcess.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#ifdef _WIN32
#  include <process.h>
#else
#  include <unistd.h>
#endif

using wqhost::ChildProcess;

namespace {

// Out of line, so that the throw is not seen through.
[[gnu::noinline]] void throwBadList(const char *mode) {
    if (std::strlen(mode) > 0)
        throw std::runtime_error("bad list");
}

void throwThroughNoexcept(const char *mode) noexcept { throwBadList(mode); }

} // namespace

int main(int argc, char **argv) {
    const char *mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "args") == 0) {
        for (int i = 2; i < argc; ++i)
            std::printf("%s\x1f", argv[i]);
        return 0;
    }
    std::FILE *channel = ChildProcess::takeChannel();
    if (!channel)
        return 71;
    if (std::strcmp(mode, "report") == 0) {
        std::fputs("first\nsecond\r\nthird without end", channel);
        std::fprintf(stderr, "to the errors\n");
        std::printf("standard output goes to the errors too\n");
        ChildProcess::endNow(3);
    }
    if (std::strcmp(mode, "abort") == 0) {
        std::fputs("before\n", channel);
        std::fflush(channel);
        std::abort();
    }
    if (std::strcmp(mode, "hang") == 0) {
        std::fputs("going to sleep\n", channel);
        std::fflush(channel);
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (std::strcmp(mode, "flood") == 0) {
        for (int i = 0; i < 20000; ++i)
            std::fprintf(channel, "line %d with some text to fill the pipe\n", i);
        ChildProcess::endNow(0);
    }
    if (std::strcmp(mode, "cat") == 0) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
            std::fwrite(buffer, 1, n, channel);
        ChildProcess::endNow(0);
    }
    if (std::strcmp(mode, "sleeper") == 0 && argc > 2) {
        // A file, not the channel: a Windows parent reads the channel only
        // once its child has ended.
        if (std::FILE *file = std::fopen(argv[2], "w")) {
#ifdef _WIN32
            std::fprintf(file, "%d\n", _getpid());
#else
            std::fprintf(file, "%ld\n", static_cast<long>(::getpid()));
#endif
            std::fclose(file);
        }
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (std::strcmp(mode, "parent") == 0 && argc > 2) {
        wqhost::ChildOptions options;
        options.timeoutSeconds = 3600.0;
        ChildProcess::runProgram({ChildProcess::currentProgram(), "sleeper", argv[2]}, options,
                                 nullptr);
        ChildProcess::endNow(0);
    }
    if (std::strcmp(mode, "throw") == 0)
        throwThroughNoexcept(mode);
    if (std::strcmp(mode, "escape") == 0) {
        try {
            throwBadList(mode);
        } catch (...) {
            wqhost::abortOnEscapedException("makeModule(0, 1)");
        }
    }
    return 64;
}
