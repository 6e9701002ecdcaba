// Fuzzes the enumeration-list iterator with any text: every operation, with
// the invariants that every text must keep and a reference reading of list
// and range texts to hold the items against.
//
// Input: [base byte][probe value, 4 bytes little-endian][text bytes]. The
// base byte is read as a signed number, so bases outside 2 to 36 come up too;
// the text bytes are decoded as wide_text.h describes.
#include "fuzz/enum_list_reference.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/wide_text.h"
#include "list_module/it_enum_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Ranges are walked item by item only up to this many items, so that a range
// such as "range -2147483648,2147483647" costs no more than a short list.
constexpr size_t kRangeWalkCap = 4096;

struct Params {
    int32_t base = 10;
    int32_t probe = 0;
    std::wstring text;
};

Params decode(const uint8_t *data, size_t size) {
    Params p;
    if (size >= 1)
        p.base = static_cast<int8_t>(data[0]);
    if (size >= 5) {
        uint32_t probe = 0;
        for (int i = 0; i < 4; ++i)
            probe |= static_cast<uint32_t>(data[1 + i]) << (8 * i);
        std::memcpy(&p.probe, &probe, sizeof probe);
    }
    const size_t head = std::min<size_t>(size, 5);
    p.text = decodeWideText(data + head, size - head);
    return p;
}

bool sameItem(const enum_entry &a, const enum_entry &b) {
    return a.index == b.index && a.value == b.value && a.text == b.text;
}

std::wstring decimal(int32_t v) { return std::to_wstring(static_cast<long long>(v)); }

void checkStringToInt(const std::wstring &text, int32_t base) {
    const int32_t got = it_enum_list::StringToInt(text, base);
    FUZZ_REQUIRE(got == referenceStringToInt(text, base));
}

// The walk, from First() to done or to the cap; checks what holds for each
// item on its own and for each item against the one before it.
std::vector<enum_entry> walk(it_enum_list &it, bool range, size_t cap, bool &complete) {
    std::vector<enum_entry> items;
    complete = false;
    for (it.First(); !it.IsDone(); it.Next()) {
        const enum_entry &e = it.CurrentItem();
        FUZZ_REQUIRE(e.index >= 0 && static_cast<size_t>(e.index) == items.size());
        if (range) {
            FUZZ_REQUIRE(e.text == decimal(e.value));
            if (!items.empty())
                FUZZ_REQUIRE(static_cast<int64_t>(e.value) == int64_t{items.back().value} + 1);
        } else {
            FUZZ_REQUIRE(e.text.find(L',') == std::wstring::npos);
            FUZZ_REQUIRE(e.text.empty() || (e.text.front() != L' ' && e.text.back() != L' '));
        }
        items.push_back(e);
        if (items.size() > cap) {
            // The walk must have ended by now (lists) or is long enough
            // (ranges): stop either way.
            return items;
        }
    }
    complete = true;
    // A done iterator stays done.
    it.Next();
    FUZZ_REQUIRE(it.IsDone());
    it.Next();
    FUZZ_REQUIRE(it.IsDone());
    return items;
}

void checkAgainstListReference(const std::wstring &text, const std::vector<enum_entry> &items,
                               int32_t count) {
    const std::vector<ReferenceItem> expected = referenceListItems(text);
    FUZZ_REQUIRE(items.size() == expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
        FUZZ_REQUIRE(items[i].text == expected[i].name);
        if (expected[i].hasValue) {
            FUZZ_REQUIRE(items[i].value == referenceStringToInt(expected[i].valueText, 10));
        } else if (i == 0) {
            FUZZ_REQUIRE(items[i].value == 0);
        } else if (items[i - 1].value != INT32_MAX) {
            // What follows 2147483647 is the implementation's to choose.
            FUZZ_REQUIRE(items[i].value == items[i - 1].value + 1);
        }
    }

    // Count reads the commas after the first character: a leading ',' adds an
    // item the count misses, a trailing one (or the empty text) counts an
    // item the walk does not yield.
    const bool leadingComma = !text.empty() && text.front() == L',';
    const bool noLastItem = text.empty() || text.back() == L',';
    FUZZ_REQUIRE(static_cast<int64_t>(items.size()) ==
                 int64_t{count} + (leadingComma ? 1 : 0) - (noLastItem ? 1 : 0));
    FUZZ_REQUIRE(static_cast<int64_t>(items.size()) <= int64_t{count} + 1);
}

void checkAgainstRangeReference(const std::wstring &text, const std::vector<enum_entry> &items,
                                bool complete, int32_t count) {
    const std::optional<ReferenceRange> range = referenceRange(text);
    if (!range) {
        // A malformed range text may be read in any way that ends.
        return;
    }
    const int64_t span = int64_t{range->last} - range->first;
    const int64_t expectedCount = (span < 0 ? -span : span) + 1;
    if (expectedCount <= INT32_MAX)
        FUZZ_REQUIRE(count == expectedCount);

    if (range->first > range->last) {
        FUZZ_REQUIRE(items.empty() && complete);
        return;
    }
    // Starting at -2147483648 is the implementation's to handle.
    if (range->first == INT32_MIN)
        return;
    FUZZ_REQUIRE(!items.empty());
    FUZZ_REQUIRE(items.front().value == range->first);
    if (complete) {
        FUZZ_REQUIRE(static_cast<int64_t>(items.size()) == expectedCount);
        FUZZ_REQUIRE(items.back().value == range->last);
    }
}

// Restarting yields the same items again.
void checkRestart(it_enum_list &it, const std::vector<enum_entry> &items) {
    size_t i = 0;
    for (it.First(); !it.IsDone() && i < items.size(); it.Next(), ++i)
        FUZZ_REQUIRE(sameItem(it.CurrentItem(), items[i]));
    FUZZ_REQUIRE(i == items.size());
}

// Index of the first item with `value` among `items`, or -1.
int64_t firstWithValue(const std::vector<enum_entry> &items, int32_t value) {
    for (const enum_entry &e : items) {
        if (e.value == value)
            return e.index;
    }
    return -1;
}

void checkSearches(it_enum_list &it, const std::wstring &text, const std::vector<enum_entry> &items,
                   bool complete, int32_t probe) {
    // A few indices and values, not all: each search walks from the start.
    std::vector<size_t> picks;
    if (!items.empty()) {
        const size_t n = items.size();
        picks = {0, n / 2, n - 1, static_cast<uint32_t>(probe) % n};
    }
    for (size_t i : picks) {
        const enum_entry &e = items[i];
        FUZZ_REQUIRE(it.FindIndex(e.index));
        FUZZ_REQUIRE(sameItem(it.CurrentItem(), e));

        FUZZ_REQUIRE(it.FindValue(e.value));
        FUZZ_REQUIRE(it.CurrentItem().value == e.value);
        FUZZ_REQUIRE(it.CurrentItem().index == firstWithValue(items, e.value));

        FUZZ_REQUIRE(it_enum_list::IsValidValue(text, e.value));
        FUZZ_REQUIRE(it_enum_list::ForceValidValue(text, e.value) == e.value);
    }

    if (!complete)
        return; // a long range: a search that finds nothing walks all of it

    FUZZ_REQUIRE(!it.FindIndex(-1));
    FUZZ_REQUIRE(it.IsDone());
    FUZZ_REQUIRE(!it.FindIndex(static_cast<int32_t>(items.size())));
    FUZZ_REQUIRE(it.IsDone());

    const int64_t at = firstWithValue(items, probe);
    FUZZ_REQUIRE(it.FindValue(probe) == (at >= 0));
    if (at >= 0)
        FUZZ_REQUIRE(sameItem(it.CurrentItem(), items[static_cast<size_t>(at)]));
    else
        FUZZ_REQUIRE(it.IsDone());
    FUZZ_REQUIRE(it_enum_list::IsValidValue(text, probe) == (at >= 0));

    const int32_t forced = it_enum_list::ForceValidValue(text, probe);
    if (at >= 0)
        FUZZ_REQUIRE(forced == probe);
    else
        FUZZ_REQUIRE(forced == (items.empty() ? 0 : items.front().value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const Params p = decode(data, size);

    checkStringToInt(p.text, p.base);
    for (int32_t base = 2; base <= 36; base += 7)
        checkStringToInt(p.text, base);

    it_enum_list it(p.text);
    const bool range = isRangeText(p.text);
    const int32_t count = it.Count();
    FUZZ_REQUIRE(count >= 0);

    // A list yields at most one item per ',' plus one; a range at most Count.
    const size_t cap =
        range ? std::min<size_t>(static_cast<size_t>(count), kRangeWalkCap) : p.text.size() + 1;
    bool complete = false;
    const std::vector<enum_entry> items = walk(it, range, cap, complete);
    FUZZ_REQUIRE(complete || (range && items.size() > kRangeWalkCap));
    FUZZ_REQUIRE(it.Count() == count); // counting does not depend on the position

    if (range)
        checkAgainstRangeReference(p.text, items, complete, count);
    else
        checkAgainstListReference(p.text, items, count);

    checkRestart(it, items);
    checkSearches(it, p.text, items, complete, p.probe);
    return 0;
}
