// it_enum_list.h - walks an enumeration-list text item by item.
//
// An enumeration list is the text that describes the choices of an
// enumeration pin. Two forms exist:
//
//   list text    "a=1,b=2", "red,green,blue", "a=5,b,c=-1,d"
//                Items are separated by ','. Each item is a name, optionally
//                followed by '=' and a decimal value. An item without a value
//                takes the previous item's value plus one (the first: 0).
//                Names lose leading and trailing spaces (U+0020 only).
//   range text   "range 1,10"
//                "range", one separating character (skipped whatever it is),
//                the first value, ',', the last value. The items are the
//                integers from first to last inclusive; each item's text is
//                the value in decimal.
//
// Use:
//   it_enum_list it(L"a=1,b=2");
//   for (it.First(); !it.IsDone(); it.Next())
//       use(it.CurrentItem().index, it.CurrentItem().value, it.CurrentItem().text);
//
// The iterator is a plain value object for one thread at a time. Walking a
// list costs time in proportion to its length and, once the item text has
// grown to the longest item, no heap allocation.
#pragma once

#include "wq_sdk2/wq_check.h"

#include <cstddef>
#include <cstdint>
#include <string>

// One item of an enumeration list.
struct enum_entry {
    std::int32_t index = -1; // 0-based ordinal in the walk, empty items included; -1: no item
    std::int32_t value = 0;  // the item's value
    std::wstring text;       // trimmed name (list text) or decimal value (range text)
};

class it_enum_list {
public:
    // Copies `text` and tells a range text from a list text. The iterator is
    // not positioned: call First() before anything else.
    explicit it_enum_list(const std::wstring &text);

    // Moves to the first item, or makes the iterator done when there is none.
    // May be called again at any time to restart.
    void First();
    // Moves to the next item, or makes the iterator done. A done iterator
    // stays done.
    void Next();
    // True when there is no current item.
    bool IsDone() const { return m_current.index == -1; }
    // The current item. Calling it on a done iterator is a programming error.
    const enum_entry &CurrentItem() const {
        WQ_CHECK(!IsDone());
        return m_current;
    }

    // An item count taken from the text alone, without moving the iterator.
    // It can differ from the number of items a walk yields: an empty text
    // counts 1, a trailing ',' counts one more, a leading ',' one fewer, and
    // a range whose last value is below its first counts |last - first| + 1
    // but yields nothing. A range count beyond 32 bits saturates.
    std::int32_t Count() const;

    // Rewinds and walks until the current item has index `index` (FindIndex)
    // or value `value` (FindValue, the first such item in list order). True
    // with the iterator on that item; false with the iterator done.
    bool FindIndex(std::int32_t index);
    bool FindValue(std::int32_t value);

    // True when some item of `text` has `value`.
    static bool IsValidValue(const std::wstring &text, std::int32_t value);
    // `value` when some item of `text` has it; otherwise the first item's
    // value; 0 when `text` has no items.
    static std::int32_t ForceValidValue(const std::wstring &text, std::int32_t value);
    // Reads an integer as the standard wide string-to-long conversion does in
    // `base` (2 to 36, or 0 to take the base from a 0x or 0 prefix): leading
    // white space skipped, optional sign, stops at the first character that is
    // not a digit of the base, 0 when there is no digit. Results beyond 32
    // bits saturate at -2147483648 and 2147483647. Trailing characters are
    // ignored. An unsupported base gives 0.
    static std::int32_t StringToInt(const std::wstring &text, std::int32_t base);

private:
    // One step forward from the current (or rewound) position.
    void advance();
    void advanceRange();
    void advanceList();

    std::wstring m_enum_list; // own copy of the text; never changed after construction
    enum_entry m_current;     // the current item
    bool m_is_range;          // range text (true) or list text (false)
    // Range text: the first value. List text: the position in m_enum_list
    // where the next item starts. Pointer-sized so that a position in a text
    // of any length fits; in the 32-bit library it is 32 bits.
    std::ptrdiff_t m_start;
    std::int32_t m_last; // range text: the last value; unused for a list text
};
