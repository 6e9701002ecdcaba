#include "host/script/ScriptParser.h"

#include "host/script/ScriptArguments.h"
#include "host/script/SessionCommands.h"

#include <algorithm>

namespace wqhost {

namespace {

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
std::vector<ScriptToken> tokenize(const std::string &line, int lineNumber, std::string &source) {
    std::vector<ScriptToken> tokens;
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
        ScriptToken t;
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

// The rows whose command word is `word`.
std::vector<const CommandRow *> rowsNamed(const std::string &word) {
    std::vector<const CommandRow *> rows;
    for (const CommandRow &row : sessionCommands())
        if (word == row.name)
            rows.push_back(&row);
    return rows;
}

// "pin, choices or problems": the subcommands of `rows`.
std::string subcommandList(const std::vector<const CommandRow *> &rows) {
    std::string list;
    for (size_t i = 0; i < rows.size(); ++i)
        list += (i == 0                 ? ""
                 : i + 1 == rows.size() ? " or "
                                        : ", ") +
                std::string(rows[i]->subcommand);
    return list;
}

// Finds the line's row (by its command word, and its subcommand for rows
// that have one) and reads the rest of the line with it.
void readCommand(const std::vector<ScriptToken> &tokens, int lineNumber, ScriptCommand &cmd) {
    const ArgumentReader words(tokens, lineNumber);
    const ScriptToken &first = tokens[0];
    if (first.quoted)
        words.fail("a line starts with a command word, not a quoted text");
    const std::vector<const CommandRow *> rows = rowsNamed(first.text);
    if (rows.empty())
        words.fail("unknown command '" + first.text + "' (type help for the list)");
    const CommandRow *row = rows.front();
    if (row->subcommand) {
        const std::string list = subcommandList(rows);
        const ScriptToken &second = words.need(1, list);
        if (second.quoted)
            words.fail("'" + first.text + "' is followed by " + list);
        const auto named = std::find_if(rows.begin(), rows.end(), [&](const CommandRow *r) {
            return second.text == r->subcommand;
        });
        if (named == rows.end())
            words.fail("'" + first.text + "' is followed by " + list + ", not '" + second.text +
                       "'");
        row = *named;
    }
    cmd.op = row->op;
    if (row->read)
        row->read(words, cmd);
    else
        words.done(1);
}

} // namespace

std::vector<ScriptToken> tokenizeScriptLine(const std::string &line, int lineNumber) {
    std::string source;
    return tokenize(line, lineNumber, source);
}

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
    const std::vector<ScriptToken> tokens = tokenize(line, lineNumber, source);
    if (tokens.empty())
        return false;
    ScriptCommand cmd;
    cmd.line = lineNumber;
    cmd.source = source;
    readCommand(tokens, lineNumber, cmd);
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
    for (const CommandRow &row : sessionCommands()) {
        std::string usage = row.name;
        if (row.subcommand)
            usage += std::string(" ") + row.subcommand;
        if (*row.arguments)
            usage += std::string(" ") + row.arguments;
        usage.resize(std::max<size_t>(usage.size() + 2, 29), ' ');
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
        for (const CommandRow &row : sessionCommands())
            add(row.name);
        // Subcommands and the lower-case words of the arguments are
        // literal: "pin", "on".
        for (const CommandRow &row : sessionCommands()) {
            if (row.subcommand)
                add(row.subcommand);
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
