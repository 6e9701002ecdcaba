// The audio-side pins a host expects a module's default open() to build
// from its declarations and the host's pin count.
#include "host/pins/PinDeclaration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace wqhost;

namespace {

PinDeclaration declaration(int32_t index, const char *name, uint32_t flags, int32_t datatype,
                           void *variable) {
    PinDeclaration d;
    d.index = index;
    d.name = name;
    d.nameWritten = true;
    d.record.flags = flags;
    d.record.datatype = datatype;
    d.record.variable = variable;
    return d;
}

struct LayoutCase {
    int32_t count;
    std::string expected; // declaration of each pin, '*' for a repeated one
};

std::ostream &operator<<(std::ostream &os, const LayoutCase &c) {
    return os << "count " << c.count;
}

class AudioPinLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

// X (audio), Y (GUI communication only), Z (audio, repeating).
TEST_P(AudioPinLayoutTest, FollowsTheWalkAndTheRepeatStep) {
    static float x = 0.0f, z = 0.0f;
    const std::vector<PinDeclaration> table = {
        declaration(0, "X", 0, DT_FLOAT, &x),
        declaration(1, "Y", IO_UI_COMMUNICATION, DT_TEXT, nullptr),
        declaration(2, "Z", IO_REPEATING, DT_FSAMPLE, &z)};
    std::string seen;
    const std::vector<AudioPinSlot> pins = audioPinLayout(table, GetParam().count);
    for (size_t i = 0; i < pins.size(); ++i) {
        EXPECT_EQ(pins[i].index, static_cast<int32_t>(i));
        seen += pins[i].repeated ? "*" : pins[i].name;
        if (pins[i].repeated) {
            EXPECT_EQ(pins[i].variable, nullptr);
            EXPECT_EQ(pins[i].datatype, DT_FSAMPLE);
        }
    }
    EXPECT_EQ(seen, GetParam().expected);
    if (!pins.empty()) {
        EXPECT_EQ(pins[0].variable, &x);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, AudioPinLayoutTest,
                         ::testing::Values(LayoutCase{0, ""}, LayoutCase{1, "X"},
                                           LayoutCase{2, "XZ"}, LayoutCase{5, "XZ***"}));

TEST(AudioPinLayoutTest, ADualPinCountsAndRepeatingNeedsTheLastDeclaration) {
    const std::vector<PinDeclaration> table = {
        declaration(0, "A", IO_REPEATING, DT_FSAMPLE, nullptr),
        declaration(1, "B", IO_UI_COMMUNICATION | IO_UI_DUAL, DT_INT, nullptr),
        declaration(2, "C", IO_UI_COMMUNICATION, DT_TEXT, nullptr)};
    const std::vector<AudioPinSlot> pins = audioPinLayout(table, 4);
    // A and B get pins; C, the last declaration, is not repeating.
    ASSERT_EQ(pins.size(), 2u);
    EXPECT_EQ(pins[1].name, "B");
    EXPECT_EQ(pins[1].declaration, 1);
}

} // namespace
