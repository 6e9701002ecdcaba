// CallRecord - one call between the host and a module, in either direction,
// as the call log keeps it; and makeCall(), the one place that builds a
// record from what an entry was called with.
#pragma once

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <string>

namespace wqhost {

enum class Direction { HostToModule, ModuleToHost };

// Which face of the module a call belongs to: the library's two exports, an
// audio-side object or a GUI-side object.
enum class Side { Library, Audio, Gui };

enum class CallKind {
    GetModuleProperties, // index = module index; ptr = description record
    MakeModule,          // index = module index, value = object type, ptr = hostValue
    Dispatch,            // a record's dispatcher entry
    Process,             // the audio record's process word; ptr = object word
    Event,               // the audio record's event entry; `event` holds the event
    Callback             // the host callback, called by the module
};

struct CallRecord {
    uint64_t seq = 0; // position in the log, from 0
    Direction direction = Direction::HostToModule;
    Side side = Side::Library;
    CallKind kind = CallKind::Dispatch;
    const void *record = nullptr; // the host record concerned, or null
    int32_t opcode = 0;
    int32_t index = 0;
    int32_t value = 0;
    intptr_t ptr = 0;
    float opt = 0.0f;
    intptr_t result = 0;
    bool returned = false; // false while the call runs, or if it never came back
    int depth = 0;         // 0 for a call the host makes on its own
    uint32_t clock = 0;    // the host's sample clock when the call began (audio side)
    std::string text;      // a text the call carries (GH_PIN_SET_TEXT, GH_PIN_SET_LIST_TEXT)
    std::string answer;    // what the host answered in words (a text, a slot value)
    bool hasEvent = false; // true for CallKind::Event and AH_ADD_EVENT
    WQEvent event{};       // a copy of the event, with `next` cleared
};

// The arguments every dispatcher entry and the host callback take after the
// record.
struct CallArgs {
    int32_t opcode = 0;
    int32_t index = 0;
    int32_t value = 0;
    void *ptr = nullptr;
    float opt = 0.0f;
};

// A call about to be entered in a log. A callback goes from module to host,
// every other kind from host to module. `clock` is the audio side's sample
// clock (0 elsewhere).
CallRecord makeCall(Side side, CallKind kind, const void *record, const CallArgs &args = CallArgs(),
                    uint32_t clock = 0);

// Whether the call hands the host a text (GH_PIN_SET_TEXT,
// GH_PIN_SET_LIST_TEXT): its text is shown even when empty.
bool carriesText(const CallRecord &call) noexcept;

} // namespace wqhost
