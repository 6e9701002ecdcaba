// The checks of the audio a module makes: its process function at block
// sizes from 1 to 4096 and at two sample rates, with the block size also
// changed between the blocks of one object as a host may, every sample
// buffer exactly as long as the blocks it carries (a module that runs past
// one stops against the guard page after it, and the crash report says
// so); and every sample on its audio outputs a number, neither NaN nor
// infinite nor denormal.
#include "host/core/AudioHost.h"
#include "host/checks/CheckSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <set>
#include <utility>

namespace wqhost {

namespace {

// The block sizes each object runs at, the usual one first; and the sizes
// one object runs at in turn, the block size changed between blocks.
constexpr uint32_t kBlockSizes[] = {64, 1, 37, 4096};
constexpr uint32_t kChangingSizes[] = {4096, 64, 1, 37, 4096, 37, 1, 64};
constexpr float kSampleRates[] = {44100.0f, 96000.0f};

// How many blocks an object processes at one size: enough that something
// happening after the first thousands of samples shows at small sizes too.
int blocksAt(uint32_t blockSize) { return blockSize == 1 ? 24 : blockSize >= 4096 ? 3 : 12; }

// An audio-side pin that carries samples.
struct SamplePin {
    int32_t audioIndex;
    PinDeclaration declaration;
    bool output;
};

std::vector<SamplePin> samplePins(const CheckedTable &table) {
    std::vector<SamplePin> pins;
    int32_t audioIndex = 0;
    for (const PinDeclaration &d : table.pins) {
        if (!d.getsAudioPin())
            continue;
        if (d.dataType() == DT_FSAMPLE)
            pins.push_back({audioIndex, d, d.direction() == DR_OUT});
        ++audioIndex;
    }
    return pins;
}

// Where a block lies in the run: the rate, its size, its place.
struct BlockPlace {
    float rate;
    uint32_t blockSize;
    int block;          // counted from 0 in the object
    bool sizeChanging;  // the object whose block size changes between blocks
    uint32_t clock = 0; // the sample clock at the block's start

    std::string text() const {
        char rateText[32];
        std::snprintf(rateText, sizeof rateText, "%.0f", static_cast<double>(rate));
        return std::string(rateText) + " Hz, block size " + std::to_string(blockSize) +
               (sizeChanging ? " (changed between blocks)" : std::string()) + ", block " +
               std::to_string(block);
    }
};

using BlockVisitor = std::function<void(AudioHost &, const BlockPlace &)>;

// What an output buffer holds before each process call: 0, or a marker
// that no computation gives (a quiet NaN with a payload of its own), so
// that a sample the module leaves unwritten shows.
enum class OutputFill { Zero, Marker };
constexpr uint32_t kUnwrittenMarker = 0x7FC0A11Eu;

float markerSample() {
    float sample;
    std::memcpy(&sample, &kUnwrittenMarker, sizeof sample);
    return sample;
}

bool isMarker(float sample) {
    uint32_t bits;
    std::memcpy(&bits, &sample, sizeof bits);
    return bits == kUnwrittenMarker;
}

// The quiet sine an input carries at one sample of the clock.
float inputSample(uint32_t clock, float rate) {
    const double t = static_cast<double>(clock) / rate;
    return static_cast<float>(0.25 * std::sin(2764.6 * t));
}

// Inputs carry a quiet sine, outputs start each block at 0 or the marker.
void prepareBuffers(AudioHost &host, const std::vector<SamplePin> &pins, const BlockPlace &at,
                    OutputFill fill) {
    for (const SamplePin &pin : pins) {
        if (!host.hasPinBuffer(pin.audioIndex))
            continue;
        float *samples = host.pinBuffer(pin.audioIndex);
        for (uint32_t i = 0; i < at.blockSize; ++i)
            samples[i] = !pin.output                  ? inputSample(host.sampleClock() + i, at.rate)
                         : fill == OutputFill::Marker ? markerSample()
                                                      : 0.0f;
    }
}

// A control value for each block, as a host writes them into an input
// pin's variable: in range and out of it, where a module that clamps or
// rounds in place changes it; enumerations and bytes stay 0 or 1, which any
// list or switch has.
ControlValue controlValueFor(int32_t datatype, int block) {
    static constexpr float kReals[] = {0.5f, 2.0f, -1.0f, 0.0f, 10.0f};
    static constexpr int32_t kIntegers[] = {1, 7, -3, 0, 100};
    const size_t at = static_cast<size_t>(block) % std::size(kReals);
    ControlValue value;
    value.real = kReals[at];
    value.integer = datatype == DT_INT ? kIntegers[at] : block % 2;
    return value;
}

bool isControlInput(const AudioPinSlot &pin) {
    return pin.direction == DR_IN && (pin.datatype == DT_FLOAT || pin.datatype == DT_INT ||
                                      pin.datatype == DT_ENUM || pin.datatype == DT_BYTE);
}

// How one object is run (runObject).
struct ObjectRun {
    float rate = 0.0f;
    std::vector<uint32_t> sizes; // the block sizes, in turn
    bool sizeChanging = false;   // the sizes change between blocks
    uint32_t bufferLength = 0;   // the least length of every buffer
    OutputFill fill = OutputFill::Zero;
    // The host also writes the variables of the object's pins, as a
    // session does: the buffer's address into each sample pin's, and a new
    // value into each control input's before every block.
    bool controlValues = false;
};

// One object: made, opened, given the rate, then processed at each of
// `sizes` in turn (each AD_SET_BLOCK_SIZE before its block when the size
// changes), closed. Its buffers hold exactly the longest block, or
// `bufferLength` samples when that is more.
void runObject(CheckContext &ctx, const CheckedTable &table, const ObjectRun &how,
               const BlockVisitor &visit) {
    const float rate = how.rate;
    const std::vector<uint32_t> &sizes = how.sizes;
    const bool controlValues = how.controlValues;
    uint32_t longest = how.bufferLength;
    for (uint32_t s : sizes)
        longest = std::max(longest, s);
    const std::vector<SamplePin> pins = samplePins(table);
    AudioHost::Options options = audioOptionsFor(table);
    options.blockSize = sizes.front();
    options.maxBlockSize = longest;
    BlockPlace at{rate, sizes.front(), 0, how.sizeChanging};
    const auto audio = createCheckedAudio(
        ctx, options,
        at.text() + ": makeModule(0, 1), AD_OPEN, AD_SET_SAMPLE_RATE, AD_SET_BLOCK_SIZE");
    AudioHost &host = *audio;
    host.open();
    if (controlValues) {
        ctx.step(at.text() + ": the pin table read, and the variables of its pins written");
        std::vector<AudioPinSlot> layout =
            audioPinLayout(host.readPinDeclarations(), options.pinCount);
        // A variable that points elsewhere is pin-declarations-stable's
        // finding; the host leaves it alone here.
        for (AudioPinSlot &pin : layout)
            if (pin.variable && !insideObject(host.object(), pin.variable) &&
                !inLibrary(ctx, pin.variable))
                pin.variable = nullptr;
        host.setAudioPins(std::move(layout));
    }
    host.setSampleRate(rate);
    size_t seen = 0;
    for (size_t i = 0; i < sizes.size() && host.isLive(); ++i) {
        at.blockSize = sizes[i];
        at.block = static_cast<int>(i);
        if (i == 0 || sizes[i] != sizes[i - 1]) {
            ctx.step(at.text() + ": AD_SET_BLOCK_SIZE " + std::to_string(sizes[i]));
            host.setBlockSize(sizes[i]);
        }
        prepareBuffers(host, pins, at, how.fill);
        if (controlValues)
            for (const AudioPinSlot &pin : host.audioPins())
                if (isControlInput(pin))
                    host.scheduleValue(pin.index, host.sampleClock(),
                                       controlValueFor(pin.datatype, at.block));
        ctx.step(at.text() + ": a call of the process word");
        const uint32_t clock = host.sampleClock();
        host.processBlock();
        at.clock = clock;
        visit(host, at);
        failOnNewProblems(ctx, host.problems(), seen, at.text());
    }
    ctx.step(at.text() + ": AD_CLOSE");
    if (host.isLive())
        host.close();
    failOnNewProblems(ctx, host.problems(), seen, at.text());
}

// Every rate, every block size on an object of its own, then the sizes
// changed between the blocks of one object. With `controlValues` the first
// object has the variables of its pins written (runObject); one object
// tells a module that changes them, once.
void runBlocks(CheckContext &ctx, uint32_t bufferLength, const BlockVisitor &visit,
               OutputFill fill = OutputFill::Zero, bool controlValues = false) {
    requireSide(ctx, Side::Audio);
    const CheckedTable table = readCheckedTable(ctx);
    bool first = true;
    ObjectRun how;
    how.bufferLength = bufferLength;
    how.fill = fill;
    for (float rate : kSampleRates) {
        how.rate = rate;
        how.sizeChanging = false;
        for (uint32_t size : kBlockSizes) {
            how.sizes.assign(static_cast<size_t>(blocksAt(size)), size);
            how.controlValues = controlValues && first;
            runObject(ctx, table, how, visit);
            first = false;
        }
        how.sizes.assign(std::begin(kChangingSizes), std::end(kChangingSizes));
        how.sizeChanging = true;
        how.controlValues = false;
        runObject(ctx, table, how, visit);
    }
}

// The sample buffers of audio-output: room for twice the longest block, so
// that a module running past its block is audio-blocks' finding alone and
// one mistake fails one check.
constexpr uint32_t kRoomyBuffer = 2 * 4096;

// What is wrong with one sample, and what to do about it; null for a
// number.
const char *sampleFault(float sample, const char *&hint) {
    switch (std::fpclassify(sample)) {
    case FP_NAN:
        hint = "look for 0/0, a square root or logarithm of a negative number, or a value used "
               "before it was set; one NaN silences every module after this one";
        return "NaN";
    case FP_INFINITE:
        hint = "look for a division by a value that can be 0, or a gain or feedback that grows "
               "without bound";
        return "infinity";
    case FP_SUBNORMAL:
        hint = "set values that decay towards 0 to 0 once they are inaudible (below about "
               "1e-20): a denormal costs many times the time of a normal number";
        return "a denormal";
    default: return nullptr;
    }
}

} // namespace

void checkAudioBlocks(CheckContext &ctx) {
    runBlocks(ctx, 1, [](AudioHost &, const BlockPlace &) {});
}

void checkAudioOutput(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    const CheckedTable table = readCheckedTable(ctx);
    const std::vector<SamplePin> pins = samplePins(table);
    // Each kind of fault is told once a pin: the first sample that has it.
    std::set<std::pair<int32_t, std::string>> told;
    runBlocks(ctx, kRoomyBuffer, [&](AudioHost &host, const BlockPlace &at) {
        for (const SamplePin &pin : pins) {
            if (!pin.output || !host.hasPinBuffer(pin.audioIndex))
                continue;
            const float *samples = host.pinBuffer(pin.audioIndex);
            for (uint32_t i = 0; i < at.blockSize; ++i) {
                const char *hint = nullptr;
                const char *fault = sampleFault(samples[i], hint);
                if (!fault || !told.insert({pin.declaration.index, fault}).second)
                    continue;
                ctx.fail(pinLabel(pin.declaration) + " gives " + fault + " at " + at.text() +
                         ", sample " + std::to_string(i) + ": " + hint);
            }
        }
    });
}

void checkAudioWritten(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    const CheckedTable table = readCheckedTable(ctx);
    const std::vector<SamplePin> pins = samplePins(table);
    // Told once a pin, where it first showed.
    std::set<int32_t> unwritten;
    std::set<int32_t> changed;
    runBlocks(
        ctx, kRoomyBuffer,
        [&](AudioHost &host, const BlockPlace &at) {
            for (const SamplePin &pin : pins) {
                if (!host.hasPinBuffer(pin.audioIndex))
                    continue;
                const float *samples = host.pinBuffer(pin.audioIndex);
                const int32_t index = pin.declaration.index;
                for (uint32_t i = 0; i < at.blockSize; ++i) {
                    if (pin.output && isMarker(samples[i])) {
                        if (unwritten.insert(index).second) {
                            uint32_t left = 0;
                            for (uint32_t j = i; j < at.blockSize; ++j)
                                left += isMarker(samples[j]) ? 1 : 0;
                            ctx.fail(pinLabel(pin.declaration) + " left sample " +
                                     std::to_string(i) + " unwritten at " + at.text() + " (" +
                                     std::to_string(left) + " of " + std::to_string(at.blockSize) +
                                     " samples hold what was in the buffer before the call): "
                                     "write every sample of every output in each process call, "
                                     "0 for silence");
                        }
                        break;
                    }
                    if (!pin.output) {
                        const float expected = inputSample(at.clock + i, at.rate);
                        if (std::memcmp(&expected, &samples[i], sizeof expected) == 0)
                            continue;
                        if (changed.insert(index).second)
                            ctx.fail(pinLabel(pin.declaration) +
                                     ", an input, was changed by the process function at " +
                                     at.text() + ", sample " + std::to_string(i) +
                                     ": an input buffer belongs to the host, and other modules "
                                     "read it too; work in a buffer of your own");
                        break;
                    }
                }
            }
        },
        OutputFill::Marker, true);
}

} // namespace wqhost
