#include "host/script/AudioCommands.h"

#include "host/audio/AudioStreams.h"
#include "host/audio/SampleExpectation.h"
#include "host/audio/SignalSource.h"
#include "host/pins/PinStore.h"
#include "host/text/NumberText.h"
#include "host/text/QuotedText.h"

#include <filesystem>
#include <stdexcept>

namespace wqhost {

namespace {

// The words from `first` on, as the audio layer's parsers read them.
std::vector<AudioWord> wordsFrom(const ArgumentReader &words, size_t first) {
    std::vector<AudioWord> out;
    for (size_t i = first; i < words.size(); ++i) {
        const ScriptToken &t = words.need(i, "");
        out.push_back({t.text, t.quoted});
    }
    return out;
}

std::string pinWords(const Session &s, int32_t pin) {
    for (const PinDeclaration &d : s.pinTable())
        if (d.index == pin && d.nameWritten)
            return "pin " + std::to_string(pin) + " (" + quoteText(d.name) + ")";
    return "pin " + std::to_string(pin);
}

// The audio side of declaration `pin`, or null.
const AudioPinSlot *audioSide(SessionEngine &e, int32_t pin) {
    for (const AudioPinSlot &slot : e.session().audio().audioPins())
        if (slot.declaration == pin && !slot.repeated)
            return &slot;
    return nullptr;
}

const AudioPinSlot &samplePin(SessionEngine &e, const ScriptCommand &c, int32_t pin) {
    const AudioPinSlot *slot = audioSide(e, pin);
    if (!slot || slot->datatype != DT_FSAMPLE)
        throw ScriptError(c.line,
                          pinWords(e.session(), pin) + " is no audio pin (it carries no samples)");
    return *slot;
}

std::string resolved(const std::string &folder, const std::string &path) {
    std::filesystem::path p(path);
    if (p.is_relative() && !folder.empty())
        p = std::filesystem::path(folder) / p;
    return p.string();
}

uint32_t clockAt(SessionEngine &e, const ScriptCommand &c, uint32_t offset) {
    const uint64_t clock = static_cast<uint64_t>(e.session().audio().sampleClock()) + offset;
    if (clock > 0xFFFFFFFFull)
        throw ScriptError(c.line, "sample " + std::to_string(offset) +
                                      " from here lies past the 32-bit sample clock");
    return static_cast<uint32_t>(clock);
}

} // namespace

// ------------------------------------------------------------ the readers

void readRate(const ArgumentReader &words, ScriptCommand &c) {
    const ScriptValue v = words.number(words.need(1, "a sample rate in Hz"), false);
    if (v.kind == ScriptValue::Kind::Text || !(v.real > 0.0f) || v.real > 1.0e7f)
        words.fail("'rate' needs a sample rate in Hz above 0 and at most 10000000, not '" + v.text +
                   "'");
    c.value = v;
    words.done(2);
}

void readBlock(const ArgumentReader &words, ScriptCommand &c) {
    c.number = words.integer(1, "a block size in samples");
    if (c.number < 1 || c.number > 4096)
        words.fail("'block' takes 1 to 4096 samples");
    words.done(2);
}

void readSignal(const ArgumentReader &words, ScriptCommand &c) {
    c.pin = words.pin(1);
    std::vector<std::string> rest;
    for (const AudioWord &w : wordsFrom(words, 2))
        rest.push_back(w.text);
    try {
        c.signal = parseSignalSpec(rest);
    } catch (const std::invalid_argument &e) {
        words.fail(e.what());
    }
}

void readRecord(const ArgumentReader &words, ScriptCommand &c) {
    c.pin = words.pin(1);
    const ScriptToken &t = words.need(2, "a WAV file to write, or off");
    c.on = t.quoted || t.text != "off";
    if (c.on) {
        if (t.text.empty())
            words.fail("'record' needs a WAV file to write");
        c.path = t.text;
    }
    words.done(3);
}

void readExpectSamples(const ArgumentReader &words, ScriptCommand &c) {
    c.pin = words.pin(2);
    try {
        c.samples = parseSampleExpectation(wordsFrom(words, 3), false);
    } catch (const std::invalid_argument &e) {
        words.fail(e.what());
    }
    if (c.samples.kind == SampleExpectation::Kind::Scaled)
        c.otherPin = words.pin(4);
}

void readExpectGolden(const ArgumentReader &words, ScriptCommand &c) {
    c.pin = words.pin(2);
    try {
        c.samples = parseSampleExpectation(wordsFrom(words, 3), true);
    } catch (const std::invalid_argument &e) {
        words.fail(e.what());
    }
}

bool readSetTime(const ArgumentReader &words, ScriptCommand &c) {
    if (words.size() < 5)
        return false;
    const ScriptToken &at = words.need(words.size() - 2, "");
    if (at.quoted || at.text != "at")
        return false;
    const int32_t sample = words.integer(words.size() - 1, "a sample after 'at'");
    if (sample < 0)
        words.fail("'at' counts samples from the next process on: 0 or more");
    c.timed = true;
    c.at = static_cast<uint32_t>(sample);
    return true;
}

// ------------------------------------------------------------ the actions

void actRate(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    AudioStreams &streams = e.streams();
    if (streams.anyRecording())
        throw ScriptError(c.line, "a WAV file has one rate: end the recordings first "
                                  "(record PIN off)");
    Session &s = e.session();
    s.setSampleRate(c.value.real);
    // Every signal starts again at this clock, made for the new rate.
    if (s.isRunning())
        for (const AudioPinSlot &slot : s.audio().audioPins())
            if (const SignalSource *source = streams.signal(slot.index))
                streams.setSignal(
                    s.audio(), slot.index,
                    makeSignal(source->setting(), c.value.real, e.options().inputFolder));
    step.text = "  rate " + PinStore::formatFloat(c.value.real) + " Hz\n";
}

void actBlock(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.session().setBlockSize(static_cast<uint32_t>(c.number));
    step.text = "  block " + std::to_string(c.number) + " samples\n";
}

void actSignal(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.requireRunning(c);
    Session &s = e.session();
    step.pin = e.resolvePin(c);
    const AudioPinSlot &slot = samplePin(e, c, step.pin);
    if (!slot.isSampleInput())
        throw ScriptError(c.line, pinWords(s, step.pin) + " is an output: a signal feeds an input");
    e.streams().setSignal(s.audio(), slot.index,
                          makeSignal(c.signal, s.sampleRate(), e.options().inputFolder));
    step.text = "  " + pinWords(s, step.pin) + ": " + signalText(c.signal) + " from clock " +
                std::to_string(s.audio().sampleClock()) + "\n";
}

void actRecord(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.requireRunning(c);
    Session &s = e.session();
    step.pin = e.resolvePin(c);
    const AudioPinSlot &slot = samplePin(e, c, step.pin);
    if (c.on) {
        e.streams().startRecording(slot.index, c.path, s.sampleRate());
        step.text = "  recording " + pinWords(s, step.pin) + " to " + c.path + "\n";
        return;
    }
    const WavWriter *w = e.streams().recording(slot.index);
    if (!w)
        throw ScriptError(c.line, pinWords(s, step.pin) + " is not being recorded");
    step.text = "  " + pinWords(s, step.pin) + ": " + std::to_string(w->frames()) +
                " samples recorded to " + w->path() + "\n";
    e.streams().stopRecording(slot.index);
}

void actExpectSamples(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.requireRunning(c);
    step.pin = e.resolvePin(c);
    const AudioPinSlot &slot = samplePin(e, c, step.pin);
    const SampleCapture empty;
    const SampleCapture *mine = e.streams().captured(slot.index);
    SampleVerdict v;
    if (c.samples.kind == SampleExpectation::Kind::Scaled) {
        ScriptCommand other = c;
        other.pin = c.otherPin;
        const int32_t otherPin = e.resolvePin(other);
        const SampleCapture *theirs = e.streams().captured(samplePin(e, other, otherPin).index);
        v = checkScaled(mine ? *mine : empty, theirs ? *theirs : empty, c.samples);
    } else {
        v = checkSamples(mine ? *mine : empty, c.samples);
    }
    e.expectation(step, v.holds, pinWords(e.session(), step.pin) + ": " + v.actual);
}

void actExpectGolden(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.requireRunning(c);
    step.pin = e.resolvePin(c);
    const AudioPinSlot &slot = samplePin(e, c, step.pin);
    GoldenPlace place;
    place.reference = resolved(e.options().inputFolder, c.samples.path);
    if (const WavWriter *w = e.streams().recording(slot.index))
        place.outputFolder = std::filesystem::path(w->path()).parent_path().string();
    place.rate = e.session().sampleRate();
    place.record = e.options().recordGolden;
    const SampleCapture empty;
    const SampleCapture *mine = e.streams().captured(slot.index);
    const SampleVerdict v = checkGolden(mine ? *mine : empty, c.samples, place);
    if (!v.note.empty())
        step.text = "  " + v.note + "\n";
    e.expectation(step, v.holds, pinWords(e.session(), step.pin) + ": " + v.actual);
}

void setAudioSide(SessionEngine &e, const ScriptCommand &c, int32_t pin, SessionStep &step) {
    Session &s = e.session();
    const AudioPinSlot *slot = audioSide(e, pin);
    if (!slot || slot->direction != DR_IN) {
        if (c.timed)
            throw ScriptError(c.line, pinWords(s, pin) +
                                          " is no audio input: 'at' times a change that the "
                                          "audio side takes");
        return;
    }
    const ScriptValue &v = c.value;
    const float real = v.kind == ScriptValue::Kind::Text ? PinStore::parseFloat(v.text) : v.real;
    if (slot->datatype == DT_FSAMPLE) {
        if (c.timed)
            throw ScriptError(c.line, "a sample input changes at a sample with 'signal " +
                                          std::to_string(pin) + " step V AT'");
        SignalSetting constant;
        constant.kind = SignalSetting::Kind::Constant;
        constant.value = real;
        e.streams().setSignal(s.audio(), slot->index, makeSignal(constant, s.sampleRate()));
        step.text = "  " + pinWords(s, pin) + ": constant " + PinStore::formatFloat(real) +
                    " from clock " + std::to_string(s.audio().sampleClock()) + "\n";
        return;
    }
    if (pinKindOf(slot->datatype) == PinKind::Text)
        return;
    ControlValue value;
    value.real = real;
    value.integer = v.kind == ScriptValue::Kind::Text  ? PinStore::parseInt(v.text)
                    : v.kind == ScriptValue::Kind::Int ? v.integer
                                                       : PinStore::truncateFloat(v.real);
    const uint32_t clock = clockAt(e, c, c.timed ? c.at : 0);
    s.audio().scheduleValue(slot->index, clock, value);
    if (c.timed || !slot->variable)
        step.text = "  " + pinWords(s, pin) + ": the audio side takes it at clock " +
                    std::to_string(clock) +
                    (slot->variable ? "" : " (the pin has no variable: as a status event only)") +
                    "\n";
}

} // namespace wqhost
