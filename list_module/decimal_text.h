// decimal_text.h - numbers that travel between pins as decimal text.
#pragma once

#include <cstdint>

// Reads `text` as atoi does: leading white space (space, \t, \n, \v, \f, \r)
// skipped, an optional '+' or '-', then decimal digits up to the first other
// byte; 0 when no digit follows. Unlike atoi the result is defined for any
// length of digits: beyond the 32-bit range it saturates at -2147483648 and
// 2147483647. A null text reads as 0.
int32_t readDecimalText(const char *text);

// Room for the "%i" form of any 32-bit integer: sign, ten digits and the NUL.
constexpr int kDecimalTextSize = 12;

// Writes the "%i" form of `value` (optional '-', digits, no padding) into
// `out` and NUL-terminates it.
void formatDecimalText(int32_t value, char (&out)[kDecimalTextSize]);
