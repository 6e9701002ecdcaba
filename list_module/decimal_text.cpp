#include "list_module/decimal_text.h"

namespace {

// atoi's white space in the C locale, decided on the byte itself so that
// bytes above 0x7F never reach a <cctype> function as negative values.
bool isAtoiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int32_t readDecimalText(const char *text) {
    if (text == nullptr)
        return 0;
    const char *p = text;
    while (isAtoiSpace(*p))
        ++p;

    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }

    // Accumulate the magnitude in 64 bits and stop growing it once it is past
    // what either bound needs; the remaining digits are still consumed.
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude < kLimit)
            magnitude = magnitude * 10 + (*p - '0');
    }

    if (negative)
        return magnitude >= kLimit ? INT32_MIN : static_cast<int32_t>(-magnitude);
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

void formatDecimalText(int32_t value, char (&out)[kDecimalTextSize]) {
    // What "%i" writes, without the cost of the formatted-output machinery on
    // every selection: the digits from the last, in 32 bits unsigned so that
    // the magnitude of INT32_MIN is representable.
    const bool negative = value < 0;
    uint32_t magnitude =
        negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);

    int at = 0;
    if (negative)
        out[at++] = '-';
    while (count > 0)
        out[at++] = digits[--count];
    out[at] = '\0';
}
