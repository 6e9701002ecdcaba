// LeanGuiHost - the least a host can do for a GUI object of the list
// selector, for benchmarks: four pins in fixed-size storage, the pin requests
// answered straight from it, and (optionally) every pin write reported back
// as a nested pin-change notification, as a host does.
//
// It is written against the C interface alone and makes no heap allocation
// while it answers, so the time and the allocations a benchmark measures are
// the module's. The object whose calls are measured and its floor run on the
// same host code.
//
//   pin 0  text     the list text
//   pin 1  integer  the selection, with its list of choices
//   pin 2  text     the item name
//   pin 3  text     the item number as text
//
// A trace of the calls the object makes can be kept while setting up; it is
// off while a benchmark is timed.
#pragma once

#include "wq_sdk2/wq_interface.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// One request of the object to the host, as a trace keeps it.
struct TracedCall {
    int32_t opcode;
    int32_t index;
    int32_t value;
    bool ptrSet;
    std::string text; // the text passed with GH_PIN_SET_TEXT and GH_PIN_SET_LIST_TEXT
    int depth;        // host-to-object dispatches running (1 = the host's own)

    bool operator==(const TracedCall &o) const {
        return opcode == o.opcode && index == o.index && value == o.value && ptrSet == o.ptrSet &&
               text == o.text && depth == o.depth;
    }
};

// One line per call, for reporting a difference between two traces.
std::string describe(const TracedCall &call);

class LeanGuiHost {
public:
    static constexpr int32_t kPinCount = 4;
    // Room for every text, NUL included; longer texts are cut.
    static constexpr std::size_t kTextCapacity = 16384;
    // Nested notifications go no deeper than this.
    static constexpr int kNestingLimit = 8;

    explicit LeanGuiHost(WQMakeModuleProc makeModule);
    ~LeanGuiHost(); // closes the object
    LeanGuiHost(const LeanGuiHost &) = delete;
    LeanGuiHost &operator=(const LeanGuiHost &) = delete;

    // Creates the GUI object (module 0) and opens it; false when the library
    // refuses.
    bool create();

    // Pin values, as the user leaves them; nothing is sent to the object.
    void setText(int32_t pin, const char *text);
    void setInt(int32_t pin, int32_t value);
    const char *text(int32_t pin) const;
    int32_t intValue(int32_t pin) const;
    const char *listText(int32_t pin) const;

    // GD_PIN_CHANGED for `pin`.
    void notify(int32_t pin) { dispatch(GD_PIN_CHANGED, pin); }

    // Whether pin writes come back as nested notifications (default off).
    void setEcho(bool on) noexcept { m_echo = on; }

    // Keeps every call of the object in `trace` (null: stop).
    void setTrace(std::vector<TracedCall> *trace) noexcept { m_trace = trace; }

    wq_result_t dispatch(int32_t opcode, int32_t index);

private:
    struct Pin {
        bool isText;
        int32_t integer;
        char text[kTextCapacity];
        char listText[kTextCapacity];
    };

    static wq_result_t WQ_ABI callback(void *record, int32_t opcode, int32_t index, int32_t value,
                                       void *ptr, float opt);
    wq_result_t answer(int32_t opcode, int32_t index, int32_t value, void *ptr);
    void traceCall(int32_t opcode, int32_t index, int32_t value, const void *ptr);
    void echo(int32_t pin);
    Pin *pin(int32_t index) noexcept;
    const Pin *pin(int32_t index) const noexcept;

    WQMakeModuleProc m_makeModule;
    WQGuiHostRecord *m_record = nullptr;
    bool m_echo = false;
    int m_depth = 0;
    std::vector<TracedCall> *m_trace = nullptr;
    Pin m_pins[kPinCount];
};

} // namespace bench
