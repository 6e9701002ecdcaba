// AudioHost - drives one audio-side object of a module library through its
// audio host record, as a host does, and answers its callback.
//
// The host keeps a sample clock that advances by the block size per
// processed block. Events, the host's own and those the object posts with
// AH_ADD_EVENT, wait in a queue and reach the record's event entry exactly
// when the clock equals their time stamp. processBlock() runs one block
// [start, start + blockSize):
//   1. every queued event stamped inside the block is delivered in time
//      order (equal stamps in the order they were posted), the clock set to
//      the event's stamp while it is delivered;
//   2. the clock reads the block's start again and the record's process word
//      is called once with the record's object word;
//   3. events posted during the process call and stamped inside the block are
//      delivered the same way;
//   4. the clock moves to the block's end.
// The clock is a 32-bit number, as the module reads it; it is not meant to
// wrap around in one session.
//
// With Options::splitBlocks (what a session does), a block is cut at every
// event stamped inside it, so that what an event changes acts from its own
// sample on: for each part [from, to) the events stamped at `from` are
// delivered, the module is told the part's length with AD_SET_BLOCK_SIZE
// (when it differs from the length it was told last; the block size again
// before the next whole block), the process word is called with the clock
// and AH_PIN_BUFFER_CLOCK at `from`, and the events it posted inside the
// part are delivered after it. Every part's samples start at element 0 of
// the pin buffers.
//
// Audio pins (setAudioPins): a DT_FSAMPLE pin with a declared variable gets
// its buffer's address written into that variable. A control value
// (scheduleValue) is written into the pin's declared variable at the clock
// where it takes effect, and an EV_PIN_STATUS event for the pin, status
// kStatusChanged, is delivered at that clock. What the host writes into the
// variable of an input pin (a value, a buffer's address) is the module's to
// read, not to change: after every process call and event the host looks,
// and a variable that no longer holds it is a problem (InputChanged). A SampleIo fills the input
// buffers before each process call and reads the buffers after it.
//
// Every call in both directions goes into the CallLog. Behaviour of the
// object that breaks the interface (a bad record, an event posted into the
// past, a null event, a callback during makeModule...) is recorded in
// problems(), never thrown (HostDriver).
#pragma once

#include "host/core/GivenInputs.h"
#include "host/core/HostObject.h"
#include "host/pins/PinDeclaration.h"
#include "host/memory/GuardedMemory.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

class AudioHost;

// The statuses the host delivers with EV_PIN_STATUS.
enum : int32_t {
    // The pin's value changed at this clock and stays so: a control value
    // written, an input that holds one value from here on. The module's
    // pin reads it only while it is told (the framework sets it back to 0).
    kStatusChanged = 1,
    // From this clock on the pin's samples may change from one sample to
    // the next (a streaming input signal).
    kStatusStreaming = 2,
};

// What feeds the audio inputs and takes what the outputs give. The samples
// of clock `clock` lie at element 0 of the pin buffers.
class SampleIo {
public:
    virtual ~SampleIo() = default;
    // Before the events at `clock` are delivered: fill the input buffers
    // with the samples [clock, clock + count), the rest of the block.
    virtual void fillInputs(AudioHost &host, uint32_t clock, uint32_t count) = 0;
    // Just before the process call for [clock, clock + count): the inputs
    // as the module gets them.
    virtual void inputsGiven(AudioHost &host, uint32_t clock, uint32_t count) = 0;
    // After that call: what the module left in the buffers.
    virtual void takeOutputs(AudioHost &host, uint32_t clock, uint32_t count) = 0;
};

// A control value for a pin of any number type: the form of the pin's data
// type is written (DT_FLOAT the float, DT_INT, DT_ENUM and DT_BYTE the
// integer in 32, 16 and 8 bits).
struct ControlValue {
    int32_t integer = 0;
    float real = 0.0f;
};

class AudioHost : public HostObject<WQAudioHostRecord> {
public:
    struct Options {
        int32_t pinCount = 0;              // the answer to AH_PIN_COUNT
        uint32_t blockSize = 64;           // samples per processed block
        uint32_t maxBlockSize = 4096;      // samples in each pin buffer (AH_PIN_BUFFER)
        uint32_t startClock = 0;           // the sample clock when the object is created
        intptr_t pinStatusAnswer = 0;      // the answer to AH_PIN_STATUS
        int32_t maxPinDeclarations = 1024; // readPinDeclarations stops after this many
        bool splitBlocks = false;          // cut blocks at their events (see above)
        // Answers to opcodes without a fixed meaning (AH_OPCODE_0, AH_OPCODE_1,
        // AH_OPCODE_10 and unnamed numbers); every other one is answered 0.
        std::map<int32_t, intptr_t> answers;
    };

    explicit AudioHost(std::shared_ptr<const ModuleLibrary> library);
    AudioHost(std::shared_ptr<const ModuleLibrary> library, Options options,
              CallLog *log = nullptr);
    ~AudioHost() override; // closes a live object

    // -- the object ---------------------------------------------------------

    // makeModule(moduleIndex, WQ_TYPE_AUDIO, callback, hostValue). Returns
    // false when the library refuses (null). Checks the record; what is wrong
    // with it goes into problems(). Throws HostError if an object is live.
    bool create(int32_t moduleIndex = 0);
    void *object() const noexcept { return m_record ? m_record->object : nullptr; }

    // -- dispatcher ---------------------------------------------------------

    // Any dispatcher opcode with any arguments. AD_CLOSE ends the object:
    // the record is not used again. Throws HostError when no object is live.
    intptr_t dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr,
                      float opt = 0.0f);
    intptr_t open() { return dispatch(AD_OPEN); }
    // AD_CLOSE; a result other than 1 is recorded as a problem.
    intptr_t close();
    // AD_SET_SAMPLE_RATE.
    intptr_t setSampleRate(float rate);
    // AD_SET_BLOCK_SIZE, and the host processes blocks of that size from now
    // on. Throws HostError for 0 or more than maxBlockSize.
    intptr_t setBlockSize(uint32_t blockSize);
    // The host processes blocks of that size from now on, without telling
    // the module. Throws HostError as setBlockSize.
    void adoptBlockSize(uint32_t blockSize);

    // AD_GET_PIN_PROPERTIES for declaration `index` into the caller's record
    // (not cleared). True when the module answered non-zero.
    bool queryPin(int32_t index, WQPinProperties &record);

    // The pin table: declarations 0, 1, 2, ... until the module refuses,
    // each asked with a fresh record (a copy of `prefill`, or cleared).
    std::vector<PinDeclaration> readPinDeclarations(const WQPinProperties *prefill = nullptr);

    // AD_GET_PROCESS_REFERENCE; the record belongs to the library.
    const WQProcessReferenceRecord *processReference();

    // -- processing and events ----------------------------------------------

    uint32_t sampleClock() const noexcept { return m_clock; }
    uint32_t blockSize() const noexcept { return m_blockSize; }
    // The clock of the first sample of the pin buffers (the current or next
    // block's start).
    uint32_t pinBufferClock() const noexcept { return m_bufferClock; }

    void processBlock();
    void processBlocks(int count);
    // One call of the process word, now, without moving the clock.
    void callProcess();
    // The process word as the host last read it (at creation and on
    // AH_PROCESS_CHANGED).
    WQProcessProc processWord() const noexcept { return m_process; }

    // Queues the host's own event; false (and nothing queued) when its time
    // stamp lies before the clock.
    bool postEvent(const WQEvent &event);
    std::vector<WQEvent> pendingEvents() const;

    // The host's buffer for a pin, made on first use (by AH_PIN_BUFFER or
    // here) with maxBlockSize floats, zeroed; its address never changes. It
    // ends just before an inaccessible page (GuardedMemory), so a module that
    // runs past maxBlockSize samples stops inside that call.
    float *pinBuffer(int32_t pin);
    bool hasPinBuffer(int32_t pin) const noexcept { return m_buffers.count(pin) != 0; }

    // -- audio pins ---------------------------------------------------------

    // The object's audio-side pins (audioPinLayout of its table). Writes the
    // buffer address into the variable of each DT_FSAMPLE pin that declares
    // one. Throws HostError when no object is live.
    void setAudioPins(std::vector<AudioPinSlot> pins);
    const std::vector<AudioPinSlot> &audioPins() const noexcept { return m_pins; }
    // The audio pin, or null.
    const AudioPinSlot *audioPin(int32_t index) const noexcept;

    // `value` written into audio pin `pin`'s variable at `clock`, with an
    // EV_PIN_STATUS (kStatusChanged) delivered there. False, and nothing
    // scheduled, for a clock before the sample clock or an unknown pin. A
    // pin without a variable gets the event only.
    bool scheduleValue(int32_t pin, uint32_t clock, const ControlValue &value);
    // An EV_PIN_STATUS for audio pin `pin` at `clock`.
    bool scheduleStatus(int32_t pin, uint32_t clock, int32_t status);

    // Who fills and reads the sample buffers; null for nobody (not owned).
    void setSampleIo(SampleIo *io) noexcept { m_io = io; }

    // The length the module was last told with AD_SET_BLOCK_SIZE (0: never).
    uint32_t toldBlockSize() const noexcept { return m_toldBlockSize; }
    // The rate last sent with AD_SET_SAMPLE_RATE (0: never).
    float toldSampleRate() const noexcept { return m_toldRate; }

    // -- configuration and findings -----------------------------------------

    Options &options() noexcept { return m_options; }
    void setAnswer(int32_t opcode, intptr_t result) { m_options.answers[opcode] = result; }

    // The callback every AudioHost gives makeModule.
    static WQHostCallback callbackFunction() noexcept {
        return HostDriver::callbackFunction(Side::Audio);
    }

    // Answers one request of the object (through the callback entry).
    intptr_t answer(Side side, void *record, const CallArgs &args) override;

private:
    struct Pending {
        WQEvent event;
        uint64_t order;
        bool write = false; // write `value` into `variable` first
        int32_t pin = -1;   // the audio pin it is for
        void *variable = nullptr;
        int32_t datatype = 0;
        ControlValue value;
    };

    void deliverDue(uint64_t end);
    void deliver(const Pending &pending);
    void processWhole(uint32_t start, uint64_t end);
    void processSplit(uint32_t start, uint64_t end);
    // The stamp of the earliest event in (after, end), or end.
    uint64_t nextStamp(uint32_t after, uint64_t end) const;
    void tellBlockSize(uint32_t length);
    void fillFrom(uint32_t from, uint64_t end);
    void callProcessOn(uint32_t from, uint32_t count);
    intptr_t answerEvent(void *ptr);
    void forget() noexcept;
    // A problem for each input pin whose variable `call` changed.
    void checkGivenInputs(const char *call);

    Options m_options;
    WQProcessProc m_process = nullptr;
    uint32_t m_clock = 0;
    uint32_t m_bufferClock = 0;
    uint32_t m_blockSize = 64;
    std::vector<Pending> m_events;
    uint64_t m_eventOrder = 0;
    std::map<int32_t, GuardedMemory> m_buffers;
    std::vector<AudioPinSlot> m_pins;
    GivenInputs m_given;
    SampleIo *m_io = nullptr;
    uint32_t m_toldBlockSize = 0;
    float m_toldRate = 0.0f;
};

} // namespace wqhost
