// The interface constants are what hosts already compiled against: a changed
// number breaks every host silently, so each is pinned here.
#include "wq_sdk2/wq_interface.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct Constant {
    const char *name;
    long long actual;
    long long expected;
    friend void PrintTo(const Constant &c, std::ostream *os) { *os << c.name; }
};

class InterfaceConstant : public ::testing::TestWithParam<Constant> {};

TEST_P(InterfaceConstant, HasItsFixedValue) {
    EXPECT_EQ(GetParam().actual, GetParam().expected) << GetParam().name;
}

#define WQ_CONST(name, value)                                                                      \
  Constant { #name, static_cast < long long>(name), value }

INSTANTIATE_TEST_SUITE_P(
    All, InterfaceConstant,
    ::testing::Values(
        WQ_CONST(WQ_SDK_VERSION, 2230), WQ_CONST(WQ_AUDIO_MAGIC, 0x5751504C),
        WQ_CONST(WQ_GUI_MAGIC, 0x5751504D), WQ_CONST(IO_REPEATING, 0x8),
        WQ_CONST(IO_PRIVATE, 0x100), WQ_CONST(IO_UI_COMMUNICATION, 0x400),
        WQ_CONST(IO_UI_DUAL, 0x8000), WQ_CONST(IO_PATCH_STORE, 0x10000), WQ_CONST(DR_IN, 0),
        WQ_CONST(DR_OUT, 1), WQ_CONST(DT_ENUM, 0), WQ_CONST(DT_TEXT, 1), WQ_CONST(DT_BYTE, 4),
        WQ_CONST(DT_FSAMPLE, 5), WQ_CONST(DT_FLOAT, 6), WQ_CONST(DT_INT, 8),
        WQ_CONST(EV_PIN_STATUS, 0), WQ_CONST(EV_TYPE_2, 2), WQ_CONST(EV_DELAYED_CALL, 21),
        WQ_CONST(AH_OPCODE_0, 0), WQ_CONST(AH_OPCODE_1, 1), WQ_CONST(AH_SAMPLE_CLOCK, 3),
        WQ_CONST(AH_PIN_STATUS, 4), WQ_CONST(AH_PIN_BUFFER, 7), WQ_CONST(AH_PIN_BUFFER_CLOCK, 8),
        WQ_CONST(AH_OPCODE_10, 10), WQ_CONST(AH_PIN_COUNT, 14), WQ_CONST(AH_ADD_EVENT, 19),
        WQ_CONST(AH_PROCESS_CHANGED, 22), WQ_CONST(GH_PIN_SET_TEXT, 6),
        WQ_CONST(GH_PIN_GET_TEXT, 7), WQ_CONST(GH_OPCODE_8, 8), WQ_CONST(GH_PIN_GET_VALUE, 14),
        WQ_CONST(GH_PIN_SET_VALUE, 15), WQ_CONST(GH_PIN_SET_LIST_TEXT, 16),
        WQ_CONST(GH_PIN_GET_TEXT_W, 17), WQ_CONST(GH_OPCODE_18, 18), WQ_CONST(GH_OPCODE_19, 19),
        WQ_CONST(GH_OPCODE_20, 20), WQ_CONST(GH_OPCODE_22, 22), WQ_CONST(AD_GET_PIN_PROPERTIES, 6),
        WQ_CONST(AD_GET_PROCESS_REFERENCE, 13), WQ_CONST(GD_PIN_CHANGED, 7),
        WQ_CONST(GD_OPCODE_12, 12)),
    [](const ::testing::TestParamInfo<Constant> &info) { return std::string(info.param.name); });

// The magic words spell their tag from the most significant byte down, so a
// little-endian dump of a record starts with the tag reversed.
TEST(InterfaceMagic, SpellsItsTagMostSignificantByteFirst) {
    const uint32_t words[] = {WQ_AUDIO_MAGIC, WQ_GUI_MAGIC};
    const char *tags[] = {"WQPL", "WQPM"};
    for (int i = 0; i < 2; ++i) {
        char spelled[5] = {static_cast<char>(words[i] >> 24), static_cast<char>(words[i] >> 16),
                           static_cast<char>(words[i] >> 8), static_cast<char>(words[i]), 0};
        EXPECT_STREQ(spelled, tags[i]);
    }
}

} // namespace
