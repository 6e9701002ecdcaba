// info and run with the module in a child process: a crash or a hang is one
// line that names the call, with exit status 1; problems the host found fail
// the command unless --allow-problems. And no child of wqhost outlives it,
// however wqhost is ended.
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#  include <dirent.h>
#  include <fcntl.h>
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>
extern char **environ;
#endif

using wqtest::runTool;
using wqtest::testModule;
using wqtest::ToolRun;

namespace {

struct IsolatedCase {
    const char *name;
    std::vector<std::string> args;
    const char *input; // null: no standard input
    int status;
    std::vector<std::string> lastLineHas; // in the last line of standard error
};

std::ostream &operator<<(std::ostream &os, const IsolatedCase &c) { return os << c.name; }

class IsolatedTest : public ::testing::TestWithParam<IsolatedCase> {};

TEST_P(IsolatedTest, EndsWithOneLineAndItsStatus) {
    const IsolatedCase &c = GetParam();
    const std::string input = c.input ? c.input : "";
    const ToolRun run = runTool(c.args, c.input ? &input : nullptr, 60.0);
    ASSERT_TRUE(run.exited) << "wqhost itself did not end on its own\n" << run.err;
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    const std::vector<std::string> lines = run.errorLines();
    ASSERT_FALSE(lines.empty());
    for (const std::string &part : c.lastLineHas)
        EXPECT_NE(lines.back().find(part), std::string::npos) << part << "\n" << run.err;
}

std::vector<IsolatedCase> isolatedCases() {
    const std::string crash = testModule("wq_broken_crash_open");
    const std::string hang = testModule("wq_broken_hang");
    const std::string magic = testModule("wq_broken_magic");
    const char *crashed = "wqhost: the module crashed (";
    return {
        {"InfoCrash",
         {"info", crash},
         nullptr,
         1,
         {crashed, ") in AD_OPEN; wqhost validate ", " shows more"}},
        {"InfoJsonCrash", {"info", crash, "--json"}, nullptr, 1, {crashed, "in AD_OPEN"}},
        {"RunCrash", {"run", crash}, "show\n", 1, {crashed, "in AD_OPEN"}},
        {"RunHang",
         {"run", hang, "--timeout", "1"},
         "set 0 \"x\"\n",
         1,
         {"wqhost: the module hung (no end after 1 s) in GD_PIN_CHANGED"}},
        {"InfoProblems", {"info", magic}, nullptr, 1, {"problem", "--allow-problems"}},
        {"RunProblems", {"run", magic}, "show\n", 1, {"problem", "--allow-problems"}},
        {"InfoProblemsAllowed", {"info", magic, "--allow-problems"}, nullptr, 0, {"problem"}},
        {"RunProblemsAllowed", {"run", magic, "--allow-problems"}, "show\n", 0, {"problem"}},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, IsolatedTest, ::testing::ValuesIn(isolatedCases()),
                         [](const ::testing::TestParamInfo<IsolatedCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(IsolatedTest, AScriptThatCountsTheProblemsPassesWithThem) {
    const std::string script = "show\nexpect problems == 1\n";
    const ToolRun run = runTool({"run", testModule("wq_broken_magic")}, &script, 60.0);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
}

TEST(IsolatedTest, OutputAndErrorLinesComeThroughTheChild) {
    const std::string script = "list \"a,b\"\nselect 1\nexpect pin 2 == \"a\"\n";
    const ToolRun run = runTool({"run", WQ_QUENDOR_LIBRARY}, &script, 60.0);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("> select 1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("0 expectations held, 1 failed"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("<stdin>:3: expectation failed"), std::string::npos) << run.err;
}

#ifndef _WIN32

// The processes whose parent is `parent`.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> found;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return found;
    while (dirent *entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        long ppid = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent)
            found.push_back(pid);
    }
    ::closedir(proc);
    return found;
}

// Ended: gone, or a zombie nobody has collected yet.
bool ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat)
        return true;
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

class SignalledToolTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalledToolTest, TheCheckChildEndsWithTheTool) {
    // A check that hangs for good, with a limit far away.
    const std::string library = testModule("wq_broken_hang");
    std::vector<std::string> args = {WQ_WQHOST_PATH, "validate",  library, "--only",
                                     "pin-changes",  "--timeout", "600"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t streams;
    posix_spawn_file_actions_init(&streams);
    posix_spawn_file_actions_addopen(&streams, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // The signals at their defaults, whatever the test runner inherited (a
    // background shell ignores SIGINT).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t tool = 0;
    ASSERT_EQ(::posix_spawn(&tool, argv[0], &streams, &attributes, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&streams);
    posix_spawnattr_destroy(&attributes);

    // Waits for the check's child to be there (the exports check comes
    // first, then pin-changes, which hangs).
    std::vector<pid_t> children;
    for (int i = 0; i < 600; ++i) {
        children = childrenOf(tool);
        if (!children.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            children = childrenOf(tool);
            if (!children.empty())
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(children.empty()) << "no check child appeared";

    ::kill(tool, GetParam());
    int status = 0;
    ASSERT_EQ(::waitpid(tool, &status, 0), tool);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), GetParam());
    for (pid_t child : children) {
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = ended(child);
            if (!gone)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(gone) << "child " << child << " outlived wqhost";
        if (!gone)
            ::kill(child, SIGKILL);
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalledToolTest, ::testing::Values(SIGTERM, SIGINT, SIGKILL),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == SIGTERM  ? std::string("SIGTERM")
                                    : info.param == SIGINT ? std::string("SIGINT")
                                                           : std::string("SIGKILL");
                         });

#endif // !_WIN32

} // namespace
