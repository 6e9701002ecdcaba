// DoublerPins.h - the Doubler's pins by number, for both of its sides: the
// audio side declares them in this order (Doubler.cpp), the GUI side reads
// and writes them by these names (DoublerGui.cpp).
#pragma once

#include <cstdint>

enum DoublerPin : int32_t {
    kNumberPin,  // "NUMBER": a decimal number, written as text by the user
    kDoubledPin, // "DOUBLED": twice that number, written by the module
    kDoublerPinCount
};
