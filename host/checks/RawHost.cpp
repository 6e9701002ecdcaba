#include "host/checks/RawHost.h"

#include <cstring>

namespace wqhost {

RawHost::RawHost(CheckContext &ctx)
    : HostDriver(ctx.library(), &ctx.log()), m_ctx(ctx),
      m_samples(4096 * sizeof(float), kGuardedSampleBuffer),
      m_emptyText(GuardedMemory::copyOf("", 1, kGuardedPinText)) {}

void *RawHost::make(int32_t index, int32_t type, intptr_t hostValue) {
    return createObject(type == WQ_TYPE_GUI ? Side::Gui : Side::Audio, index, type, hostValue);
}

intptr_t RawHost::dispatch(WQAudioHostRecord *record, int32_t opcode, int32_t index, int32_t value,
                           void *ptr, float opt) {
    const intptr_t result =
        dispatchTo(Side::Audio, record, CallArgs{opcode, index, value, ptr, opt});
    if (opcode == AD_CLOSE && record == m_watched)
        m_watched = nullptr;
    return result;
}

intptr_t RawHost::dispatch(WQGuiHostRecord *record, int32_t opcode, int32_t index, int32_t value,
                           void *ptr, float opt) {
    return dispatchTo(Side::Gui, record, CallArgs{opcode, index, value, ptr, opt});
}

void RawHost::process(WQAudioHostRecord *record) {
    WQProcessProc proc = record->process;
    if (!proc)
        m_ctx.stop("the audio record's process word is null");
    callProcessWord(record, proc, 0);
}

void RawHost::watchProcessWord(WQAudioHostRecord *record) {
    m_watched = record;
    m_knownProcess = record ? record->process : nullptr;
}

void RawHost::lookAtProcessWord(const std::string &during) {
    if (!m_watched || m_watched->process == m_knownProcess)
        return;
    problem(ProblemCode::ProcessWordUnannounced,
            "the record's process word changed during " + during +
                " without AH_PROCESS_CHANGED: the host would go on calling the old function");
    m_knownProcess = m_watched->process;
}

intptr_t RawHost::answer(Side side, void *record, const CallArgs &args) {
    m_callbacks.push_back(Callback{record, side, args.opcode, args.index, args.value});
    CallScope scope(log(), makeCall(side, CallKind::Callback, record, args));
    const intptr_t result = side == Side::Gui ? answerGui(args) : answerAudio(record, args);
    scope.finish(result);
    return result;
}

intptr_t RawHost::answerAudio(void *record, const CallArgs &args) {
    switch (args.opcode) {
    case AH_PIN_COUNT: return m_pinCount;
    case AH_PIN_BUFFER: return reinterpret_cast<intptr_t>(m_samples.data());
    case AH_ADD_EVENT: return 1;
    case AH_PROCESS_CHANGED:
        if (m_watched && record == m_watched) {
            if (m_watched->process == m_knownProcess)
                problem(ProblemCode::ProcessWordNotYetChanged,
                        "AH_PROCESS_CHANGED came while the record's process word still held the "
                        "function the host knew: the word must be written before the host is "
                        "told");
            m_knownProcess = m_watched->process;
        }
        return 0;
    default: return 0; // the sample clock and the buffer clock stay at 0
    }
}

intptr_t RawHost::answerGui(const CallArgs &args) {
    switch (args.opcode) {
    case GH_PIN_GET_TEXT: return reinterpret_cast<intptr_t>(m_emptyText.data());
    case GH_PIN_GET_VALUE:
        if (args.ptr)
            std::memset(args.ptr, 0, 4);
        return 0;
    case GH_PIN_GET_TEXT_W:
        if (!args.ptr)
            return 1;
        if (args.value >= 1) {
            const uint16_t zero = 0;
            std::memcpy(args.ptr, &zero, sizeof zero);
            return 1;
        }
        return 0;
    default: return 0;
    }
}

} // namespace wqhost
