// enum_list_reference.h - a plain, slow reading of enumeration-list texts,
// written apart from the iterator so that the fuzzer can hold the two
// against each other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The standard wide string-to-long conversion in the "C" locale, cut to 32
// bits by saturation. Only ASCII can be part of a number or of the white
// space in front of it, so the text is cut at its first NUL or non-ASCII
// unit before it is handed to the library.
int32_t referenceStringToInt(const std::wstring &text, int32_t base);

// One item of a list text as the rules give it.
struct ReferenceItem {
    std::wstring name;      // trimmed of leading and trailing U+0020
    std::wstring valueText; // the text after the first '=' (the name's own '=' excluded)
    bool hasValue = false;  // an '=' at position 1 or later of the item
};

// The items of a list text, in order: split at every ',', no empty item
// after a trailing ',' and none for the empty text.
std::vector<ReferenceItem> referenceListItems(const std::wstring &text);

// The two values of a well-formed range text ("range", one skipped
// character, first ',' last); nothing for a text that is not one.
struct ReferenceRange {
    int32_t first;
    int32_t last;
};
std::optional<ReferenceRange> referenceRange(const std::wstring &text);

// Whether the iterator reads `text` as a range text.
bool isRangeText(const std::wstring &text);
