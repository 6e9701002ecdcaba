#include "host/core/AudioHost.h"

#include "host/platform/UntrustedText.h"

#include <algorithm>
#include <cstring>

namespace wqhost {

AudioHost::AudioHost(std::shared_ptr<const ModuleLibrary> library)
    : AudioHost(std::move(library), Options()) {}

AudioHost::AudioHost(std::shared_ptr<const ModuleLibrary> library, Options options, CallLog *log)
    : HostObject(std::move(library), log), m_options(std::move(options)) {
    if (m_options.blockSize == 0 || m_options.blockSize > m_options.maxBlockSize)
        throw HostError("block size " + std::to_string(m_options.blockSize) + " is not within 1.." +
                        std::to_string(m_options.maxBlockSize));
    m_blockSize = m_options.blockSize;
    m_clock = m_bufferClock = m_options.startClock;
}

AudioHost::~AudioHost() {
    if (isLive()) {
        try {
            close();
        } catch (...) {
            forget();
        }
    }
}

bool AudioHost::create(int32_t moduleIndex) {
    if (!createRecord(moduleIndex))
        return false;
    m_process = m_record->process;
    m_clock = m_bufferClock = m_options.startClock;
    m_events.clear();
    m_pins.clear();
    m_given.clear();
    m_toldBlockSize = 0;
    m_toldRate = 0.0f;
    return true;
}

void AudioHost::forget() noexcept {
    forgetRecord();
    m_process = nullptr;
    m_events.clear();
    m_pins.clear();
    m_given.clear();
}

void AudioHost::checkGivenInputs(const char *call) {
    if (!m_record || m_given.empty())
        return;
    for (const std::string &change : m_given.changed())
        problem(ProblemCode::InputChanged,
                std::string(call) + " changed " + change +
                    ": the variable of an input belongs to the host; keep what you make of it "
                    "in a variable of your own");
}

intptr_t AudioHost::dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    const intptr_t result = dispatchToLive(CallArgs{opcode, index, value, ptr, opt}, m_clock);
    if (opcode == AD_CLOSE)
        forget();
    return result;
}

intptr_t AudioHost::close() {
    const intptr_t result = dispatch(AD_CLOSE);
    checkCloseResult(Side::Audio, result);
    return result;
}

intptr_t AudioHost::setBlockSize(uint32_t blockSize) {
    if (blockSize == 0 || blockSize > m_options.maxBlockSize)
        throw HostError("block size " + std::to_string(blockSize) + " is not within 1.." +
                        std::to_string(m_options.maxBlockSize));
    intptr_t result = dispatch(AD_SET_BLOCK_SIZE, 0, static_cast<int32_t>(blockSize));
    m_blockSize = blockSize;
    m_toldBlockSize = blockSize;
    return result;
}

void AudioHost::adoptBlockSize(uint32_t blockSize) {
    if (blockSize == 0 || blockSize > m_options.maxBlockSize)
        throw HostError("block size " + std::to_string(blockSize) + " is not within 1.." +
                        std::to_string(m_options.maxBlockSize));
    m_blockSize = blockSize;
}

intptr_t AudioHost::setSampleRate(float rate) {
    const intptr_t result = dispatch(AD_SET_SAMPLE_RATE, 0, 0, nullptr, rate);
    m_toldRate = rate;
    return result;
}

void AudioHost::tellBlockSize(uint32_t length) {
    // A module never told a block size is left as it is for whole blocks
    // (a session tells it when it starts); a part always needs its length.
    if (length == m_toldBlockSize || (m_toldBlockSize == 0 && length == m_blockSize))
        return;
    dispatch(AD_SET_BLOCK_SIZE, 0, static_cast<int32_t>(length));
    m_toldBlockSize = length;
}

void AudioHost::setAudioPins(std::vector<AudioPinSlot> pins) {
    requireLive("set up the audio pins of");
    m_pins = std::move(pins);
    for (const AudioPinSlot &pin : m_pins) {
        if (pin.datatype != DT_FSAMPLE || !pin.variable)
            continue;
        // The variable of a sample pin holds its buffer's address, as the
        // pin's own storage does when the host answers AH_PIN_BUFFER.
        float *buffer = pinBuffer(pin.index);
        std::memcpy(pin.variable, &buffer, sizeof buffer);
        if (pin.direction == DR_IN)
            m_given.given({pin.declaration, pin.name, pin.datatype}, pin.variable, &buffer,
                          sizeof buffer);
    }
}

const AudioPinSlot *AudioHost::audioPin(int32_t index) const noexcept {
    if (index < 0 || static_cast<size_t>(index) >= m_pins.size())
        return nullptr;
    return &m_pins[static_cast<size_t>(index)];
}

bool AudioHost::scheduleStatus(int32_t pin, uint32_t clock, int32_t status) {
    if (!audioPin(pin) || clock < m_clock)
        return false;
    Pending p;
    std::memset(&p.event, 0, sizeof p.event);
    p.event.time_stamp = clock;
    p.event.event_type = EV_PIN_STATUS;
    p.event.int_value = status;
    p.event.ptr_value = pin;
    p.order = m_eventOrder++;
    m_events.push_back(p);
    return true;
}

bool AudioHost::scheduleValue(int32_t pin, uint32_t clock, const ControlValue &value) {
    const AudioPinSlot *slot = audioPin(pin);
    if (!slot || !scheduleStatus(pin, clock, kStatusChanged))
        return false;
    Pending &p = m_events.back();
    p.write = slot->variable != nullptr;
    p.pin = pin;
    p.variable = slot->variable;
    p.datatype = slot->datatype;
    p.value = value;
    return true;
}

bool AudioHost::queryPin(int32_t index, WQPinProperties &record) {
    return dispatch(AD_GET_PIN_PROPERTIES, index, 0, &record) != 0;
}

std::vector<PinDeclaration> AudioHost::readPinDeclarations(const WQPinProperties *prefill) {
    WQPinProperties blank;
    std::memset(&blank, 0, sizeof blank);
    const WQPinProperties &start = prefill ? *prefill : blank;
    std::vector<PinDeclaration> table;
    for (int32_t i = 0; i < m_options.maxPinDeclarations; ++i) {
        PinDeclaration d;
        d.index = i;
        d.record = start;
        if (!queryPin(i, d.record))
            return table;
        d.nameWritten = d.record.name != start.name;
        // Read without trusting the pointers: the declaration checks say
        // what is wrong with a text that cannot be read to its NUL.
        if (d.nameWritten && d.record.name)
            d.name = UntrustedText::read(d.record.name, kMaxNameText).text;
        d.listTextWritten = d.record.list_text != start.list_text;
        if (d.listTextWritten && d.record.list_text)
            d.listText = UntrustedText::read(d.record.list_text, kMaxNameText).text;
        if (!d.flagsConsistent())
            problem(ProblemCode::PinFlagRule, "pin declaration " + std::to_string(i) +
                                                  " fails the pin-flag consistency rule");
        table.push_back(std::move(d));
    }
    problem(ProblemCode::EndlessPinTable,
            "the module answered " + std::to_string(m_options.maxPinDeclarations) +
                " pin declarations without refusing one; reading stopped there");
    return table;
}

const WQProcessReferenceRecord *AudioHost::processReference() {
    return reinterpret_cast<const WQProcessReferenceRecord *>(dispatch(AD_GET_PROCESS_REFERENCE));
}

void AudioHost::callProcess() {
    requireLive("process");
    if (!m_process) {
        problem(ProblemCode::RecordNullEntry, "process word is null; process call skipped");
        return;
    }
    callProcessWord(m_record, m_process, m_clock);
    checkGivenInputs("the process function");
}

void AudioHost::processBlock() {
    requireLive("process");
    const uint32_t start = m_clock;
    const uint64_t end = static_cast<uint64_t>(start) + m_blockSize;
    if (m_options.splitBlocks)
        processSplit(start, end);
    else
        processWhole(start, end);
    if (!m_record) // an event handler or the process call closed the object
        return;
    m_clock = static_cast<uint32_t>(end);
    m_bufferClock = m_clock;
}

void AudioHost::fillFrom(uint32_t from, uint64_t end) {
    m_bufferClock = from;
    if (m_io)
        m_io->fillInputs(*this, from, static_cast<uint32_t>(end - from));
}

void AudioHost::callProcessOn(uint32_t from, uint32_t count) {
    m_clock = from;
    m_bufferClock = from;
    if (m_io)
        m_io->inputsGiven(*this, from, count);
    callProcess();
    if (m_record && m_io)
        m_io->takeOutputs(*this, from, count);
}

void AudioHost::processWhole(uint32_t start, uint64_t end) {
    fillFrom(start, end);
    deliverDue(end);
    if (!m_record)
        return;
    callProcessOn(start, m_blockSize);
    if (!m_record)
        return;
    deliverDue(end);
}

uint64_t AudioHost::nextStamp(uint32_t after, uint64_t end) const {
    uint64_t next = end;
    for (const Pending &p : m_events)
        if (p.event.time_stamp > after && p.event.time_stamp < next)
            next = p.event.time_stamp;
    return next;
}

void AudioHost::processSplit(uint32_t start, uint64_t end) {
    uint32_t from = start;
    while (m_record && from < end) {
        fillFrom(from, end);
        deliverDue(static_cast<uint64_t>(from) + 1);
        if (!m_record)
            return;
        const uint64_t to = nextStamp(from, end);
        const uint32_t count = static_cast<uint32_t>(to - from);
        tellBlockSize(count);
        if (!m_record)
            return;
        callProcessOn(from, count);
        if (!m_record)
            return;
        // What the process call posted inside its own part comes after it.
        deliverDue(to);
        from = static_cast<uint32_t>(to);
    }
}

void AudioHost::processBlocks(int count) {
    for (int i = 0; i < count && m_record; ++i)
        processBlock();
}

void AudioHost::deliverDue(uint64_t end) {
    while (m_record) {
        auto next = m_events.end();
        for (auto it = m_events.begin(); it != m_events.end(); ++it) {
            if (it->event.time_stamp >= end)
                continue;
            if (next == m_events.end() || it->event.time_stamp < next->event.time_stamp ||
                (it->event.time_stamp == next->event.time_stamp && it->order < next->order))
                next = it;
        }
        if (next == m_events.end())
            return;
        Pending pending = *next;
        m_events.erase(next);
        m_clock = pending.event.time_stamp;
        deliver(pending);
    }
}

void AudioHost::deliver(const Pending &pending) {
    const WQEvent &event = pending.event;
    if (pending.write) {
        size_t size = 0;
        switch (pending.datatype) {
        case DT_FLOAT:
            size = sizeof(float);
            std::memcpy(pending.variable, &pending.value.real, size);
            break;
        case DT_INT:
            size = sizeof(int32_t);
            std::memcpy(pending.variable, &pending.value.integer, size);
            break;
        case DT_ENUM: {
            const int16_t v = static_cast<int16_t>(pending.value.integer);
            size = sizeof v;
            std::memcpy(pending.variable, &v, size);
            break;
        }
        case DT_BYTE: {
            const uint8_t v = static_cast<uint8_t>(pending.value.integer);
            size = sizeof v;
            std::memcpy(pending.variable, &v, size);
            break;
        }
        default: break;
        }
        const AudioPinSlot *slot = audioPin(pending.pin);
        if (size && slot && slot->direction == DR_IN)
            m_given.given({slot->declaration, slot->name, slot->datatype}, pending.variable,
                          pending.variable, size);
    }
    if (!m_record->eventHandler) {
        problem(ProblemCode::RecordNullEntry,
                "event entry is null; event at " + std::to_string(event.time_stamp) + " dropped");
        return;
    }
    // The object gets the host's copy, valid during the call and guarded
    // against a read past its end.
    GuardedMemory guarded = GuardedMemory::copyOf(&event, sizeof event, kGuardedEventRecord);
    WQEvent &copy = *guarded.as<WQEvent>();
    CallRecord call = makeCall(Side::Audio, CallKind::Event, m_record,
                               CallArgs{0, 0, 0, m_record->object, 0.0f}, m_clock);
    call.hasEvent = true;
    call.event = copy;
    CallScope scope(log(), call);
    {
        ModuleCodeScope moduleCode(RunningCode::Module);
        m_record->eventHandler(m_record->object, &copy);
    }
    scope.finish(0);
    checkGivenInputs("the event handler");
}

bool AudioHost::postEvent(const WQEvent &event) {
    if (event.time_stamp < m_clock)
        return false;
    Pending p;
    p.event = event;
    p.order = m_eventOrder++;
    p.event.next = nullptr;
    m_events.push_back(p);
    return true;
}

std::vector<WQEvent> AudioHost::pendingEvents() const {
    std::vector<Pending> sorted = m_events;
    std::sort(sorted.begin(), sorted.end(), [](const Pending &a, const Pending &b) {
        return a.event.time_stamp != b.event.time_stamp ? a.event.time_stamp < b.event.time_stamp
                                                        : a.order < b.order;
    });
    std::vector<WQEvent> out;
    for (const Pending &p : sorted)
        out.push_back(p.event);
    return out;
}

float *AudioHost::pinBuffer(int32_t pin) {
    auto it = m_buffers.find(pin);
    if (it == m_buffers.end())
        it = m_buffers
                 .emplace(pin, GuardedMemory(m_options.maxBlockSize * sizeof(float),
                                             kGuardedSampleBuffer))
                 .first;
    return it->second.as<float>();
}

intptr_t AudioHost::answerEvent(void *ptr) {
    if (!ptr) {
        problem(ProblemCode::NullEvent, "AH_ADD_EVENT with a null event");
        return 0;
    }
    WQEvent event;
    std::memcpy(&event, ptr, sizeof event);
    event.next = nullptr;
    if (!postEvent(event)) {
        problem(ProblemCode::EventInThePast, "AH_ADD_EVENT at " + std::to_string(event.time_stamp) +
                                                 " lies before the sample clock " +
                                                 std::to_string(m_clock) + "; dropped");
        return 0;
    }
    return 1;
}

intptr_t AudioHost::answer(Side, void *record, const CallArgs &args) {
    const int32_t opcode = args.opcode;
    const int32_t index = args.index;
    void *const ptr = args.ptr;
    CallRecord call = makeCall(Side::Audio, CallKind::Callback, record, args, m_clock);
    checkCallbackRecord(Side::Audio, record, m_record, opcode);

    intptr_t result = 0;
    // The event is copied before the call is entered, so that the log
    // shows it with the call.
    if (opcode == AH_ADD_EVENT && ptr) {
        call.hasEvent = true;
        std::memcpy(&call.event, ptr, sizeof call.event);
        call.event.next = nullptr;
    }
    CallScope scope(log(), call);
    switch (opcode) {
    case AH_SAMPLE_CLOCK: result = static_cast<intptr_t>(m_clock); break;
    case AH_PIN_STATUS: result = m_options.pinStatusAnswer; break;
    case AH_PIN_BUFFER:
        if (index < 0) {
            problem(ProblemCode::NegativePin, "AH_PIN_BUFFER for pin " + std::to_string(index));
            result = 0;
        } else {
            result = reinterpret_cast<intptr_t>(pinBuffer(index));
        }
        break;
    case AH_PIN_BUFFER_CLOCK: result = static_cast<intptr_t>(m_bufferClock); break;
    case AH_PIN_COUNT: result = m_options.pinCount; break;
    case AH_ADD_EVENT: result = answerEvent(ptr); break;
    case AH_PROCESS_CHANGED:
        if (m_record && record == m_record)
            m_process = m_record->process;
        result = 0;
        break;
    default: {
        auto it = m_options.answers.find(opcode);
        result = it == m_options.answers.end() ? 0 : it->second;
        break;
    }
    }
    scope.finish(result);
    return result;
}

} // namespace wqhost
