#include "list_module/it_enum_list.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <limits>

namespace {

constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

constexpr wchar_t kItemSeparator = L',';
constexpr wchar_t kValueSeparator = L'=';
constexpr wchar_t kRangePrefix[] = L"range";
constexpr std::size_t kRangePrefixLength = 5;
// "range" and the one separating character that is skipped unexamined.
constexpr std::size_t kRangeValuesStart = kRangePrefixLength + 1;

// Values step in 32-bit two's complement: 2147483647 is followed by
// -2147483648, without signed overflow.
std::int32_t wrappingIncrement(std::int32_t v) {
    return v == kMaxInt ? kMinInt : v + 1;
}
std::int32_t wrappingDecrement(std::int32_t v) {
    return v == kMinInt ? kMaxInt : v - 1;
}

// Indexes stop at 2147483647 rather than wrap: a wrapped index could reach -1
// and make a walk look finished while items remain.
std::int32_t saturatingIncrement(std::int32_t v) {
    return v == kMaxInt ? v : v + 1;
}

std::int32_t saturateToInt(std::int64_t v) {
    return v > kMaxInt ? kMaxInt : static_cast<std::int32_t>(v);
}

// The white space the standard conversion skips in the "C" locale. Fixed here
// so that reading a list does not depend on the process's locale.
bool isConversionSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// The digit value of `c` in bases up to 36, or 36 for anything else.
std::int32_t digitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return static_cast<std::int32_t>(c - L'0');
    if (c >= L'a' && c <= L'z')
        return static_cast<std::int32_t>(c - L'a') + 10;
    if (c >= L'A' && c <= L'Z')
        return static_cast<std::int32_t>(c - L'A') + 10;
    return 36;
}

// Reads an integer from [p, end) the way wcstol does, saturating at 32 bits.
// Never reads at or past `end`.
std::int32_t parseInt(const wchar_t *p, const wchar_t *end, std::int32_t base) {
    if (base != 0 && (base < 2 || base > 36))
        return 0;
    while (p != end && isConversionSpace(*p))
        ++p;
    bool negative = false;
    if (p != end && (*p == L'+' || *p == L'-')) {
        negative = *p == L'-';
        ++p;
    }
    // A 0x prefix counts only when a hex digit follows it; otherwise the 0
    // alone is the number and conversion stops at the x.
    if ((base == 0 || base == 16) && end - p >= 3 && p[0] == L'0' && (p[1] == L'x' || p[1] == L'X') &&
        digitValue(p[2]) < 16) {
        base = 16;
        p += 2;
    } else if (base == 0) {
        base = (p != end && *p == L'0') ? 8 : 10;
    }

    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : std::uint64_t{kMaxInt};
    std::uint64_t magnitude = 0;
    for (; p != end; ++p) {
        const std::int32_t digit = digitValue(*p);
        if (digit >= base)
            break;
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (magnitude >= limit) {
            // Further digits could only make it larger; the result saturates.
            magnitude = limit;
            break;
        }
    }
    if (!negative)
        return static_cast<std::int32_t>(magnitude);
    if (magnitude == limit)
        return kMinInt;
    return -static_cast<std::int32_t>(magnitude);
}

// The ',' between the first and the last value of a range text, or null when
// the text is too short to hold one or has none after its sixth character.
const wchar_t *rangeComma(const std::wstring &text) {
    if (text.size() < kRangeValuesStart)
        return nullptr;
    return std::wmemchr(text.data() + kRangeValuesStart, kItemSeparator,
                        text.size() - kRangeValuesStart);
}

// Writes `value` in decimal (as "%d" does) and returns the first character;
// the text ends at `end`.
wchar_t *formatInt(std::int32_t value, wchar_t *end) {
    // Work on the magnitude unsigned so that -2147483648 needs no special case.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                        : static_cast<std::uint32_t>(value);
    wchar_t *p = end;
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (value < 0)
        *--p = L'-';
    return p;
}

} // namespace

it_enum_list::it_enum_list(const std::wstring &text)
    : m_enum_list(text), m_is_range(false), m_start(0), m_last(0) {
    if (m_enum_list.compare(0, kRangePrefixLength, kRangePrefix) != 0)
        return;
    m_is_range = true;
    const wchar_t *comma = rangeComma(m_enum_list);
    if (comma == nullptr) {
        // A malformed range is an empty one: the first value above the last.
        m_start = 0;
        m_last = -1;
        return;
    }
    const wchar_t *end = m_enum_list.data() + m_enum_list.size();
    // Reading the first value stops at the ',' at the latest.
    m_start = parseInt(m_enum_list.data() + kRangeValuesStart, end, 10);
    m_last = parseInt(comma + 1, end, 10);
}

void it_enum_list::First() {
    m_current.index = -1;
    if (m_is_range) {
        m_current.value = wrappingDecrement(static_cast<std::int32_t>(m_start));
    } else {
        m_start = 0;
        m_current.value = -1;
    }
    advance();
}

void it_enum_list::Next() {
    if (IsDone()) {
        // Past the end (or not yet positioned): stepping again finds nothing,
        // also where the value has wrapped round to below the last value.
        m_current.value = wrappingIncrement(m_current.value);
        return;
    }
    advance();
}

void it_enum_list::advance() {
    if (m_is_range)
        advanceRange();
    else
        advanceList();
}

void it_enum_list::advanceRange() {
    if (m_current.index != -1 && m_current.value == m_last) {
        // The last value has been yielded. Checked before stepping because
        // after 2147483647 the value wraps and would compare below the end.
        m_current.index = -1;
        m_current.value = wrappingIncrement(m_current.value);
        return;
    }
    m_current.index = saturatingIncrement(m_current.index);
    m_current.value = wrappingIncrement(m_current.value);
    wchar_t digits[16];
    wchar_t *const digitsEnd = digits + sizeof digits / sizeof digits[0];
    const wchar_t *first = formatInt(m_current.value, digitsEnd);
    m_current.text.assign(first, static_cast<std::size_t>(digitsEnd - first));
    if (m_current.value > m_last)
        m_current.index = -1;
}

void it_enum_list::advanceList() {
    m_current.index = saturatingIncrement(m_current.index);
    m_current.value = wrappingIncrement(m_current.value);

    const std::size_t length = m_enum_list.size();
    const std::size_t start = static_cast<std::size_t>(m_start); // never negative in list mode
    if (start >= length) {
        // No item starts here: a ',' at the very end does not open one.
        m_current.index = -1;
        return;
    }
    const wchar_t *item = m_enum_list.data() + start;
    const std::size_t rest = length - start;
    const wchar_t *comma = std::wmemchr(item, kItemSeparator, rest);
    const std::size_t itemLength = comma != nullptr ? static_cast<std::size_t>(comma - item) : rest;
    m_start = static_cast<std::ptrdiff_t>(start + itemLength + 1);

    // The first '=' splits name and value, unless it opens the item: then the
    // whole item, '=' included, is the name. Found before trimming, so a space
    // before the '=' counts as a name character here.
    const wchar_t *nameEnd = item + itemLength;
    const wchar_t *equals = std::wmemchr(item, kValueSeparator, itemLength);
    if (equals != nullptr && equals != item) {
        m_current.value = parseInt(equals + 1, nameEnd, 10);
        nameEnd = equals;
    }

    // Trim spaces only; tabs and other white space belong to the name.
    const wchar_t *nameBegin = item;
    while (nameBegin != nameEnd && *nameBegin == L' ')
        ++nameBegin;
    while (nameEnd != nameBegin && nameEnd[-1] == L' ')
        --nameEnd;
    // assign keeps the string's capacity: no allocation once it holds the
    // longest name seen.
    m_current.text.assign(nameBegin, static_cast<std::size_t>(nameEnd - nameBegin));
}

std::int32_t it_enum_list::Count() const {
    if (m_is_range) {
        if (rangeComma(m_enum_list) == nullptr)
            return 0;
        const std::int64_t span = static_cast<std::int64_t>(m_last) - m_start;
        return saturateToInt((span < 0 ? -span : span) + 1);
    }
    // One more than the separators after the first character: the character at
    // position 0 opens the first item whatever it is.
    if (m_enum_list.size() < 2)
        return 1;
    const std::size_t separators = static_cast<std::size_t>(
        std::count(m_enum_list.begin() + 1, m_enum_list.end(), kItemSeparator));
    if (separators >= static_cast<std::size_t>(kMaxInt))
        return kMaxInt;
    return static_cast<std::int32_t>(separators) + 1;
}

bool it_enum_list::FindIndex(std::int32_t index) {
    for (First(); !IsDone(); Next()) {
        if (m_current.index == index)
            return true;
    }
    return false;
}

bool it_enum_list::FindValue(std::int32_t value) {
    for (First(); !IsDone(); Next()) {
        if (m_current.value == value)
            return true;
    }
    return false;
}

bool it_enum_list::IsValidValue(const std::wstring &text, std::int32_t value) {
    it_enum_list it(text);
    return it.FindValue(value);
}

std::int32_t it_enum_list::ForceValidValue(const std::wstring &text, std::int32_t value) {
    it_enum_list it(text);
    if (it.FindValue(value))
        return value;
    it.First();
    if (it.IsDone())
        return 0;
    return it.CurrentItem().value;
}

std::int32_t it_enum_list::StringToInt(const std::wstring &text, std::int32_t base) {
    return parseInt(text.data(), text.data() + text.size(), base);
}
