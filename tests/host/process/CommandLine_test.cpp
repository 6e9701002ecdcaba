// Arguments quoted for a POSIX shell and for a Windows command line: the
// quoted forms of the hard cases, and the way back through a real shell
// and through a real child process's argument list.
#include "host/process/ChildProcess.h"
#include "host/process/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace wqhost;

namespace {

struct Quoting {
    const char *name;
    std::string argument;
    std::string posix;   // posixShellWord
    std::string windows; // windowsArgument
};

void PrintTo(const Quoting &q, std::ostream *os) { *os << q.name; }

const std::vector<Quoting> &hardCases() {
    static const std::vector<Quoting> cases = {
        {"Plain", "build/default/libquendor.so", "build/default/libquendor.so",
         "build/default/libquendor.so"},
        {"Option", "--only", "--only", "--only"},
        {"Empty", "", "''", "\"\""},
        {"Blank", "my lib.so", "'my lib.so'", "\"my lib.so\""},
        {"Tab", "a\tb", "'a\tb'", "\"a\tb\""},
        {"DoubleQuote", "say \"hi\"", "'say \"hi\"'", "\"say \\\"hi\\\"\""},
        {"DoubleQuoteAlone", "a\"b", "'a\"b'", "\"a\\\"b\""},
        {"SingleQuote", "it's", "'it'\\''s'", "it's"},
        {"Dollar", "$HOME/x", "'$HOME/x'", "$HOME/x"},
        {"Backslashes", "C:\\dir\\lib.dll", "'C:\\dir\\lib.dll'", "C:\\dir\\lib.dll"},
        {"TrailingBackslash", "C:\\my dir\\", "'C:\\my dir\\'", "\"C:\\my dir\\\\\""},
        {"BackslashBeforeQuote", "a\\\"b c", "'a\\\"b c'", "\"a\\\\\\\"b c\""},
        {"BackslashesInside", "a\\\\b c", "'a\\\\b c'", "\"a\\\\b c\""},
        {"ShellSpecials", "a;b|c&d*e?f<g>h(i)`j`~", "'a;b|c&d*e?f<g>h(i)`j`~'",
         "a;b|c&d*e?f<g>h(i)`j`~"},
    };
    return cases;
}

class QuotingTest : public ::testing::TestWithParam<Quoting> {};

TEST_P(QuotingTest, HasItsQuotedForms) {
    EXPECT_EQ(posixShellWord(GetParam().argument), GetParam().posix);
    EXPECT_EQ(windowsArgument(GetParam().argument), GetParam().windows);
}

// A POSIX shell reads the word back as the argument (skipped where there
// is no /bin/sh, and on Windows, where a program named /bin/sh would get
// its arguments through a Windows command line).
TEST_P(QuotingTest, AShellReadsTheWordBack) {
#ifdef _WIN32
    GTEST_SKIP() << "a POSIX shell's words, on a POSIX system";
#endif
    const ChildOutcome shell = ChildProcess::runProgram(
        {"/bin/sh", "-c", "printf '%s|' " + posixShellWord(GetParam().argument)}, ChildOptions(),
        nullptr);
    if (shell.end == ChildOutcome::End::NotStarted)
        GTEST_SKIP() << "no /bin/sh here";
    EXPECT_EQ(shell.output, GetParam().argument + "|");
}

// A child receives the argument unchanged: on Windows the argument travels
// in one command line, quoted by windowsArgument.
TEST_P(QuotingTest, AChildReceivesTheArgument) {
    const ChildOutcome child = ChildProcess::runProgram(
        {WQ_CHILD_PROBE_PATH, "args", GetParam().argument, "next"}, ChildOptions(), nullptr);
    ASSERT_EQ(child.end, ChildOutcome::End::Exited) << child.startError << child.errors;
    EXPECT_EQ(child.output, GetParam().argument + "\x1f" + "next\x1f");
}

INSTANTIATE_TEST_SUITE_P(HardCases, QuotingTest, ::testing::ValuesIn(hardCases()),
                         [](const ::testing::TestParamInfo<Quoting> &info) {
                             return std::string(info.param.name);
                         });

TEST(CommandWordTest, IsTheQuotingOfThisSystem) {
    const std::string argument = "C:\\my dir\\";
#ifdef _WIN32
    EXPECT_EQ(commandWord(argument), windowsArgument(argument));
#else
    EXPECT_EQ(commandWord(argument), posixShellWord(argument));
#endif
}

} // namespace
