#include "host/validate/RawHost.h"

#include "host/platform/HostError.h"

#include <cstring>

namespace wqhost {

namespace {

RawHost *g_active = nullptr;

wq_result_t WQ_ABI rawCallback(void *record, int32_t opcode, int32_t index, int32_t value,
                               void *ptr, float opt) noexcept {
    if (!g_active)
        return 0;
    try {
        return g_active->answer(record, opcode, index, value, ptr, opt);
    } catch (...) {
        return 0; // nothing may cross back into the module
    }
}

const char kEmptyText[] = "";

} // namespace

RawHost::RawHost(CheckContext &ctx) : m_ctx(ctx), m_samples(4096, 0.0f) {
    if (g_active)
        throw HostError("only one RawHost may be active at a time");
    g_active = this;
}

RawHost::~RawHost() { g_active = nullptr; }

WQHostCallback RawHost::callbackFunction() noexcept { return &rawCallback; }

Side RawHost::sideOf(const void *record) const noexcept {
    auto it = m_sides.find(record);
    return it != m_sides.end() ? it->second : m_creating;
}

void *RawHost::make(int32_t index, int32_t type, intptr_t hostValue) {
    m_creating = type == WQ_TYPE_AUDIO ? Side::Audio : type == WQ_TYPE_GUI ? Side::Gui
                                                                           : Side::Library;
    void *record = m_ctx.library()->makeModule(index, type, &rawCallback, hostValue, &m_ctx.log());
    if (record && m_creating != Side::Library)
        m_sides[record] = m_creating;
    m_creating = Side::Library;
    return record;
}

intptr_t RawHost::audio(WQAudioHostRecord *record, int32_t opcode, int32_t index, int32_t value,
                        void *ptr, float opt) {
    if (!record->dispatcher)
        m_ctx.stop("the audio record has no dispatcher entry");
    CallRecord call;
    call.direction = Direction::HostToModule;
    call.side = Side::Audio;
    call.kind = CallKind::Dispatch;
    call.record = record;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.ptr = reinterpret_cast<intptr_t>(ptr);
    call.opt = opt;
    intptr_t result;
    {
        CallScope scope(m_ctx.log(), call);
        result = record->dispatcher(record, opcode, index, value, ptr, opt);
        scope.finish(result);
    }
    if (opcode == AD_CLOSE) {
        m_sides.erase(record);
        if (record == m_watched)
            m_watched = nullptr;
    }
    return result;
}

intptr_t RawHost::gui(WQGuiHostRecord *record, int32_t opcode, int32_t index, int32_t value,
                      void *ptr, float opt) {
    if (!record->dispatcher)
        m_ctx.stop("the GUI record has no dispatcher entry");
    CallRecord call;
    call.direction = Direction::HostToModule;
    call.side = Side::Gui;
    call.kind = CallKind::Dispatch;
    call.record = record;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.ptr = reinterpret_cast<intptr_t>(ptr);
    call.opt = opt;
    intptr_t result;
    {
        CallScope scope(m_ctx.log(), call);
        result = record->dispatcher(record, opcode, index, value, ptr, opt);
        scope.finish(result);
    }
    if (opcode == GD_CLOSE)
        m_sides.erase(record);
    return result;
}

void RawHost::process(WQAudioHostRecord *record) {
    WQProcessProc proc = record->process;
    if (!proc)
        m_ctx.stop("the audio record's process word is null");
    CallRecord call;
    call.direction = Direction::HostToModule;
    call.side = Side::Audio;
    call.kind = CallKind::Process;
    call.record = record;
    call.ptr = reinterpret_cast<intptr_t>(record->object);
    CallScope scope(m_ctx.log(), call);
    proc(record->object);
    scope.finish(0);
}

void RawHost::watchProcessWord(WQAudioHostRecord *record) {
    m_watched = record;
    m_knownProcess = record ? record->process : nullptr;
}

void RawHost::lookAtProcessWord(const std::string &during) {
    if (!m_watched || m_watched->process == m_knownProcess)
        return;
    m_processFaults.push_back("the record's process word changed during " + during +
                              " without AH_PROCESS_CHANGED: the host would go on calling the "
                              "old function");
    m_knownProcess = m_watched->process;
}

intptr_t RawHost::answer(void *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                         float opt) {
    const Side side = sideOf(record);
    m_callbacks.push_back(Callback{record, side, opcode, index, value});
    CallRecord call;
    call.direction = Direction::ModuleToHost;
    call.side = side == Side::Library ? Side::Audio : side;
    call.kind = CallKind::Callback;
    call.record = record;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.ptr = reinterpret_cast<intptr_t>(ptr);
    call.opt = opt;
    CallScope scope(m_ctx.log(), call);
    intptr_t result = 0;
    if (side == Side::Audio) {
        switch (opcode) {
        case AH_PIN_COUNT: result = m_pinCount; break;
        case AH_PIN_BUFFER: result = reinterpret_cast<intptr_t>(m_samples.data()); break;
        case AH_ADD_EVENT: result = 1; break;
        case AH_PROCESS_CHANGED:
            if (m_watched && record == m_watched) {
                if (m_watched->process == m_knownProcess)
                    m_processFaults.push_back(
                        "AH_PROCESS_CHANGED came while the record's process word still held "
                        "the function the host knew: the word must be written before the host "
                        "is told");
                m_knownProcess = m_watched->process;
            }
            break;
        default: break; // the sample clock and the buffer clock stay at 0
        }
    } else if (side == Side::Gui) {
        switch (opcode) {
        case GH_PIN_GET_TEXT: result = reinterpret_cast<intptr_t>(kEmptyText); break;
        case GH_PIN_GET_VALUE:
            if (ptr)
                std::memset(ptr, 0, 4);
            break;
        case GH_PIN_GET_TEXT_W:
            if (!ptr) {
                result = 1;
            } else if (value >= 1) {
                const uint16_t zero = 0;
                std::memcpy(ptr, &zero, sizeof zero);
                result = 1;
            }
            break;
        default: break;
        }
    }
    scope.finish(result);
    return result;
}

} // namespace wqhost
