// SPDX-License-Identifier: MIT
// Copyright (c) the Quendor authors
// WQGuiPin.h - a GUI-side handle on one of the object's pins.
//
// Pin values live in the host; the GUI object keeps no copy. A handle names
// a pin by its index and carries the GUI object whose host callback reaches
// it. Every operation asks the host afresh through that object's callHost.
//
// Handles come from WQGUI_base::getPin (one shared handle, overwritten by the
// next getPin call of any GUI object: use it at once, never keep it) and from
// the dispatcher's pin-change notification (a temporary that lives for the
// duration of onPinChanged only).
//
// The reads and writes a module makes on every pin change are defined inline
// below, after WQGUI_base: each costs what its host call costs.
#pragma once

#include "wq_sdk2/wq_interface.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class WQGUI_base;

// A pin of a GUI object, by index: reads and writes its value in the host.
struct WQGuiPin {
    int32_t index;      // the pin's index in the module's pin table; sent to the host unchecked
    WQGUI_base *module; // the object whose callHost reaches the pin; not owned

    // GH_PIN_GET_VALUE: the 4-byte slot the host fills, read as an integer.
    int32_t getValueInt() const;
    // GH_PIN_GET_VALUE: the same request, the slot read as a float.
    float getValueFloat() const;

    // GH_PIN_SET_VALUE with the integer in `value` and 0 in `opt`.
    void setValueInt(int32_t v) const;
    // GH_PIN_SET_VALUE with 0 in `value` and the float in `opt`.
    void setValueFloat(float v) const;

    // GH_PIN_SET_TEXT with the address of the string's own NUL-terminated
    // characters, valid only during the request.
    void setValueText(const std::string &s) const;
    // The same request with a NUL-terminated text of the caller's, passed as
    // it is (no copy); null sends the empty text.
    void setValueText(const char *s) const;

    // GH_PIN_GET_TEXT: a copy of the host's 8-bit text up to its first NUL;
    // a null text reads as the empty text.
    std::string getValueText() const;
    // The same request, copied into the caller's buffer instead of a new
    // string: at most size - 1 bytes of the host's text, up to its first
    // NUL, then a NUL. Returns the number of bytes copied; the rest of a
    // longer text is not read. With size 0 nothing is written.
    std::size_t getValueText(char *buffer, std::size_t size) const;

    // Two GH_PIN_GET_TEXT_W requests (length, then the text into a buffer of
    // that many 16-bit units): the units up to the first zero unit, never
    // beyond the reported length. The result holds 16-bit units whatever the
    // width of wchar_t.
    std::u16string getValueTextW() const;
};

// The inline operations call the object's callHost, so they need WQGUI_base
// complete. Whichever of the two headers is included first, both classes are
// complete before the definitions below.
#include "wq_sdk2/WQGUI_base.h"

// Both value reads make the same request; the caller decides how the four
// bytes are read. The slot is aligned as the 32-bit integer a host writes
// there, and starts at zero so that a host that leaves it alone reads as 0
// rather than as stack garbage.
inline int32_t WQGuiPin::getValueInt() const {
    alignas(int32_t) unsigned char slot[4] = {};
    module->callHost(GH_PIN_GET_VALUE, index, 0, slot, 0.0f);
    int32_t v;
    std::memcpy(&v, slot, sizeof v);
    return v;
}

inline float WQGuiPin::getValueFloat() const {
    static_assert(sizeof(float) == 4, "the value slot holds a 32-bit float");
    alignas(int32_t) unsigned char slot[4] = {};
    module->callHost(GH_PIN_GET_VALUE, index, 0, slot, 0.0f);
    float v;
    std::memcpy(&v, slot, sizeof v);
    return v;
}

inline void WQGuiPin::setValueInt(int32_t v) const {
    module->callHost(GH_PIN_SET_VALUE, index, v, nullptr, 0.0f);
}

inline void WQGuiPin::setValueFloat(float v) const {
    module->callHost(GH_PIN_SET_VALUE, index, 0, nullptr, v);
}

inline void WQGuiPin::setValueText(const std::string &s) const {
    // The host only reads the text; the callback's pointer argument is not const.
    module->callHost(GH_PIN_SET_TEXT, index, 0, const_cast<char *>(s.c_str()), 0.0f);
}

inline void WQGuiPin::setValueText(const char *s) const {
    module->callHost(GH_PIN_SET_TEXT, index, 0, const_cast<char *>(s != nullptr ? s : ""), 0.0f);
}

inline std::size_t WQGuiPin::getValueText(char *buffer, std::size_t size) const {
    const wq_result_t result = module->callHost(GH_PIN_GET_TEXT, index, 0, nullptr, 0.0f);
    if (size == 0)
        return 0;
    const char *text = reinterpret_cast<const char *>(result);
    // Copied at once, and no further than the buffer holds: the NUL is
    // looked for only within the first size - 1 bytes.
    std::size_t n = 0;
    if (text != nullptr) {
        const void *nul = std::memchr(text, '\0', size - 1);
        n = nul != nullptr ? static_cast<std::size_t>(static_cast<const char *>(nul) - text)
                           : size - 1;
        std::memcpy(buffer, text, n);
    }
    buffer[n] = '\0';
    return n;
}
