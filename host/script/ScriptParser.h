// ScriptParser - the line-based language of `wqhost run`: one command per
// line, read into ScriptCommand values before anything runs, so that a
// script with a mistake on its last line changes nothing.
//
// The commands, their arguments and what they do are one table in
// ScriptParser.cpp: `help` prints it and Tab completion offers its words.
// `list`, `select` and `write` are aliases of `set` on a list module's pins,
// found by name in the loaded module's pin table ("TEXT LIST", "LIST",
// "ITEM -> VALUE").
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
    int line = 0;                 // line number in the script, from 1
    std::string source;           // the line as written, without comment and outer blanks
    std::string alias;            // Set written as an alias ("list"), for its messages
    PinRef pin;                   // Set, ExpectPin, ExpectChoices
    ScriptValue value;            // Set, ExpectPin, ExpectChoices
    SetForm form = SetForm::Auto; // Set
    int32_t number = 0;           // Process, ExpectProblems
    bool on = false;              // Echo, Trace
    bool negated = false;         // expect ... !=
};

// One line. Returns false for a blank or comment-only line. Throws
// ScriptError with `lineNumber` for a mistake.
bool parseScriptLine(const std::string &line, int lineNumber, ScriptCommand &out);

// A whole script; the first mistake is thrown.
std::vector<ScriptCommand> parseScript(const std::string &text);

// The help text of the language, as `help` prints it: every command of the
// parser's command table with its arguments and what it does.
std::string scriptHelpText();

// The words of the language that are not values, each once: the command
// names, then the literal words of their arguments ("on", "pin", "int").
// Tab completion offers them.
const std::vector<std::string> &scriptWords();

} // namespace wqhost
