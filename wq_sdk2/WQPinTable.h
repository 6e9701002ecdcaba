// SPDX-License-Identifier: MIT
// Copyright (c) the Quendor authors
// WQPinTable.h - a module's pins declared as one constant table.
//
// Instead of a switch over indices in getPinProperties, a module names its
// pins once, in an enumeration that both of its sides use, and declares them
// in a table in that order:
//
//     // GainPins.h, included by the audio and the GUI side
//     enum GainPin : int32_t { kIn, kOut, kGain, kGainPinCount };
//
//     // Gain.cpp
//     constexpr wq::PinDeclaration kPins[kGainPinCount] = {
//         {"IN", DR_IN, DT_FSAMPLE},
//         {"OUT", DR_OUT, DT_FSAMPLE},
//         {"GAIN", DR_IN, DT_FLOAT, 0, nullptr, wq::pinVariable<&Gain::m_gain>},
//     };
//     bool Gain::getPinProperties(int32_t index, WQPinProperties *properties) {
//         return wq::servePinTable(kPins, *this, index, properties);
//     }
//
// servePinTable refuses every index outside the table (-1 included, which
// the framework's open() asks for), so no index can reach past it.
#pragma once

#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_interface.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace wq {

// Where one object keeps the value of a pin: a function that answers the
// address of that object's variable (see pinVariable).
using PinVariable = void *(*)(WQModule_base &object);

// One pin's declaration. The fields a declaration leaves at their defaults
// (no list text, no variable) are not written, so the host's record keeps
// what it held there; name, direction, data type and flags always are.
struct PinDeclaration {
    const char *name;                // constant text that lives as long as the library
    int32_t direction;               // DR_IN or DR_OUT
    int32_t datatype;                // DT_*
    uint32_t flags = 0;              // IO_* bit set
    const char *list_text = nullptr; // a DT_ENUM pin's choices, e.g. "a=1,b=2"
    PinVariable variable = nullptr;  // the object's own variable for the pin
};

namespace detail {

template <class Member> struct MemberOf;
template <class Value, class Class> struct MemberOf<Value Class::*> {
    using type = Class;
};

} // namespace detail

// The PinVariable of a data member of a module class, for example
// wq::pinVariable<&Gain::m_gain>: each object answers its own member, so the
// declaration serves every object of the class.
template <auto Member> void *pinVariable(WQModule_base &object) {
    using Class = typename detail::MemberOf<decltype(Member)>::type;
    static_assert(std::is_base_of_v<WQModule_base, Class>,
                  "a pin variable is a member of the module's audio class");
    return &(static_cast<Class &>(object).*Member);
}

// Fills `properties` from declaration `index` of `table` for `object`; false,
// and the record left untouched, for an index outside the table.
template <std::size_t Count>
bool servePinTable(const PinDeclaration (&table)[Count], WQModule_base &object, int32_t index,
                   WQPinProperties *properties) {
    static_assert(Count > 0, "a pin table declares at least one pin");
    if (index < 0 || static_cast<std::size_t>(index) >= Count || properties == nullptr)
        return false;
    const PinDeclaration &pin = table[index];
    properties->name = pin.name;
    properties->direction = pin.direction;
    properties->datatype = pin.datatype;
    if (pin.list_text != nullptr)
        properties->list_text = pin.list_text;
    if (pin.variable != nullptr)
        properties->variable = pin.variable(object);
    properties->flags = pin.flags;
    return true;
}

} // namespace wq
