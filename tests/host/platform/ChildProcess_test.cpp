// Work in a child process: how it ended (status, signal, time limit), its
// channel lines as they came, its error output, and input given to it.
#include "host/platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef _WIN32
#  include <unistd.h>
#endif

using namespace wqhost;

namespace {

#ifndef _WIN32

struct Collected {
    ChildOutcome outcome;
    std::vector<std::string> lines;
};

Collected inChild(const std::function<int(std::FILE *)> &body, double timeout = 30.0) {
    Collected c;
    ChildOptions options;
    options.timeoutSeconds = timeout;
    c.outcome = ChildProcess::runFunction(
        body, options, [&c](const std::string &line) { c.lines.push_back(line); });
    return c;
}

TEST(ChildProcessTest, ChannelLinesAndStatusComeBack) {
    const Collected c = inChild([](std::FILE *channel) {
        std::fputs("first\nsecond\r\nthird without end", channel);
        std::fprintf(stderr, "to the errors\n");
        std::printf("standard output goes to the errors too\n");
        return 3;
    });
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::Exited);
    EXPECT_EQ(c.outcome.exitCode, 3);
    EXPECT_EQ(c.lines, (std::vector<std::string>{"first", "second", "third without end"}));
    EXPECT_NE(c.outcome.errors.find("to the errors"), std::string::npos);
    EXPECT_NE(c.outcome.errors.find("standard output goes"), std::string::npos);
    EXPECT_EQ(ChildProcess::describeEnd(c.outcome, 1.0), "exit status 3");
}

TEST(ChildProcessTest, AnAbortIsASignalWithItsName) {
    const Collected c = inChild([](std::FILE *channel) -> int {
        std::fputs("before\n", channel);
        std::fflush(channel);
        std::signal(SIGABRT, SIG_DFL);
        std::abort();
    });
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::Signalled);
    EXPECT_EQ(c.outcome.signal, SIGABRT);
    EXPECT_EQ(c.lines, std::vector<std::string>{"before"});
    EXPECT_EQ(ChildProcess::describeEnd(c.outcome, 1.0), "signal 6 (SIGABRT)");
}

TEST(ChildProcessTest, AChildThatOutlivesTheLimitIsKilled) {
    const Collected c = inChild(
        [](std::FILE *channel) {
            std::fputs("going to sleep\n", channel);
            std::fflush(channel);
            for (;;)
                ::pause();
            return 0;
        },
        0.3);
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::TimedOut);
    EXPECT_EQ(c.lines, std::vector<std::string>{"going to sleep"});
    EXPECT_EQ(ChildProcess::describeEnd(c.outcome, 0.3), "timed out after 0.3 s");
}

TEST(ChildProcessTest, AnExceptionLeavingTheBodyEndsTheChildWithStatus70) {
    const Collected c = inChild([](std::FILE *) -> int { throw std::runtime_error("x"); });
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::Exited);
    EXPECT_EQ(c.outcome.exitCode, 70);
}

TEST(ChildProcessTest, ALongChannelIsReadWhileTheChildWrites) {
    // Far more than a pipe holds: the child would block if the parent did
    // not read as it goes.
    const Collected c = inChild([](std::FILE *channel) {
        for (int i = 0; i < 20000; ++i)
            std::fprintf(channel, "line %d with some text to fill the pipe\n", i);
        return 0;
    });
    ASSERT_EQ(c.outcome.end, ChildOutcome::End::Exited);
    ASSERT_EQ(c.lines.size(), 20000u);
    EXPECT_EQ(c.lines.back(), "line 19999 with some text to fill the pipe");
}

TEST(ChildProcessTest, AProgramGetsItsInputAndArguments) {
    ChildOptions options;
    options.giveInput = true;
    options.input = std::string(200000, 'x') + "\nend\n";
    const ChildOutcome cat = ChildProcess::runProgram({"/bin/cat"}, options, nullptr);
    EXPECT_EQ(cat.end, ChildOutcome::End::Exited);
    EXPECT_EQ(cat.output, options.input);

    const ChildOutcome missing =
        ChildProcess::runProgram({"/nonexistent/program"}, ChildOptions(), nullptr);
    EXPECT_EQ(missing.end, ChildOutcome::End::Exited);
    EXPECT_EQ(missing.exitCode, 127);
    EXPECT_NE(missing.errors.find("cannot start /nonexistent/program"), std::string::npos);
}

TEST(ChildProcessTest, TheRunningProgramIsKnown) {
    const std::string self = ChildProcess::currentProgram();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self[0], '/');
    EXPECT_EQ(::access(self.c_str(), X_OK), 0) << self;
}

#endif // !_WIN32

} // namespace
