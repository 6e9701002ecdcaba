#include "bench/LeanGuiHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

namespace {

// Copies a NUL-terminated text into fixed storage, cut to fit.
void store(char (&to)[LeanGuiHost::kTextCapacity], const char *from) {
    if (from == nullptr) {
        to[0] = '\0';
        return;
    }
    const std::size_t n = strnlen(from, sizeof to - 1);
    std::memcpy(to, from, n);
    to[n] = '\0';
}

} // namespace

std::string describe(const TracedCall &call) {
    char head[96];
    std::snprintf(head, sizeof head, "depth %d: op %d index %d value %d ptr %s", call.depth,
                  call.opcode, call.index, call.value, call.ptrSet ? "set" : "null");
    std::string line = head;
    if (call.opcode == GH_PIN_SET_TEXT || call.opcode == GH_PIN_SET_LIST_TEXT)
        line += " text \"" + call.text + "\"";
    return line;
}

LeanGuiHost::LeanGuiHost(WQMakeModuleProc makeModule) : m_makeModule(makeModule) {
    for (int32_t i = 0; i < kPinCount; ++i) {
        m_pins[i].isText = i != 1;
        m_pins[i].integer = 0;
        m_pins[i].text[0] = '\0';
        m_pins[i].listText[0] = '\0';
    }
    store(m_pins[1].listText, "a=1,b=2"); // as the selection pin declares it
}

LeanGuiHost::~LeanGuiHost() {
    if (m_record != nullptr) {
        m_echo = false;
        dispatch(GD_CLOSE, 0);
        m_record = nullptr;
    }
}

bool LeanGuiHost::create() {
    void *record =
        m_makeModule(0, WQ_TYPE_GUI, &LeanGuiHost::callback, reinterpret_cast<intptr_t>(this));
    m_record = static_cast<WQGuiHostRecord *>(record);
    if (m_record == nullptr)
        return false;
    dispatch(GD_OPEN, 0);
    return true;
}

wq_result_t LeanGuiHost::dispatch(int32_t opcode, int32_t index) {
    ++m_depth;
    const wq_result_t result = m_record->dispatcher(m_record, opcode, index, 0, nullptr, 0.0f);
    --m_depth;
    return result;
}

LeanGuiHost::Pin *LeanGuiHost::pin(int32_t index) noexcept {
    return index >= 0 && index < kPinCount ? &m_pins[index] : nullptr;
}

const LeanGuiHost::Pin *LeanGuiHost::pin(int32_t index) const noexcept {
    return index >= 0 && index < kPinCount ? &m_pins[index] : nullptr;
}

void LeanGuiHost::setText(int32_t index, const char *text) {
    if (Pin *p = pin(index)) {
        if (p->isText)
            store(p->text, text);
        else
            p->integer = static_cast<int32_t>(std::atoi(text));
    }
}

void LeanGuiHost::setInt(int32_t index, int32_t value) {
    if (Pin *p = pin(index)) {
        if (p->isText)
            std::snprintf(p->text, sizeof p->text, "%d", static_cast<int>(value));
        else
            p->integer = value;
    }
}

const char *LeanGuiHost::text(int32_t index) const {
    const Pin *p = pin(index);
    return p != nullptr ? p->text : "";
}

int32_t LeanGuiHost::intValue(int32_t index) const {
    const Pin *p = pin(index);
    if (p == nullptr)
        return 0;
    return p->isText ? static_cast<int32_t>(std::atoi(p->text)) : p->integer;
}

const char *LeanGuiHost::listText(int32_t index) const {
    const Pin *p = pin(index);
    return p != nullptr ? p->listText : "";
}

wq_result_t WQ_ABI LeanGuiHost::callback(void *record, int32_t opcode, int32_t index, int32_t value,
                                         void *ptr, float) {
    auto *host = reinterpret_cast<LeanGuiHost *>(static_cast<WQGuiHostRecord *>(record)->hostValue);
    if (host->m_trace != nullptr)
        host->traceCall(opcode, index, value, ptr);
    return host->answer(opcode, index, value, ptr);
}

void LeanGuiHost::traceCall(int32_t opcode, int32_t index, int32_t value, const void *ptr) {
    TracedCall call{opcode, index, value, ptr != nullptr, std::string(), m_depth};
    if ((opcode == GH_PIN_SET_TEXT || opcode == GH_PIN_SET_LIST_TEXT) && ptr != nullptr)
        call.text = static_cast<const char *>(ptr);
    m_trace->push_back(call);
}

wq_result_t LeanGuiHost::answer(int32_t opcode, int32_t index, int32_t value, void *ptr) {
    Pin *p = pin(index);
    switch (opcode) {
    case GH_PIN_GET_TEXT:
        if (p == nullptr)
            return 0;
        if (!p->isText)
            std::snprintf(p->text, sizeof p->text, "%d", static_cast<int>(p->integer));
        return reinterpret_cast<wq_result_t>(p->text);
    case GH_PIN_GET_VALUE:
        if (p != nullptr && ptr != nullptr) {
            const int32_t v = p->isText ? static_cast<int32_t>(std::atoi(p->text)) : p->integer;
            std::memcpy(ptr, &v, sizeof v);
        }
        return 0;
    case GH_PIN_SET_TEXT:
        if (p == nullptr)
            return 0;
        if (p->isText)
            store(p->text, static_cast<const char *>(ptr));
        else
            p->integer = ptr != nullptr
                             ? static_cast<int32_t>(std::atoi(static_cast<const char *>(ptr)))
                             : 0;
        echo(index);
        return 0;
    case GH_PIN_SET_VALUE:
        if (p == nullptr)
            return 0;
        if (p->isText)
            std::snprintf(p->text, sizeof p->text, "%d", static_cast<int>(value));
        else
            p->integer = value;
        echo(index);
        return 0;
    case GH_PIN_SET_LIST_TEXT:
        if (p != nullptr)
            store(p->listText, static_cast<const char *>(ptr));
        return 0;
    default: // GH_OPCODE_22 and the rest: nothing to do here
        return 0;
    }
}

void LeanGuiHost::echo(int32_t index) {
    // The notification runs inside the write, before it returns to the object.
    if (m_echo && m_depth < kNestingLimit)
        notify(index);
}

} // namespace bench
