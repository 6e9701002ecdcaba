// Texts read without trusting their pointer: a NUL within the bound gives
// the text, anything else an answer saying what is wrong, never a crash.
#include "host/platform/UntrustedText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <sys/mman.h>
#endif

using namespace wqhost;

namespace {

// Two pages: the first readable, the second not.
class PageBeforeAHole {
public:
    PageBeforeAHole() {
#ifdef _WIN32
        m_base = static_cast<char *>(
            VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(m_base + kPage, kPage, PAGE_NOACCESS, &old);
#else
        void *p =
            mmap(nullptr, 2 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_base = p == MAP_FAILED ? nullptr : static_cast<char *>(p);
        if (m_base)
            mprotect(m_base + kPage, kPage, PROT_NONE);
#endif
    }
    ~PageBeforeAHole() {
#ifdef _WIN32
        VirtualFree(m_base, 0, MEM_RELEASE);
#else
        munmap(m_base, 2 * kPage);
#endif
    }
    PageBeforeAHole(const PageBeforeAHole &) = delete;
    PageBeforeAHole &operator=(const PageBeforeAHole &) = delete;

    // Where `text` (its NUL too, when `terminated`) ends right at the hole.
    const char *atEnd(const std::string &text, bool terminated) {
        const size_t size = text.size() + (terminated ? 1 : 0);
        char *at = m_base + kPage - size;
        std::memcpy(at, text.c_str(), size);
        return at;
    }
    const char *hole() const { return m_base + kPage; }
    bool ready() const { return m_base != nullptr; }

    static constexpr size_t kPage = 65536; // a page on every system, and an allocation unit

private:
    char *m_base = nullptr;
};

struct ReadCase {
    const char *name;
    std::string text;
    bool terminated;
    size_t bound;
    UntrustedText::Status status;
    std::string expected; // the text read
};

class UntrustedTextReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(UntrustedTextReadTest, ReadsUpToTheNulOrSaysWhy) {
    const ReadCase &c = GetParam();
    PageBeforeAHole pages;
    ASSERT_TRUE(pages.ready());
    const UntrustedText read = UntrustedText::read(pages.atEnd(c.text, c.terminated), c.bound);
    EXPECT_EQ(read.status, c.status);
    EXPECT_EQ(read.text, c.expected);
    EXPECT_EQ(read.ok(), c.status == UntrustedText::Status::Text);
}

const std::string kLong(10000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, UntrustedTextReadTest,
    testing::Values(
        ReadCase{"short", "name", true, 64, UntrustedText::Status::Text, "name"},
        ReadCase{"empty", "", true, 64, UntrustedText::Status::Text, ""},
        ReadCase{"exactly the bound", "12345678", true, 8, UntrustedText::Status::Text, "12345678"},
        ReadCase{"one past the bound", "123456789", true, 8, UntrustedText::Status::Unterminated,
                 "12345678"},
        ReadCase{"across pages", kLong, true, 20000, UntrustedText::Status::Text, kLong},
        ReadCase{"8-bit bytes", "caf\xe9\xff", true, 64, UntrustedText::Status::Text,
                 "caf\xe9\xff"},
        ReadCase{"no NUL before the hole", "abc", false, 64, UntrustedText::Status::Unreadable,
                 "abc"},
        ReadCase{"long, no NUL before the hole", kLong, false, 20000,
                 UntrustedText::Status::Unreadable, kLong}),
    [](const testing::TestParamInfo<ReadCase> &info) {
        std::string name;
        for (const char *p = info.param.name; *p; ++p)
            name += *p == ' ' || *p == ',' || *p == '-' ? '_' : *p;
        return name;
    });

TEST(UntrustedTextTest, BadPointersGiveAnAnswer) {
    PageBeforeAHole pages;
    ASSERT_TRUE(pages.ready());
    const UntrustedText null = UntrustedText::read(nullptr, 64);
    EXPECT_EQ(null.status, UntrustedText::Status::Null);
    EXPECT_EQ(null.fault(64), "is a null pointer");

    const UntrustedText hole = UntrustedText::read(pages.hole(), 64);
    EXPECT_EQ(hole.status, UntrustedText::Status::Unreadable);
    EXPECT_EQ(hole.readable, 0u);
    EXPECT_EQ(hole.fault(64), "points to memory the host cannot read");

    const UntrustedText low = UntrustedText::read(reinterpret_cast<const void *>(16), 64);
    EXPECT_EQ(low.status, UntrustedText::Status::Unreadable);

    const UntrustedText cut = UntrustedText::read(pages.atEnd("abc", false), 64);
    EXPECT_EQ(cut.readable, 3u);
    EXPECT_NE(cut.fault(64).find("after 3 bytes"), std::string::npos) << cut.fault(64);
    const UntrustedText longText = UntrustedText::read(std::string(100, 'y').c_str(), 10);
    EXPECT_EQ(longText.fault(10), "has no NUL within its first 10 bytes");
}

TEST(UntrustedTextTest, CopyStopsAtUnreadableMemory) {
    PageBeforeAHole pages;
    ASSERT_TRUE(pages.ready());
    char out[16] = {};
    const char *lastBytes = pages.atEnd("0123456789", false);
    EXPECT_TRUE(UntrustedText::copy(lastBytes, out, 10));
    EXPECT_EQ(std::string(out, 10), "0123456789");
    EXPECT_FALSE(UntrustedText::copy(lastBytes, out, 11));
    EXPECT_FALSE(UntrustedText::copy(nullptr, out, 1));
}

} // namespace
