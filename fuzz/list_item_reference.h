// list_item_reference.h - the list pin's item walk, written again from its
// rules for the fuzzer to check the module against: items are separated by
// ',' (an empty item counts, except after a trailing ',' and in the empty
// text), an item's name is everything before its first '=', and nothing is
// trimmed.
#pragma once

#include <cstdint>
#include <string>

// The name of item `number` of `list`; false when there is no such item.
bool referenceItemName(const std::string &list, int32_t number, std::string &name);
