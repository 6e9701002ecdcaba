#include "host/core/GuiHost.h"

#include "host/platform/UntrustedText.h"
#include "host/text/QuotedText.h"
#include "host/trace/OpcodeNames.h"

#include <cstring>

namespace wqhost {

GuiHost::GuiHost(std::shared_ptr<const ModuleLibrary> library)
    : GuiHost(std::move(library), Options()) {}

GuiHost::GuiHost(std::shared_ptr<const ModuleLibrary> library, Options options, CallLog *log)
    : HostObject(std::move(library), log), m_options(options) {}

GuiHost::~GuiHost() {
    if (isLive()) {
        try {
            close();
        } catch (...) {
            forget();
        }
    }
}

bool GuiHost::create(int32_t moduleIndex) {
    const bool created = createRecord(moduleIndex);
    m_textAnswers.clear();
    m_textAnswerPins.clear();
    retireTextCopies();
    return created;
}

void GuiHost::retireTextCopies() noexcept {
    // Kept inaccessible for a while, so that a module that kept a text's
    // address faults at its next use, and the fault names the text.
    constexpr size_t kRetiredTexts = 32;
    for (GuardedMemory &copy : m_textCopies) {
        copy.retire();
        m_retiredTexts.push_back(std::move(copy));
    }
    m_textCopies.clear();
    while (m_retiredTexts.size() > kRetiredTexts)
        m_retiredTexts.pop_front();
}

void GuiHost::forget() noexcept {
    forgetRecord();
    m_closing = false;
}

intptr_t GuiHost::dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    // Depth bookkeeping that survives an exception thrown from inside (it
    // cannot come from the module, but from a nested answer of ours).
    struct Depth {
        GuiHost &host;
        explicit Depth(GuiHost &h) : host(h) {
            if (++host.m_depth > host.m_maxDepth)
                host.m_maxDepth = host.m_depth;
        }
        ~Depth() {
            if (--host.m_depth == 0) {
                host.m_textAnswers.clear();
                host.m_textAnswerPins.clear();
                host.retireTextCopies();
            }
        }
        Depth(const Depth &) = delete;
        Depth &operator=(const Depth &) = delete;
    };

    if (opcode == GD_CLOSE)
        m_closing = true;
    intptr_t result;
    {
        Depth depth(*this);
        result = dispatchToLive(CallArgs{opcode, index, value, ptr, opt});
    }
    if (opcode == GD_CLOSE)
        forget();
    return result;
}

intptr_t GuiHost::close() {
    const intptr_t result = dispatch(GD_CLOSE);
    checkCloseResult(Side::Gui, result);
    return result;
}

void GuiHost::requirePin(int32_t pin) const {
    if (!m_pins.has(pin))
        throw HostError("pin " + std::to_string(pin) + " is not declared");
}

void GuiHost::setPinText(int32_t pin, const std::string &text) {
    requirePin(pin);
    requireLive("notify");
    m_pins.setText(pin, text);
    notifyPinChanged(pin);
}

void GuiHost::setPinInt(int32_t pin, int32_t value) {
    requirePin(pin);
    requireLive("notify");
    m_pins.setInt(pin, value);
    notifyPinChanged(pin);
}

void GuiHost::setPinFloat(int32_t pin, float value) {
    requirePin(pin);
    requireLive("notify");
    m_pins.setFloat(pin, value);
    notifyPinChanged(pin);
}

std::u16string GuiHost::widen(const std::string &text) {
    std::u16string units;
    units.reserve(text.size());
    for (unsigned char c : text)
        units.push_back(static_cast<char16_t>(c));
    return units;
}

std::string GuiHost::textAt(int32_t opcode, int32_t pin, const void *ptr) {
    if (!ptr)
        return std::string();
    const std::string call =
        opcodeLabel(Side::Gui, Direction::ModuleToHost, CallKind::Callback, opcode) + " for pin " +
        std::to_string(pin);
    // The host's own texts live only until the outermost call returns, and
    // a write may replace the very text the pointer shows.
    const char *at = static_cast<const char *>(ptr);
    for (size_t i = 0; m_options.judgeWrittenTexts && i < m_textAnswers.size(); ++i) {
        const char *own = m_textCopies[i].as<char>();
        if (at >= own && at <= own + m_textAnswers[i].size())
            problem(ProblemCode::HostTextBack,
                    call + " passed the host's own text of pin " +
                        std::to_string(m_textAnswerPins[i]) +
                        " (the address GH_PIN_GET_TEXT answered) instead of a copy: copy a "
                        "text the host hands out before keeping or writing it");
    }
    const UntrustedText read = UntrustedText::read(ptr, kMaxPinText);
    if (!read.ok()) {
        problem(ProblemCode::BadText, call + ": the text " + read.fault(kMaxPinText) +
                                          ": end every text with a NUL, also where a long "
                                          "text was cut to fit a buffer");
    } else if (const std::string cut =
                   m_options.judgeWrittenTexts ? cutWithoutNul(read.text) : std::string();
               !cut.empty()) {
        problem(ProblemCode::BadText, call + ": the text goes on past a cut: " + cut +
                                          ": end a text cut to fit a buffer with a NUL");
    }
    return read.text;
}

namespace {

bool printable(const char *begin, const char *end) {
    for (const char *p = begin; p < end; ++p)
        if (static_cast<unsigned char>(*p) < 0x20 || static_cast<unsigned char>(*p) > 0x7E)
            return false;
    return true;
}

} // namespace

std::string GuiHost::cutWithoutNul(const std::string &written) const {
    // A printable text of the host's, long enough that a buffer cuts it,
    // whose first bytes the module wrote back followed by bytes that are not
    // text at all: what lay behind a buffer that lost its NUL at the cut.
    constexpr size_t kLeast = 16;
    for (size_t i = 0; i < m_textAnswers.size(); ++i) {
        const std::string &own = m_textAnswers[i];
        if (own.size() < 2 * kLeast || !printable(own.data(), own.data() + own.size()))
            continue;
        size_t n = 0;
        while (n < own.size() && n < written.size() && own[n] == written[n])
            ++n;
        if (n < kLeast || n == own.size() || n == written.size() ||
            printable(written.data() + n, written.data() + written.size()))
            continue;
        return "its first " + std::to_string(n) + " bytes are the text of pin " +
               std::to_string(m_textAnswerPins[i]) + " the host handed out, then come " +
               quoteText(written.substr(n, 16)) + ", which are not";
    }
    return std::string();
}

void GuiHost::declarePins(const std::vector<PinDeclaration> &table) {
    m_pins.declare(table);
    m_audioInputs.clear();
    for (const PinDeclaration &d : table)
        if (d.direction() == DR_IN && (d.flags() & IO_UI_COMMUNICATION) == 0)
            m_audioInputs[d.index] = d.name;
}

void GuiHost::judgeWrite(int32_t pin, int32_t opcode) {
    if (!m_options.judgeInputWrites)
        return;
    const auto input = m_audioInputs.find(pin);
    if (input == m_audioInputs.end())
        return;
    problem(ProblemCode::GuiWroteInput,
            opcodeLabel(Side::Gui, Direction::ModuleToHost, CallKind::Callback, opcode) +
                " wrote pin " + std::to_string(pin) + " (" + quoteText(input->second) +
                "), an input of the audio side (DR_IN without IO_UI_COMMUNICATION): what drives "
                "it is what the patch connects to it, and the GUI's write fights that; give "
                "the GUI a pin of its own (IO_UI_COMMUNICATION, and IO_UI_DUAL for the audio "
                "side to read it)");
    m_audioInputs.erase(input);
}

bool GuiHost::knownPin(int32_t pin, int32_t opcode) {
    if (m_pins.has(pin))
        return true;
    problem(ProblemCode::UndeclaredPin,
            opcodeLabel(Side::Gui, Direction::ModuleToHost, CallKind::Callback, opcode) +
                " for undeclared pin " + std::to_string(pin));
    return false;
}

void GuiHost::echoWrite(int32_t pin, bool changed) {
    if (!m_options.echo || m_closing || !m_record)
        return;
    if (m_options.echoOnlyChanges && !changed)
        return;
    if (m_depth >= m_options.nestingLimit) {
        if (!m_limitReached)
            problem(ProblemCode::EchoNestingLimit,
                    "pin change echo for pin " + std::to_string(pin) +
                        " held back: nesting depth " + std::to_string(m_depth) +
                        " reached the limit " + std::to_string(m_options.nestingLimit));
        m_limitReached = true;
        return;
    }
    notifyPinChanged(pin);
}

intptr_t GuiHost::answer(Side, void *record, const CallArgs &args) {
    const int32_t opcode = args.opcode;
    const int32_t index = args.index;
    const int32_t value = args.value;
    void *const ptr = args.ptr;
    const float opt = args.opt;
    CallRecord call = makeCall(Side::Gui, CallKind::Callback, record, args);
    checkCallbackRecord(Side::Gui, record, m_record, opcode);
    const bool carriesText = opcode == GH_PIN_SET_TEXT || opcode == GH_PIN_SET_LIST_TEXT;
    if (carriesText)
        call.text = textAt(opcode, index, ptr);

    CallScope scope(log(), call);
    intptr_t result = 0;
    std::string answerText;
    switch (opcode) {
    case GH_PIN_SET_TEXT: {
        if (!ptr)
            problem(ProblemCode::NullText,
                    "GH_PIN_SET_TEXT for pin " + std::to_string(index) + " with a null text");
        if (!knownPin(index, opcode))
            break;
        judgeWrite(index, opcode);
        // The echo runs inside the write, before it returns to the object.
        echoWrite(index, m_pins.setText(index, call.text));
        break;
    }
    case GH_PIN_SET_VALUE: {
        if (!knownPin(index, opcode))
            break;
        judgeWrite(index, opcode);
        bool changed = false;
        switch (m_pins.at(index).kind) {
        case PinKind::Integer: changed = m_pins.setInt(index, value); break;
        case PinKind::Float: changed = m_pins.setFloat(index, opt); break;
        case PinKind::Text:
            changed = value == 0 && opt != 0.0f ? m_pins.setFloat(index, opt)
                                                : m_pins.setInt(index, value);
            break;
        }
        echoWrite(index, changed);
        break;
    }
    case GH_PIN_GET_TEXT: {
        if (m_nullTextOnce) {
            m_nullTextOnce = false;
            result = 0;
            break;
        }
        m_textAnswers.push_back(knownPin(index, opcode) ? m_pins.text(index) : std::string());
        m_textAnswerPins.push_back(index);
        answerText = m_textAnswers.back();
        m_textCopies.push_back(
            GuardedMemory::copyOf(answerText.c_str(), answerText.size() + 1, kGuardedPinText));
        // The module reads the host's text; a write into it is a fault. (A
        // check that leaves room past texts, so that an overrun fails only
        // the check that looks for it, leaves them writable too.)
        if (GuardedMemory::room(kGuardedPinText) == 0)
            m_textCopies.back().makeReadOnly();
        result = reinterpret_cast<intptr_t>(m_textCopies.back().data());
        break;
    }
    case GH_PIN_GET_VALUE: {
        if (!ptr) {
            problem(ProblemCode::NullSlot,
                    "GH_PIN_GET_VALUE for pin " + std::to_string(index) + " with a null slot");
            break;
        }
        if (knownPin(index, opcode)) {
            m_pins.fillSlot(index, ptr);
            answerText = m_pins.text(index);
        } else {
            std::memset(ptr, 0, 4);
        }
        break;
    }
    case GH_PIN_SET_LIST_TEXT:
        if (!ptr)
            problem(ProblemCode::NullText,
                    "GH_PIN_SET_LIST_TEXT for pin " + std::to_string(index) + " with a null text");
        if (knownPin(index, opcode))
            m_pins.setListText(index, call.text);
        break;
    case GH_PIN_GET_TEXT_W: {
        const std::string text = knownPin(index, opcode) ? m_pins.text(index) : std::string();
        const std::u16string units = widen(text);
        if (!ptr) {
            if (m_wideLengthOnce) {
                m_wideLengthOnce = false;
                result = m_wideLength;
            } else {
                result = static_cast<intptr_t>(units.size() + 1);
            }
            break;
        }
        // Fill at most `value` units: the text, then its zero unit.
        size_t room = value > 0 ? static_cast<size_t>(value) : 0;
        size_t n = room < units.size() + 1 ? room : units.size() + 1;
        std::u16string out = units;
        out.push_back(u'\0');
        std::memcpy(ptr, out.data(), n * sizeof(char16_t));
        result = static_cast<intptr_t>(n);
        answerText = text;
        break;
    }
    default: {
        auto it = m_answers.find(opcode);
        result = it == m_answers.end() ? 0 : it->second;
        break;
    }
    }
    scope.finish(result, answerText);
    return result;
}

} // namespace wqhost
