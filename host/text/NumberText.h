// NumberText - the one place where the host turns numbers into text: hex
// words, the "%g"-style forms of floats and fixed decimals. Every report,
// trace line and message of the host goes through these, so a number reads
// the same wherever it shows. All of them are std::to_chars underneath:
// no locale, no buffer sizes to get wrong.
#pragma once

#include <cstdint>
#include <string>

namespace wqhost {

// "0x" and lower-case hex digits: 0x0, 0x5751504c.
std::string hexText(uint64_t value);

// An address as hexText shows it; null is 0x0.
std::string hexText(const void *address);

// Hex digits alone, at least `minDigits` of them (zero-padded), lower or
// upper case: hexDigits(0xe9, 2) is "e9", hexDigits(5, 8, true) "00000005".
std::string hexDigits(uint64_t value, int minDigits = 1, bool upper = false);

// A float as printf's "%.<precision>g" writes it ("48000", "0.25", "1e+30",
// "nan", "inf").
std::string floatText(double value, int precision = 6);

// A number with `decimals` digits after the point, as "%.<decimals>f".
std::string fixedText(double value, int decimals);

} // namespace wqhost
