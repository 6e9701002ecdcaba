#include "host/text/NumberReading.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace wqhost {

namespace {

// White space as isspace has it in the C locale.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view withoutLeadingSpace(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && isSpace(text[at]))
        ++at;
    return text.substr(at);
}

bool startsWithDigit(std::string_view text) {
    return !text.empty() && text.front() >= '0' && text.front() <= '9';
}

} // namespace

std::optional<uint64_t> decimalNumber(std::string_view text) noexcept {
    // from_chars takes no sign for an unsigned type, but the first character
    // is checked all the same: what it accepts is digits only.
    if (!startsWithDigit(text))
        return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<uint64_t> leadingDecimalNumber(std::string_view &text) noexcept {
    const std::string_view rest = withoutLeadingSpace(text);
    if (!startsWithDigit(rest))
        return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc())
        return std::nullopt;
    text = rest.substr(static_cast<size_t>(end - rest.data()));
    return value;
}

int32_t saturatedInt32(std::string_view text) noexcept {
    std::string_view rest = withoutLeadingSpace(text);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    // The digits alone, read as a magnitude: a second sign is no digit.
    if (!startsWithDigit(rest))
        return 0;
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), magnitude);
    (void)end;
    constexpr uint64_t kLargest = std::numeric_limits<int32_t>::max();
    if (error == std::errc::result_out_of_range || magnitude > kLargest + (negative ? 1 : 0))
        return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                    : static_cast<int32_t>(magnitude);
}

} // namespace wqhost
