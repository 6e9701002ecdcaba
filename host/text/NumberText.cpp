#include "host/text/NumberText.h"

#include <charconv>
#include <cmath>

namespace wqhost {

namespace {

// Enough for any uint64_t in hex and any double in the forms used here
// (fixed form included: the largest double has 309 integer digits).
constexpr size_t kRoom = 400;

std::string written(const char *begin, std::to_chars_result r) {
    return r.ec == std::errc() ? std::string(begin, static_cast<const char *>(r.ptr))
                               : std::string("?");
}

} // namespace

std::string hexDigits(uint64_t value, int minDigits, bool upper) {
    char buf[32];
    std::string digits = written(buf, std::to_chars(buf, buf + sizeof buf, value, 16));
    if (upper)
        for (char &c : digits)
            if (c >= 'a' && c <= 'f')
                c = static_cast<char>(c - 'a' + 'A');
    if (minDigits > 0 && digits.size() < static_cast<size_t>(minDigits))
        digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
    return digits;
}

std::string hexText(uint64_t value) { return "0x" + hexDigits(value); }

std::string hexText(const void *address) {
    return hexText(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address)));
}

std::string floatText(double value, int precision) {
    char buf[kRoom];
    return written(
        buf, std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision));
}

std::string fixedText(double value, int decimals) {
    char buf[kRoom];
    return written(buf,
                   std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals));
}

} // namespace wqhost
