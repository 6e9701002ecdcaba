// ScriptArguments - the words of one script line and how a command's reader
// takes its arguments from them: a pin, a number, a text, on or off, == or
// !=. A word that is not what the command needs is a ScriptError that names
// the command and says what it wanted.
#pragma once

#include "host/script/ScriptCommand.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

// One word of a line, or one quoted text (its escapes resolved).
struct ScriptToken {
    std::string text;
    bool quoted = false;
};

// A whole number from -2147483648 to 2147483647 written in decimal digits
// with an optional sign, and nothing else.
bool parseScriptInt(const std::string &text, int32_t &out);

class ArgumentReader {
public:
    // `tokens` holds the whole line, the command word first.
    ArgumentReader(const std::vector<ScriptToken> &tokens, int line)
        : m_tokens(tokens), m_line(line) {}

    // The command word, as messages name it.
    const std::string &word() const { return m_tokens.front().text; }
    // How many words the line has, the command word included.
    size_t size() const noexcept { return m_tokens.size(); }

    [[noreturn]] void fail(const std::string &message) const;

    // Word `i` (0 is the command word); "'WORD' needs WHAT" when there is none.
    const ScriptToken &need(size_t i, const std::string &what) const;
    // The line ends after `count` words.
    void done(size_t count) const;

    ScriptValue text(size_t i, const std::string &what) const;
    int32_t integer(size_t i, const std::string &what) const;
    bool onOff(size_t i) const;
    PinRef pin(size_t i) const;
    // == (false) or != (true).
    bool comparison(size_t i) const;
    // A number as written (Int when it is a whole number, else Float), or a
    // quoted text; an unquoted word that is no number is a Text when
    // `allowText`, else a mistake.
    ScriptValue number(const ScriptToken &t, bool allowText) const;

private:
    const std::vector<ScriptToken> &m_tokens;
    int m_line;
};

} // namespace wqhost
