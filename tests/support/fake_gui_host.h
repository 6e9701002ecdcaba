// fake_gui_host.h - a scripted stand-in for the host's GUI callback.
//
// The object under test is made with FakeGuiHost::callback and the fake's
// hostValue(); the callback finds its fake through the record's hostValue
// word. Every call the object makes is recorded, with a copy of any text it
// passes (the pointer is only valid during the call), and answered by the
// script. PinStoreHost adds what a host does with pin values: it stores
// them, answers reads from the store and can report writes back as nested
// pin-change notifications.
#pragma once

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct HostCall {
    void *record;
    int32_t opcode;
    int32_t index;
    int32_t value;
    void *ptr;
    float opt;
    std::string text; // the text at ptr for the two text writes and the list text
    int depth;        // how many host-to-object dispatches were running (1 = top level)
};

inline std::ostream &operator<<(std::ostream &os, const HostCall &c) {
    os << "{op " << c.opcode << ", index " << c.index << ", value " << c.value << ", ptr "
       << (c.ptr ? "set" : "null") << ", opt " << c.opt;
    if (!c.text.empty())
        os << ", text \"" << c.text << "\"";
    return os << ", depth " << c.depth << "}";
}

// The parts of a call a sequence test compares: what went to the host.
struct Expected {
    int32_t opcode;
    int32_t index;
    int32_t value;
    bool ptrSet;
    std::string text;
    int depth;
};

inline bool matches(const HostCall &c, const Expected &e) {
    return c.opcode == e.opcode && c.index == e.index && c.value == e.value &&
           (c.ptr != nullptr) == e.ptrSet && c.opt == 0.0f && c.text == e.text &&
           c.depth == e.depth;
}

class FakeGuiHost {
public:
    using Script = std::function<wq_result_t(const HostCall &)>;

    FakeGuiHost() = default;
    FakeGuiHost(const FakeGuiHost &) = delete;
    FakeGuiHost &operator=(const FakeGuiHost &) = delete;
    virtual ~FakeGuiHost() = default;

    intptr_t hostValue() const { return reinterpret_cast<intptr_t>(this); }

    static wq_result_t WQ_ABI callback(void *record, int32_t opcode, int32_t index, int32_t value,
                                       void *ptr, float opt) {
        auto *self =
            reinterpret_cast<FakeGuiHost *>(static_cast<WQGuiHostRecord *>(record)->hostValue);
        HostCall call{record, opcode, index, value, ptr, opt, std::string(), self->m_depth};
        if ((opcode == GH_PIN_SET_TEXT || opcode == GH_PIN_SET_LIST_TEXT) && ptr != nullptr)
            call.text = static_cast<const char *>(ptr);
        self->calls.push_back(call);
        return self->answer(call);
    }

    // Sends a request to the object through its record, as the host does.
    wq_result_t dispatch(WQGuiHostRecord *record, int32_t opcode, int32_t index = 0,
                         int32_t value = 0, void *ptr = nullptr, float opt = 0.0f) {
        ++m_depth;
        const wq_result_t result = record->dispatcher(record, opcode, index, value, ptr, opt);
        --m_depth;
        return result;
    }

    std::vector<HostCall> calls;
    Script script; // answers every call; none answers 0

protected:
    virtual wq_result_t answer(const HostCall &call) { return script ? script(call) : 0; }

private:
    int m_depth = 0;
};

// A host that keeps pin values: texts for text pins, an integer for the
// selection pin and the list handed over with GH_PIN_SET_LIST_TEXT. Writes to
// the pins in `echo` are reported back to the object from inside the write.
class PinStoreHost : public FakeGuiHost {
public:
    WQGuiHostRecord *record = nullptr;
    std::map<int32_t, std::string> texts;
    std::map<int32_t, int32_t> values;
    std::string choices;
    std::set<int32_t> echo;
    // Runs inside each call after it is stored, before any echo.
    std::function<void(const HostCall &)> onCall;

protected:
    wq_result_t answer(const HostCall &call) override {
        switch (call.opcode) {
        case GH_PIN_GET_TEXT: return reinterpret_cast<wq_result_t>(texts[call.index].c_str());
        case GH_PIN_GET_VALUE:
            // Stored as a host stores it, as one 32-bit integer: the
            // sanitizers report a slot that is not aligned as one.
            *static_cast<int32_t *>(call.ptr) = values[call.index];
            return 0;
        case GH_PIN_SET_TEXT: texts[call.index] = call.text; break;
        case GH_PIN_SET_VALUE: values[call.index] = call.value; break;
        case GH_PIN_SET_LIST_TEXT: choices = call.text; break;
        default: break;
        }
        if (onCall)
            onCall(call);
        if ((call.opcode == GH_PIN_SET_TEXT || call.opcode == GH_PIN_SET_VALUE) &&
            echo.count(call.index) != 0)
            dispatch(record, GD_PIN_CHANGED, call.index);
        return 0;
    }
};

} // namespace fake
