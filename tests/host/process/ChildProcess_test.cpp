// A program in a child process, on every system: how it ended (status,
// signal, time limit), its channel lines as they came, its error output
// (with what it printed to standard output after taking the channel), and
// input given to it. The child is tests/host/process/child_probe.cpp.
#include "host/process/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#endif

using namespace wqhost;

namespace {

struct Collected {
    ChildOutcome outcome;
    std::vector<std::string> lines;
};

Collected probe(const std::string &mode, double timeout = 60.0) {
    Collected c;
    ChildOptions options;
    options.timeoutSeconds = timeout;
    c.outcome =
        ChildProcess::runProgram({WQ_CHILD_PROBE_PATH, mode}, options,
                                 [&c](const std::string &line) { c.lines.push_back(line); });
    return c;
}

TEST(ChildProcessTest, ChannelLinesAndStatusComeBack) {
    const Collected c = probe("report");
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::Exited) << c.outcome.startError;
    EXPECT_EQ(c.outcome.exitCode, 3);
    EXPECT_EQ(c.lines, (std::vector<std::string>{"first", "second", "third without end"}));
    EXPECT_NE(c.outcome.errors.find("to the errors"), std::string::npos);
    EXPECT_NE(c.outcome.errors.find("standard output goes"), std::string::npos);
    EXPECT_EQ(ChildProcess::describeEnd(c.outcome, 1.0), "exit status 3");
}

TEST(ChildProcessTest, AnAbortEndsTheChildAfterItsLines) {
    const Collected c = probe("abort");
    EXPECT_EQ(c.lines, std::vector<std::string>{"before"});
#ifdef _WIN32
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::Exited);
    EXPECT_NE(c.outcome.exitCode, 0);
#else
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::Signalled);
    EXPECT_EQ(c.outcome.signal, SIGABRT);
    EXPECT_EQ(ChildProcess::describeEnd(c.outcome, 1.0), "signal 6 (SIGABRT)");
#endif
}

TEST(ChildProcessTest, AChildThatOutlivesTheLimitIsKilled) {
    const Collected c = probe("hang", 1.0);
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::TimedOut);
    EXPECT_EQ(c.lines, std::vector<std::string>{"going to sleep"});
    EXPECT_EQ(ChildProcess::describeEnd(c.outcome, 1.0), "timed out after 1 s");
}

TEST(ChildProcessTest, ALimitOfMonthsIsNoLimitAtAll) {
    // A limit far beyond what a single wait can take still lets a quick
    // child end on its own.
    const Collected c = probe("report", 3.2e7);
    EXPECT_EQ(c.outcome.end, ChildOutcome::End::Exited);
    EXPECT_EQ(c.outcome.exitCode, 3);
}

TEST(ChildProcessTest, ACrashIsNamedInAFewWords) {
    struct Case {
        ChildOutcome::End end;
        int signal;
        int exitCode;
        const char *errors;
        const char *text;
    };
    const char *asan = "==7==ERROR: AddressSanitizer: SEGV on unknown address 0x000000000000\n";
    const char *thrown = "terminate called after throwing an instance of 'std::runtime_error'\n"
                         "  what():  bad list\n";
    const Case cases[] = {
        {ChildOutcome::End::Exited, 0, 3, "", ""},
        {ChildOutcome::End::TimedOut, 0, 0, "", ""},
        {ChildOutcome::End::NotStarted, 0, 0, "", ""},
        // A sanitizer ends the child with an exit status and its report.
        {ChildOutcome::End::Exited, 0, 1, asan, "AddressSanitizer: SEGV"},
        // What was printed names no cause of a child that ended well or
        // was killed for its time.
        {ChildOutcome::End::Exited, 0, 0, asan, ""},
        {ChildOutcome::End::TimedOut, 0, 0, asan, ""},
#ifdef _WIN32
        {ChildOutcome::End::Exited, 0, static_cast<int>(0xC0000005u), "",
         "exception 0xC0000005 (access violation)"},
        {ChildOutcome::End::Exited, 0, 3, thrown, "C++ exception std::runtime_error: \"bad list\""},
#else
        {ChildOutcome::End::Signalled, SIGSEGV, 0, "", "SIGSEGV"},
        {ChildOutcome::End::Signalled, SIGABRT, 0, "", "SIGABRT"},
        {ChildOutcome::End::Signalled, 40, 0, "", "signal 40"},
        {ChildOutcome::End::Signalled, SIGABRT, 0, thrown,
         "C++ exception std::runtime_error: \"bad list\""},
#endif
    };
    for (const Case &c : cases) {
        ChildOutcome outcome;
        outcome.end = c.end;
        outcome.signal = c.signal;
        outcome.exitCode = c.exitCode;
        outcome.errors = c.errors;
        EXPECT_EQ(ChildProcess::crashText(outcome), c.text) << c.text;
    }
}

// An exception that reaches a noexcept frame in a child (std::terminate),
// or that the child catches as one a module let escape, is named with its
// type and message.
TEST(ChildProcessTest, AnEscapedExceptionIsNamed) {
    for (const char *mode : {"throw", "escape"}) {
        const Collected c = probe(mode);
        EXPECT_NE(c.outcome.end, ChildOutcome::End::TimedOut) << mode;
        EXPECT_EQ(ChildProcess::crashText(c.outcome),
                  "C++ exception std::runtime_error: \"bad list\"")
            << mode << "\n"
            << c.outcome.errors;
    }
}

// Whether the process `pid` has ended (on Linux a zombie nobody collected
// yet counts as ended).
bool processEnded(long pid) {
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return true;
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
#else
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat)
        return true;
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
#endif
}

// A child's own child ends with it, however the child ended: killed for
// its time here (the parent-death signal on Linux, the child's job on
// Windows).
TEST(ChildProcessTest, AGrandchildEndsWithItsParent) {
    const std::string pidFile = "child_probe_grandchild.pid";
    std::remove(pidFile.c_str());
    ChildOptions options;
    options.timeoutSeconds = 3.0;
    const ChildOutcome outcome =
        ChildProcess::runProgram({WQ_CHILD_PROBE_PATH, "parent", pidFile}, options, nullptr);
    EXPECT_EQ(outcome.end, ChildOutcome::End::TimedOut);
    long grandchild = 0;
    std::ifstream(pidFile) >> grandchild;
    std::remove(pidFile.c_str());
    ASSERT_GT(grandchild, 0) << "the sleeper never started";
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        ended = processEnded(grandchild);
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(ended) << "process " << grandchild << " outlived its parent";
}

TEST(ChildProcessTest, ALongChannelComesBackWhole) {
    // Far more than a pipe holds: the child would block if the parent did
    // not read as it goes.
    const Collected c = probe("flood");
    ASSERT_EQ(c.outcome.end, ChildOutcome::End::Exited);
    ASSERT_EQ(c.lines.size(), 20000u);
    EXPECT_EQ(c.lines.back(), "line 19999 with some text to fill the pipe");
}

#ifndef _WIN32
// (On Windows the lines are handed over once the child has ended, so a slow
// handler cannot hold the child up; a second of child time is also too
// short for wine to start a process.)
TEST(ChildProcessTest, ASlowReaderDoesNotSpendTheChildsTime) {
    // The child needs far less than its limit, but waits on a full pipe
    // while the reader takes its time over each line (a parent under a
    // memory checker): that wait is the reader's, not the child's.
    ChildOptions options;
    options.timeoutSeconds = 1.0;
    size_t count = 0;
    const ChildOutcome outcome = ChildProcess::runProgram(
        {WQ_CHILD_PROBE_PATH, "flood"}, options, [&count](const std::string &) {
            ++count;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        });
    EXPECT_EQ(outcome.end, ChildOutcome::End::Exited) << ChildProcess::describeEnd(outcome, 1.0);
    EXPECT_EQ(count, 20000u);
}
#endif

TEST(ChildProcessTest, AProgramGetsItsInput) {
    ChildOptions options;
    options.giveInput = true;
    options.input = std::string(200000, 'x') + "\nend\n";
    const ChildOutcome cat =
        ChildProcess::runProgram({WQ_CHILD_PROBE_PATH, "cat"}, options, nullptr);
    EXPECT_EQ(cat.end, ChildOutcome::End::Exited);
    EXPECT_EQ(cat.output, options.input);

    // Without input its standard input is empty, not the parent's.
    const ChildOutcome none =
        ChildProcess::runProgram({WQ_CHILD_PROBE_PATH, "cat"}, ChildOptions(), nullptr);
    EXPECT_EQ(none.end, ChildOutcome::End::Exited);
    EXPECT_EQ(none.output, "");
}

TEST(ChildProcessTest, AProgramThatCannotStartIsNotStarted) {
    const ChildOutcome missing =
        ChildProcess::runProgram({"/nonexistent/program"}, ChildOptions(), nullptr);
    EXPECT_EQ(missing.end, ChildOutcome::End::NotStarted);
    EXPECT_NE(missing.startError.find("cannot start /nonexistent/program"), std::string::npos)
        << missing.startError;
    EXPECT_EQ(ChildProcess::describeEnd(missing, 1.0).rfind("could not start: ", 0), 0u);
}

TEST(ChildProcessTest, TheRunningProgramIsKnown) {
    const std::string self = ChildProcess::currentProgram();
    ASSERT_FALSE(self.empty());
    std::FILE *f = std::fopen(self.c_str(), "rb");
    EXPECT_NE(f, nullptr) << self;
    if (f)
        std::fclose(f);
}

} // namespace
