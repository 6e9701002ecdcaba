#include "host/script/ScriptParser.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace wqhost {

namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Splits a line into words and quoted texts; stops at a '#' outside quotes.
// `source` receives the line up to the comment, without outer blanks.
std::vector<Token> tokenize(const std::string &line, int lineNumber, std::string &source) {
    std::vector<Token> tokens;
    size_t i = 0;
    size_t end = line.size();
    while (i < line.size()) {
        char c = line[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        if (c == '#') {
            end = i;
            break;
        }
        Token t;
        if (c == '"') {
            t.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    t.text += d;
                    continue;
                }
                if (i >= line.size())
                    break;
                char e = line[i++];
                switch (e) {
                case '"': t.text += '"'; break;
                case '\\': t.text += '\\'; break;
                case 'n': t.text += '\n'; break;
                case 't': t.text += '\t'; break;
                case 'r': t.text += '\r'; break;
                case 'x': {
                    int hi = i < line.size() ? hexDigit(line[i]) : -1;
                    int lo = i + 1 < line.size() ? hexDigit(line[i + 1]) : -1;
                    if (hi < 0 || lo < 0)
                        throw ScriptError(lineNumber, "\\x needs two hex digits");
                    int byte = hi * 16 + lo;
                    if (byte == 0)
                        throw ScriptError(lineNumber, "a pin text cannot hold a NUL byte (\\x00)");
                    t.text += static_cast<char>(byte);
                    i += 2;
                    break;
                }
                default:
                    throw ScriptError(lineNumber, std::string("unknown escape \\") + e +
                                                      " (use \\\" \\\\ \\n \\t \\r or \\xNN)");
                }
            }
            if (!closed)
                throw ScriptError(lineNumber, "text not closed: a '\"' is missing");
            if (i < line.size() && !isBlank(line[i]) && line[i] != '#')
                throw ScriptError(lineNumber, "a blank must follow a quoted text");
        } else {
            while (i < line.size() && !isBlank(line[i]) && line[i] != '#') {
                if (line[i] == '"')
                    throw ScriptError(lineNumber,
                                      "a '\"' inside a word: put the whole text in quotes");
                t.text += line[i++];
            }
        }
        tokens.push_back(std::move(t));
    }
    size_t first = 0;
    while (first < end && isBlank(line[first]))
        ++first;
    size_t last = end;
    while (last > first && isBlank(line[last - 1]))
        --last;
    source = line.substr(first, last - first);
    return tokens;
}

bool parseInt(const std::string &text, int32_t &out) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i == text.size())
        return false;
    for (size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9')
            return false;
    errno = 0;
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool looksLikeInt(const std::string &text) {
    size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool parseFloat(const std::string &text, float &out) {
    if (text.empty())
        return false;
    bool digit = false;
    for (char c : text)
        digit = digit || (c >= '0' && c <= '9');
    if (!digit)
        return false;
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v) || std::fabs(v) > 3.4028234e38)
        return false;
    out = static_cast<float>(v);
    return true;
}

class LineParser;

// One row of the command table: a command word, its arguments and help as
// `help` shows them, and how the rest of its line is read. A command
// without a reader takes no arguments. An alias row stands for `set` on
// the pin of the loaded module with the name it gives.
struct CommandRow {
    const char *name;
    const char *arguments;
    const char *help;
    ScriptOp op;
    void (LineParser::*readArguments)(const CommandRow &row);
    const char *pinName;   // an alias: the pin it sets
    SetForm form;          // ... in this form (Text or Int)
    const char *valueName; // ... its value, as a message names it
};

class LineParser {
    friend struct CommandTable;

public:
    LineParser(std::vector<Token> tokens, int line, ScriptCommand &cmd)
        : m_tokens(std::move(tokens)), m_line(line), m_cmd(cmd) {}

    // Reads the line into the command; throws ScriptError for a mistake.
    void parse();

private:
    void readAlias(const CommandRow &row) {
        m_cmd.alias = row.name;
        m_cmd.pin.named = true;
        m_cmd.pin.name = row.pinName;
        m_cmd.form = row.form;
        if (row.form == SetForm::Int) {
            m_cmd.value.kind = ScriptValue::Kind::Int;
            m_cmd.value.text = need(1, row.valueName).text;
            m_cmd.value.integer = integer(1, row.valueName);
            m_cmd.value.real = static_cast<float>(m_cmd.value.integer);
        } else {
            m_cmd.value = text(1, row.valueName);
        }
        done(2);
    }

    void readOnOff(const CommandRow &) {
        m_cmd.on = onOff(1);
        done(2);
    }

    void readBlocks(const CommandRow &) {
        m_cmd.number = 1;
        if (m_tokens.size() > 1) {
            m_cmd.number = integer(1, "a number of blocks");
            if (m_cmd.number < 1 || m_cmd.number > 1000000)
                fail("'process' runs 1 to 1000000 blocks");
        }
        done(2);
    }

    [[noreturn]] void fail(const std::string &message) const { throw ScriptError(m_line, message); }

    const Token &need(size_t i, const std::string &what) const {
        if (i >= m_tokens.size())
            fail("'" + m_word + "' needs " + what);
        return m_tokens[i];
    }

    void done(size_t count) const {
        if (m_tokens.size() > count)
            fail("too many words after '" + m_word + "': '" + m_tokens[count].text + "'" +
                 (m_tokens[count].quoted ? "" : " (put a text with blanks in quotes)"));
    }

    ScriptValue text(size_t i, const std::string &what) const {
        const Token &t = need(i, what);
        ScriptValue v;
        v.kind = ScriptValue::Kind::Text;
        v.text = t.text;
        v.quoted = t.quoted;
        return v;
    }

    int32_t integer(size_t i, const std::string &what) const {
        const Token &t = need(i, what);
        int32_t v = 0;
        if (t.quoted || !parseInt(t.text, v))
            fail("'" + m_word + "' needs " + what + " (a whole number from -2147483648 to " +
                 "2147483647), not '" + t.text + "'");
        return v;
    }

    bool onOff(size_t i) const {
        const Token &t = need(i, "on or off");
        if (!t.quoted && t.text == "on")
            return true;
        if (!t.quoted && t.text == "off")
            return false;
        fail("'" + m_word + "' takes on or off, not '" + t.text + "'");
    }

    PinRef pin(size_t i) const {
        const Token &t = need(i, "a pin number or a pin name in quotes");
        PinRef p;
        if (t.quoted) {
            if (t.text.empty())
                fail("a pin name cannot be empty");
            p.named = true;
            p.name = t.text;
            return p;
        }
        if (!parseInt(t.text, p.index) || p.index < 0)
            fail("'" + t.text +
                 "' is not a pin: write a pin number (0 or more) or a pin name in quotes");
        return p;
    }

    // A number as written, or a quoted text.
    ScriptValue number(const Token &t, bool allowText) const {
        ScriptValue v;
        v.text = t.text;
        v.quoted = t.quoted;
        if (t.quoted) {
            v.kind = ScriptValue::Kind::Text;
            return v;
        }
        if (looksLikeInt(t.text)) {
            if (!parseInt(t.text, v.integer))
                fail("'" + t.text + "' lies outside the 32-bit integers");
            v.kind = ScriptValue::Kind::Int;
            v.real = static_cast<float>(v.integer);
            return v;
        }
        if (parseFloat(t.text, v.real)) {
            v.kind = ScriptValue::Kind::Float;
            return v;
        }
        if (!allowText)
            fail("'" + t.text + "' is neither a number nor a quoted text");
        v.kind = ScriptValue::Kind::Text;
        return v;
    }

    void readSet(const CommandRow &) {
        m_cmd.pin = pin(1);
        size_t at = 2;
        const Token &second = need(2, "a value after the pin");
        const bool typeWord =
            second.text == "text" || second.text == "int" || second.text == "float";
        // Four words: the third can only be meant as the value's type.
        if (!second.quoted && !typeWord && m_tokens.size() == 4)
            fail("'set PIN TYPE VALUE' takes the type text, int or float, not '" + second.text +
                 "'");
        if (!second.quoted && typeWord && m_tokens.size() > 3) {
            m_cmd.form = second.text == "text"  ? SetForm::Text
                         : second.text == "int" ? SetForm::Int
                                                : SetForm::Float;
            at = 3;
        }
        const Token &t = need(at, "a value");
        switch (m_cmd.form) {
        case SetForm::Text: m_cmd.value = text(at, "a text"); break;
        case SetForm::Int:
            m_cmd.value.kind = ScriptValue::Kind::Int;
            m_cmd.value.integer = integer(at, "a whole number");
            m_cmd.value.text = t.text;
            break;
        case SetForm::Float:
            m_cmd.value = number(t, false);
            if (m_cmd.value.kind == ScriptValue::Kind::Text)
                fail("'set ... float' needs a number, not a quoted text");
            m_cmd.value.kind = ScriptValue::Kind::Float;
            break;
        case SetForm::Auto: m_cmd.value = number(t, true); break;
        }
        done(at + 1);
    }

    bool comparison(size_t i) const {
        const Token &t = need(i, "== or !=");
        if (!t.quoted && t.text == "==")
            return false;
        if (!t.quoted && t.text == "!=")
            return true;
        fail("expected == or != , not '" + t.text + "'");
    }

    void readExpect(const CommandRow &) {
        const Token &what = need(1, "pin, choices or problems");
        if (what.quoted)
            fail("'expect' is followed by pin, choices or problems");
        if (what.text == "pin") {
            m_cmd.op = ScriptOp::ExpectPin;
            m_cmd.pin = pin(2);
            m_cmd.negated = comparison(3);
            m_cmd.value = number(need(4, "a quoted text or a number to compare with"), false);
            done(5);
        } else if (what.text == "choices") {
            m_cmd.op = ScriptOp::ExpectChoices;
            m_cmd.pin = pin(2);
            m_cmd.negated = comparison(3);
            m_cmd.value = text(4, "the expected list of choices");
            done(5);
        } else if (what.text == "problems") {
            m_cmd.op = ScriptOp::ExpectProblems;
            m_cmd.negated = comparison(2);
            m_cmd.number = integer(3, "a number of problems");
            if (m_cmd.number < 0)
                fail("a number of problems is 0 or more");
            done(4);
        } else {
            fail("'expect' is followed by pin, choices or problems, not '" + what.text + "'");
        }
    }

    std::vector<Token> m_tokens;
    int m_line;
    ScriptCommand &m_cmd;
    std::string m_word;
};

// The commands, in the order help lists them. Argument words in capitals
// stand for values; lower-case words and a|b choices are written as they
// stand (and complete with Tab).
struct CommandTable {
    using P = LineParser;
    static constexpr CommandRow rows[] = {
        {"list", "TEXT", "set the list text (pin \"TEXT LIST\")", ScriptOp::Set, &P::readAlias,
         "TEXT LIST", SetForm::Text, "the list text"},
        {"select", "N", "select item N (pin \"LIST\")", ScriptOp::Set, &P::readAlias, "LIST",
         SetForm::Int, "an item number"},
        {"write", "TEXT", "write a number as text (pin \"ITEM -> VALUE\")", ScriptOp::Set,
         &P::readAlias, "ITEM -> VALUE", SetForm::Text, "a number as text"},
        {"set", "PIN [text|int|float] V", "set any pin (PIN: number or \"name\")", ScriptOp::Set,
         &P::readSet, nullptr, SetForm::Auto, nullptr},
        {"show", "", "show every pin", ScriptOp::Show, nullptr, nullptr, SetForm::Auto, nullptr},
        {"echo", "on|off", "report the module's own writes back to it", ScriptOp::Echo,
         &P::readOnOff, nullptr, SetForm::Auto, nullptr},
        {"trace", "on|off", "print every call of each step", ScriptOp::Trace, &P::readOnOff,
         nullptr, SetForm::Auto, nullptr},
        {"open", "", "create and open both objects", ScriptOp::Open, nullptr, nullptr,
         SetForm::Auto, nullptr},
        {"close", "", "close both objects", ScriptOp::Close, nullptr, nullptr, SetForm::Auto,
         nullptr},
        {"recreate", "", "close, then create and open fresh objects", ScriptOp::Recreate, nullptr,
         nullptr, SetForm::Auto, nullptr},
        {"process", "[N]", "run N audio blocks (default 1)", ScriptOp::Process, &P::readBlocks,
         nullptr, SetForm::Auto, nullptr},
        {"expect", "pin PIN == V", "fail the run unless it holds (also !=)", ScriptOp::ExpectPin,
         &P::readExpect, nullptr, SetForm::Auto, nullptr},
        {"expect", "choices PIN == TEXT", "the pin's list of choices", ScriptOp::ExpectChoices,
         &P::readExpect, nullptr, SetForm::Auto, nullptr},
        {"expect", "problems == N", "faults the host found in the module", ScriptOp::ExpectProblems,
         &P::readExpect, nullptr, SetForm::Auto, nullptr},
        {"help", "", "show this list", ScriptOp::Help, nullptr, nullptr, SetForm::Auto, nullptr},
        {"quit", "", "end the run", ScriptOp::Quit, nullptr, nullptr, SetForm::Auto, nullptr},
        {"exit", "", "the same as quit", ScriptOp::Quit, nullptr, nullptr, SetForm::Auto, nullptr},
    };
};

void LineParser::parse() {
    const Token &first = m_tokens[0];
    if (first.quoted)
        fail("a line starts with a command word, not a quoted text");
    m_word = first.text;
    for (const CommandRow &row : CommandTable::rows) {
        if (m_word != row.name)
            continue;
        m_cmd.op = row.op;
        if (row.readArguments)
            (this->*row.readArguments)(row);
        else
            done(1);
        return;
    }
    fail("unknown command '" + m_word + "' (type help for the list)");
}

} // namespace

bool parseScriptLine(const std::string &line, int lineNumber, ScriptCommand &out) {
    // A control byte (other than a tab or the carriage return of a Windows
    // line end) is no script; the line is not shown, a terminal would obey
    // it.
    for (size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        const bool lineEnd = c == '\r' && i + 1 == line.size();
        if ((c < 0x20 && c != '\t' && !lineEnd) || c == 0x7f) {
            static const char digits[] = "0123456789ABCDEF";
            throw ScriptError(lineNumber, std::string("the line holds the control byte 0x") +
                                              digits[c >> 4] + digits[c & 15] +
                                              " (binary data?); write it as \\xNN in a text");
        }
    }
    std::string source;
    std::vector<Token> tokens = tokenize(line, lineNumber, source);
    if (tokens.empty())
        return false;
    ScriptCommand cmd;
    cmd.line = lineNumber;
    cmd.source = source;
    LineParser(std::move(tokens), lineNumber, cmd).parse();
    out = std::move(cmd);
    return true;
}

std::vector<ScriptCommand> parseScript(const std::string &text) {
    std::vector<ScriptCommand> commands;
    // A byte order mark some editors put at the start of a UTF-8 file.
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int lineNumber = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++lineNumber;
        std::string line = text.substr(start, end - start);
        if (line.find('\0') != std::string::npos)
            throw ScriptError(lineNumber, "the line holds a NUL byte; is this a script?");
        ScriptCommand cmd;
        if (parseScriptLine(line, lineNumber, cmd))
            commands.push_back(std::move(cmd));
        start = end + 1;
    }
    return commands;
}

std::string scriptHelpText() {
    std::string out = "Commands (one per line; '#' starts a comment):\n";
    for (const CommandRow &row : CommandTable::rows) {
        std::string usage = std::string(row.name) + (*row.arguments ? " " : "") + row.arguments;
        usage.resize(std::max<size_t>(usage.size() + 1, 29), ' ');
        out += "  " + usage + row.help + "\n";
    }
    return out + "Texts: a word, or \"in quotes\" with \\\" \\\\ \\n \\t \\r \\xNN.\n";
}

const std::vector<std::string> &scriptWords() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> out;
        const auto add = [&out](const std::string &word) {
            if (!word.empty() && std::find(out.begin(), out.end(), word) == out.end())
                out.push_back(word);
        };
        for (const CommandRow &row : CommandTable::rows)
            add(row.name);
        // The lower-case words of the arguments are literal: "pin", "on".
        for (const CommandRow &row : CommandTable::rows) {
            const std::string arguments = row.arguments;
            size_t start = 0;
            while (start <= arguments.size()) {
                size_t end = arguments.find_first_of(" |[]", start);
                if (end == std::string::npos)
                    end = arguments.size();
                const std::string word = arguments.substr(start, end - start);
                if (std::all_of(word.begin(), word.end(),
                                [](char c) { return c >= 'a' && c <= 'z'; }))
                    add(word);
                start = end + 1;
            }
        }
        return out;
    }();
    return words;
}

} // namespace wqhost
