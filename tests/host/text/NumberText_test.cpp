// The text forms of numbers: the same digits as printf's %x, %g and %f
// would give, on every target.
#include "host/text/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

using namespace wqhost;

namespace {

TEST(NumberTextTest, HexWordsAndDigits) {
    struct Case {
        std::string got;
        const char *want;
    };
    const Case cases[] = {
        {hexText(uint64_t{0}), "0x0"},
        {hexText(uint64_t{0x5751504c}), "0x5751504c"},
        {hexText(std::numeric_limits<uint64_t>::max()), "0xffffffffffffffff"},
        {hexText(static_cast<uint64_t>(intptr_t{-1})), "0xffffffffffffffff"},
        {hexText(static_cast<const void *>(nullptr)), "0x0"},
        {hexDigits(0xe9, 2), "e9"},
        {hexDigits(0x7, 2), "07"},
        {hexDigits(5, 8, true), "00000005"},
        {hexDigits(0xc0000005u, 8, true), "C0000005"},
        {hexDigits(0x123456789abull, 4), "123456789ab"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.got, c.want);
}

TEST(NumberTextTest, FloatsAsPercentG) {
    struct Case {
        double value;
        int precision;
        const char *want;
    };
    const Case cases[] = {
        {0.0, 6, "0"},
        {48000.0, 6, "48000"},
        {0.25, 6, "0.25"},
        {-1.5, 6, "-1.5"},
        {1234567.0, 6, "1.23457e+06"},
        {1.0e-5, 6, "1e-05"},
        {static_cast<double>(0.1f), 9, "0.100000001"},
        {static_cast<double>(1.0e30f), 9, "1.00000002e+30"},
        {static_cast<double>(3.0e38f), 6, "3e+38"},
        {static_cast<double>(INFINITY), 6, "inf"},
        {static_cast<double>(-INFINITY), 9, "-inf"},
        {static_cast<double>(NAN), 6, "nan"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(floatText(c.value, c.precision), c.want)
            << c.value << " %." << c.precision << "g";
}

TEST(NumberTextTest, FixedDecimals) {
    EXPECT_EQ(fixedText(0.5, 3), "0.500");
    EXPECT_EQ(fixedText(12.3456, 3), "12.346");
    EXPECT_EQ(fixedText(0.0, 3), "0.000");
    EXPECT_EQ(fixedText(1.0e20, 1), "100000000000000000000.0");
}

} // namespace
