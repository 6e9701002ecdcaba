#include "host/core/AudioHost.h"

#include "host/platform/HostError.h"
#include "host/core/ObjectRegistry.h"
#include "host/trace/OpcodeNames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace wqhost {

namespace {

wq_result_t WQ_ABI audioCallback(void *record, int32_t opcode, int32_t index, int32_t value,
                                 void *ptr, float opt) noexcept {
    auto *host = static_cast<AudioHost *>(ObjectRegistry::find(Side::Audio, record));
    if (!host) {
        ObjectRegistry::noteStrayCallback();
        return 0;
    }
    try {
        return host->answer(record, opcode, index, value, ptr, opt);
    } catch (...) {
        // Nothing may cross back into the module; the log already holds the
        // call, completed with 0.
        return 0;
    }
}

std::string hex(uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

} // namespace

AudioHost::AudioHost(std::shared_ptr<const ModuleLibrary> library)
    : AudioHost(std::move(library), Options()) {}

AudioHost::AudioHost(std::shared_ptr<const ModuleLibrary> library, Options options, CallLog *log)
    : m_library(std::move(library)), m_options(std::move(options)), m_log(log) {
    if (!m_library)
        throw HostError("AudioHost needs a module library");
    if (!m_log) {
        m_ownLog.reset(new CallLog);
        m_log = m_ownLog.get();
    }
    if (m_options.blockSize == 0 || m_options.blockSize > m_options.maxBlockSize)
        throw HostError("block size " + std::to_string(m_options.blockSize) +
                        " is not within 1.." + std::to_string(m_options.maxBlockSize));
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

WQHostCallback AudioHost::callbackFunction() noexcept { return &audioCallback; }

bool AudioHost::create(int32_t moduleIndex) {
    if (isLive())
        throw HostError("the audio host already drives an object; close it first");
    void *result;
    {
        CreatingScope creating(Side::Audio, this);
        result = m_library->makeModule(moduleIndex, WQ_TYPE_AUDIO, &audioCallback, hostValue(),
                                       m_log);
    }
    if (!result)
        return false;
    m_record = static_cast<WQAudioHostRecord *>(result);
    ObjectRegistry::add(Side::Audio, m_record, this);
    m_process = m_record->process;
    m_clock = m_bufferClock = m_options.startClock;
    m_events.clear();
    for (const std::string &p : checkRecord())
        problem(p);
    return true;
}

std::vector<std::string> AudioHost::checkRecord() const {
    std::vector<std::string> out;
    if (!m_record)
        return out;
    const WQAudioHostRecord &r = *m_record;
    if (r.magic != WQ_AUDIO_MAGIC)
        out.push_back("audio record magic is " + hex(r.magic) + ", expected " +
                      hex(WQ_AUDIO_MAGIC));
    if (r.version != WQ_RECORD_VERSION)
        out.push_back("audio record version is " + std::to_string(r.version) + ", expected 1");
    if (r.hostValue != hostValue())
        out.push_back("audio record hostValue is " + hex(static_cast<uint64_t>(r.hostValue)) +
                      ", expected the value given to makeModule " +
                      hex(static_cast<uint64_t>(hostValue())));
    if (!r.object)
        out.push_back("audio record object word is null");
    if (r.reserved0 != 0)
        out.push_back("audio record reserved word 5 is " + std::to_string(r.reserved0) +
                      ", expected 0");
    if (!r.dispatcher)
        out.push_back("audio record dispatcher entry is null");
    if (!r.process)
        out.push_back("audio record process word is null");
    if (!r.eventHandler)
        out.push_back("audio record event entry is null");
    for (int i = 0; i < 4; ++i)
        if (r.reserved1[i] != 0)
            out.push_back("audio record reserved word " + std::to_string(9 + i) + " is " +
                          std::to_string(r.reserved1[i]) + ", expected 0");
    return out;
}

void AudioHost::requireLive(const char *what) const {
    if (!m_record)
        throw HostError(std::string("no live audio object to ") + what);
}

void AudioHost::forget() noexcept {
    if (m_record)
        ObjectRegistry::remove(Side::Audio, m_record);
    m_record = nullptr;
    m_process = nullptr;
    m_events.clear();
}

intptr_t AudioHost::dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    requireLive("dispatch to");
    WQAudioHostRecord *record = m_record;
    if (!record->dispatcher)
        throw HostError("the audio record has no dispatcher entry");
    CallRecord call;
    call.direction = Direction::HostToModule;
    call.side = Side::Audio;
    call.kind = CallKind::Dispatch;
    call.record = record;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.ptr = reinterpret_cast<intptr_t>(ptr);
    call.opt = opt;
    call.clock = m_clock;
    intptr_t result;
    {
        CallScope scope(*m_log, call);
        result = record->dispatcher(record, opcode, index, value, ptr, opt);
        scope.finish(result);
    }
    if (opcode == AD_CLOSE) // the record lived inside the object
        forget();
    return result;
}

intptr_t AudioHost::close() {
    intptr_t result = dispatch(AD_CLOSE);
    if (result != 1)
        problem("AD_CLOSE returned " + std::to_string(static_cast<long long>(result)) +
                ", expected 1");
    return result;
}

intptr_t AudioHost::setBlockSize(uint32_t blockSize) {
    if (blockSize == 0 || blockSize > m_options.maxBlockSize)
        throw HostError("block size " + std::to_string(blockSize) + " is not within 1.." +
                        std::to_string(m_options.maxBlockSize));
    intptr_t result = dispatch(AD_SET_BLOCK_SIZE, 0, static_cast<int32_t>(blockSize));
    m_blockSize = blockSize;
    return result;
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
        if (d.nameWritten && d.record.name)
            d.name = d.record.name;
        d.listTextWritten = d.record.list_text != start.list_text;
        if (d.listTextWritten && d.record.list_text)
            d.listText = d.record.list_text;
        if (!d.flagsConsistent())
            problem("pin declaration " + std::to_string(i) + " fails the pin-flag consistency rule");
        table.push_back(std::move(d));
    }
    problem("the module answered " + std::to_string(m_options.maxPinDeclarations) +
            " pin declarations without refusing one; reading stopped there");
    return table;
}

const WQProcessReferenceRecord *AudioHost::processReference() {
    return reinterpret_cast<const WQProcessReferenceRecord *>(
        dispatch(AD_GET_PROCESS_REFERENCE));
}

void AudioHost::callProcess() {
    requireLive("process");
    if (!m_process) {
        problem("process word is null; process call skipped");
        return;
    }
    CallRecord call;
    call.direction = Direction::HostToModule;
    call.side = Side::Audio;
    call.kind = CallKind::Process;
    call.record = m_record;
    call.ptr = reinterpret_cast<intptr_t>(m_record->object);
    call.clock = m_clock;
    CallScope scope(*m_log, call);
    m_process(m_record->object);
    scope.finish(0);
}

void AudioHost::processBlock() {
    requireLive("process");
    const uint32_t start = m_clock;
    const uint64_t end = static_cast<uint64_t>(start) + m_blockSize;
    m_bufferClock = start;
    deliverDue(end);
    if (!m_record) // an event handler closed the object
        return;
    m_clock = start;
    callProcess();
    if (!m_record)
        return;
    deliverDue(end);
    m_clock = static_cast<uint32_t>(end);
    m_bufferClock = m_clock;
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
        WQEvent event = next->event;
        m_events.erase(next);
        m_clock = event.time_stamp;
        deliver(event);
    }
}

void AudioHost::deliver(const WQEvent &event) {
    if (!m_record->eventHandler) {
        problem("event entry is null; event at " + std::to_string(event.time_stamp) + " dropped");
        return;
    }
    WQEvent copy = event; // the object gets the host's copy, valid during the call
    CallRecord call;
    call.direction = Direction::HostToModule;
    call.side = Side::Audio;
    call.kind = CallKind::Event;
    call.record = m_record;
    call.ptr = reinterpret_cast<intptr_t>(m_record->object);
    call.clock = m_clock;
    call.hasEvent = true;
    call.event = copy;
    CallScope scope(*m_log, call);
    m_record->eventHandler(m_record->object, &copy);
    scope.finish(0);
}

bool AudioHost::postEvent(const WQEvent &event) {
    if (event.time_stamp < m_clock)
        return false;
    Pending p{event, m_eventOrder++};
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
        it = m_buffers.emplace(pin, std::vector<float>(m_options.maxBlockSize, 0.0f)).first;
    return it->second.data();
}

intptr_t AudioHost::answerEvent(void *ptr) {
    if (!ptr) {
        problem("AH_ADD_EVENT with a null event");
        return 0;
    }
    WQEvent event;
    std::memcpy(&event, ptr, sizeof event);
    event.next = nullptr;
    if (!postEvent(event)) {
        problem("AH_ADD_EVENT at " + std::to_string(event.time_stamp) +
                " lies before the sample clock " + std::to_string(m_clock) + "; dropped");
        return 0;
    }
    return 1;
}

intptr_t AudioHost::answer(void *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                           float opt) {
    CallRecord call;
    call.direction = Direction::ModuleToHost;
    call.side = Side::Audio;
    call.kind = CallKind::Callback;
    call.record = record;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.ptr = reinterpret_cast<intptr_t>(ptr);
    call.opt = opt;
    call.clock = m_clock;
    if (record != m_record)
        problem("callback " + opcodeLabel(Side::Audio, Direction::ModuleToHost,
                                          CallKind::Callback, opcode) +
                (m_record ? " named an unknown record" : " came during makeModule"));

    intptr_t result = 0;
    // The event is copied before the call is entered, so that the log
    // shows it with the call.
    if (opcode == AH_ADD_EVENT && ptr) {
        call.hasEvent = true;
        std::memcpy(&call.event, ptr, sizeof call.event);
        call.event.next = nullptr;
    }
    CallScope scope(*m_log, call);
    switch (opcode) {
    case AH_SAMPLE_CLOCK:
        result = static_cast<intptr_t>(m_clock);
        break;
    case AH_PIN_STATUS:
        result = m_options.pinStatusAnswer;
        break;
    case AH_PIN_BUFFER:
        if (index < 0) {
            problem("AH_PIN_BUFFER for pin " + std::to_string(index));
            result = 0;
        } else {
            result = reinterpret_cast<intptr_t>(pinBuffer(index));
        }
        break;
    case AH_PIN_BUFFER_CLOCK:
        result = static_cast<intptr_t>(m_bufferClock);
        break;
    case AH_PIN_COUNT:
        result = m_options.pinCount;
        break;
    case AH_ADD_EVENT:
        result = answerEvent(ptr);
        break;
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
