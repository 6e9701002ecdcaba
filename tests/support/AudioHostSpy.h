// AudioHostSpy.h - a stand-in audio host for unit tests of audio-side objects.
//
// Its callback finds the spy through the record's hostValue word, answers the
// requests the audio side makes with configurable values, and records every
// call (with a copy of each posted event) in order.
#pragma once

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace test {

struct HostCall {
    void *record;
    int32_t opcode;
    int32_t index;
    int32_t value;
    void *ptr;
    float opt;
};

class AudioHostSpy {
public:
    static wq_result_t WQ_ABI callback(void *record, int32_t opcode, int32_t index, int32_t value,
                                       void *ptr, float opt) {
        auto *host_record = static_cast<WQAudioHostRecord *>(record);
        auto *self = reinterpret_cast<AudioHostSpy *>(host_record->hostValue);
        return self->answer(HostCall{record, opcode, index, value, ptr, opt});
    }

    // The value to give the object as hostValue, so that the callback finds
    // this spy.
    intptr_t hostValue() { return reinterpret_cast<intptr_t>(this); }

    std::vector<int32_t> opcodes() const {
        std::vector<int32_t> result;
        for (const HostCall &c : calls)
            result.push_back(c.opcode);
        return result;
    }

    size_t count(int32_t opcode) const {
        size_t n = 0;
        for (const HostCall &c : calls)
            n += c.opcode == opcode ? 1 : 0;
        return n;
    }

    // Answers.
    int32_t pin_count = 0;
    uint32_t sample_clock = 0;
    uint32_t buffer_clock = 0;
    std::map<int32_t, float *> buffers;
    wq_result_t other_result = 0; // for every other opcode

    std::vector<HostCall> calls;
    std::vector<WQEvent> posted_events;
    // Runs inside each call, before the answer.
    std::function<void(const HostCall &)> on_call;

private:
    wq_result_t answer(const HostCall &call) {
        calls.push_back(call);
        if (on_call)
            on_call(call);
        switch (call.opcode) {
        case AH_PIN_COUNT: return pin_count;
        case AH_SAMPLE_CLOCK: return static_cast<wq_result_t>(sample_clock);
        case AH_PIN_BUFFER_CLOCK: return static_cast<wq_result_t>(buffer_clock);
        case AH_PIN_BUFFER: {
            auto it = buffers.find(call.index);
            return it == buffers.end() ? 0 : reinterpret_cast<wq_result_t>(it->second);
        }
        case AH_ADD_EVENT:
            posted_events.push_back(*static_cast<const WQEvent *>(call.ptr));
            return other_result;
        default: return other_result;
        }
    }
};

} // namespace test
