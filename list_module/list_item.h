// list_item.h - finding one item's name in the list text of the list pin.
//
// The list text is a run of items separated by ','. Each ',' ends an item, so
// two adjacent commas or a leading comma enclose an empty item, which counts.
// The end of the text ends the last item only when something stands between
// the last ',' and the end: "a,b," has two items and the empty text none, as
// the enumeration-list iterator counts them.
//
// An item's name is its bytes before its first '='; without '=' the whole
// item is its name. Nothing is trimmed, quoted or decoded: every byte other
// than ',' and '=' belongs to the name as it stands.
#pragma once

#include <cstdint>
#include <string_view>

// Finds item `number` (counted from 0) of `list` and stores its name, a view
// into `list`, in `name`. Returns false, leaving `name` alone, when `number`
// is negative or the text has no such item. Reads no further than that item.
bool findListItemName(std::string_view list, int32_t number, std::string_view &name);
