// An overrun of guarded memory stops the process inside the access, and
// the crash line names the block it ran past (a write told from a read
// where the processor says which it was).
#include "host/memory/GuardedMemory.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace wqhost;

namespace {

const char kTestBlock[] = "a test block: stay inside it";

// The overrun itself, in a child process: it stops the process, and the
// crash line says which block it ran past.
void writeOnePast(size_t bytes) {
    reportGuardFaultsTo(stderr);
    GuardedMemory block(bytes, kTestBlock);
    volatile unsigned char *p = block.as<unsigned char>();
    p[bytes] = 1;
    std::fputs("the write past the end went through\n", stderr);
}

void readOnePast(size_t floats) {
    reportGuardFaultsTo(stderr);
    GuardedMemory block(floats * sizeof(float), kTestBlock);
    volatile float *p = block.as<float>();
    std::fprintf(stderr, "the read past the end went through: %f\n",
                 static_cast<double>(p[floats]));
}

TEST(GuardedMemoryDeathTest, OverrunStopsTheProcessAndNamesTheBlock) {
    for (size_t bytes : {size_t{1}, size_t{37 * 4}, size_t{4096}})
        EXPECT_DEATH(writeOnePast(bytes),
                     "\"overrun\":\".*writes past the end of a test block: stay inside it\"")
            << bytes << " bytes";
    EXPECT_DEATH(readOnePast(64), "\"overrun\":\"reads.* past the end of a test block");
}

} // namespace
