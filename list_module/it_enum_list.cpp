#include "list_module/it_enum_list.h"

#include "list_module/sse2_paths.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <limits>
#include <type_traits>

#if QUENDOR_SSE2_PATHS
#  include <emmintrin.h>
#endif

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
std::int32_t wrappingIncrement(std::int32_t v) { return v == kMaxInt ? kMinInt : v + 1; }
std::int32_t wrappingDecrement(std::int32_t v) { return v == kMinInt ? kMaxInt : v - 1; }

// Indexes stop at 2147483647 rather than wrap: a wrapped index could reach -1
// and make a walk look finished while items remain.
std::int32_t saturatingIncrement(std::int32_t v) { return v == kMaxInt ? v : v + 1; }

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

constexpr std::uint64_t kMinMagnitude = std::uint64_t{1} << 31; // of -2147483648

// Accumulates the digits of `base` from `p` on, after `magnitude` so far,
// stopping at the first non-digit, at `end`, or as soon as the number reaches
// `limit` (further digits could only make it larger: the result saturates).
// Leaves `p` where it stopped.
template <typename Base>
std::uint64_t accumulateDigits(const wchar_t *&p, const wchar_t *end, Base base,
                               std::uint64_t limit, std::uint64_t magnitude = 0) {
    for (; p != end; ++p) {
        const std::int32_t digit = digitValue(*p);
        if (digit >= static_cast<std::int32_t>(base))
            break;
        magnitude = magnitude * base + static_cast<std::uint64_t>(digit);
        if (magnitude >= limit)
            return limit;
    }
    return magnitude;
}

using Decimal = std::integral_constant<std::uint64_t, 10>;

// accumulateDigits in base 10, with a fast start: nine decimal digits stay
// below 10^9, under either limit, so the first nine need no check.
std::uint64_t accumulateDecimal(const wchar_t *&p, const wchar_t *end, std::uint64_t limit) {
    constexpr std::ptrdiff_t kSafeDigits = 9;
    const wchar_t *safeEnd = end - p > kSafeDigits ? p + kSafeDigits : end;
    std::uint32_t head = 0;
    for (; p != safeEnd; ++p) {
        // Unsigned: characters below '0' wrap round to large numbers.
        const std::uint32_t digit =
            static_cast<std::uint32_t>(*p) - static_cast<std::uint32_t>(L'0');
        if (digit > 9)
            return head;
        head = head * 10 + digit;
    }
    return accumulateDigits(p, end, Decimal{}, limit, head);
}

std::int32_t negativeFromMagnitude(std::uint64_t magnitude) {
    return magnitude == kMinMagnitude ? kMinInt : -static_cast<std::int32_t>(magnitude);
}

// Reads the digits from `p` on as a number of the given sign, saturating.
std::int32_t convertDigits(const wchar_t *&p, const wchar_t *end, std::uint64_t base,
                           bool negative) {
    if (negative)
        return negativeFromMagnitude(accumulateDigits(p, end, base, kMinMagnitude));
    return static_cast<std::int32_t>(accumulateDigits(p, end, base, kMaxInt));
}

// Skips the white space and the sign in front of a number; true for '-'.
bool skipSpaceAndSign(const wchar_t *&p, const wchar_t *end) {
    while (p != end && isConversionSpace(*p))
        ++p;
    if (p != end && (*p == L'+' || *p == L'-'))
        return *p++ == L'-';
    return false;
}

// A number read from a text, and where reading stopped.
struct ReadNumber {
    std::int32_t value;
    const wchar_t *stop;
};

// Reads a base-10 integer from [p, end) as wcstol does, saturating at 32 bits.
// Every value of a list or range is read this way, so it has a path of its
// own, and it returns the stop position in a register rather than through
// memory: the search for the next ',' waits for it.
ReadNumber parseDecimal(const wchar_t *p, const wchar_t *end) {
    const bool negative = skipSpaceAndSign(p, end);
    if (negative) {
        const std::int32_t value = negativeFromMagnitude(accumulateDecimal(p, end, kMinMagnitude));
        return {value, p};
    }
    const std::int32_t value = static_cast<std::int32_t>(accumulateDecimal(p, end, kMaxInt));
    return {value, p};
}

// Reads an integer from [p, end) the way wcstol does, saturating at 32 bits.
// Never reads at or past `end`.
std::int32_t parseInt(const wchar_t *p, const wchar_t *end, std::int32_t base) {
    if (base == 10)
        return parseDecimal(p, end).value;
    if (base != 0 && (base < 2 || base > 36))
        return 0;
    const bool negative = skipSpaceAndSign(p, end);
    // A 0x prefix counts only when a hex digit follows it; otherwise the 0
    // alone is the number and conversion stops at the x.
    if ((base == 0 || base == 16) && end - p >= 3 && p[0] == L'0' &&
        (p[1] == L'x' || p[1] == L'X') && digitValue(p[2]) < 16) {
        base = 16;
        p += 2;
    } else if (base == 0) {
        base = (p != end && *p == L'0') ? 8 : 10;
    }
    return convertDigits(p, end, static_cast<std::uint64_t>(base), negative);
}

// Beyond this many characters a search hands over to the library's
// (vectorised) wmemchr, so that a long item costs no more per character than
// a plain split at ',' would.
constexpr std::ptrdiff_t kShortSearch = 64;

#if QUENDOR_SSE2_PATHS
// The first ',' or '=' in [p, shortEnd), or the first position from which
// fewer than a whole block remains. Compares 16 bytes (4 or 8 characters,
// whatever the width of wchar_t: 32 bits on Linux, 16 on Windows) at once.
QUENDOR_SSE2_FUNCTION const wchar_t *findSeparatorSse2(const wchar_t *p, const wchar_t *shortEnd) {
    static_assert(sizeof(wchar_t) == 2 || sizeof(wchar_t) == 4, "wchar_t of 16 or 32 bits");
    constexpr bool kWide = sizeof(wchar_t) == 4;
    constexpr std::ptrdiff_t kLanes = 16 / sizeof(wchar_t);
    const __m128i commas =
        kWide ? _mm_set1_epi32(kItemSeparator) : _mm_set1_epi16(static_cast<short>(kItemSeparator));
    const __m128i equalSigns = kWide ? _mm_set1_epi32(kValueSeparator)
                                     : _mm_set1_epi16(static_cast<short>(kValueSeparator));
    for (; shortEnd - p >= kLanes; p += kLanes) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hits =
            kWide
                ? _mm_or_si128(_mm_cmpeq_epi32(block, commas), _mm_cmpeq_epi32(block, equalSigns))
                : _mm_or_si128(_mm_cmpeq_epi16(block, commas), _mm_cmpeq_epi16(block, equalSigns));
        const int bits = _mm_movemask_epi8(hits); // one bit per byte
        if (bits != 0)
            return p +
                   __builtin_ctz(static_cast<unsigned>(bits)) / static_cast<int>(sizeof(wchar_t));
    }
    return p;
}
#endif

// The first ',' or '=' in [p, end), or `end`. Both are looked for in one pass:
// items are short as a rule, and one pass beats two library searches there.
// Reads nothing at or past `end`. `sse2`: take the SSE2 path for the start.
const wchar_t *findSeparator(const wchar_t *p, const wchar_t *end, bool sse2) {
    const wchar_t *shortEnd = end - p > kShortSearch ? p + kShortSearch : end;
#if QUENDOR_SSE2_PATHS
    if (sse2) {
        p = findSeparatorSse2(p, shortEnd);
        if (p != shortEnd && (*p == kItemSeparator || *p == kValueSeparator))
            return p;
    }
#endif
    static_cast<void>(sse2);
    for (; p != shortEnd; ++p) {
        if (*p == kItemSeparator || *p == kValueSeparator)
            return p;
    }
    if (p == end)
        return end;
    const wchar_t *comma = std::wmemchr(p, kItemSeparator, static_cast<std::size_t>(end - p));
    const wchar_t *limit = comma != nullptr ? comma : end;
    const wchar_t *equals = std::wmemchr(p, kValueSeparator, static_cast<std::size_t>(limit - p));
    return equals != nullptr ? equals : limit;
}

// The first ',' in [p, end), or `end`.
const wchar_t *findComma(const wchar_t *p, const wchar_t *end) {
    if (p == end || *p == kItemSeparator) // a value usually runs up to the ','
        return p;
    const wchar_t *comma = std::wmemchr(p, kItemSeparator, static_cast<std::size_t>(end - p));
    return comma != nullptr ? comma : end;
}

#if QUENDOR_SSE2_PATHS
// Copies n characters from p to d, 16 bytes at a time where there are at
// least 16: whole blocks, then one last block that ends exactly at d + n
// (overlapping the one before it), so nothing outside [d, d + n) is written.
QUENDOR_SSE2_FUNCTION void copyCharactersSse2(wchar_t *d, const wchar_t *p, std::size_t n) {
    constexpr std::size_t kLanes = 16 / sizeof(wchar_t);
    if (n < kLanes) {
        for (std::size_t i = 0; i != n; ++i)
            d[i] = p[i];
        return;
    }
    for (std::size_t i = 0; i + kLanes < n; i += kLanes) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + n - kLanes),
                     _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + n - kLanes)));
}
#endif

// Replaces the characters of `s` with [p, p + n). Once `s` has held n
// characters this allocates nothing: resize keeps the capacity, and is skipped
// when the length does not change, as is common between neighbouring items.
// (assign takes a slower general path that allows for overlapping source and
// target.) `sse2`: copy on the SSE2 path.
void setText(std::wstring &s, const wchar_t *p, std::size_t n, bool sse2) {
    if (n != s.size())
        s.resize(n);
    wchar_t *d = &s[0];
#if QUENDOR_SSE2_PATHS
    if (sse2) {
        copyCharactersSse2(d, p, n);
        return;
    }
#endif
    static_cast<void>(sse2);
    for (std::size_t i = 0; i != n; ++i)
        d[i] = p[i];
}

// Writes `value` in decimal (as "%d" does) and returns the first character;
// the text ends at `end`.
wchar_t *formatInt(std::int32_t value, wchar_t *end) {
    // Work on the magnitude unsigned so that -2147483648 needs no special case.
    std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    wchar_t *p = end;
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (value < 0)
        *--p = L'-';
    return p;
}

// The ',' between the first and the last value of a range text, or null when
// the text is too short to hold one or has none after its sixth character.
const wchar_t *rangeComma(const std::wstring &text) {
    if (text.size() < kRangeValuesStart)
        return nullptr;
    return std::wmemchr(text.data() + kRangeValuesStart, kItemSeparator,
                        text.size() - kRangeValuesStart);
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
    m_start = parseDecimal(m_enum_list.data() + kRangeValuesStart, end).value;
    m_last = parseDecimal(comma + 1, end).value;
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
    setText(m_current.text, first, static_cast<std::size_t>(digitsEnd - first),
            quendor::sse2PathsEnabled());
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
    const wchar_t *textEnd = m_enum_list.data() + length;

    // The first '=' splits name and value, unless it opens the item: then the
    // whole item, '=' included, is the name. Found before trimming, so a space
    // before the '=' counts as a name character here.
    const bool sse2 = quendor::sse2PathsEnabled();
    const wchar_t *separator = findSeparator(item, textEnd, sse2);
    const wchar_t *itemEnd = separator;
    const wchar_t *nameEnd = separator;
    if (separator != textEnd && *separator == kValueSeparator) {
        const wchar_t *rest = separator + 1;
        if (separator != item) {
            // Reading stops at the ',' at the latest (a ',' is no digit, sign
            // or space), so the value needs no search of its own, and the
            // search for the ',' goes on from where reading stopped.
            const ReadNumber number = parseDecimal(rest, textEnd);
            m_current.value = number.value;
            rest = number.stop;
        }
        itemEnd = findComma(rest, textEnd);
        if (separator == item)
            nameEnd = itemEnd;
    }
    m_start = static_cast<std::ptrdiff_t>(itemEnd - m_enum_list.data()) + 1;

    // Trim spaces only; tabs and other white space belong to the name.
    const wchar_t *nameBegin = item;
    while (nameBegin != nameEnd && *nameBegin == L' ')
        ++nameBegin;
    while (nameEnd != nameBegin && nameEnd[-1] == L' ')
        --nameEnd;
    setText(m_current.text, nameBegin, static_cast<std::size_t>(nameEnd - nameBegin), sse2);
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
