// Guarded memory: exactly the bytes asked for, aligned as far as the size
// allows, zeroed, known by its guard while it lives; one byte past the end
// stops the process, and the crash line names the block.
#include "host/memory/GuardedMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>

using namespace wqhost;

namespace {

const char kTestBlock[] = "a test block: stay inside it";

struct SizeCase {
    const char *label;
    size_t bytes;
    size_t alignment; // what the start must at least be aligned to
};

void PrintTo(const SizeCase &c, std::ostream *os) { *os << c.label; }

class GuardedMemorySizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(GuardedMemorySizeTest, UsableBytesAreExactlyAskedZeroedAndEndAtTheGuard) {
    const SizeCase &c = GetParam();
    GuardedMemory block(c.bytes, kTestBlock);
    ASSERT_NE(block.data(), nullptr);
    EXPECT_EQ(block.size(), c.bytes);
    const auto start = reinterpret_cast<uintptr_t>(block.data());
    EXPECT_EQ((start + c.bytes) % GuardedMemory::pageSize(), 0u) << "the end is the guard page";
    EXPECT_EQ(start % c.alignment, 0u);
    auto *bytes = block.as<unsigned char>();
    for (size_t i = 0; i < c.bytes; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    if (c.bytes > 0) {
        std::memset(bytes, 0xA5, c.bytes); // every usable byte can be written
        EXPECT_EQ(bytes[c.bytes - 1], 0xA5);
    }
    EXPECT_STREQ(GuardedMemory::guardedAt(bytes + c.bytes), kTestBlock);
    EXPECT_EQ(GuardedMemory::guardedAt(bytes + c.bytes + GuardedMemory::pageSize()), nullptr);
    if (c.bytes > 0) {
        EXPECT_EQ(GuardedMemory::guardedAt(bytes + c.bytes - 1), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, GuardedMemorySizeTest,
    testing::Values(SizeCase{"empty", 0, 16}, SizeCase{"one_byte", 1, 1},
                    SizeCase{"text_of_six", 6, 2}, SizeCase{"one_float", sizeof(float), 4},
                    SizeCase{"odd_block_of_floats", 37 * sizeof(float), alignof(float)},
                    SizeCase{"block_of_4096_floats", 4096 * sizeof(float), 16},
                    SizeCase{"page_and_a_byte", 4097, 1},
                    SizeCase{"pin_record", sizeof(void *) == 8 ? 48 : 32, alignof(void *)},
                    SizeCase{"long_text", 65537, 1}),
    [](const testing::TestParamInfo<SizeCase> &info) { return std::string(info.param.label); });

TEST(GuardedMemoryTest, GuardIsForgottenWhenTheBlockGoesAndFollowsAMove) {
    GuardedMemory first(64, kTestBlock);
    const unsigned char *end = first.as<unsigned char>() + 64;
    GuardedMemory moved(std::move(first));
    EXPECT_EQ(first.data(), nullptr);
    EXPECT_EQ(moved.as<unsigned char>() + 64, end);
    EXPECT_STREQ(GuardedMemory::guardedAt(end), kTestBlock);
    moved = GuardedMemory(8, "another block");
    EXPECT_EQ(GuardedMemory::guardedAt(end), nullptr);
    EXPECT_STREQ(GuardedMemory::guardedAt(moved.as<unsigned char>() + 8), "another block");
}

TEST(GuardedMemoryTest, CopyOfHoldsTheBytesAndEndsAfterThem) {
    const char text[] = "list=1,2";
    GuardedMemory copy = GuardedMemory::copyOf(text, sizeof text, kTestBlock);
    EXPECT_STREQ(copy.as<char>(), text);
    EXPECT_STREQ(GuardedMemory::guardedAt(copy.as<char>() + sizeof text), kTestBlock);
}

TEST(GuardedMemoryTest, CopyOfLeavesTheRoomAskedBeforeTheGuard) {
    const char text[] = "12";
    const char kOtherBlock[] = "a block with room";
    for (size_t room : {size_t{0}, size_t{16}, size_t{256}}) {
        GuardedMemory::setRoom(4096, kTestBlock); // the one kind made exact
        EXPECT_EQ(GuardedMemory::room(kTestBlock), 0u);
        EXPECT_EQ(GuardedMemory::room(kOtherBlock), 4096u);
        GuardedMemory::setRoom(room);
        GuardedMemory copy = GuardedMemory::copyOf(text, sizeof text, kTestBlock);
        GuardedMemory::setRoom(0);
        EXPECT_EQ(copy.size(), sizeof text);
        const char *end = copy.as<char>() + sizeof text;
        for (size_t i = 0; i < room; ++i)
            ASSERT_EQ(end[i], 0) << "room byte " << i;
        EXPECT_EQ(GuardedMemory::guardedAt(end + room - (room ? 1 : 0)),
                  room ? nullptr : kTestBlock);
        EXPECT_STREQ(GuardedMemory::guardedAt(end + room), kTestBlock) << room;
    }
}

} // namespace

namespace {

// Where a fault at each address of a block is placed, as the block goes from
// writable to read-only to retired: the crash line says "past the end of",
// "writes into" or "after the host took it back" from this.
TEST(GuardedMemoryTest, AFaultIsPlacedByTheBlocksState) {
    GuardedMemory block = GuardedMemory::copyOf("abc", 4, kTestBlock);
    const char *start = block.as<char>();
    const char *guard = start + 4;
    struct Expected {
        const char *state;
        const char *insideWhat;
        GuardPlace inside;
        GuardPlace pastEnd;
    };
    const Expected writable{"writable", nullptr, GuardPlace::PastEnd, GuardPlace::PastEnd};
    const Expected readOnly{"read-only", kTestBlock, GuardPlace::ReadOnly, GuardPlace::PastEnd};
    const Expected retired{"retired", kTestBlock, GuardPlace::Retired, GuardPlace::Retired};
    auto expect = [&](const Expected &e) {
        SCOPED_TRACE(e.state);
        const GuardHit inside = GuardedMemory::hitAt(start);
        EXPECT_EQ(inside.what, e.insideWhat);
        if (e.insideWhat) {
            EXPECT_EQ(inside.place, e.inside);
        }
        const GuardHit past = GuardedMemory::hitAt(guard);
        EXPECT_EQ(past.what, kTestBlock);
        EXPECT_EQ(past.place, e.pastEnd);
    };
    expect(writable);
    ASSERT_TRUE(block.makeReadOnly());
    EXPECT_STREQ(block.as<char>(), "abc"); // still readable
    expect(readOnly);
    block.retire();
    expect(retired);
    block = GuardedMemory();
    EXPECT_EQ(GuardedMemory::hitAt(start).what, nullptr);
    EXPECT_EQ(GuardedMemory::hitAt(guard).what, nullptr);
}

} // namespace
