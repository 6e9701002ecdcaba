#include "host/script/ScriptParser.h"

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
                    throw ScriptError(lineNumber, "a '\"' inside a word: put the whole text in quotes");
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

// Words that stand for `set` on a pin found by its name in the loaded
// module's pin table: a list module's user operations.
struct PinAlias {
    const char *word;
    const char *pinName;
    SetForm form;     // Text or Int
    const char *what; // the value, as a message names it
};

const PinAlias kPinAliases[] = {
    {"list", "TEXT LIST", SetForm::Text, "the list text"},
    {"select", "LIST", SetForm::Int, "an item number"},
    {"write", "ITEM -> VALUE", SetForm::Text, "a number as text"},
};

const PinAlias *findPinAlias(const std::string &word) {
    for (const PinAlias &a : kPinAliases)
        if (word == a.word)
            return &a;
    return nullptr;
}

class LineParser {
public:
    LineParser(std::vector<Token> tokens, int line, ScriptCommand &cmd)
        : m_tokens(std::move(tokens)), m_line(line), m_cmd(cmd) {}

    void parse() {
        const Token &first = m_tokens[0];
        if (first.quoted)
            fail("a line starts with a command word, not a quoted text");
        m_word = first.text;
        const std::string &w = m_word;
        if (const PinAlias *alias = findPinAlias(w)) {
            parseAlias(*alias);
        } else if (w == "set") {
            parseSet();
        } else if (w == "show") {
            m_cmd.op = ScriptOp::Show;
            done(1);
        } else if (w == "echo" || w == "trace") {
            m_cmd.op = w == "echo" ? ScriptOp::Echo : ScriptOp::Trace;
            m_cmd.on = onOff(1);
            done(2);
        } else if (w == "open") {
            m_cmd.op = ScriptOp::Open;
            done(1);
        } else if (w == "close") {
            m_cmd.op = ScriptOp::Close;
            done(1);
        } else if (w == "recreate") {
            m_cmd.op = ScriptOp::Recreate;
            done(1);
        } else if (w == "process") {
            m_cmd.op = ScriptOp::Process;
            m_cmd.number = 1;
            if (m_tokens.size() > 1) {
                m_cmd.number = integer(1, "a number of blocks");
                if (m_cmd.number < 1 || m_cmd.number > 1000000)
                    fail("'process' runs 1 to 1000000 blocks");
            }
            done(2);
        } else if (w == "expect") {
            parseExpect();
        } else if (w == "help") {
            m_cmd.op = ScriptOp::Help;
            done(1);
        } else if (w == "quit" || w == "exit") {
            m_cmd.op = ScriptOp::Quit;
            done(1);
        } else {
            fail("unknown command '" + w + "' (type help for the list)");
        }
    }

private:
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
            fail("'" + t.text + "' is not a pin: write a pin number (0 or more) or a pin name in quotes");
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

    void parseAlias(const PinAlias &alias) {
        m_cmd.op = ScriptOp::Set;
        m_cmd.alias = alias.word;
        m_cmd.pin.named = true;
        m_cmd.pin.name = alias.pinName;
        m_cmd.form = alias.form;
        if (alias.form == SetForm::Int) {
            m_cmd.value.kind = ScriptValue::Kind::Int;
            m_cmd.value.text = need(1, alias.what).text;
            m_cmd.value.integer = integer(1, alias.what);
            m_cmd.value.real = static_cast<float>(m_cmd.value.integer);
        } else {
            m_cmd.value = text(1, alias.what);
        }
        done(2);
    }

    void parseSet() {
        m_cmd.op = ScriptOp::Set;
        m_cmd.pin = pin(1);
        size_t at = 2;
        const Token &second = need(2, "a value after the pin");
        if (!second.quoted && (second.text == "text" || second.text == "int" ||
                               second.text == "float") && m_tokens.size() > 3) {
            m_cmd.form = second.text == "text" ? SetForm::Text
                         : second.text == "int" ? SetForm::Int
                                                : SetForm::Float;
            at = 3;
        }
        const Token &t = need(at, "a value");
        switch (m_cmd.form) {
        case SetForm::Text:
            m_cmd.value = text(at, "a text");
            break;
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
        case SetForm::Auto:
            m_cmd.value = number(t, true);
            break;
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

    void parseExpect() {
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

} // namespace

bool parseScriptLine(const std::string &line, int lineNumber, ScriptCommand &out) {
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
    size_t start = 0;
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

const char *scriptHelpText() noexcept {
    return "Commands (one per line; '#' starts a comment):\n"
           "  list TEXT                    set the list text (pin \"TEXT LIST\")\n"
           "  select N                     select item N (pin \"LIST\")\n"
           "  write TEXT                   write a number as text (pin \"ITEM -> VALUE\")\n"
           "  set PIN [text|int|float] V   set any pin (PIN: number or \"name\")\n"
           "  show                         show every pin\n"
           "  echo on|off                  report the module's own writes back to it\n"
           "  trace on|off                 print every call of each step\n"
           "  open | close | recreate      create and open, close, or both\n"
           "  process [N]                  run N audio blocks\n"
           "  expect pin PIN == V          fail the run unless it holds (also !=)\n"
           "  expect choices PIN == TEXT   the pin's list of choices\n"
           "  expect problems == N         faults the host found in the module\n"
           "  help | quit\n"
           "Texts: a word, or \"in quotes\" with \\\" \\\\ \\n \\t \\r \\xNN.\n";
}

} // namespace wqhost
