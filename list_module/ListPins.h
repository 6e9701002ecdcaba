// ListPins.h - the list selector's pins by number, for both of its sides:
// the audio side declares them in this order, the GUI side reads and writes
// them by these names.
#pragma once

#include <cstdint>

enum ListPin : int32_t {
    kPinListText = 0,  // "TEXT LIST": the list text
    kPinSelection = 1, // "LIST": the enumeration pin, its choices the list
    kPinItemName = 2,  // "ITEM -> NAME": the selected item's name
    kPinItemValue = 3, // "ITEM -> VALUE": the selected item's number, as text
    kListPinCount
};
