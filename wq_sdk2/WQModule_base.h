// SPDX-License-Identifier: MIT
// Copyright (c) the Quendor authors
// WQModule_base.h - base class of every audio-side module object.
//
// The object embeds the audio host record that the host holds and calls
// through: the dispatcher entry for commands, the process word, and the event
// entry for timed events. The entries find the object through the record's
// `object` word and turn each host call into one virtual operation; a module
// class overrides only the operations it needs, every default does nothing.
// Every request of the object to the host goes through callHost.
//
// Objects are created with new (makeModule) and end only through dispatcher
// opcode AD_CLOSE, which closes the object and deletes it.
//
// A module derives one class from it, overrides getPinProperties to declare
// its pins (and open/close or the other operations as needed), and names the
// class in WQ_MODULE_ENTRY_POINTS (wq_module_entry.h), whose makeModule
// hands the host hostRecord().
#pragma once

#include "wq_sdk2/WQMemberRef.h"
#include "wq_sdk2/WQPin.h"
#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <memory>

// Base class of a module's audio-side object: the host record, the dispatcher
// that maps host opcodes to the virtual operations below, and the calls out.
class WQModule_base {
public:
    WQModule_base(const WQModule_base &) = delete;
    WQModule_base &operator=(const WQModule_base &) = delete;
    WQModule_base(WQModule_base &&) = delete;
    WQModule_base &operator=(WQModule_base &&) = delete;

    // Public, so that a module class can take it over with
    // `using WQModule_base::WQModule_base;` instead of writing a forwarding constructor.
    // Fills the host record; makes no host call. Pass on makeModule's
    // callback (may be null: callHost then answers 0) and hostValue.
    WQModule_base(WQHostCallback hostCallback, intptr_t hostValue);

protected:
    // Destroys the pins, the last one first. Makes no host call. Only
    // dispatch() destroys an object (host opcode AD_CLOSE).
    virtual ~WQModule_base();

public:
    // ---- Virtual operations, in the order of the table of operations ----
    // (the destructor above is the first of them)

    // A pin's status changed (EV_PIN_STATUS); the pin holds the new status.
    virtual void onPinStatusChange(WQPin *pin);
    // A timed event arrived; the host delivers it at its own time stamp.
    virtual void handleEvent(WQEvent *e);
    // Turns one host opcode (AD_*) into one operation.
    virtual wq_result_t dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr,
                                 float opt);

    // AD_OPEN: builds the pins from the declarations and the host's pin count.
    virtual void open();
    // AD_CLOSE, before the object deletes itself.
    virtual void close();
    // Reserved; nothing calls it.
    virtual void spareHook1();

    // AD_SET_SAMPLE_RATE / AD_SET_BLOCK_SIZE store what the host announces.
    virtual void setSampleRate(float sample_rate);
    virtual void setBlockSize(int32_t block_size);
    // The last sample rate (first 44100) and block size (first 1024) announced.
    virtual float sampleRate();
    virtual int32_t blockSize();

    // Fills the declaration of pin `index`; false when there is none. Asked
    // by the host (AD_GET_PIN_PROPERTIES, record not cleared: write every
    // field you need) and by open(), also with index -1, which must be refused.
    virtual bool getPinProperties(int32_t index, WQPinProperties *properties);

    // Reserved; nothing calls them. Both answer 0.
    virtual int32_t spareHook2();
    virtual int32_t spareHook3();

    // AD_OPCODE_8: onHostOpcode8, then onHostOpcode8Index for a positive index.
    virtual void onHostOpcode8();
    virtual void onHostOpcode8Index(int32_t index);
    // EV_TYPE_2 with its values; `value2` is the low half of int_value2.
    virtual void onEventType2(uint32_t time_stamp, int32_t value, int16_t value2);
    // AD_OPCODE_12 with (value, index, ptr) in that order.
    virtual void onHostOpcode12(int32_t value, int32_t index, void *ptr);

    // ---- Calls to the host ----

    // Calls the host callback with this object's record first; 0 when there
    // is no callback.
    wq_result_t callHost(int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr,
                         float opt = 0.0f);

    // The host's current sample clock.
    uint32_t SampleClock();

    // Posts a timed event to the host; the time stamp must not lie in the past.
    wq_result_t addEvent(uint32_t p_time_stamp, int32_t event_type, int32_t int_value,
                         int32_t int_value2, intptr_t ptr_value);

    // Has `function` called on this object when the clock reaches `time_stamp`.
    wq_result_t addDelayedCall(uint32_t time_stamp, const WQProcessReference &function);

    // ---- Pins and process function ----

    // The audio-side pin at `index`; the pins must exist and the index must
    // name one of them.
    WQPin *getPin(int32_t index);
    // Number of audio-side pins open() built (the host's count; 0 before open).
    int32_t pinCount() const noexcept { return m_pin_count; }

    // Installs a new process function; the host is told when it changed.
    // Use wq::memberRef<&MyModule::process>() for `function`.
    void setProcessFunction(const WQProcessReference &function);
    // The process function installed now (first processNone).
    WQProcessReference getProcessFunction() const noexcept { return m_process; }

    // The default process function: does nothing.
    void processNone();

    // Clears `properties`, then asks getPinProperties.
    bool queryPinProperties(int32_t index, WQPinProperties *properties);

    // The record the host holds; makeModule hands out its address.
    WQAudioHostRecord *hostRecord() noexcept { return &m_record; }
    const WQAudioHostRecord *hostRecord() const noexcept { return &m_record; }

    // The one process reference record shared by every audio object
    // (AD_GET_PROCESS_REFERENCE overwrites it).
    static const WQProcessReferenceRecord &processReferenceRecord() noexcept;

private:
    // The record's entry functions, as the host calls them: each finds the
    // object through objectOf and stops any exception before it reaches the host.
    static wq_result_t WQ_ABI dispatcherEntry(WQAudioHostRecord *record, int32_t opcode,
                                              int32_t index, int32_t value, void *ptr, float opt);
    static void WQ_ABI eventEntry(void *object, WQEvent *event);
    // The object a record's object word names; a null word is a host's breach.
    static WQModule_base *objectOf(void *object);

    // Layout after the table reference: the callback, then the record.
    const WQHostCallback wqaudioMaster; // the host callback, set once by the constructor
    WQAudioHostRecord m_record;         // the host's handle on this object
    float m_sample_rate = 44100.0f;
    int32_t m_block_size = 1024;
    std::unique_ptr<WQPin[]> m_pins;
    WQProcessReference m_process;
    // Length of m_pins, so that no host index reaches past the array.
    int32_t m_pin_count = 0;
};
