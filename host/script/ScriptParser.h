// ScriptParser - the line-based language of `wqhost run`: one command per
// line, read into ScriptCommand values before anything runs, so that a
// script with a mistake on its last line changes nothing.
//
//   list TEXT                  aliases of `set` for a list module's pins,
//   select N                     found by name: "TEXT LIST" set to TEXT,
//   write TEXT                   "LIST" to the integer N, "ITEM -> VALUE" to
//                                TEXT (a number as text)
//   set PIN [text|int|float] VALUE
//                              any pin; without a form a quoted VALUE is
//                              text, a whole number int, another number float
//   show                       every pin and its value
//   echo on|off                the host reports the module's own pin writes
//                              back to it (nested, inside the write)
//   trace on|off               print every call of each step
//   open | close | recreate    create and open both objects, close them, or
//                              both in turn (fresh objects, empty pins)
//   process [N]                run N audio blocks (default 1)
//   expect pin PIN == VALUE    a test: the run fails when it does not hold;
//   expect pin PIN != VALUE      a quoted VALUE compares the pin's text, a
//                                number compares in the pin's own form
//   expect choices PIN == TEXT the pin's list of choices
//   expect problems == N       how many faults the host found in the module
//   help | quit
//
// PIN is a pin number or a pin name in quotes. TEXT is a word or a quoted
// text; inside quotes \" \\ \n \t \r and \xNN (two hex digits, not 00)
// stand for one byte, so empty, comma, space and 8-bit texts can be written.
// '#' outside quotes starts a comment. Blank lines are allowed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace wqhost {

// A mistake in a script line. what() is the message alone; line() the line
// number (from 1), 0 when unknown.
class ScriptError : public std::runtime_error {
public:
    ScriptError(int line, const std::string &message)
        : std::runtime_error(message), m_line(line) {}
    int line() const noexcept { return m_line; }

private:
    int m_line;
};

// A value written in a script.
struct ScriptValue {
    enum class Kind { Text, Int, Float };
    Kind kind = Kind::Text;
    std::string text;       // the text (Text), or the number as written
    int32_t integer = 0;    // Int
    float real = 0.0f;      // Float, and Int as a float
    bool quoted = false;    // written in quotes (always Text)
};

// A pin named by number or by name.
struct PinRef {
    int32_t index = 0;
    std::string name;   // the name, when the pin is named by name
    bool named = false; // named by name; resolved against the pin table when run
};

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
    Help,
    Quit
};

// How `set` writes a value.
enum class SetForm { Auto, Text, Int, Float };

struct ScriptCommand {
    ScriptOp op = ScriptOp::Show;
    int line = 0;         // line number in the script, from 1
    std::string source;   // the line as written, without comment and outer blanks
    std::string alias;    // Set written as an alias ("list"), for its messages
    PinRef pin;           // Set, ExpectPin, ExpectChoices
    ScriptValue value;    // Set, ExpectPin, ExpectChoices
    SetForm form = SetForm::Auto; // Set
    int32_t number = 0;   // Process, ExpectProblems
    bool on = false;      // Echo, Trace
    bool negated = false; // expect ... !=
};

// One line. Returns false for a blank or comment-only line. Throws
// ScriptError with `lineNumber` for a mistake.
bool parseScriptLine(const std::string &line, int lineNumber, ScriptCommand &out);

// A whole script; the first mistake is thrown.
std::vector<ScriptCommand> parseScript(const std::string &text);

// The help text of the language, as the interactive prompt prints it.
const char *scriptHelpText() noexcept;

} // namespace wqhost
