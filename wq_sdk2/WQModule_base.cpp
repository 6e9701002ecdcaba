#include "wq_sdk2/WQModule_base.h"

#include "wq_sdk2/wq_check.h"

#include <cstring>
#include <limits>
#include <new>

namespace {

// Opcode 13's answer, shared by every audio object of the library. Its size
// word is the interface's fixed value for a reference.
WQProcessReferenceRecord s_process_reference = {0, 0, nullptr, 0};

constexpr int32_t kProcessReferenceCount = 1;
constexpr int32_t kProcessReferenceSize = 8;
constexpr int32_t kProcessReferenceTag = 1002;

// Whether a declaration gets an audio-side pin: GUI-communication pins do
// not, unless they are dual.
bool getsAudioPin(uint32_t flags) {
    return (flags & IO_UI_COMMUNICATION) == 0 || (flags & IO_UI_DUAL) != 0;
}

} // namespace

WQModule_base::WQModule_base(WQHostCallback hostCallback, intptr_t hostValue)
    : wqaudioMaster(hostCallback), m_process(wq::memberRef<&WQModule_base::processNone>()) {
    std::memset(&m_record, 0, sizeof m_record);
    m_record.magic = WQ_AUDIO_MAGIC;
    m_record.version = WQ_RECORD_VERSION;
    m_record.hostValue = hostValue;
    m_record.object = this;
    m_record.dispatcher = &WQModule_base::dispatcherEntry;
    m_record.process = m_process.function;
    m_record.eventHandler = &WQModule_base::eventEntry;
}

WQModule_base::~WQModule_base() = default;

// ---- Entry functions --------------------------------------------------------

// The host passes the record's own address. The object's virtual dispatch
// does the rest, so a derived dispatch is honoured.
wq_result_t WQ_ABI WQModule_base::dispatcherEntry(WQAudioHostRecord *record, int32_t opcode,
                                                  int32_t index, int32_t value, void *ptr,
                                                  float opt) {
    WQ_CHECK(record != 0);
    WQModule_base *self = objectOf(record->object);
    try {
        return self->dispatch(opcode, index, value, ptr, opt);
    } catch (...) {
        WQ_CHECK_TEXT(false, wq::kNoExceptionToHost);
    }
    return 0;
}

// The host passes the record's object word, then the event.
void WQ_ABI WQModule_base::eventEntry(void *object, WQEvent *event) {
    WQModule_base *self = objectOf(object);
    WQ_CHECK(event != 0);
    try {
        self->handleEvent(event);
    } catch (...) {
        WQ_CHECK_TEXT(false, wq::kNoExceptionToHost);
    }
}

WQModule_base *WQModule_base::objectOf(void *object) {
    WQ_CHECK(object != 0);
    return static_cast<WQModule_base *>(object);
}

const WQProcessReferenceRecord &WQModule_base::processReferenceRecord() noexcept {
    return s_process_reference;
}

// ---- Dispatcher ----------------------------------------------------------

wq_result_t WQModule_base::dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr,
                                    float opt) {
    // Compared unsigned: a negative opcode is simply an unknown one.
    switch (static_cast<uint32_t>(opcode)) {
    case AD_OPEN: open(); return 0;
    case AD_CLOSE:
        close();
        delete this;
        return 1;
    case AD_SET_SAMPLE_RATE: setSampleRate(opt); return 0;
    case AD_SET_BLOCK_SIZE: setBlockSize(value); return 0;
    case AD_OPCODE_4:
    case AD_OPCODE_5: return 0;
    case AD_GET_PIN_PROPERTIES: {
        WQ_CHECK(ptr != 0);
        const bool found = getPinProperties(index, static_cast<WQPinProperties *>(ptr));
        // The declaration is checked whatever getPinProperties answered.
        const WQPinProperties *p = static_cast<const WQPinProperties *>(ptr);
        const bool consistent = (p->flags & IO_PATCH_STORE) == 0 || (p->flags & IO_PRIVATE) != 0 ||
                                p->direction == DR_OUT || (p->flags & IO_UI_COMMUNICATION) != 0;
        WQ_CHECK_TEXT(consistent, "(((WQPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
                                  "(((WQPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
                                  "((WQPinProperties*)ptr)->direction == DR_OUT || "
                                  "( ( (WQPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0");
        return found ? 1 : 0;
    }
    case AD_OPCODE_7:
        // The host never sends this opcode to an audio-side object.
        WQ_CHECK(false);
        return 0;
    case AD_OPCODE_8:
        onHostOpcode8();
        if (index > 0)
            onHostOpcode8Index(index);
        return 0;
    case AD_OPCODE_9: return 0;
    case AD_OPCODE_10:
        // The host never sends this opcode to an audio-side object.
        WQ_CHECK(false);
        return 0;
    case AD_OPCODE_11: return 0;
    case AD_OPCODE_12: onHostOpcode12(value, index, ptr); return 0;
    case AD_GET_PROCESS_REFERENCE:
        s_process_reference.count = kProcessReferenceCount;
        s_process_reference.referenceSize = kProcessReferenceSize;
        s_process_reference.reference = &m_process;
        s_process_reference.tag = kProcessReferenceTag;
        return reinterpret_cast<wq_result_t>(&s_process_reference);
    default: return 0;
    }
}

// ---- Events ----------------------------------------------------------------

void WQModule_base::handleEvent(WQEvent *e) {
    WQ_CHECK(e->time_stamp == SampleClock());
    switch (e->event_type) {
    case EV_PIN_STATUS: {
        // An index that does not fit the pin index type names no pin.
        const intptr_t raw = e->ptr_value;
        const int32_t index =
            raw >= 0 && raw <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(raw) : -1;
        WQPin *pin = getPin(index);
        WQ_CHECK(pin->isSetUp());
        pin->onStatusChange(e->int_value);
        return;
    }
    case EV_TYPE_2:
        onEventType2(e->time_stamp, e->int_value,
                     static_cast<int16_t>(static_cast<uint16_t>(e->int_value2 & 0xFFFF)));
        return;
    case EV_DELAYED_CALL: {
        // The word addDelayedCall posted: a plain function taking the object.
        WQProcessProc function = reinterpret_cast<WQProcessProc>(e->ptr_value);
        if (function != nullptr)
            function(this);
        return;
    }
    default: return;
    }
}

// ---- Calls to the host -----------------------------------------------------

wq_result_t WQModule_base::callHost(int32_t opcode, int32_t index, int32_t value, void *ptr,
                                    float opt) {
    if (wqaudioMaster == nullptr)
        return 0;
    return wqaudioMaster(&m_record, opcode, index, value, ptr, opt);
}

uint32_t WQModule_base::SampleClock() { return static_cast<uint32_t>(callHost(AH_SAMPLE_CLOCK)); }

wq_result_t WQModule_base::addEvent(uint32_t p_time_stamp, int32_t event_type, int32_t int_value,
                                    int32_t int_value2, intptr_t ptr_value) {
    WQ_CHECK(p_time_stamp >= SampleClock());
    WQEvent event;
    event.time_stamp = p_time_stamp;
    event.event_type = event_type;
    event.int_value = int_value;
    event.int_value2 = int_value2;
    event.ptr_value = ptr_value;
    event.next = nullptr;
    return callHost(AH_ADD_EVENT, 0, 0, &event, 0.0f);
}

wq_result_t WQModule_base::addDelayedCall(uint32_t time_stamp, const WQProcessReference &function) {
    // Only the function word travels: the adjustment is always 0.
    return addEvent(time_stamp, EV_DELAYED_CALL, 0, 0,
                    reinterpret_cast<intptr_t>(function.function));
}

// ---- Pins and process function ----------------------------------------------

WQPin *WQModule_base::getPin(int32_t index) {
    WQ_CHECK(m_pins != 0);
    WQ_CHECK(index >= 0 && index < m_pin_count);
    return &m_pins[index];
}

void WQModule_base::setProcessFunction(const WQProcessReference &function) {
    if (wq::sameReference(function, m_process))
        return;
    m_process = function;
    m_record.process = function.function;
    callHost(AH_PROCESS_CHANGED);
}

void WQModule_base::processNone() {}

bool WQModule_base::queryPinProperties(int32_t index, WQPinProperties *properties) {
    std::memset(properties, 0, sizeof *properties);
    return getPinProperties(index, properties);
}

// ---- Virtual defaults --------------------------------------------------------

void WQModule_base::onPinStatusChange(WQPin *) {}

void WQModule_base::open() {
    // Opened again: the old pins go before the new ones are built.
    m_pins.reset();
    m_pin_count = 0;

    const int32_t count = static_cast<int32_t>(callHost(AH_PIN_COUNT));
    if (count > 0) {
        // A count the memory cannot hold leaves the object without pins.
        m_pins.reset(new (std::nothrow) WQPin[static_cast<size_t>(count)]);
        if (m_pins)
            m_pin_count = count;
    }

    WQPinProperties properties;
    int32_t d = 0;
    int32_t p = 0;
    for (;;) {
        if (!queryPinProperties(d, &properties))
            break;
        if (p >= m_pin_count)
            break;
        if (getsAudioPin(properties.flags)) {
            m_pins[p].init(this, p, properties.datatype, properties.variable);
            ++p;
        }
        ++d;
    }

    // The declaration before the one the walk stopped at may repeat itself
    // for the pins the host counts beyond the declarations.
    queryPinProperties(d - 1, &properties);
    if (getsAudioPin(properties.flags) && (properties.flags & IO_REPEATING) != 0) {
        while (p < m_pin_count) {
            m_pins[p].init(this, p, properties.datatype, nullptr);
            ++p;
        }
    }
}

void WQModule_base::close() {}
void WQModule_base::spareHook1() {}
void WQModule_base::setSampleRate(float sample_rate) { m_sample_rate = sample_rate; }
void WQModule_base::setBlockSize(int32_t block_size) { m_block_size = block_size; }
float WQModule_base::sampleRate() { return m_sample_rate; }
int32_t WQModule_base::blockSize() { return m_block_size; }
bool WQModule_base::getPinProperties(int32_t, WQPinProperties *) { return false; }
int32_t WQModule_base::spareHook2() { return 0; }
int32_t WQModule_base::spareHook3() { return 0; }
void WQModule_base::onHostOpcode8() {}
void WQModule_base::onHostOpcode8Index(int32_t) {}
void WQModule_base::onEventType2(uint32_t, int32_t, int16_t) {}
void WQModule_base::onHostOpcode12(int32_t, int32_t, void *) {}
