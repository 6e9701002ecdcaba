// A small module library for the host's own tests, written against the C
// interface alone. Its behaviour is chosen to exercise the host: it posts and
// chains events, asks for pin buffers, swaps its process word, reads texts in
// both widths and writes pins back, and one pin ("LOOP") rewrites itself on
// every change, so an echoing host needs its nesting limit.
//
// Audio dispatcher opcode 12 carries test commands in `index`:
//   1  post an event of type 100 at `value`
//   2  post an event of type 101 at `value` that re-posts itself
//      int_value (= (int)opt) more times, `value2` = 7 samples apart
//   3  swap the process word and tell the host (AH_PROCESS_CHANGED)
//   4  swap the process word without telling the host
//   5  return the host's AH_PIN_BUFFER for pin `value`
//   6  return the host's AH_PIN_BUFFER_CLOCK for pin `value`
//   7  return AH_OPCODE_0 (pin `value`) plus 1000 * AH_OPCODE_1 (pin `value`)
//   8  post an event of type 102 at `value`; on delivery it posts one of
//      type 100 one sample in the past
// GUI pin changes: pin 0's text becomes pin 4's list of choices and is copied
// to pin 2; half of pin 1's integer is written to pin 3 as a float; pin 3 is
// read as a float; pin 4 is read as an integer and in 16-bit units and copied
// to pin 2; pin 5 appends "+" to its own text.
// GUI dispatcher opcode 12 with `index` 1 reads pin `value` through
// GH_PIN_GET_TEXT_W and writes the units, narrowed, to pin 2.
#include "wq_sdk2/wq_interface.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

enum { kPinCount = 7 };

struct PinRow {
    const char *name;
    int32_t direction;
    int32_t datatype;
    const char *listText;
    uint32_t flags;
};

const PinRow kPins[kPinCount] = {
    {"TEXT", DR_OUT, DT_TEXT, nullptr, IO_UI_COMMUNICATION},
    {"NUMBER", DR_IN, DT_INT, nullptr, IO_UI_COMMUNICATION},
    {"COPY", DR_OUT, DT_TEXT, nullptr, IO_UI_COMMUNICATION},
    {"LEVEL", DR_IN, DT_FLOAT, nullptr, IO_UI_COMMUNICATION},
    {"CHOICE", DR_IN, DT_ENUM, "x,y,z", IO_UI_COMMUNICATION},
    {"LOOP", DR_OUT, DT_TEXT, nullptr, IO_UI_COMMUNICATION},
    {"SIGNAL", DR_IN, DT_FSAMPLE, nullptr, 0},
};

// ---------------------------------------------------------------- audio side

struct AudioObject {
    WQAudioHostRecord record;
    WQHostCallback host;
    int32_t pinCount = 0;
};

wq_result_t callAudioHost(AudioObject *o, int32_t opcode, int32_t index = 0, int32_t value = 0,
                          void *ptr = nullptr) {
    return o->host ? o->host(&o->record, opcode, index, value, ptr, 0.0f) : 0;
}

void WQ_ABI processA(void *object) {
    callAudioHost(static_cast<AudioObject *>(object), AH_OPCODE_10);
}

void WQ_ABI processB(void *object) {
    callAudioHost(static_cast<AudioObject *>(object), AH_OPCODE_1);
}

wq_result_t postEvent(AudioObject *o, uint32_t time, int32_t type, int32_t a, int32_t b) {
    WQEvent e;
    std::memset(&e, 0, sizeof e);
    e.time_stamp = time;
    e.event_type = type;
    e.int_value = a;
    e.int_value2 = b;
    return callAudioHost(o, AH_ADD_EVENT, 0, 0, &e);
}

void WQ_ABI audioEvent(void *object, WQEvent *e) {
    auto *o = static_cast<AudioObject *>(object);
    // The clocks as the object sees them while the event is delivered.
    callAudioHost(o, AH_SAMPLE_CLOCK);
    callAudioHost(o, AH_PIN_BUFFER_CLOCK);
    if (e->event_type == 101 && e->int_value > 0)
        postEvent(o, e->time_stamp + static_cast<uint32_t>(e->int_value2), 101, e->int_value - 1,
                  e->int_value2);
    if (e->event_type == 102)
        postEvent(o, e->time_stamp - 1, 100, 0, 0);
}

wq_result_t WQ_ABI audioDispatcher(WQAudioHostRecord *record, int32_t opcode, int32_t index,
                                   int32_t value, void *ptr, float opt) {
    auto *o = static_cast<AudioObject *>(record->object);
    switch (opcode) {
    case AD_OPEN: o->pinCount = static_cast<int32_t>(callAudioHost(o, AH_PIN_COUNT)); return 0;
    case AD_CLOSE: delete o; return 1;
    case AD_GET_PIN_PROPERTIES: {
        if (index < 0 || index >= kPinCount)
            return 0;
        auto *p = static_cast<WQPinProperties *>(ptr);
        const PinRow &row = kPins[index];
        p->name = row.name;
        p->direction = row.direction;
        p->datatype = row.datatype;
        p->flags = row.flags;
        if (row.listText)
            p->list_text = row.listText;
        return 1;
    }
    case AD_OPCODE_12:
        switch (index) {
        case 1: return postEvent(o, static_cast<uint32_t>(value), 100, 0, 0);
        case 2:
            return postEvent(o, static_cast<uint32_t>(value), 101, static_cast<int32_t>(opt), 7);
        case 3:
            o->record.process = &processB;
            callAudioHost(o, AH_PROCESS_CHANGED);
            return 0;
        case 4: o->record.process = &processB; return 0;
        case 5: return callAudioHost(o, AH_PIN_BUFFER, value);
        case 6: return callAudioHost(o, AH_PIN_BUFFER_CLOCK, value);
        case 7:
            return callAudioHost(o, AH_OPCODE_0, value) +
                   1000 * callAudioHost(o, AH_OPCODE_1, value);
        case 8: return postEvent(o, static_cast<uint32_t>(value), 102, 0, 0);
        default: return 0;
        }
    default: return 0;
    }
}

// ------------------------------------------------------------------ GUI side

struct GuiObject {
    WQGuiHostRecord record;
    WQHostCallback host;
};

wq_result_t callGuiHost(GuiObject *o, int32_t opcode, int32_t index = 0, int32_t value = 0,
                        void *ptr = nullptr, float opt = 0.0f) {
    return o->host ? o->host(&o->record, opcode, index, value, ptr, opt) : 0;
}

std::string getText(GuiObject *o, int32_t pin) {
    const char *p = reinterpret_cast<const char *>(callGuiHost(o, GH_PIN_GET_TEXT, pin));
    return p ? std::string(p) : std::string();
}

int32_t getInt(GuiObject *o, int32_t pin) {
    int32_t slot = 0;
    callGuiHost(o, GH_PIN_GET_VALUE, pin, 0, &slot);
    return slot;
}

float getFloat(GuiObject *o, int32_t pin) {
    float slot = 0.0f;
    callGuiHost(o, GH_PIN_GET_VALUE, pin, 0, &slot);
    return slot;
}

void setText(GuiObject *o, int32_t pin, const std::string &text) {
    callGuiHost(o, GH_PIN_SET_TEXT, pin, 0, const_cast<char *>(text.c_str()));
}

// Reads a pin in 16-bit units; a negative length reads as 0, and the scan
// never leaves the buffer.
std::string getTextNarrowed(GuiObject *o, int32_t pin) {
    wq_result_t n = callGuiHost(o, GH_PIN_GET_TEXT_W, pin);
    if (n < 0)
        n = 0;
    if (n > 1 << 20)
        n = 1 << 20;
    std::vector<uint16_t> buffer(static_cast<size_t>(n) + 1, 0);
    callGuiHost(o, GH_PIN_GET_TEXT_W, pin, static_cast<int32_t>(n), buffer.data());
    std::string out;
    for (wq_result_t i = 0; i < n && buffer[static_cast<size_t>(i)] != 0; ++i)
        out += static_cast<char>(buffer[static_cast<size_t>(i)] & 0xFF);
    return out;
}

void pinChanged(GuiObject *o, int32_t pin) {
    switch (pin) {
    case 0: {
        std::string text = getText(o, 0);
        callGuiHost(o, GH_PIN_SET_LIST_TEXT, 4, 0, const_cast<char *>(text.c_str()));
        setText(o, 2, text);
        break;
    }
    case 1:
        callGuiHost(o, GH_PIN_SET_VALUE, 3, 0, nullptr, static_cast<float>(getInt(o, 1)) * 0.5f);
        break;
    case 3: getFloat(o, 3); break;
    case 4:
        getInt(o, 4);
        setText(o, 2, getTextNarrowed(o, 4));
        break;
    case 5: setText(o, 5, getText(o, 5) + "+"); break;
    default: break;
    }
}

wq_result_t WQ_ABI guiDispatcher(WQGuiHostRecord *record, int32_t opcode, int32_t index,
                                 int32_t value, void *, float) {
    auto *o = static_cast<GuiObject *>(record->object);
    switch (opcode) {
    case GD_OPEN: callGuiHost(o, GH_OPCODE_22); return 0;
    case GD_CLOSE:
        callGuiHost(o, GH_OPCODE_22);
        delete o;
        return 1;
    case GD_PIN_CHANGED: pinChanged(o, index); return 0;
    case GD_OPCODE_10: return 1;
    case GD_OPCODE_12:
        if (index == 1)
            setText(o, 2, getTextNarrowed(o, value));
        return 0;
    default: return 0;
    }
}

} // namespace

extern "C" {

WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, WQModuleDescription *record) {
    record->sdkVersion = WQ_SDK_VERSION;
    if (index != 0)
        return 0;
    record->name = "Echo";
    record->id = "echo-test";
    record->about = "host test module";
    record->flags = 0;
    record->guiFlags = 0;
    return 1;
}

WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type, WQHostCallback hostCallback,
                                  intptr_t hostValue) {
    if (index != 0)
        return nullptr;
    if (type == WQ_TYPE_AUDIO) {
        auto *o = new (std::nothrow) AudioObject;
        if (!o)
            return nullptr;
        std::memset(&o->record, 0, sizeof o->record);
        o->record.magic = WQ_AUDIO_MAGIC;
        o->record.version = WQ_RECORD_VERSION;
        o->record.hostValue = hostValue;
        o->record.object = o;
        o->record.dispatcher = &audioDispatcher;
        o->record.process = &processA;
        o->record.eventHandler = &audioEvent;
        o->host = hostCallback;
        return &o->record;
    }
    if (type == WQ_TYPE_GUI) {
        auto *o = new (std::nothrow) GuiObject;
        if (!o)
            return nullptr;
        std::memset(&o->record, 0, sizeof o->record);
        o->record.magic = WQ_GUI_MAGIC;
        o->record.version = WQ_RECORD_VERSION;
        o->record.dispatcher = &guiDispatcher;
        o->record.hostValue = hostValue;
        o->record.object = o;
        o->host = hostCallback;
        return &o->record;
    }
    return nullptr;
}

} // extern "C"
