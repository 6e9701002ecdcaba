#include "host/fuzz/LineSimplifier.h"

#include "host/script/ScriptParser.h"
#include "host/text/QuotedText.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace wqhost {

namespace {

bool isInteger(const std::string &t) {
    size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    if (i == t.size())
        return false;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9')
            return false;
    return true;
}

bool isNumber(const std::string &t, double &value) {
    if (t.empty() || t.find_first_of("0123456789") == std::string::npos)
        return false;
    char *end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size() && std::isfinite(value);
}

std::string lineOf(const std::vector<ScriptToken> &tokens) {
    std::string line;
    for (const ScriptToken &t : tokens) {
        if (!line.empty())
            line += ' ';
        line += t.quoted ? quoteText(t.text) : t.text;
    }
    return line;
}

// Smaller forms of one number word.
std::vector<std::string> smallerNumbers(const std::string &word) {
    std::vector<std::string> out;
    double value = 0.0;
    if (!isNumber(word, value))
        return out;
    if (isInteger(word)) {
        const long long v = std::strtoll(word.c_str(), nullptr, 10);
        if (v == LLONG_MIN)
            return out; // no session value is that far out
        for (long long smaller : {0LL, 1LL, v / 2}) {
            const std::string word = std::to_string(smaller);
            if (std::llabs(smaller) < std::llabs(v) &&
                std::find(out.begin(), out.end(), word) == out.end())
                out.push_back(word);
        }
    } else {
        out.push_back("0");
        out.push_back("1");
        const double whole = std::trunc(value);
        if (whole != value && std::fabs(whole) > 1.0)
            out.push_back(std::to_string(static_cast<long long>(whole)));
    }
    return out;
}

} // namespace

std::vector<std::string> simplerLines(const std::string &line) {
    std::vector<ScriptToken> tokens;
    try {
        tokens = tokenizeScriptLine(line, 1);
    } catch (const std::exception &) {
        return {};
    }
    if (tokens.empty())
        return {};
    const std::string &command = tokens.front().text;
    // The word that names a pin stays as it is.
    const size_t pinWord =
        (command == "set" || command == "signal" || command == "record") ? 1 : tokens.size();
    std::vector<std::string> out;
    for (size_t i = 1; i < tokens.size(); ++i) {
        if (i == pinWord)
            continue;
        const ScriptToken &t = tokens[i];
        std::vector<std::string> forms;
        if (t.quoted) {
            if (!t.text.empty())
                forms.push_back(std::string());
            if (t.text.size() > 1)
                forms.push_back(t.text.substr(0, t.text.size() / 2));
        } else {
            forms = smallerNumbers(t.text);
        }
        for (const std::string &form : forms) {
            std::vector<ScriptToken> changed = tokens;
            changed[i].text = form;
            const std::string candidate = lineOf(changed);
            if (candidate != line)
                out.push_back(candidate);
        }
    }
    return out;
}

} // namespace wqhost
