// Two failures are the same when kind, call and cause agree: the line and
// the detail (sizes, sample numbers) may differ between a session and its
// shrunk script.
#include "host/fuzz/FuzzFailure.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace {

using wqhost::FuzzFailure;
using Kind = wqhost::FuzzFailure::Kind;

FuzzFailure failure(Kind kind, std::string call, std::string cause, std::string detail = {},
                    int line = 3) {
    FuzzFailure f;
    f.kind = kind;
    f.call = std::move(call);
    f.cause = std::move(cause);
    f.detail = std::move(detail);
    f.line = line;
    return f;
}

struct SameCase {
    const char *name;
    FuzzFailure a, b;
    bool same;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const SameCase &c, std::ostream *out) { *out << c.name; }

std::ostream &operator<<(std::ostream &os, const SameCase &c) { return os << c.name; }

class SameFailureTest : public ::testing::TestWithParam<SameCase> {};

TEST_P(SameFailureTest, ComparesKindCallAndCause) {
    EXPECT_EQ(GetParam().a.sameAs(GetParam().b), GetParam().same);
    EXPECT_EQ(GetParam().a.signature() == GetParam().b.signature(), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameFailureTest,
    ::testing::ValuesIn(std::vector<SameCase>{
        {"OtherLineAndDetail",
         failure(Kind::NotFinite, "process", "pin 2 gives NaN", "sample 9", 7),
         failure(Kind::NotFinite, "process", "pin 2 gives NaN", "sample 1", 2), true},
        {"OtherCall", failure(Kind::Crash, "GD_PIN_CHANGED", "SIGSEGV"),
         failure(Kind::Crash, "GD_OPEN", "SIGSEGV"), false},
        {"OtherCause", failure(Kind::Crash, "GD_PIN_CHANGED", "SIGSEGV"),
         failure(Kind::Crash, "GD_PIN_CHANGED", "SIGBUS"), false},
        {"OtherKind", failure(Kind::Hang, "GD_PIN_CHANGED", "no end after 1 s"),
         failure(Kind::Crash, "GD_PIN_CHANGED", "no end after 1 s"), false},
        {"LeakOfOtherSize", failure(Kind::Leak, "", "the heap grew", "by 1024 bytes"),
         failure(Kind::Leak, "", "the heap grew", "by 4096 bytes"), true},
    }),
    [](const auto &info) { return std::string(info.param.name); });

struct TextCase {
    const char *name;
    FuzzFailure failure;
    const char *text;
};

// Shown by the case's name: printed byte by byte, the padding would be read
// uninitialised.
void PrintTo(const TextCase &c, std::ostream *out) { *out << c.name; }

std::ostream &operator<<(std::ostream &os, const TextCase &c) { return os << c.name; }

class FailureTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FailureTextTest, SaysWhatHappenedWhere) {
    EXPECT_EQ(GetParam().failure.text(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailureTextTest,
    ::testing::ValuesIn(std::vector<TextCase>{
        {"Crash", failure(Kind::Crash, "GD_PIN_CHANGED", "SIGSEGV"),
         "crashed (SIGSEGV) in GD_PIN_CHANGED"},
        {"Contract", failure(Kind::Contract, "AD_OPEN", "the pin-flag rule"),
         "failed its contract check in AD_OPEN: the pin-flag rule"},
        {"HangWithNoCall", failure(Kind::Hang, "", "no end after 2 s"), "hung (no end after 2 s)"},
        {"ProblemWithDetail", failure(Kind::Problem, "", "record-magic", "magic is 0x1"),
         "the host found a problem (record-magic): magic is 0x1"},
        {"Guard", failure(Kind::Guard, "process", "writes past the end of a sample buffer"),
         "crashed in process: the module writes past the end of a sample buffer"},
    }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
