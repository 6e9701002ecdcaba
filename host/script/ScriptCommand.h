// ScriptCommand - one command of a session, as the script parser reads it
// from a line and as the web panel builds it from a request, and the one
// error type of the session language (ScriptError): a line that cannot be
// read, and a command that cannot be carried out.
#pragma once

#include "host/audio/SampleExpectation.h"
#include "host/audio/SignalSource.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace wqhost {

// A mistake in a script line, or a command that cannot be carried out.
// what() is the message alone; line() the line number (from 1), 0 when
// unknown or when the command came from no line.
class ScriptError : public std::runtime_error {
public:
    ScriptError(int line, const std::string &message) : std::runtime_error(message), m_line(line) {}
    int line() const noexcept { return m_line; }

private:
    int m_line;
};

// A value written in a script.
struct ScriptValue {
    enum class Kind { Text, Int, Float };
    Kind kind = Kind::Text;
    std::string text;    // the text (Text), or the number as written
    int32_t integer = 0; // Int
    float real = 0.0f;   // Float, and Int as a float
    bool quoted = false; // written in quotes (always Text)
};

// A pin named by number or by name.
struct PinRef {
    int32_t index = 0;
    std::string name;   // the name, when the pin is named by name
    bool named = false; // named by name; resolved against the pin table when run
};

// Which command; its row in the command table (SessionCommands.cpp) says how
// it is read and what it does.
enum class ScriptOp {
    Set,
    Show,
    Echo,
    Trace,
    Open,
    Close,
    Recreate,
    Process,
    ExpectPin,
    ExpectChoices,
    ExpectProblems,
    Rate,
    Block,
    Signal,
    Record,
    ExpectSamples,
    ExpectGolden,
    Object,
    Help,
    Quit
};

// How `set` writes a value.
enum class SetForm { Auto, Text, Int, Float };

struct ScriptCommand {
    ScriptOp op = ScriptOp::Show;
    int line = 0;                 // line number in the script, from 1
    std::string source;           // the line as written, without comment and outer blanks
    std::string alias;            // Set written as an alias ("list"), for its messages
    PinRef pin;                   // Set, ExpectPin, ExpectChoices
    ScriptValue value;            // Set, ExpectPin, ExpectChoices
    SetForm form = SetForm::Auto; // Set
    int32_t number = 0;           // Process, ExpectProblems, Object
    bool on = false;              // Echo, Trace
    bool negated = false;         // expect ... !=
    bool timed = false;           // Set: written with `at SAMPLE`
    uint32_t at = 0;              // Set: the sample, from the next process on
    SignalSetting signal;         // Signal
    std::string path;             // Record (on): the file
    SampleExpectation samples;    // ExpectSamples, ExpectGolden
    PinRef otherPin;              // ExpectSamples: PIN2 of == PIN2 * K
};

} // namespace wqhost
