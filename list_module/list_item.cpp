#include "list_module/list_item.h"

#include "list_module/sse2_paths.h"

#include <cstring>

#if QUENDOR_SSE2_PATHS
#  include <emmintrin.h>
#endif

namespace {

constexpr char kItemSeparator = ',';
constexpr char kValueSeparator = '=';

// The position just after the `count`-th ',' of text[at, size), or size + 1
// when there are fewer. count > 0. One search per item: the plain path.
std::size_t skipItemsFrom(const char *text, std::size_t size, std::size_t at, std::int32_t count) {
    while (at < size) {
        const void *comma = std::memchr(text + at, kItemSeparator, size - at);
        if (comma == nullptr)
            break;
        at = static_cast<std::size_t>(static_cast<const char *>(comma) - text) + 1;
        if (--count == 0)
            return at;
    }
    return size + 1;
}

// The length of the name that starts text[0, size), from `at` on: the bytes
// before the first ',' or '=', or all of them.
std::size_t nameLengthFrom(const char *text, std::size_t size, std::size_t at) {
    for (; at < size; ++at) {
        if (text[at] == kItemSeparator || text[at] == kValueSeparator)
            return at;
    }
    return size;
}

#if QUENDOR_SSE2_PATHS
// skipItemsFrom(text, size, 0, count) with SSE2.
//
// The selection handling runs on every scroll through a list, and a list of
// short items has a ',' every few bytes, so one search call per item would
// cost more than the bytes themselves. Commas are counted 64 bytes at a
// time instead, and only the block that holds the wanted one is looked at
// bit by bit.
QUENDOR_SSE2_FUNCTION std::size_t skipItemsSse2(const char *text, std::size_t size,
                                                std::int32_t count) {
    std::size_t at = 0;
    const __m128i commas = _mm_set1_epi8(kItemSeparator);
    const __m128i zero = _mm_setzero_si128();
    // Whole blocks of 64 bytes whose commas all come before the wanted one:
    // each byte lane counts its matches (0 to 4; a match is -1, subtracted),
    // and the sum of absolute differences adds the lanes up.
    for (; size - at >= 64; at += 64) {
        const __m128i *block = reinterpret_cast<const __m128i *>(text + at);
        __m128i lanes = _mm_sub_epi8(zero, _mm_cmpeq_epi8(_mm_loadu_si128(block), commas));
        lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(block + 1), commas));
        lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(block + 2), commas));
        lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(block + 3), commas));
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        const std::int32_t inBlock = _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
        if (inBlock >= count)
            break;
        count -= inBlock;
    }
    // 16 bytes at a time: one bit per comma, taken lowest first.
    for (; size - at >= 16; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + at));
        unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, commas)));
        for (; bits != 0; bits &= bits - 1) {
            if (--count == 0)
                return at + static_cast<std::size_t>(__builtin_ctz(bits)) + 1;
        }
    }
    // Fewer than 16 bytes remain: a byte loop costs less than a search call.
    for (; at < size; ++at) {
        if (text[at] == kItemSeparator && --count == 0)
            return at + 1;
    }
    return size + 1;
}

// nameLengthFrom(text, size, 0) with SSE2: 16 bytes at a time.
QUENDOR_SSE2_FUNCTION std::size_t nameLengthSse2(const char *text, std::size_t size) {
    std::size_t at = 0;
    const __m128i commas = _mm_set1_epi8(kItemSeparator);
    const __m128i equalSigns = _mm_set1_epi8(kValueSeparator);
    for (; size - at >= 16; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + at));
        const int bits = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, commas), _mm_cmpeq_epi8(block, equalSigns)));
        if (bits != 0)
            return at + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
    }
    return nameLengthFrom(text, size, at);
}
#endif

// The position just after the `count`-th ',' of text[0, size), or size + 1
// when the text has fewer. count > 0. Reads no byte at or beyond `size`.
std::size_t skipItems(const char *text, std::size_t size, std::int32_t count, bool sse2) {
#if QUENDOR_SSE2_PATHS
    if (sse2)
        return skipItemsSse2(text, size, count);
#endif
    static_cast<void>(sse2);
    return skipItemsFrom(text, size, 0, count);
}

// The length of the name that starts text[0, size): the bytes before the
// first ',' or '=', or all of them.
std::size_t nameLength(const char *text, std::size_t size, bool sse2) {
#if QUENDOR_SSE2_PATHS
    if (sse2)
        return nameLengthSse2(text, size);
#endif
    static_cast<void>(sse2);
    return nameLengthFrom(text, size, 0);
}

} // namespace

bool findListItemName(std::string_view list, int32_t number, std::string_view &name) {
    if (number < 0)
        return false;

    // Skip `number` items: each ends at its ','.
    const bool sse2 = quendor::sse2PathsEnabled();
    const std::size_t start = number == 0 ? 0 : skipItems(list.data(), list.size(), number, sse2);

    // An item must start before the end of the text: this rules out the empty
    // text, the nothing after a trailing ',' and a text with too few items.
    if (start >= list.size())
        return false;

    // The name ends at the item's first '=' or at its end, whichever comes first.
    const char *const begin = list.data() + start;
    name = std::string_view(begin, nameLength(begin, list.size() - start, sse2));
    return true;
}
