// The example module, built with wq_add_module, driven through its two
// exports as a host drives it: what an author copying the template gets.
#include "tests/support/ModuleExportsTest.h"
#include "tests/support/fake_gui_host.h"
#include "wq_sdk2/wq_interface.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

class DoublerLibrary : public wqtest::ModuleExportsTest<DoublerLibrary> {
public:
    static constexpr const char *kLibraryPath = WQ_DOUBLER_LIBRARY;

protected:
    // A GUI object on `host`, which then knows its record.
    WQGuiHostRecord *makeGui(fake::PinStoreHost &host) {
        host.record = static_cast<WQGuiHostRecord *>(
            makeModule(0, WQ_TYPE_GUI, &fake::FakeGuiHost::callback, host.hostValue()));
        return host.record;
    }
};

TEST_F(DoublerLibrary, DescribesItselfAndDeclaresTwoGuiPins) {
    WQModuleDescription description{};
    ASSERT_EQ(getModuleProperties(0, &description), 1);
    EXPECT_STREQ(description.name, "Doubler");
    EXPECT_EQ(getModuleProperties(1, &description), 0);

    auto *audio = static_cast<WQAudioHostRecord *>(makeModule(0, WQ_TYPE_AUDIO, nullptr, 0));
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->magic, WQ_AUDIO_MAGIC);
    const char *names[] = {"NUMBER", "DOUBLED"};
    for (int32_t i = 0; i < 2; ++i) {
        WQPinProperties pin{};
        EXPECT_EQ(audio->dispatcher(audio, AD_GET_PIN_PROPERTIES, i, 0, &pin, 0.0f), 1);
        EXPECT_STREQ(pin.name, names[i]);
        EXPECT_EQ(pin.datatype, DT_TEXT);
        EXPECT_EQ(pin.flags, static_cast<uint32_t>(IO_UI_COMMUNICATION));
    }
    WQPinProperties none{};
    EXPECT_EQ(audio->dispatcher(audio, AD_GET_PIN_PROPERTIES, 2, 0, &none, 0.0f), 0);
    EXPECT_EQ(audio->dispatcher(audio, AD_GET_PIN_PROPERTIES, -1, 0, &none, 0.0f), 0);
    // Open without pins from the host, then close.
    EXPECT_EQ(audio->dispatcher(audio, AD_OPEN, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(audio->dispatcher(audio, AD_CLOSE, 0, 0, nullptr, 0.0f), 1);
}

struct Doubling {
    std::string number;
    std::string doubled;
};

// Test names show the text, bytes outside printable ASCII as \xNN.
void PrintTo(const Doubling &d, std::ostream *os) {
    static const char hex[] = "0123456789abcdef";
    *os << '"';
    const std::string shown = d.number.size() > 20 ? d.number.substr(0, 20) : d.number;
    for (const char c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f)
            *os << c;
        else
            *os << "\\x" << hex[byte >> 4] << hex[byte & 0xf];
    }
    *os << (shown.size() < d.number.size() ? "...\" -> \"" : "\" -> \"") << d.doubled << '"';
}

class DoublerPinZero : public DoublerLibrary, public ::testing::WithParamInterface<Doubling> {};

TEST_P(DoublerPinZero, WritesTwiceTheNumberToPinOne) {
    fake::PinStoreHost host;
    WQGuiHostRecord *gui = makeGui(host);
    ASSERT_NE(gui, nullptr);
    host.texts[0] = GetParam().number;
    EXPECT_EQ(host.dispatch(gui, GD_PIN_CHANGED, 0), 0);
    EXPECT_EQ(host.texts[1], GetParam().doubled);
    EXPECT_EQ(host.dispatch(gui, GD_CLOSE), 1);
}

INSTANTIATE_TEST_SUITE_P(Texts, DoublerPinZero,
                         ::testing::Values(Doubling{"21", "42"}, Doubling{"-7", "-14"},
                                           Doubling{"  12abc", "24"}, Doubling{"", "0"},
                                           Doubling{"abc", "0"}, Doubling{"\xff\x80", "0"},
                                           Doubling{"1073741823", "2147483646"},
                                           Doubling{"1073741824", "2147483647"},
                                           Doubling{"-1073741824", "-2147483648"},
                                           Doubling{"-1073741825", "-2147483648"},
                                           Doubling{"99999999999999999999", "2147483647"},
                                           Doubling{std::string(2000, '9'), "2147483647"}));

TEST_F(DoublerLibrary, OpenBringsPinOneInStep) {
    fake::PinStoreHost host;
    WQGuiHostRecord *gui = makeGui(host);
    ASSERT_NE(gui, nullptr);
    host.texts[0] = "5";
    EXPECT_EQ(host.dispatch(gui, GD_OPEN, 1), 0);
    EXPECT_EQ(host.texts[1], "10");
    EXPECT_EQ(host.dispatch(gui, GD_CLOSE), 1);
}

TEST_F(DoublerLibrary, IgnoresTheEchoOfItsOwnWriteAndChangesOfPinOne) {
    fake::PinStoreHost host;
    WQGuiHostRecord *gui = makeGui(host);
    ASSERT_NE(gui, nullptr);
    host.echo = {0, 1};
    host.texts[0] = "3";
    host.dispatch(gui, GD_PIN_CHANGED, 0);
    int writes = 0;
    for (const fake::HostCall &call : host.calls)
        writes += call.opcode == GH_PIN_SET_TEXT ? 1 : 0;
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(host.texts[1], "6");

    host.calls.clear();
    host.texts[1] = "anything";
    host.dispatch(gui, GD_PIN_CHANGED, 1);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(host.dispatch(gui, GD_CLOSE), 1);
}

} // namespace
