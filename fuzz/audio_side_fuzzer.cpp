// Fuzzes the audio side of the built module library through the reference
// host: any sequence of dispatcher opcodes that the interface allows, with
// any arguments, pin-declaration queries into pre-filled records, process
// calls, and events delivered at their own sample clock.
//
// Never sent, because the interface makes them fatal on purpose: opcodes 7
// and 10, a pin query without a record or with a record whose flags fail the
// consistency rule when the module leaves them alone, events of type
// EV_PIN_STATUS (the module has no audio-side pins), and delayed calls of
// anything but the object's own process functions.
//
// Invariants after every action: the record keeps its fixed words and its
// process word is the one the host was last told of; each opcode answers as
// the interface fixes it; a pin query writes only the fields of its
// declaration and a refused one writes nothing; the process reference record
// names the current process function; process calls and events make only the
// callbacks they should; the host finds nothing wrong.
#include "fuzz/byte_reader.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/module_fixture.h"
#include "host/core/AudioHost.h"
#include "host/trace/CallLog.h"
#include "host/core/ModuleLibrary.h"
#include "host/pins/PinDeclaration.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using wqhost::AudioHost;
using wqhost::CallKind;
using wqhost::CallLog;
using wqhost::CallRecord;

constexpr int kMaxActions = 96;
constexpr uint32_t kMaxBlockSize = 4096;

// The declarations as the module answers them into cleared records.
const ModuleFixture &fixture() {
    static const ModuleFixture f = loadModuleFixture(WQ_QUENDOR_LIBRARY, ReadPins::BeforeOpen);
    return f;
}

float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void *pointerFrom(int32_t v) { return reinterpret_cast<void *>(static_cast<intptr_t>(v)); }

enum class Action : uint8_t {
    Open,
    Recreate,
    SampleRate,
    BlockSize,
    QuietOpcode,
    PinQuery,
    ProcessReference,
    Process,
    ProcessBlocks,
    PostEvent,
    Describe,
    HostAnswer,
    HostBlockSize,
    Count
};

class Driver {
public:
    Driver(const ModuleFixture &f, ByteReader &in)
        : m_fixture(f), m_host(f.library, options(in), &m_log) {
        create();
    }

    void run(ByteReader &in) {
        for (int i = 0; i < kMaxActions && !in.empty(); ++i)
            step(in);
    }

private:
    static AudioHost::Options options(ByteReader &in) {
        AudioHost::Options o;
        o.pinCount = pinCount(in);
        o.blockSize = 1 + in.u16() % kMaxBlockSize;
        o.maxBlockSize = kMaxBlockSize;
        // Far from the end of the 32-bit clock, which one session never reaches.
        o.startClock = in.u32() % (1u << 30);
        return o;
    }

    // Any count a host may give, bounded above so that the pin array fits in
    // the fuzzer's memory limit.
    static int32_t pinCount(ByteReader &in) {
        const int32_t n = in.number();
        return n > 4096 ? n % 4096 : n;
    }

    void create() {
        FUZZ_REQUIRE(m_host.create());
        m_initialProcess = m_host.record()->process;
        m_opened = false;
    }

    // The process functions a delayed call may name: those of this object.
    intptr_t delayedCallTarget(uint8_t pick) const {
        switch (pick % 3) {
        case 0: return 0;
        case 1: return reinterpret_cast<intptr_t>(m_initialProcess);
        default: return reinterpret_cast<intptr_t>(m_host.record()->process);
        }
    }

    void pinQuery(ByteReader &in) {
        const int32_t index = in.number();
        WQPinProperties prefill;
        prefill.variable = pointerFrom(in.i32());
        prefill.direction = in.number();
        prefill.datatype = in.number();
        prefill.name = static_cast<const char *>(pointerFrom(in.i32()));
        prefill.reserved5 = in.i32();
        prefill.list_text = static_cast<const char *>(pointerFrom(in.i32()));
        prefill.flags = in.u32();
        prefill.reserved8 = in.i32();
        // A record that the module leaves alone must pass the check itself.
        if (!wqhost::pinFlagsConsistent(prefill))
            prefill.flags |= IO_PRIVATE;

        WQPinProperties record = prefill;
        const bool answered = m_host.queryPin(index, record);
        const bool declared = index >= 0 && static_cast<size_t>(index) < m_fixture.pins.size();
        FUZZ_REQUIRE(answered == declared);
        if (!declared) {
            FUZZ_REQUIRE(std::memcmp(&record, &prefill, sizeof record) == 0);
            return;
        }
        // Each field is either the declaration's own or what the host put there.
        const WQPinProperties &own = m_fixture.pins[static_cast<size_t>(index)].record;
        FUZZ_REQUIRE(record.variable == own.variable || record.variable == prefill.variable);
        FUZZ_REQUIRE(record.direction == own.direction || record.direction == prefill.direction);
        FUZZ_REQUIRE(record.datatype == own.datatype || record.datatype == prefill.datatype);
        FUZZ_REQUIRE(record.name == own.name || record.name == prefill.name);
        FUZZ_REQUIRE(record.reserved5 == prefill.reserved5);
        FUZZ_REQUIRE(record.list_text == own.list_text || record.list_text == prefill.list_text);
        FUZZ_REQUIRE(record.flags == own.flags || record.flags == prefill.flags);
        FUZZ_REQUIRE(record.reserved8 == prefill.reserved8);
        FUZZ_REQUIRE(wqhost::pinFlagsConsistent(record));
    }

    void processReference() {
        const WQProcessReferenceRecord *r = m_host.processReference();
        FUZZ_REQUIRE(r != nullptr);
        FUZZ_REQUIRE(r->count == 1 && r->referenceSize == 8 && r->tag == 1002);
        FUZZ_REQUIRE(r->reference != nullptr);
        FUZZ_REQUIRE(r->reference->function == m_host.record()->process);
        FUZZ_REQUIRE(r->reference->adjustment == 0);
    }

    void postEvent(ByteReader &in) {
        WQEvent e;
        std::memset(&e, 0, sizeof e);
        const uint8_t kind = in.u8();
        const uint32_t offset = in.u16();
        // Mostly inside the next few blocks; now and then far ahead.
        e.time_stamp = m_host.sampleClock() + ((kind & 0x80) ? offset << 8 : offset);
        switch (kind % 3) {
        case 0: e.event_type = EV_TYPE_2; break;
        case 1: e.event_type = EV_DELAYED_CALL; break;
        default: {
            const int32_t type = in.number();
            e.event_type = type == EV_PIN_STATUS || type == EV_DELAYED_CALL ? type + 1000 : type;
            break;
        }
        }
        e.int_value = in.number();
        e.int_value2 = in.i32();
        e.ptr_value = e.event_type == EV_DELAYED_CALL ? delayedCallTarget(in.u8())
                                                      : static_cast<intptr_t>(in.i32());
        FUZZ_REQUIRE(m_host.postEvent(e));
    }

    void describe(ByteReader &in) {
        const int32_t index = in.number();
        if (in.u8() & 1) {
            // A null record is refused, not written through.
            FUZZ_REQUIRE(m_fixture.library->getModuleProperties(index, nullptr) == 0);
            return;
        }
        WQModuleDescription prefill;
        std::memset(&prefill, 0xA5, sizeof prefill);
        WQModuleDescription record = prefill;
        const int32_t result = m_fixture.library->getModuleProperties(index, &record);
        FUZZ_REQUIRE(record.sdkVersion == WQ_SDK_VERSION);
        if (index == 0) {
            FUZZ_REQUIRE(result == 1);
            FUZZ_REQUIRE(record.name != nullptr && std::strcmp(record.name, "Quendor") == 0);
        } else {
            FUZZ_REQUIRE(result == 0);
            record.sdkVersion = prefill.sdkVersion;
            FUZZ_REQUIRE(std::memcmp(&record, &prefill, sizeof record) == 0);
        }
    }

    void step(ByteReader &in) {
        m_log.clear();
        const auto action = static_cast<Action>(in.u8() % static_cast<uint8_t>(Action::Count));
        switch (action) {
        case Action::Open:
            FUZZ_REQUIRE(m_host.open() == 0);
            m_opened = true;
            break;
        case Action::Recreate:
            FUZZ_REQUIRE(m_host.close() == 1);
            m_host.options().pinCount = pinCount(in);
            create();
            break;
        case Action::SampleRate: {
            const int32_t index = in.number();
            const int32_t value = in.number();
            const float rate = floatFromBits(in.u32());
            FUZZ_REQUIRE(m_host.dispatch(AD_SET_SAMPLE_RATE, index, value, nullptr, rate) == 0);
            break;
        }
        case Action::BlockSize: {
            const int32_t index = in.number();
            const int32_t value = in.i32();
            FUZZ_REQUIRE(m_host.dispatch(AD_SET_BLOCK_SIZE, index, value, nullptr,
                                         floatFromBits(in.u32())) == 0);
            break;
        }
        case Action::QuietOpcode: {
            int32_t opcode = in.number();
            // Opcodes with an action of their own, and the two fatal ones.
            if (opcode == AD_OPEN || opcode == AD_CLOSE || opcode == AD_GET_PIN_PROPERTIES ||
                opcode == AD_OPCODE_7 || opcode == AD_OPCODE_10 ||
                opcode == AD_GET_PROCESS_REFERENCE)
                opcode += 100;
            const int32_t index = in.number();
            const int32_t value = in.number();
            void *ptr = pointerFrom(in.i32()); // passed on, never read
            const float opt = floatFromBits(in.u32());
            FUZZ_REQUIRE(m_host.dispatch(opcode, index, value, ptr, opt) == 0);
            break;
        }
        case Action::PinQuery: pinQuery(in); break;
        case Action::ProcessReference: processReference(); break;
        case Action::Process: m_host.callProcess(); break;
        case Action::ProcessBlocks: m_host.processBlocks(1 + in.u8() % 4); break;
        case Action::PostEvent: postEvent(in); break;
        case Action::Describe: describe(in); break;
        case Action::HostAnswer: {
            const int32_t opcode = in.number();
            m_host.setAnswer(opcode, static_cast<intptr_t>(in.i32()));
            break;
        }
        case Action::HostBlockSize: m_host.setBlockSize(1 + in.u16() % kMaxBlockSize); break;
        case Action::Count: break;
        }
        check();
    }

    void check() {
        FUZZ_REQUIRE(m_host.isLive());
        FUZZ_REQUIRE(m_host.checkRecord().empty());
        // The host was told of every change of the process word.
        FUZZ_REQUIRE(m_host.record()->process == m_host.processWord());
        // The process function changes only when the object opens.
        if (!m_opened)
            FUZZ_REQUIRE(m_host.record()->process == m_initialProcess);
        else
            FUZZ_REQUIRE(m_host.record()->process != m_initialProcess);

        const std::vector<CallRecord> &calls = m_log.calls();
        int processChanges = 0;
        for (size_t i = 0; i < calls.size(); ++i) {
            const CallRecord &c = calls[i];
            FUZZ_REQUIRE(c.returned);
            if (c.kind == CallKind::Callback && c.opcode == AH_PROCESS_CHANGED)
                ++processChanges;
            if (c.kind != CallKind::Process && c.kind != CallKind::Event)
                continue;
            // The callbacks made directly by this process call or event.
            std::vector<int32_t> made;
            for (size_t j = i + 1; j < calls.size() && calls[j].depth > c.depth; ++j) {
                if (calls[j].depth == c.depth + 1 && calls[j].kind == CallKind::Callback)
                    made.push_back(calls[j].opcode);
            }
            size_t first = 0;
            if (c.kind == CallKind::Event) {
                // The event is checked against the host's clock first.
                FUZZ_REQUIRE(!made.empty() && made[0] == AH_SAMPLE_CLOCK);
                first = 1;
            }
            for (size_t k = first; k < made.size(); ++k)
                FUZZ_REQUIRE(made[k] == AH_OPCODE_10);
            // Before open the process function does nothing; after it, it
            // pings the host once.
            if (c.kind == CallKind::Process)
                FUZZ_REQUIRE(made.size() == (m_opened ? 1u : 0u));
        }
        FUZZ_REQUIRE(processChanges <= 1);
        FUZZ_REQUIRE(m_host.problems().empty());
    }

    const ModuleFixture &m_fixture;
    CallLog m_log;
    AudioHost m_host;
    WQProcessProc m_initialProcess = nullptr;
    bool m_opened = false;
};

} // namespace

// The library is loaded before fuzzing starts, so that libFuzzer counts its
// coverage from the first input on.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ByteReader in(data, size);
    Driver driver(fixture(), in);
    driver.run(in);
    return 0;
}
