// The guarded heap and the tool's allocator entries: blocks end against an
// inaccessible page with their padding checked at free, every fault of a
// block ends the process with a line naming it, alignment and contents are
// kept, and what a process function does is counted.
#include "host/memory/GuardedHeap.h"
#include "host/platform/ModuleCodeWatch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <ostream>
#include <pthread.h>
#include <string>
#include <unistd.h>

using namespace wqhost;

namespace {

// Called through volatile pointers, so that the compiler cannot drop or
// merge a pair of calls the test makes on purpose.
void *(*volatile g_malloc)(size_t) = std::malloc;
void *(*volatile g_calloc)(size_t, size_t) = std::calloc;
void *(*volatile g_realloc)(void *, size_t) = std::realloc;
void (*volatile g_free)(void *) = std::free;

size_t pageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

size_t roundedUp(size_t size, size_t alignment) {
    return ((size ? size : 1) + alignment - 1) / alignment * alignment;
}

class GuardedHeapTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string whyNot;
        if (!GuardedHeap::enable(whyNot))
            GTEST_SKIP() << whyNot;
    }
};

using GuardedHeapDeathTest = GuardedHeapTest;

// -------------------------------------------------------------- placement

struct Placement {
    size_t size;
    size_t alignment;
};

void PrintTo(const Placement &c, std::ostream *os) {
    *os << c.size << " bytes aligned to " << c.alignment;
}

class GuardedHeapPlacement : public GuardedHeapTest,
                             public ::testing::WithParamInterface<Placement> {};

TEST_P(GuardedHeapPlacement, AlignedAndEndingAtItsGuardPage) {
    const Placement c = GetParam();
    auto *p = static_cast<unsigned char *>(GuardedHeap::allocate(c.size, c.alignment, false));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(GuardedHeap::owns(p));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % (c.alignment < 16 ? 16 : c.alignment), 0u);
    const size_t rounded = roundedUp(c.size, c.alignment < 16 ? 16 : c.alignment);
    EXPECT_EQ((reinterpret_cast<uintptr_t>(p) + rounded) % pageSize(), 0u);
    EXPECT_EQ(GuardedHeap::usableSize(p), c.size);
    std::memset(p, 0x5a, c.size); // every byte of the block is the caller's
    GuardedHeap::release(p);
    EXPECT_EQ(GuardedHeap::usableSize(p), 0u);
}

std::vector<Placement> placements() {
    std::vector<Placement> cases;
    for (size_t size = 0; size <= 80; ++size)
        cases.push_back({size, 16});
    for (size_t size : {4079u, 4080u, 4095u, 4096u, 4097u, 8192u, 70000u, 300000u})
        for (size_t alignment : {1u, 16u, 32u, 64u, 256u, 4096u})
            cases.push_back({size, alignment});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Sizes, GuardedHeapPlacement, ::testing::ValuesIn(placements()));

TEST_F(GuardedHeapTest, AlignmentBeyondAPageIsLeftToTheCLibrary) {
    EXPECT_EQ(GuardedHeap::allocate(64, pageSize() * 2, false), nullptr);
}

TEST_F(GuardedHeapTest, ZeroedBlocksAndBytesInUse) {
    const uint64_t before = GuardedHeap::bytesInUse();
    // A reused span must come back zeroed when asked.
    void *first = GuardedHeap::allocate(1000, 16, false);
    std::memset(first, 0xff, 1000);
    GuardedHeap::release(first);
    auto *p = static_cast<unsigned char *>(GuardedHeap::allocate(1000, 16, true));
    EXPECT_EQ(GuardedHeap::bytesInUse(), before + 1000);
    for (size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(p[i], 0) << i;
    GuardedHeap::release(p);
    EXPECT_EQ(GuardedHeap::bytesInUse(), before);
}

TEST_F(GuardedHeapTest, ManyBlocksLiveAndFreedStayBounded) {
    // More than the quarantine holds, so spans are reused.
    std::vector<void *> blocks;
    for (int round = 0; round < 4; ++round) {
        for (size_t i = 0; i < GuardedHeap::kQuarantine; ++i)
            blocks.push_back(GuardedHeap::allocate(24 + i % 100, 16, false));
        for (void *p : blocks) {
            ASSERT_NE(p, nullptr);
            GuardedHeap::release(p);
        }
        blocks.clear();
    }
}

// ----------------------------------------------------------- the entries

struct Resize {
    size_t from;
    size_t to;
};

void PrintTo(const Resize &c, std::ostream *os) { *os << c.from << " to " << c.to << " bytes"; }

class GuardedHeapRealloc : public GuardedHeapTest, public ::testing::WithParamInterface<Resize> {};

TEST_P(GuardedHeapRealloc, KeepsContentsAndStaysGuardedInModuleCode) {
    const Resize c = GetParam();
    ModuleCodeScope module(RunningCode::Module);
    auto *p = static_cast<unsigned char *>(g_malloc(c.from));
    ASSERT_TRUE(GuardedHeap::owns(p));
    for (size_t i = 0; i < c.from; ++i)
        p[i] = static_cast<unsigned char>(i * 7 + 1);
    auto *q = static_cast<unsigned char *>(g_realloc(p, c.to));
    ASSERT_TRUE(GuardedHeap::owns(q));
    EXPECT_EQ(GuardedHeap::usableSize(q), c.to);
    for (size_t i = 0; i < c.from && i < c.to; ++i)
        ASSERT_EQ(q[i], static_cast<unsigned char>(i * 7 + 1)) << i;
    g_free(q);
}

INSTANTIATE_TEST_SUITE_P(Sizes, GuardedHeapRealloc,
                         ::testing::Values(Resize{1, 100}, Resize{100, 1}, Resize{16, 17},
                                           Resize{4000, 9000}, Resize{9000, 4000}, Resize{0, 33}));

TEST_F(GuardedHeapTest, OnlyModuleCodeIsServedAndEitherHeapFreesItsOwn) {
    void *host = g_malloc(40);
    EXPECT_FALSE(GuardedHeap::owns(host));
    void *module;
    {
        ModuleCodeScope code(RunningCode::Module);
        module = g_calloc(10, 4);
        EXPECT_TRUE(GuardedHeap::owns(module));
        EXPECT_EQ(malloc_usable_size(module), 40u);
        g_free(host); // a block of the C library, freed by module code
    }
    // The host moves a module's block: it leaves the guarded heap whole.
    std::memset(module, 0x33, 40);
    auto *moved = static_cast<unsigned char *>(g_realloc(module, 80));
    EXPECT_FALSE(GuardedHeap::owns(moved));
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(moved[i], 0x33);
    g_free(moved);
}

// ---------------------------------------------------------------- faults

struct Overrun {
    size_t size;
    size_t at; // bytes past the block's end
    unsigned char byte;
    const char *expected;
};

void PrintTo(const Overrun &c, std::ostream *os) {
    *os << "byte " << int(c.byte) << " at " << c.at << " past " << c.size << " bytes";
}

class GuardedHeapOverrun : public GuardedHeapTest, public ::testing::WithParamInterface<Overrun> {};

TEST_P(GuardedHeapOverrun, EndsTheProcessNamingIt) {
    const Overrun c = GetParam();
    EXPECT_DEATH(
        {
            auto *p = static_cast<unsigned char *>(GuardedHeap::allocate(c.size, 16, false));
            p[c.size + c.at] = c.byte;
            GuardedHeap::release(p);
        },
        c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, GuardedHeapOverrun,
    ::testing::Values(
        // into the padding: found at free, a NUL as well as any text byte
        Overrun{17, 0, 0x00,
                "wrote past the end of a 17-byte heap block \\(its byte 17 was changed"},
        Overrun{17, 14, 'A', "wrote past the end of a 17-byte heap block \\(its byte 31"},
        Overrun{1, 0, 0x7f, "wrote past the end of a 1-byte heap block"},
        Overrun{4001, 0, 0x00, "wrote past the end of a 4001-byte heap block"},
        // past the padding: faults at once
        Overrun{16, 0, 0x00,
                "read or wrote past the end of a 16-byte heap block \\(at its byte 16\\)"},
        Overrun{20, 12, 0x00,
                "read or wrote past the end of a 20-byte heap block \\(at its byte 32\\)"},
        Overrun{4096, 0, 0x41, "past the end of a 4096-byte heap block"}));

TEST_F(GuardedHeapDeathTest, UseAfterFreeFaults) {
    EXPECT_DEATH(
        {
            auto *p = static_cast<volatile char *>(GuardedHeap::allocate(64, 16, false));
            GuardedHeap::release(const_cast<char *>(p));
            (void)p[8];
        },
        "heap check: the module used a 64-byte heap block after freeing it \\(at its byte 8\\)");
}

TEST_F(GuardedHeapDeathTest, FreesThatAreNotOneBlockOnce) {
    EXPECT_DEATH(
        {
            void *p = GuardedHeap::allocate(8, 16, false);
            GuardedHeap::release(p);
            GuardedHeap::release(p);
        },
        "heap check: the module freed a 8-byte heap block twice");
    EXPECT_DEATH(
        {
            auto *p = static_cast<char *>(GuardedHeap::allocate(32, 16, false));
            GuardedHeap::release(p + 4);
        },
        "freed a pointer into a 32-byte heap block, not its start");
}

// ------------------------------------------------------ real-time hazards

TEST(ModuleCodeWatchTest, CountsOnlyWhatTheProcessFunctionDoes) {
    std::string whyNot;
    if (!realtimeHazardsSeen(whyNot))
        GTEST_SKIP() << whyNot;
    struct Case {
        RunningCode code;
        uint64_t expected;
    };
    for (const Case c : {Case{RunningCode::Host, 0}, Case{RunningCode::Module, 0},
                         Case{RunningCode::Process, 1}}) {
        pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
        const RealtimeCounts before = realtimeCounts();
        void *p;
        {
            ModuleCodeScope scope(c.code);
            p = g_malloc(24);
            usleep(0);
            pthread_mutex_lock(&mutex);
            pthread_mutex_unlock(&mutex);
            {
                ModuleCodeScope callback(RunningCode::Host); // not the module's doing
                g_free(g_malloc(24));
                usleep(0);
            }
        }
        g_free(p);
        const RealtimeCounts after = realtimeCounts();
        EXPECT_EQ(after[RealtimeHazard::Allocation] - before[RealtimeHazard::Allocation],
                  c.expected);
        EXPECT_EQ(after[RealtimeHazard::Sleep] - before[RealtimeHazard::Sleep], c.expected);
        EXPECT_EQ(after[RealtimeHazard::LockWait] - before[RealtimeHazard::LockWait], c.expected);
    }
}

} // namespace
