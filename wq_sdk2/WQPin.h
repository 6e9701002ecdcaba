// SPDX-License-Identifier: MIT
// Copyright (c) the Quendor authors
// WQPin.h - one audio-side pin of a WQModule_base object.
//
// The owning object builds its pins in open() from its pin declarations and
// the host's pin count; each pin knows its object, its audio-side index, its
// data type, the status the host last delivered, and where its value lives.
// A pin that the build step did not reach stays "not set up": it has no
// object, and nothing may act on it.
#pragma once

#include "wq_sdk2/wq_interface.h"

#include <cstdint>

class WQModule_base;

// One audio-side pin: its value's place (variable()), its status, and the
// pin's own requests to the host.
class WQPin {
public:
    // Leaves the pin not set up: no object, index -1, no data type.
    WQPin() noexcept = default;
    virtual ~WQPin() = default;

    WQPin(const WQPin &) = delete;
    WQPin &operator=(const WQPin &) = delete;

    // Sets the pin up. Without a variable, a pin of type DT_ENUM, DT_BYTE,
    // DT_FLOAT or DT_INT keeps a zero of its type in local storage, and a
    // DT_FSAMPLE pin keeps the address of the host's sample buffer there
    // (AH_PIN_BUFFER); m_variable then points at the local storage. Pins of
    // other types have no storage and a null variable. With a variable, the
    // local storage is zero and unused.
    void init(WQModule_base *module, int32_t index, int32_t datatype, void *variable);

    // Records the status the host delivered and tells the owning object.
    // Status 1 is a momentary one: it holds only while the object is told.
    void onStatusChange(int32_t status);

    // Announces a status change to the host, taking effect at `sampleclock`,
    // which must not lie in the past.
    wq_result_t transmitStatus(uint32_t sampleclock, int32_t status);

    // AH_OPCODE_0 for this pin: `first` travels in ptr, `second` in value.
    wq_result_t callHost0(void *first, int32_t second);

    // AH_OPCODE_1 for this pin; a non-zero answer means true.
    bool callHost1();

    // The sample of this DT_FSAMPLE pin's buffer at the host's current clock.
    float getSampleValue();

    // Whether open() reached this pin and set it up.
    bool isSetUp() const noexcept { return m_module != nullptr; }
    // Where the value lives: the declared variable, the local storage, or null.
    void *variable() const noexcept { return m_variable; }
    // The owning object.
    WQModule_base *module() const noexcept { return m_module; }
    // The audio-side index (declarations without an audio pin are not counted).
    int32_t index() const noexcept { return m_index; }
    // The status the host last delivered (a status of 1 reads 0 afterwards).
    int32_t status() const noexcept { return m_status; }
    // The declared data type (DT_*).
    int32_t datatype() const noexcept { return m_datatype; }

    // Local storage of a pin without a variable; wide enough for a buffer
    // address on every target.
    union Storage {
        intptr_t raw;
        int16_t enum_value;
        uint8_t byte_value;
        float float_value;
        int32_t int_value;
        float *buffer;
    };
    // The local storage itself.
    const Storage &storage() const noexcept { return m_storage; }

private:
    void *m_variable = nullptr;
    WQModule_base *m_module = nullptr;
    int32_t m_index = -1;
    int32_t m_status = 0;
    int32_t m_datatype = -1;
    Storage m_storage = {0};
};
