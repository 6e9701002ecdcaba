// What the host wrote into input variables: a variable changed after it was
// given is told once, with both values in the pin's own type; one left
// alone, or given again, is not.
#include "host/core/GivenInputs.h"

#include "wq_sdk2/wq_interface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

// One variable of each type: what the host writes, what the module leaves.
struct ChangeCase {
    const char *name;
    int32_t datatype;
    double given;
    double left;
    const char *says; // the values as the text gives them, "" for no change
};

void PrintTo(const ChangeCase &c, std::ostream *out) { *out << c.name; }

class GivenInputsChange : public ::testing::TestWithParam<ChangeCase> {};

// Writes `value` into a variable of `datatype` in `memory`; its size.
size_t store(int32_t datatype, double value, unsigned char *memory) {
    switch (datatype) {
    case DT_FLOAT: {
        const float v = static_cast<float>(value);
        std::memcpy(memory, &v, sizeof v);
        return sizeof v;
    }
    case DT_INT: {
        const int32_t v = static_cast<int32_t>(value);
        std::memcpy(memory, &v, sizeof v);
        return sizeof v;
    }
    case DT_ENUM: {
        const int16_t v = static_cast<int16_t>(value);
        std::memcpy(memory, &v, sizeof v);
        return sizeof v;
    }
    default: memory[0] = static_cast<unsigned char>(value); return 1;
    }
}

TEST_P(GivenInputsChange, TellsAChangedVariableOnceInItsType) {
    const ChangeCase &c = GetParam();
    alignas(8) unsigned char variable[8] = {};
    const size_t size = store(c.datatype, c.given, variable);
    GivenInputs given;
    given.given({3, "LEVEL", c.datatype}, variable, variable, size);
    store(c.datatype, c.left, variable);
    const std::vector<std::string> first = given.changed();
    if (*c.says == '\0') {
        EXPECT_TRUE(first.empty());
        return;
    }
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], std::string("pin 3 (\"LEVEL\"), an input: the host wrote ") + c.says);
    EXPECT_TRUE(given.changed().empty()) << "told again";
}

INSTANTIATE_TEST_SUITE_P(
    Types, GivenInputsChange,
    ::testing::Values(
        ChangeCase{"float_clamped", DT_FLOAT, 2.0, 1.0, "2 into its variable, it now holds 1"},
        ChangeCase{"float_left", DT_FLOAT, 0.25, 0.25, ""},
        ChangeCase{"int_rounded", DT_INT, -3, 0, "-3 into its variable, it now holds 0"},
        ChangeCase{"enum_wrapped", DT_ENUM, 1, -1, "1 into its variable, it now holds -1"},
        ChangeCase{"byte_flipped", DT_BYTE, 1, 254, "1 into its variable, it now holds 254"},
        ChangeCase{"byte_left", DT_BYTE, 7, 7, ""}),
    [](const ::testing::TestParamInfo<ChangeCase> &info) { return std::string(info.param.name); });

TEST(GivenInputs, ABufferAddressIsNamedAsSuch) {
    float buffer[4] = {};
    float *variable = buffer;
    GivenInputs given;
    given.given({0, "IN", DT_FSAMPLE}, &variable, &variable, sizeof variable);
    ++variable; // the module steps through its input by moving the pointer
    const std::vector<std::string> told = given.changed();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("the host wrote the address of its buffer, 0x"), std::string::npos)
        << told[0];
}

TEST(GivenInputs, AValueGivenAgainIsJudgedAfresh) {
    float variable = 0.5f;
    GivenInputs given;
    const GivenInputs::Pin pin{1, "GAIN", DT_FLOAT};
    given.given(pin, &variable, &variable, sizeof variable);
    variable = 0.75f; // the host itself writes it again, and says so
    given.given(pin, &variable, &variable, sizeof variable);
    EXPECT_TRUE(given.changed().empty());
    variable = 0.0f;
    EXPECT_EQ(given.changed().size(), 1u);
    given.clear();
    variable = 3.0f;
    EXPECT_TRUE(given.changed().empty()) << "a cleared record holds no variable";
}

} // namespace
