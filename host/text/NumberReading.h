// NumberReading - the one place where the host reads numbers out of texts:
// the counterpart of NumberText. All of it is std::from_chars underneath: no
// locale, no errno, no exception, and overflow is told apart from a number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace wqhost {

// `text` whole as an unsigned decimal number: one digit or more and nothing
// else (no sign, no blank). Nothing when it is not that, or when the number
// does not fit 64 bits.
std::optional<uint64_t> decimalNumber(std::string_view text) noexcept;

// The unsigned decimal number at the start of `text`, after any white space;
// `text` then begins after its last digit. Nothing, with `text` as it was,
// when no digit comes first or the number does not fit 64 bits.
std::optional<uint64_t> leadingDecimalNumber(std::string_view &text) noexcept;

// The integer at the start of `text` as C's atoi reads it (white space, an
// optional sign, then the digits up to the first other character; 0 when
// there is no digit), but held to INT32_MIN..INT32_MAX where atoi would
// overflow.
int32_t saturatedInt32(std::string_view text) noexcept;

} // namespace wqhost
