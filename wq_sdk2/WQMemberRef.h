// SPDX-License-Identifier: MIT
// Copyright (c) the Quendor authors
// WQMemberRef.h - portable references to member functions of audio objects.
//
// A process function, and every delayed call, is a member function of the
// module's class that takes no arguments. The host calls it as a plain
// function with the object's address (the record's `object` word), so each
// reference holds a plain function: a thunk generated for one member
// function, which turns the object word back into the object and calls the
// member. A virtual member is called virtually through the thunk, so a
// derived class's override runs.
//
// Nothing here depends on how the compiler represents a pointer to member:
// the member pointer is only a template argument, and the thunk's address is
// all that travels. The adjustment word of WQProcessReference is always 0.
#pragma once

#include "wq_sdk2/wq_check.h"
#include "wq_sdk2/wq_interface.h"

#include <type_traits>

class WQModule_base;

namespace wq {

// Calls member F of the object whose WQModule_base address is `object`.
// T is the class that declares F and derives from WQModule_base. The host
// calls this directly as the record's process word, with the record's object
// word, which is never null; and nothing may unwind out of it.
template <class T, void (T::*F)()> void WQ_ABI memberThunk(void *object) {
    static_assert(std::is_base_of<WQModule_base, T>::value,
                  "process functions are members of WQModule_base classes");
    WQ_CHECK(object != 0);
    try {
        T *self = static_cast<T *>(static_cast<WQModule_base *>(object));
        (self->*F)();
    } catch (...) {
        WQ_CHECK_TEXT(false, kNoExceptionToHost);
    }
}

namespace detail {

template <class M> struct MemberOf;

template <class T> struct MemberOf<void (T::*)()> { using type = T; };

} // namespace detail

// The reference to member function F, for example
//     setProcessFunction(wq::memberRef<&Module::moduleProcess>());
// Each member function has exactly one function word, so two references to
// the same member compare equal.
template <auto F> constexpr WQProcessReference memberRef() noexcept {
    using T = typename detail::MemberOf<decltype(F)>::type;
    return WQProcessReference{&memberThunk<T, F>, 0};
}

// Two references are equal when their function words are equal and either
// their adjustments are equal or the function word is null.
constexpr bool sameReference(const WQProcessReference &a, const WQProcessReference &b) noexcept {
    return a.function == b.function && (a.adjustment == b.adjustment || a.function == nullptr);
}

} // namespace wq
