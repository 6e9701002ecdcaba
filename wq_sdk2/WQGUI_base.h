// SPDX-License-Identifier: MIT
// Copyright (c) the Quendor authors
// WQGUI_base.h - base class of every GUI-side module object.
//
// The object embeds the GUI host record, the only part of it the host sees:
// makeModule hands out the record's address, and the host makes every later
// request through the record's dispatcher entry. dispatch() turns each
// request into a call of one virtual operation; every default does nothing
// (or answers false), so a module overrides only what it needs.
//
// The other way, every request of the object to the host goes through
// callHost(), which always passes the record's address, never the object's.
//
// Lifetime: an object is created by makeModule and ends only on host opcode
// GD_CLOSE: close(), then the object deletes itself through its virtual
// destructor. Nothing else frees it.
//
// Threads: none of its own, no locks. getPin() hands out one handle shared by
// every GUI object of the library, so all GUI objects must be driven from one
// thread at a time.
//
// Cost: a module calls getPin, a pin operation and callHost for every value
// it reads or writes, on every pin change, so these are defined inline here
// and in WQGuiPin.h; they cost what the host call itself costs.
#pragma once

#include "wq_sdk2/wq_interface.h"

#include <cstdint>

struct WQGuiPin;

// Base class of a module's GUI-side object: the host record, the dispatcher
// that maps host opcodes to the virtual operations below, pin access and the
// calls out. A module derives from it and overrides onPinChanged (and open,
// close or others as needed).
class WQGUI_base {
public:
    WQGUI_base(const WQGUI_base &) = delete;
    WQGUI_base &operator=(const WQGUI_base &) = delete;
    WQGUI_base(WQGUI_base &&) = delete;
    WQGUI_base &operator=(WQGUI_base &&) = delete;

    // Public, so that a module class can take it over with
    // `using WQGUI_base::WQGUI_base;` instead of writing a forwarding constructor.
    // Fills the record; makes no host call and does not test hostCallback.
    WQGUI_base(WQHostCallback hostCallback, intptr_t hostValue);

protected:
    // Makes no host call. Only dispatch() destroys an object (host opcode
    // GD_CLOSE).
    virtual ~WQGUI_base();

public:
    // ---- Virtual operations, in the order of the table of operations ----
    // (the destructor above is the first of them)

    // Routes one host request to its operation (opcodes compared unsigned;
    // anything outside GD_OPEN..GD_OPCODE_12 reaches nothing and answers 0).
    // On GD_CLOSE the object no longer exists when this returns 1.
    virtual wq_result_t dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr,
                                 float opt);

protected:
    // --- Host opcode GD_OPEN (0) ----------------------------------------------
    // flag: the request's index was 1. Callable from overrides.
    virtual void open(bool flag);
    // --- Host opcode GD_CLOSE (1), before the object is destroyed -------------
    virtual void close();
    // --- Host opcode 2 --------------------------------------------------------
    virtual void onHostOpcode2(int32_t index, void *ptr);
    // --- Host opcodes 3, 4, 5: pair = {index, value}, valid during the call ---
    virtual void onHostOpcode3(void *ptr, float opt, WQPair *pair);
    virtual void onHostOpcode4(void *ptr, float opt, WQPair *pair);
    virtual void onHostOpcode5(void *ptr, float opt, WQPair *pair);
    // --- Host opcodes 8, 9 ----------------------------------------------------
    virtual void onHostOpcode8(void *ptr);
    virtual void onHostOpcode9(void *ptr);
    // --- Host opcode 10: the host is answered 1 for true, 0 for false ---------
    virtual bool onHostOpcode10();
    // --- Host opcodes 11, 12 --------------------------------------------------
    virtual void onHostOpcode11(int32_t index);
    virtual void onHostOpcode12(int32_t index);
    // --- Host opcode 6: note the argument order, value before index -----------
    virtual void onHostOpcode6(int32_t value, int32_t index, void *ptr);
    // --- Host opcode GD_PIN_CHANGED (7) ---------------------------------------
    // pin: a temporary handle {index, this}, valid during the call only and
    // distinct from the shared getPin handle.
    virtual void onPinChanged(WQGuiPin *pin);

public:
    // --- Calls out to the host ------------------------------------------------
    // Each stops the program (check "wqaudioMaster") when the object was made
    // without a host callback; no host call is made then.

    // The host callback with this object's record address first; the host's
    // result unchanged.
    wq_result_t callHost(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
        if (wqaudioMaster == nullptr)
            stopWithoutHostCallback();
        return wqaudioMaster(&m_record, opcode, index, value, ptr, opt);
    }
    // GH_OPCODE_8 with (index, value, ptr, 0).
    wq_result_t callHost8(int32_t index, int32_t value, void *ptr);
    // GH_OPCODE_18 with (0, 0, ptr, 0).
    wq_result_t callHost18(void *ptr);
    // GH_OPCODE_19 with (0, 0, ptr, 0).
    wq_result_t callHost19(void *ptr);
    // GH_OPCODE_20 with (0, 0, ptr, 0); true when the host answers non-zero.
    bool callHost20(void *ptr);

    // The library's one shared pin handle, set to {index, this}. Every call,
    // for any object, returns the same address and overwrites the handle:
    // fetch it afresh for each pin operation.
    inline WQGuiPin *getPin(int32_t index);

    // The record the host holds; makeModule hands out its address.
    WQGuiHostRecord *hostRecord() noexcept { return &m_record; }
    const WQGuiHostRecord *hostRecord() const noexcept { return &m_record; }

private:
    // callHost's stop for an object made without a host callback: fails the
    // check "wqaudioMaster". Out of line, so that callHost stays small.
    void stopWithoutHostCallback() const;

    // The one pin handle that getPin hands out, shared by every GUI object of
    // the library. Constant-initialised, so it is {0, null} before any code runs.
    static WQGuiPin s_sharedPin;

    // The record's entry function, as the host calls it: finds the object
    // through objectOf and stops any exception before it reaches the host.
    static wq_result_t WQ_ABI dispatcherEntry(WQGuiHostRecord *record, int32_t opcode,
                                              int32_t index, int32_t value, void *ptr, float opt);
    // The object a record's object word names; a null word is a host's breach.
    static WQGUI_base *objectOf(void *object);

    // Layout after the table reference: the callback, then the record.
    const WQHostCallback wqaudioMaster; // the host callback, set once by the constructor
    WQGuiHostRecord m_record;           // the host's handle on this object
};

// The pin operations, defined inline in WQGuiPin.h, call callHost: the class
// above must be complete there, so the pin header comes last.
#include "wq_sdk2/WQGuiPin.h"

inline WQGuiPin *WQGUI_base::getPin(int32_t index) {
    s_sharedPin.index = index;
    s_sharedPin.module = this;
    return &s_sharedPin;
}
