// Pin access from the GUI side against a scripted host: the exact requests
// each operation makes and how it reads the host's answers.
#include "wq_sdk2/WQGuiPin.h"
#include "wq_sdk2/WQGUI_base.h"

#include "tests/support/fake_gui_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using fake::FakeGuiHost;
using fake::HostCall;

class Gui : public WQGUI_base {
public:
    explicit Gui(FakeGuiHost &host) : WQGUI_base(&FakeGuiHost::callback, host.hostValue()) {}
};

class WQGuiPinTest : public ::testing::Test {
protected:
    ~WQGuiPinTest() override { host.dispatch(gui->hostRecord(), GD_CLOSE); }

    // A handle of this test's own, as the dispatcher would pass it.
    WQGuiPin pin(int32_t index) { return WQGuiPin{index, gui}; }

    void expectOnlyCall(int32_t opcode, int32_t index, int32_t value, bool ptrSet, float opt) {
        ASSERT_EQ(host.calls.size(), 1u);
        const HostCall &c = host.calls[0];
        EXPECT_EQ(c.record, gui->hostRecord());
        EXPECT_EQ(c.opcode, opcode);
        EXPECT_EQ(c.index, index);
        EXPECT_EQ(c.value, value);
        EXPECT_EQ(c.ptr != nullptr, ptrSet);
        EXPECT_EQ(c.opt, opt);
    }

    FakeGuiHost host;
    Gui *gui = new Gui(host);
};

TEST_F(WQGuiPinTest, GetValueIntReadsTheSlotTheHostFills) {
    host.script = [](const HostCall &c) {
        const int32_t seven = 7;
        std::memcpy(c.ptr, &seven, sizeof seven);
        return wq_result_t{99}; // ignored
    };
    EXPECT_EQ(pin(5).getValueInt(), 7);
    expectOnlyCall(GH_PIN_GET_VALUE, 5, 0, true, 0.0f);
}

TEST_F(WQGuiPinTest, GetValueFloatReadsTheSameSlotAsAFloat) {
    host.script = [](const HostCall &c) {
        const float half = 0.5f;
        std::memcpy(c.ptr, &half, sizeof half);
        return wq_result_t{0};
    };
    EXPECT_EQ(pin(2).getValueFloat(), 0.5f);
    expectOnlyCall(GH_PIN_GET_VALUE, 2, 0, true, 0.0f);
}

TEST_F(WQGuiPinTest, ValueReadOfASlotTheHostLeavesAloneIsZero) {
    EXPECT_EQ(pin(1).getValueInt(), 0);
    EXPECT_EQ(pin(1).getValueFloat(), 0.0f);
}

TEST_F(WQGuiPinTest, SetValueIntSendsTheIntegerInValue) {
    pin(1).setValueInt(-5);
    expectOnlyCall(GH_PIN_SET_VALUE, 1, -5, false, 0.0f);
}

TEST_F(WQGuiPinTest, SetValueFloatSendsTheFloatInOpt) {
    pin(4).setValueFloat(0.25f);
    expectOnlyCall(GH_PIN_SET_VALUE, 4, 0, false, 0.25f);
}

TEST_F(WQGuiPinTest, SetValueTextPassesTheStringsOwnCharacters) {
    const void *seen = nullptr;
    host.script = [&seen](const HostCall &c) {
        seen = c.ptr;
        return wq_result_t{0};
    };
    const std::string empty;
    pin(2).setValueText(empty);
    expectOnlyCall(GH_PIN_SET_TEXT, 2, 0, true, 0.0f);
    EXPECT_EQ(seen, empty.c_str());
    EXPECT_EQ(*static_cast<const char *>(seen), '\0') << "an empty text is a lone NUL";

    const std::string bytes("caf\xc3\xa9 \xff\x80");
    pin(3).setValueText(bytes);
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[1].text, bytes);
    EXPECT_EQ(seen, bytes.c_str());
}

TEST_F(WQGuiPinTest, GetValueTextCopiesTheHostsTextAtOnce) {
    char hostText[] = "red,green\xe9";
    host.script = [&hostText](const HostCall &) { return reinterpret_cast<wq_result_t>(hostText); };
    const std::string copy = pin(0).getValueText();
    expectOnlyCall(GH_PIN_GET_TEXT, 0, 0, false, 0.0f);
    std::strcpy(hostText, "changed");
    EXPECT_EQ(copy, "red,green\xe9");
}

TEST_F(WQGuiPinTest, GetValueTextOfANullTextIsEmpty) { EXPECT_EQ(pin(0).getValueText(), ""); }

TEST_F(WQGuiPinTest, SetValueTextOfACharPointerPassesThatPointer) {
    const void *seen = nullptr;
    host.script = [&seen](const HostCall &c) {
        seen = c.ptr;
        return wq_result_t{0};
    };
    const char name[] = "green";
    pin(2).setValueText(name);
    expectOnlyCall(GH_PIN_SET_TEXT, 2, 0, true, 0.0f);
    EXPECT_EQ(seen, static_cast<const void *>(name));
    EXPECT_EQ(host.calls[0].text, "green");

    pin(3).setValueText(static_cast<const char *>(nullptr));
    ASSERT_EQ(host.calls.size(), 2u);
    ASSERT_NE(seen, nullptr) << "null is sent as the empty text, never as a null pointer";
    EXPECT_EQ(*static_cast<const char *>(seen), '\0');
}

// The read into the caller's buffer: what the host holds, the buffer's size,
// and what the buffer then holds.
struct BufferRead {
    const char *name;
    const char *hostText; // null: the host answers with a null address
    std::size_t size;
    std::string expected;
};

void PrintTo(const BufferRead &b, std::ostream *out) { *out << b.name; }

class WQGuiPinBufferRead : public WQGuiPinTest, public ::testing::WithParamInterface<BufferRead> {};

TEST_P(WQGuiPinBufferRead, CopiesAtMostSizeMinusOneBytesAndTerminates) {
    const BufferRead &r = GetParam();
    host.script = [&r](const HostCall &) { return reinterpret_cast<wq_result_t>(r.hostText); };
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    const std::size_t copied = pin(0).getValueText(buffer, r.size);
    expectOnlyCall(GH_PIN_GET_TEXT, 0, 0, false, 0.0f);
    EXPECT_EQ(copied, r.expected.size());
    if (r.size == 0) {
        EXPECT_EQ(buffer[0], 'x') << "a buffer of size 0 is not written";
        return;
    }
    EXPECT_EQ(std::string(buffer), r.expected);
    EXPECT_EQ(buffer[copied + 1], 'x') << "nothing is written after the terminating NUL";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WQGuiPinBufferRead,
    ::testing::Values(BufferRead{"Fits", "red,green", 10, "red,green"},
                      BufferRead{"ShorterThanTheBuffer", "abc", 10, "abc"},
                      BufferRead{"CutToFit", "red,green,blue", 8, "red,gre"},
                      BufferRead{"OneByteHoldsOnlyTheNul", "abc", 1, ""},
                      BufferRead{"SizeZero", "abc", 0, ""},
                      BufferRead{"NullTextIsEmpty", nullptr, 10, ""},
                      BufferRead{"EmptyText", "", 10, ""},
                      BufferRead{"EightBitBytesKept", "caf\xc3\xa9\xff", 10, "caf\xc3\xa9\xff"}),
    [](const ::testing::TestParamInfo<BufferRead> &info) { return std::string(info.param.name); });

TEST_F(WQGuiPinTest, GetValueTextIntoABufferCopiesAtOnce) {
    char hostText[] = "red,green";
    host.script = [&hostText](const HostCall &) { return reinterpret_cast<wq_result_t>(hostText); };
    char buffer[32];
    pin(0).getValueText(buffer, sizeof buffer);
    std::strcpy(hostText, "changed");
    EXPECT_STREQ(buffer, "red,green");
}

// The two-request wide read: what the host reports, what it fills (at most
// the capacity it is given), and the result.
struct WideRead {
    const char *name;
    int32_t reported;
    std::u16string fill;
    int32_t secondValue;
    std::u16string expected;
};

void PrintTo(const WideRead &w, std::ostream *out) { *out << w.name; }

class WQGuiPinWide : public WQGuiPinTest, public ::testing::WithParamInterface<WideRead> {};

TEST_P(WQGuiPinWide, AsksForTheLengthThenReadsAtMostThatManyUnits) {
    const WideRead &w = GetParam();
    host.script = [&w](const HostCall &c) -> wq_result_t {
        if (c.ptr == nullptr)
            return w.reported;
        // A well-behaved host writes no more than the capacity it was given;
        // a read beyond the buffer would show under the address sanitizer.
        std::memcpy(c.ptr, w.fill.data(), std::min<size_t>(w.fill.size(), c.value) * 2);
        return 0;
    };
    EXPECT_EQ(pin(3).getValueTextW(), w.expected);
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_TRUE(fake::matches(host.calls[0], {GH_PIN_GET_TEXT_W, 3, 0, false, "", 0}));
    EXPECT_TRUE(fake::matches(host.calls[1], {GH_PIN_GET_TEXT_W, 3, w.secondValue, true, "", 0}))
        << host.calls[1];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WQGuiPinWide,
    ::testing::Values(WideRead{"TerminatedText", 4, std::u16string(u"abc\0", 4), 4, u"abc"},
                      WideRead{"NoZeroUnit", 3, u"abc", 3, u"abc"},
                      WideRead{"EmptyLength", 0, u"", 0, u""},
                      WideRead{"NegativeLengthTakenAsZero", -3, u"", 0, u""},
                      WideRead{"StopsAtTheFirstZero", 5, std::u16string(u"a\0bc\0", 5), 5, u"a"},
                      WideRead{"UnitsKeptAsSixteenBits", 4,
                               std::u16string(u"\u00e9\xd83d\xde00\0", 4), 4,
                               u"\u00e9\xd83d\xde00"}),
    [](const ::testing::TestParamInfo<WideRead> &info) { return std::string(info.param.name); });

} // namespace
