#include "list_module/list_item.h"

#include <cstring>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

namespace {

constexpr char kItemSeparator = ',';
constexpr char kValueSeparator = '=';

// The position just after the `count`-th ',' of text[0, size), or size + 1
// when the text has fewer. count > 0. Reads no byte at or beyond `size`.
//
// The selection handling runs on every scroll through a list, and a list of
// short items has a ',' every few bytes, so one search call per item would
// cost more than the bytes themselves. Commas are counted 64 bytes at a
// time instead, and only the block that holds the wanted one is looked at
// byte by byte.
std::size_t skipItems(const char *text, std::size_t size, std::int32_t count) {
    std::size_t at = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    const __m128i commas = _mm_set1_epi8(kItemSeparator);
    const __m128i zero = _mm_setzero_si128();
    auto load = [text](std::size_t i) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
    };
    // Whole blocks of 64 bytes whose commas all come before the wanted one:
    // each byte lane counts its matches (0 to 4; a match is -1, subtracted),
    // and the sum of absolute differences adds the lanes up.
    for (; size - at >= 64; at += 64) {
        __m128i lanes = _mm_sub_epi8(zero, _mm_cmpeq_epi8(load(at), commas));
        lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(load(at + 16), commas));
        lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(load(at + 32), commas));
        lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(load(at + 48), commas));
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        const std::int32_t inBlock = _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
        if (inBlock >= count)
            break;
        count -= inBlock;
    }
    // 16 bytes at a time: one bit per comma, taken lowest first.
    for (; size - at >= 16; at += 16) {
        unsigned bits =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(load(at), commas)));
        for (; bits != 0; bits &= bits - 1) {
            if (--count == 0)
                return at + static_cast<std::size_t>(__builtin_ctz(bits)) + 1;
        }
    }
#endif
    // The rest (or, without SSE2, all of it): one search per item.
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

// The length of the name that starts text[0, size): the bytes before the
// first ',' or '=', or all of them.
std::size_t nameLength(const char *text, std::size_t size) {
    std::size_t at = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    const __m128i commas = _mm_set1_epi8(kItemSeparator);
    const __m128i equalSigns = _mm_set1_epi8(kValueSeparator);
    for (; size - at >= 16; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + at));
        const int bits = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, commas), _mm_cmpeq_epi8(block, equalSigns)));
        if (bits != 0)
            return at + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
    }
#endif
    for (; at < size; ++at) {
        if (text[at] == kItemSeparator || text[at] == kValueSeparator)
            return at;
    }
    return size;
}

} // namespace

bool findListItemName(std::string_view list, int32_t number, std::string_view &name) {
    if (number < 0)
        return false;

    // Skip `number` items: each ends at its ','.
    const std::size_t start = number == 0 ? 0 : skipItems(list.data(), list.size(), number);

    // An item must start before the end of the text: this rules out the empty
    // text, the nothing after a trailing ',' and a text with too few items.
    if (start >= list.size())
        return false;

    // The name ends at the item's first '=' or at its end, whichever comes first.
    const char *const begin = list.data() + start;
    name = std::string_view(begin, nameLength(begin, list.size() - start));
    return true;
}
