#include "tests/modules/minimal_module.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

wqtest::Faults wqtest::builtFaults() {
    Faults f;
#ifdef WQ_FAULT_MAGIC
    f.wrongAudioMagic = true;
#endif
#ifdef WQ_FAULT_PIN_FLAGS
    f.inconsistentPin = true;
#endif
#ifdef WQ_FAULT_CRASH_OPEN
    f.crashOnAudioOpen = true;
#endif
#ifdef WQ_FAULT_CRASH_SET
    f.crashOnPinChange = true;
#endif
#ifdef WQ_FAULT_HANG
    f.hangOnPinChange = true;
#endif
#ifdef WQ_FAULT_CALLBACK_ORDER
    f.processChangedTooEarly = true;
#endif
#ifdef WQ_FAULT_MAKE_ANY_TYPE
    f.makeAnyType = true;
#endif
#ifdef WQ_FAULT_DESCRIBE_ANY_INDEX
    f.describeAnyIndex = true;
#endif
#ifdef WQ_FAULT_ENDLESS_ECHO
    f.endlessEcho = true;
#endif
#ifdef WQ_FAULT_UNUSED_OPCODE
    f.unusedOpcodeAnswers = true;
#endif
#ifdef WQ_FAULT_HOST_VALUE
    f.hostValueLost = true;
#endif
#ifdef WQ_FAULT_UNSTABLE_PINS
    f.unstableDeclaration = true;
#endif
#ifdef WQ_FAULT_PAST_EVENT
    f.eventIntoThePast = true;
#endif
#ifdef WQ_FAULT_SHARED_OBJECT
    f.sharedObject = true;
#endif
    return f;
}

namespace {

const wqtest::Faults &faults() {
    static const wqtest::Faults f = wqtest::builtFaults();
    return f;
}

[[noreturn]] void contractBroken(const char *text) {
    std::fprintf(stderr, "Assertion failed: %s, file minimal_module.cpp\n", text);
    std::fflush(stderr);
    std::abort();
}

// A write through a null pointer the compiler cannot see coming.
void crash() {
    volatile intptr_t zero = 0;
    *reinterpret_cast<volatile int *>(zero) = 1;
}

struct PinRow {
    const char *name;
    int32_t direction;
    int32_t datatype;
    const char *listText;
    uint32_t flags;
};

const PinRow kPins[] = {
    {"TEXT", DR_IN, DT_TEXT, nullptr, IO_UI_COMMUNICATION},
    {"LENGTH", DR_OUT, DT_INT, nullptr, IO_UI_COMMUNICATION},
    {"MODE", DR_IN, DT_ENUM, "off,on", IO_UI_COMMUNICATION},
    {"SIGNAL", DR_IN, DT_FSAMPLE, nullptr, 0},
};
constexpr int32_t kPinCount = 4;

// ---------------------------------------------------------------- audio side

struct AudioObject {
    WQAudioHostRecord record;
    WQHostCallback host;
    int32_t pinCount = 0;
    float sampleRate = 44100.0f;
    int32_t blockSize = 1024;
};

wq_result_t callHost(AudioObject *o, int32_t opcode, int32_t index = 0, void *ptr = nullptr) {
    return o->host ? o->host(&o->record, opcode, index, 0, ptr, 0.0f) : 0;
}

void WQ_ABI processNone(void *) {}

void WQ_ABI processRun(void *object) {
    callHost(static_cast<AudioObject *>(object), AH_SAMPLE_CLOCK);
}

WQProcessReference g_reference;
WQProcessReferenceRecord g_referenceRecord;

void WQ_ABI audioEvent(void *object, WQEvent *e) {
    auto *o = static_cast<AudioObject *>(object);
    if (e->time_stamp != static_cast<uint32_t>(callHost(o, AH_SAMPLE_CLOCK)))
        contractBroken("e->time_stamp == SampleClock()");
    if (faults().eventIntoThePast && e->time_stamp > 0) {
        WQEvent late;
        std::memset(&late, 0, sizeof late);
        late.time_stamp = e->time_stamp - 1;
        late.event_type = 100;
        callHost(o, AH_ADD_EVENT, 0, &late);
    }
}

bool declare(int32_t index, WQPinProperties *p) {
    if (index < 0 || index >= kPinCount)
        return false;
    static int queries = 0;
    const PinRow &row = kPins[index];
    p->name = row.name;
    if (faults().unstableDeclaration && index == 0)
        p->name = ++queries % 2 ? "TEXT" : "TEXT?";
    p->direction = row.direction;
    p->datatype = row.datatype;
    p->flags = row.flags;
    if (faults().inconsistentPin && index == 2)
        p->flags = IO_PATCH_STORE;
    if (row.listText)
        p->list_text = row.listText;
    return true;
}

void openAudio(AudioObject *o) {
    o->pinCount = static_cast<int32_t>(callHost(o, AH_PIN_COUNT));
    if (o->pinCount > 0)
        callHost(o, AH_PIN_BUFFER, 0);
    if (faults().processChangedTooEarly) {
        callHost(o, AH_PROCESS_CHANGED);
        o->record.process = &processRun;
    } else if (o->record.process != &processRun) {
        o->record.process = &processRun;
        callHost(o, AH_PROCESS_CHANGED);
    }
}

wq_result_t WQ_ABI audioDispatcher(WQAudioHostRecord *record, int32_t opcode, int32_t index,
                                   int32_t value, void *ptr, float opt) {
    auto *o = static_cast<AudioObject *>(record->object);
    switch (opcode) {
    case AD_OPEN:
        if (faults().crashOnAudioOpen)
            crash();
        openAudio(o);
        return 0;
    case AD_CLOSE: delete o; return 1;
    case AD_SET_SAMPLE_RATE: o->sampleRate = opt; return 0;
    case AD_SET_BLOCK_SIZE: o->blockSize = value; return 0;
    case AD_GET_PIN_PROPERTIES: {
        auto *p = static_cast<WQPinProperties *>(ptr);
        const bool declared = declare(index, p);
        if ((p->flags & IO_PATCH_STORE) != 0 && (p->flags & IO_PRIVATE) == 0 &&
            p->direction != DR_OUT && (p->flags & IO_UI_COMMUNICATION) == 0)
            contractBroken("the pin-flag consistency rule");
        return declared ? 1 : 0;
    }
    case AD_OPCODE_9: return faults().unusedOpcodeAnswers ? 1 : 0;
    case AD_GET_PROCESS_REFERENCE:
        g_reference.function = o->record.process;
        g_reference.adjustment = 0;
        g_referenceRecord.count = 1;
        g_referenceRecord.referenceSize = 8;
        g_referenceRecord.reference = &g_reference;
        g_referenceRecord.tag = 1002;
        return reinterpret_cast<wq_result_t>(&g_referenceRecord);
    default: return 0;
    }
}

// ------------------------------------------------------------------ GUI side

struct GuiObject {
    WQGuiHostRecord record;
    WQHostCallback host;
};

wq_result_t callGuiHost(GuiObject *o, int32_t opcode, int32_t index = 0, int32_t value = 0,
                        void *ptr = nullptr) {
    return o->host ? o->host(&o->record, opcode, index, value, ptr, 0.0f) : 0;
}

std::string getText(GuiObject *o, int32_t pin) {
    const char *p = reinterpret_cast<const char *>(callGuiHost(o, GH_PIN_GET_TEXT, pin));
    return p ? std::string(p) : std::string();
}

void pinChanged(GuiObject *o, int32_t pin) {
    if (pin == 0) {
        if (faults().hangOnPinChange) {
            for (volatile unsigned spin = 0;; spin = spin + 1u) {
            }
        }
        if (faults().crashOnPinChange)
            crash();
        std::string text = getText(o, 0);
        if (faults().endlessEcho) {
            text += "+";
            callGuiHost(o, GH_PIN_SET_TEXT, 0, 0, const_cast<char *>(text.c_str()));
            return;
        }
        callGuiHost(o, GH_PIN_SET_VALUE, 1, static_cast<int32_t>(text.size()));
    } else if (pin == 2) {
        int32_t slot = 0;
        callGuiHost(o, GH_PIN_GET_VALUE, 2, 0, &slot);
    }
}

GuiObject g_shared;

wq_result_t WQ_ABI guiDispatcher(WQGuiHostRecord *record, int32_t opcode, int32_t index, int32_t,
                                 void *, float) {
    auto *o = static_cast<GuiObject *>(record->object);
    switch (opcode) {
    case GD_CLOSE:
        if (o != &g_shared)
            delete o;
        return 1;
    case GD_PIN_CHANGED: pinChanged(o, index); return 0;
    case GD_OPCODE_10: return 1;
    default: return 0;
    }
}

void *makeGui(WQHostCallback hostCallback, intptr_t hostValue) {
    GuiObject *o = faults().sharedObject ? &g_shared : new (std::nothrow) GuiObject;
    if (!o)
        return nullptr;
    std::memset(&o->record, 0, sizeof o->record);
    o->record.magic = WQ_GUI_MAGIC;
    o->record.version = WQ_RECORD_VERSION;
    o->record.dispatcher = &guiDispatcher;
    o->record.hostValue = faults().hostValueLost ? 0 : hostValue;
    o->record.object = o;
    o->host = hostCallback;
    return &o->record;
}

void *makeAudio(WQHostCallback hostCallback, intptr_t hostValue) {
    auto *o = new (std::nothrow) AudioObject;
    if (!o)
        return nullptr;
    std::memset(&o->record, 0, sizeof o->record);
    o->record.magic = faults().wrongAudioMagic ? 0x12345678u : WQ_AUDIO_MAGIC;
    o->record.version = WQ_RECORD_VERSION;
    o->record.hostValue = hostValue;
    o->record.object = o;
    o->record.dispatcher = &audioDispatcher;
    o->record.process = &processNone;
    o->record.eventHandler = &audioEvent;
    o->host = hostCallback;
    return &o->record;
}

} // namespace

extern "C" {

WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, WQModuleDescription *record) {
    record->sdkVersion = WQ_SDK_VERSION;
    if (index != 0 && !faults().describeAnyIndex)
        return 0;
    record->name = "Minimal";
    record->id = "minimal";
    record->about = "test module of the validator";
    record->flags = 0;
    record->guiFlags = 0;
    return 1;
}

WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type, WQHostCallback hostCallback,
                                  intptr_t hostValue) {
    if (index != 0)
        return nullptr;
    if (type == WQ_TYPE_AUDIO)
        return makeAudio(hostCallback, hostValue);
    if (type == WQ_TYPE_GUI || faults().makeAnyType)
        return makeGui(hostCallback, hostValue);
    return nullptr;
}

} // extern "C"
