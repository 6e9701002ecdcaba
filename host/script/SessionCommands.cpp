#include "host/script/SessionCommands.h"

#include "host/script/AudioCommands.h"

#include "host/describe/TextReport.h"
#include "host/text/QuotedText.h"

namespace wqhost {

namespace {

// ------------------------------------------------------------ the readers
// Word 0 is the command word (and word 1 the subcommand of a row that has
// one).

// `list`, `select` and `write` set the list module's pin of that name.
void readAlias(const ArgumentReader &words, ScriptCommand &c, const char *pinName, SetForm form,
               const char *valueName) {
    c.alias = words.word();
    c.pin.named = true;
    c.pin.name = pinName;
    c.form = form;
    if (form == SetForm::Int) {
        c.value.kind = ScriptValue::Kind::Int;
        c.value.text = words.need(1, valueName).text;
        c.value.integer = words.integer(1, valueName);
        c.value.real = static_cast<float>(c.value.integer);
    } else {
        c.value = words.text(1, valueName);
    }
    words.done(2);
}

void readList(const ArgumentReader &w, ScriptCommand &c) {
    readAlias(w, c, "TEXT LIST", SetForm::Text, "the list text");
}

void readSelect(const ArgumentReader &w, ScriptCommand &c) {
    readAlias(w, c, "LIST", SetForm::Int, "an item number");
}

void readWrite(const ArgumentReader &w, ScriptCommand &c) {
    readAlias(w, c, "ITEM -> VALUE", SetForm::Text, "a number as text");
}

void readSetValue(const ArgumentReader &words, ScriptCommand &c);

// `set PIN ... at SAMPLE`: the words before `at` are read as a plain set.
void readSet(const ArgumentReader &words, ScriptCommand &c) {
    if (!readSetTime(words, c)) {
        readSetValue(words, c);
        return;
    }
    std::vector<ScriptToken> head;
    for (size_t i = 0; i + 2 < words.size(); ++i)
        head.push_back(words.need(i, ""));
    readSetValue(ArgumentReader(head, c.line), c);
}

void readSetValue(const ArgumentReader &words, ScriptCommand &c) {
    c.pin = words.pin(1);
    size_t at = 2;
    const ScriptToken &second = words.need(2, "a value after the pin");
    const bool typeWord = second.text == "text" || second.text == "int" || second.text == "float";
    // Four words: the third can only be meant as the value's type.
    if (!second.quoted && !typeWord && words.size() == 4)
        words.fail("'set PIN TYPE VALUE' takes the type text, int or float, not '" + second.text +
                   "'");
    if (!second.quoted && typeWord && words.size() > 3) {
        c.form = second.text == "text"  ? SetForm::Text
                 : second.text == "int" ? SetForm::Int
                                        : SetForm::Float;
        at = 3;
    }
    const ScriptToken &t = words.need(at, "a value");
    switch (c.form) {
    case SetForm::Text: c.value = words.text(at, "a text"); break;
    case SetForm::Int:
        c.value.kind = ScriptValue::Kind::Int;
        c.value.integer = words.integer(at, "a whole number");
        c.value.text = t.text;
        break;
    case SetForm::Float:
        c.value = words.number(t, false);
        if (c.value.kind == ScriptValue::Kind::Text)
            words.fail("'set ... float' needs a number, not a quoted text");
        c.value.kind = ScriptValue::Kind::Float;
        break;
    case SetForm::Auto: c.value = words.number(t, true); break;
    }
    words.done(at + 1);
}

void readOnOff(const ArgumentReader &words, ScriptCommand &c) {
    c.on = words.onOff(1);
    words.done(2);
}

void readBlocks(const ArgumentReader &words, ScriptCommand &c) {
    c.number = 1;
    if (words.size() > 1) {
        c.number = words.integer(1, "a number of blocks");
        if (c.number < 1 || c.number > 1000000)
            words.fail("'process' runs 1 to 1000000 blocks");
    }
    words.done(2);
}

void readExpectPin(const ArgumentReader &words, ScriptCommand &c) {
    c.pin = words.pin(2);
    c.negated = words.comparison(3);
    c.value = words.number(words.need(4, "a quoted text or a number to compare with"), false);
    words.done(5);
}

void readExpectChoices(const ArgumentReader &words, ScriptCommand &c) {
    c.pin = words.pin(2);
    c.negated = words.comparison(3);
    c.value = words.text(4, "the expected list of choices");
    words.done(5);
}

void readExpectProblems(const ArgumentReader &words, ScriptCommand &c) {
    c.negated = words.comparison(2);
    c.number = words.integer(3, "a number of problems");
    if (c.number < 0)
        words.fail("a number of problems is 0 or more");
    words.done(4);
}

// ------------------------------------------------------------ the actions

void set(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.requireRunning(c);
    Session &s = e.session();
    step.pin = e.resolvePin(c);
    const ScriptValue &v = c.value;
    SetForm form = c.form;
    if (form == SetForm::Auto)
        form = v.kind == ScriptValue::Kind::Text  ? SetForm::Text
               : v.kind == ScriptValue::Kind::Int ? SetForm::Int
                                                  : SetForm::Float;
    switch (form) {
    case SetForm::Text:
    case SetForm::Auto: s.setPinText(step.pin, v.text); break;
    case SetForm::Int: s.setPinInt(step.pin, v.integer); break;
    case SetForm::Float: s.setPinFloat(step.pin, v.real); break;
    }
    setAudioSide(e, c, step.pin, step);
}

void show(SessionEngine &e, const ScriptCommand &, SessionStep &step) {
    Session &s = e.session();
    step.text = s.isRunning() ? formatPinValues(s.readPins()) : "  (the module is closed)\n";
}

void readObject(const ArgumentReader &words, ScriptCommand &c) {
    c.number = words.integer(1, "an object number");
    if (c.number < 1 || c.number > SessionEngine::kMaxObjects)
        words.fail("'object' takes 1 to " + std::to_string(SessionEngine::kMaxObjects));
    words.done(2);
}

// The step shows the object now current: its pins, and the calls and faults
// of its making when it is new.
void object(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    const int32_t before = e.currentObject();
    const bool made = e.switchToObject(c.number);
    Session &s = e.session();
    step.before.clear();
    step.firstCall = made ? 0 : s.log().nextSeq();
    step.problemsBefore = made ? 0 : s.problems().size();
    std::string said = "  object " + std::to_string(c.number);
    if (made)
        said += " (made and opened)";
    else if (before == c.number)
        said += " (already current)";
    step.text = said + "\n" +
                (s.isRunning() ? formatPinValues(s.readPins()) : "  (the module is closed)\n");
}

void echo(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.session().gui().setEcho(c.on);
    step.text = std::string("  echo ") + (c.on ? "on" : "off") + "\n";
}

void trace(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.setTracing(c.on);
    step.text = std::string("  trace ") + (c.on ? "on" : "off") + "\n";
}

void open(SessionEngine &e, const ScriptCommand &c, SessionStep &) {
    if (e.session().isRunning())
        throw ScriptError(c.line, "the module is open already (use recreate)");
    e.streams().reset();
    e.session().start();
}

void close(SessionEngine &e, const ScriptCommand &c, SessionStep &) {
    e.requireRunning(c);
    e.session().stop();
}

void recreate(SessionEngine &e, const ScriptCommand &, SessionStep &) {
    // Fresh objects start with no signals and no recordings.
    e.streams().reset();
    if (e.session().isRunning())
        e.session().restart();
    else
        e.session().start();
}

void process(SessionEngine &e, const ScriptCommand &c, SessionStep &) {
    e.requireRunning(c);
    if (!e.session().hasAudioSide())
        throw ScriptError(c.line, "the module has no audio side to process");
    e.streams().beginCapture();
    e.session().audio().processBlocks(c.number);
}

std::string valueText(const PinValue &p) {
    switch (p.kind) {
    case PinKind::Integer: return std::to_string(p.integer);
    case PinKind::Float: return PinStore::formatFloat(p.real);
    case PinKind::Text: break;
    }
    return quoteText(p.text);
}

// A number compares in the pin's own form; a text with the pin as text.
void expectPin(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.requireRunning(c);
    step.pin = e.resolvePin(c);
    const PinStore &pins = e.session().gui().pins();
    const PinValue &pin = pins.at(step.pin);
    const ScriptValue &want = c.value;
    const bool asText = want.kind == ScriptValue::Kind::Text || pin.kind == PinKind::Text;
    bool equal = false;
    if (asText)
        equal = pins.text(step.pin) == want.text;
    else if (pin.kind == PinKind::Integer)
        equal = want.kind == ScriptValue::Kind::Int && pin.integer == want.integer;
    else
        equal = pin.real == want.real;
    const std::string shown = asText ? quoteText(pins.text(step.pin)) : valueText(pin);
    e.expectation(step, equal != c.negated, "pin " + std::to_string(step.pin) + " is " + shown);
}

void expectChoices(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    e.requireRunning(c);
    step.pin = e.resolvePin(c);
    const std::string &choices = e.session().gui().pins().listText(step.pin);
    e.expectation(step, (choices == c.value.text) != c.negated,
                  "pin " + std::to_string(step.pin) + " has the choices " + quoteText(choices));
}

void expectProblems(SessionEngine &e, const ScriptCommand &c, SessionStep &step) {
    const std::vector<Problem> problems = e.session().problems();
    const bool equal = static_cast<int32_t>(problems.size()) == c.number;
    std::string actual = "the host found " + std::to_string(problems.size()) + " problem" +
                         (problems.size() == 1 ? "" : "s");
    if (!problems.empty())
        actual += ", the first: " + problems.front().text;
    e.expectation(step, equal != c.negated, actual);
}

using R = StepReport;

} // namespace

const std::vector<CommandRow> &sessionCommands() {
    static const std::vector<CommandRow> rows = {
        {"set", nullptr, "PIN [text|int|float] V",
         "set any pin (PIN: number or \"name\"); V at SAMPLE: the audio side takes it at "
         "that sample of the next process",
         ScriptOp::Set, readSet, set, R::Changes},
        {"show", nullptr, "", "show every pin", ScriptOp::Show, nullptr, show, R::Text},
        {"echo", nullptr, "on|off", "report the module's own writes back to it", ScriptOp::Echo,
         readOnOff, echo, R::Text},
        {"trace", nullptr, "on|off", "print every call of each step", ScriptOp::Trace, readOnOff,
         trace, R::Text},
        {"open", nullptr, "", "create and open both objects", ScriptOp::Open, nullptr, open,
         R::Opened},
        {"close", nullptr, "", "close both objects", ScriptOp::Close, nullptr, close, R::Closed},
        {"recreate", nullptr, "", "close, then create and open fresh objects", ScriptOp::Recreate,
         nullptr, recreate, R::Opened},
        {"process", nullptr, "[N]", "run N audio blocks (default 1)", ScriptOp::Process, readBlocks,
         process, R::Changes},
        {"expect", "pin", "PIN == V", "fail the run unless it holds (also !=)", ScriptOp::ExpectPin,
         readExpectPin, expectPin, R::Verdict},
        {"expect", "choices", "PIN == TEXT", "the pin's list of choices", ScriptOp::ExpectChoices,
         readExpectChoices, expectChoices, R::Verdict},
        {"expect", "problems", "== N", "faults the host found in the module",
         ScriptOp::ExpectProblems, readExpectProblems, expectProblems, R::Verdict},
        {"rate", nullptr, "HZ", "the sample rate (48000 unless given)", ScriptOp::Rate, readRate,
         actRate, R::Text},
        {"block", nullptr, "N", "the block size, 1 to 4096 samples (64 unless given)",
         ScriptOp::Block, readBlock, actBlock, R::Text},
        {"signal", nullptr, "PIN constant|sine|impulse|step|noise|file ARGS",
         "what feeds an audio input: constant V, sine HZ AMP, impulse [AT], step V AT, "
         "noise AMP [SEED], file PATH.wav",
         ScriptOp::Signal, readSignal, actSignal, R::Changes},
        {"record", nullptr, "PIN PATH.wav|off", "write an audio pin to a 32-bit float WAV file",
         ScriptOp::Record, readRecord, actRecord, R::Text},
        {"expect", "samples", "PIN peak|rms|min|max OP V",
         "the samples of the last process (OP: == != < <= > >=, then ± T if need be); also "
         "PIN at N OP V, PIN finite, PIN == PIN2 * K",
         ScriptOp::ExpectSamples, readExpectSamples, actExpectSamples, R::Verdict},
        {"expect", "golden", "PIN PATH.wav",
         "the pin's samples against a reference file, then ± T if need be (run "
         "--record-golden writes it)",
         ScriptOp::ExpectGolden, readExpectGolden, actExpectGolden, R::Verdict},
        {"object", nullptr, "N",
         "send what follows to object N (1 to 8) of the module; one not yet made is made and "
         "opened beside the others, as a host holds several",
         ScriptOp::Object, readObject, object, R::Changes},
        // Shortcuts for the list selector's pins, after every command that any
        // module can use.
        {"list", nullptr, "TEXT", "list selector: set the list text (pin \"TEXT LIST\")",
         ScriptOp::Set, readList, set, R::Changes},
        {"select", nullptr, "N", "list selector: select item N (pin \"LIST\")", ScriptOp::Set,
         readSelect, set, R::Changes},
        {"write", nullptr, "TEXT", "list selector: write a number as text (pin \"ITEM -> VALUE\")",
         ScriptOp::Set, readWrite, set, R::Changes},
        {"help", nullptr, "", "show this list", ScriptOp::Help, nullptr, nullptr, R::Nothing},
        {"quit", nullptr, "", "end the run", ScriptOp::Quit, nullptr, nullptr, R::Nothing},
        {"exit", nullptr, "", "the same as quit", ScriptOp::Quit, nullptr, nullptr, R::Nothing},
    };
    return rows;
}

const CommandRow &commandRow(ScriptOp op) {
    for (const CommandRow &row : sessionCommands())
        if (row.op == op)
            return row;
    throw ScriptError(0, "no command carries out this step");
}

} // namespace wqhost
