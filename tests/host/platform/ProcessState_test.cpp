// What differs between two snapshots of the process: each part that a
// module may change is told by what it is and from what to what, and the
// thread count only where it is asked for.
#include "host/platform/ProcessState.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <functional>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

// The fourth of the signals a snapshot watches.
#ifdef _WIN32
constexpr const char *kFourthSignal = "the handler of SIGABRT";
#else
constexpr const char *kFourthSignal = "the handler of SIGPIPE";
#endif

ProcessState hostState() {
    ProcessState s;
    s.rounding = FE_TONEAREST;
    s.sseControl = 0x1F80;
    s.locale = "C";
    s.signalHandlers = std::vector<uintptr_t>(9, 0);
    s.folder = "/home/user/patches";
    s.descriptors = {0, 1, 2};
    s.threads = 3;
    return s;
}

struct ChangeCase {
    const char *name;
    std::function<void(ProcessState &)> change;
    const char *says; // the one text expected
};

void PrintTo(const ChangeCase &c, std::ostream *out) { *out << c.name; }

class ProcessChanges : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ProcessChanges, TellEachPartWithItsValues) {
    const ProcessState before = hostState();
    ProcessState after = before;
    GetParam().change(after);
    const std::vector<std::string> changes = processChanges(before, after, true);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], GetParam().says);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, ProcessChanges,
    ::testing::Values(
        ChangeCase{"rounding", [](ProcessState &s) { s.rounding = FE_TOWARDZERO; },
                   "the floating-point rounding mode (to nearest became toward zero)"},
        ChangeCase{"flush_to_zero", [](ProcessState &s) { s.sseControl |= 0x8040; },
                   "the SSE control word MXCSR (0x1f80 became 0x9fc0, flush-to-zero set, "
                   "denormals-are-zero set)"},
        ChangeCase{"trap_unmasked", [](ProcessState &s) { s.sseControl &= ~0x0200u; },
                   "the SSE control word MXCSR (0x1f80 became 0x1d80, floating-point exception "
                   "masks changed (a trap may now fire))"},
        ChangeCase{"x87", [](ProcessState &s) { s.x87Control = 0x027f; },
                   "the x87 control word (0x0000 became 0x027f: precision, rounding or "
                   "exception masks)"},
        ChangeCase{"locale", [](ProcessState &s) { s.locale = "de_DE.UTF-8"; },
                   "the C locale (\"C\" became \"de_DE.UTF-8\": number formatting and parsing "
                   "change for the whole host)"},
        ChangeCase{"handler", [](ProcessState &s) { s.signalHandlers[3] = 0x1234; }, kFourthSignal},
        ChangeCase{"folder", [](ProcessState &s) { s.folder = "/tmp"; },
                   "the working folder (\"/home/user/patches\" became \"/tmp\")"},
        ChangeCase{"descriptor_opened", [](ProcessState &s) { s.descriptors.push_back(7); },
                   "the open file descriptors (0, 1, 2 became 0, 1, 2, 7)"},
        ChangeCase{"descriptor_closed",
                   [](ProcessState &s) {
                       s.descriptors = {0, 1};
                   },
                   "the open file descriptors (0, 1, 2 became 0, 1)"},
        ChangeCase{"thread", [](ProcessState &s) { ++s.threads; },
                   "the number of threads (3 became 4)"}),
    [](const ::testing::TestParamInfo<ChangeCase> &info) { return std::string(info.param.name); });

TEST(ProcessChanges, AThreadCountIsComparedOnlyWhenAsked) {
    const ProcessState before = hostState();
    ProcessState after = before;
    after.threads = 5;
    EXPECT_TRUE(processChanges(before, after, false).empty());
    EXPECT_TRUE(processChanges(before, before, true).empty());
}

TEST(ProcessStateNow, TwoSnapshotsInARowAreAlike) {
    const ProcessState first = ProcessState::now();
    const ProcessState second = ProcessState::now();
    EXPECT_TRUE(processChanges(first, second, true).empty())
        << processChanges(first, second, true)[0];
    EXPECT_FALSE(first.locale.empty());
}

} // namespace
