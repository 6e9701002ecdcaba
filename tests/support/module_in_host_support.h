// Shared helpers of the end-to-end tests: the built module library loaded in
// the reference host, and a compact view of what the host's trace recorded.
#pragma once

#include "host/trace/CallLog.h"

#include <ostream>
#include <string>
#include <vector>

namespace wqtest {

// One request the module made of the host, or one nested notification the
// host made of the module (echo = true, opcode GD_PIN_CHANGED).
struct Request {
    int32_t opcode;
    int32_t index;
    int32_t value;
    bool hasPtr;
    std::string text; // the text written, or the text/value the host answered
    bool echo = false;

    bool operator==(const Request &o) const {
        return opcode == o.opcode && index == o.index && value == o.value && hasPtr == o.hasPtr &&
               text == o.text && echo == o.echo;
    }
    friend std::ostream &operator<<(std::ostream &os, const Request &r) {
        return os << (r.echo ? "echo " : "") << "{op " << r.opcode << ", index " << r.index
                  << ", value " << r.value << (r.hasPtr ? ", ptr" : ", null") << ", \"" << r.text
                  << "\"}";
    }
};

inline Request echoOf(int32_t pin) { return Request{GD_PIN_CHANGED, pin, 0, false, "", true}; }

// Everything nested inside the host's own calls, in order. Every request's
// `opt` must be 0 in this module, which is checked by the caller through
// allOptsZero().
inline std::vector<Request> nestedRequests(const wqhost::CallLog &log) {
    std::vector<Request> out;
    for (const wqhost::CallRecord &c : log.calls()) {
        if (c.depth == 0 || c.side != wqhost::Side::Gui)
            continue;
        if (c.kind == wqhost::CallKind::Dispatch)
            out.push_back(echoOf(c.index));
        else
            out.push_back(Request{c.opcode, c.index, c.value, c.ptr != 0,
                                  c.text.empty() ? c.answer : c.text});
    }
    return out;
}

inline bool allOptsZero(const wqhost::CallLog &log) {
    for (const wqhost::CallRecord &c : log.calls())
        if (c.kind == wqhost::CallKind::Callback && c.opt != 0.0f)
            return false;
    return true;
}

} // namespace wqtest
