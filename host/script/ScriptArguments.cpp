#include "host/script/ScriptArguments.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace wqhost {

namespace {

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
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v) || std::fabs(v) > 3.4028234e38)
        return false;
    out = static_cast<float>(v);
    return true;
}

} // namespace

bool parseScriptInt(const std::string &text, int32_t &out) {
    if (!looksLikeInt(text))
        return false;
    // from_chars takes a '-' but no '+'.
    const char *first = text.data() + (text[0] == '+' ? 1 : 0);
    const char *last = text.data() + text.size();
    int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last)
        return false;
    out = value;
    return true;
}

void ArgumentReader::fail(const std::string &message) const { throw ScriptError(m_line, message); }

const ScriptToken &ArgumentReader::need(size_t i, const std::string &what) const {
    if (i >= m_tokens.size())
        fail("'" + word() + "' needs " + what);
    return m_tokens[i];
}

void ArgumentReader::done(size_t count) const {
    if (m_tokens.size() > count)
        fail("too many words after '" + word() + "': '" + m_tokens[count].text + "'" +
             (m_tokens[count].quoted ? "" : " (put a text with blanks in quotes)"));
}

ScriptValue ArgumentReader::text(size_t i, const std::string &what) const {
    const ScriptToken &t = need(i, what);
    ScriptValue v;
    v.kind = ScriptValue::Kind::Text;
    v.text = t.text;
    v.quoted = t.quoted;
    return v;
}

int32_t ArgumentReader::integer(size_t i, const std::string &what) const {
    const ScriptToken &t = need(i, what);
    int32_t v = 0;
    if (t.quoted || !parseScriptInt(t.text, v))
        fail("'" + word() + "' needs " + what + " (a whole number from -2147483648 to " +
             "2147483647), not '" + t.text + "'");
    return v;
}

bool ArgumentReader::onOff(size_t i) const {
    const ScriptToken &t = need(i, "on or off");
    if (!t.quoted && t.text == "on")
        return true;
    if (!t.quoted && t.text == "off")
        return false;
    fail("'" + word() + "' takes on or off, not '" + t.text + "'");
}

PinRef ArgumentReader::pin(size_t i) const {
    const ScriptToken &t = need(i, "a pin number or a pin name in quotes");
    PinRef p;
    if (t.quoted) {
        if (t.text.empty())
            fail("a pin name cannot be empty");
        p.named = true;
        p.name = t.text;
        return p;
    }
    if (!parseScriptInt(t.text, p.index) || p.index < 0)
        fail("'" + t.text +
             "' is not a pin: write a pin number (0 or more) or a pin name in quotes");
    return p;
}

bool ArgumentReader::comparison(size_t i) const {
    const ScriptToken &t = need(i, "== or !=");
    if (!t.quoted && t.text == "==")
        return false;
    if (!t.quoted && t.text == "!=")
        return true;
    fail("expected == or != , not '" + t.text + "'");
}

ScriptValue ArgumentReader::number(const ScriptToken &t, bool allowText) const {
    ScriptValue v;
    v.text = t.text;
    v.quoted = t.quoted;
    if (t.quoted) {
        v.kind = ScriptValue::Kind::Text;
        return v;
    }
    if (looksLikeInt(t.text)) {
        if (!parseScriptInt(t.text, v.integer))
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

} // namespace wqhost
