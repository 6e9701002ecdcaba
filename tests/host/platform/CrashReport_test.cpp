// The cause of a crash as a child's error output names it: the line a child
// prints for an escaped exception, the C++ runtime's own report of one, and
// a sanitizer's report; never a cause from text that only looks like one.
#include "host/platform/CrashReport.h"

#include <gtest/gtest.h>

#include <string>

using namespace wqhost;

namespace {

struct CauseCase {
    const char *name;
    std::string errors;
    const char *cause;
};

TEST(CrashReportTest, TheCauseIsReadFromWhatTheChildPrinted) {
    const CauseCase cases[] = {
        {"own line",
         "noise\nwqhost: a C++ exception escaped the module: std::runtime_error: \"bad list\" (in "
         "makeModule(0, 1))\n",
         "C++ exception std::runtime_error: \"bad list\""},
        {"own line, no message", "wqhost: a C++ exception escaped the module: int\n",
         "C++ exception int"},
        {"runtime's report",
         "terminate called after throwing an instance of 'std::out_of_range'\n  what():  "
         "vector\n",
         "C++ exception std::out_of_range: \"vector\""},
        {"runtime's report, no what", "terminate called after throwing an instance of 'int'\n",
         "C++ exception int"},
        {"asan segv",
         "AddressSanitizer:DEADLYSIGNAL\n==12==ERROR: AddressSanitizer: SEGV on unknown address "
         "0x0 (pc 0x1 bp 0x2 sp 0x3 T0)\n",
         "AddressSanitizer: SEGV"},
        {"asan overflow",
         "==5==ERROR: AddressSanitizer: heap-buffer-overflow on address 0x6\nREAD of size 1\n",
         "AddressSanitizer: heap-buffer-overflow"},
        {"undefined behaviour",
         "m.cpp:27:45: runtime error: store to null pointer of type 'volatile int'\n",
         "UndefinedBehaviorSanitizer: store to null pointer of type 'volatile int'"},
        {"runtime error in words", "a runtime error: nothing to do with sanitizers\n", ""},
        {"a sanitizer named without ERROR", "the AddressSanitizer: SEGV was mentioned\n", ""},
        {"nothing", "Segmentation fault\n", ""},
        {"empty", "", ""},
    };
    for (const CauseCase &c : cases)
        EXPECT_EQ(crashCause(c.errors), c.cause) << c.name;
}

} // namespace
