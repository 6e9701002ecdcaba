#include "host/core/HostDriver.h"

#include "host/core/ObjectRegistry.h"
#include "host/trace/OpcodeNames.h"

#include <cstring>
#include <string>

namespace wqhost {

namespace {

wq_result_t answerFromEntry(Side side, void *record, const CallArgs &args) noexcept {
    // The host's own code runs from here, whatever call of the module made
    // the callback.
    ModuleCodeScope hostCode(RunningCode::Host);
    HostDriver *host = ObjectRegistry::find(side, record);
    if (!host) {
        ObjectRegistry::noteStrayCallback();
        return 0;
    }
    try {
        return host->answer(side, record, args);
    } catch (...) {
        // Nothing may cross back into the module; the log already holds the
        // call, completed with 0.
        return 0;
    }
}

wq_result_t WQ_ABI audioEntry(void *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                              float opt) noexcept {
    return answerFromEntry(Side::Audio, record, CallArgs{opcode, index, value, ptr, opt});
}

wq_result_t WQ_ABI guiEntry(void *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                            float opt) noexcept {
    return answerFromEntry(Side::Gui, record, CallArgs{opcode, index, value, ptr, opt});
}

} // namespace

HostDriver::HostDriver(std::shared_ptr<const ModuleLibrary> library, CallLog *log)
    : m_library(std::move(library)), m_log(log) {
    if (!m_library)
        throw HostError("a host driver needs a module library");
    if (!m_log) {
        m_ownLog = std::make_unique<CallLog>();
        m_log = m_ownLog.get();
    }
}

HostDriver::~HostDriver() { ObjectRegistry::removeHost(this); }

WQHostCallback HostDriver::callbackFunction(Side side) noexcept {
    return side == Side::Gui ? &guiEntry : &audioEntry;
}

void HostDriver::problem(ProblemCode code, std::string text) {
    m_problems.push_back(Problem{code, std::move(text)});
}

void HostDriver::problems(const std::vector<Problem> &found) {
    m_problems.insert(m_problems.end(), found.begin(), found.end());
}

void *HostDriver::createObject(Side side, int32_t moduleIndex, int32_t type, intptr_t hostValue) {
    void *record;
    {
        CreatingScope creating(side, this);
        record = m_library->makeModule(moduleIndex, type, callbackFunction(side), hostValue, m_log);
    }
    if (!record)
        return record;
    // Two instances of a module sharing one record disturb each other: the
    // host cannot tell whose callbacks come, and closing one closes both.
    const HostDriver *holder = ObjectRegistry::find(side, record);
    if (holder && holder != this)
        problem(ProblemCode::SharedRecord,
                "makeModule(" + std::to_string(moduleIndex) + ", " + std::to_string(type) +
                    ") returned the record of a live object again: each object needs a record "
                    "of its own");
    ObjectRegistry::add(side, record, this);
    return record;
}

void HostDriver::forgetObject(Side side, const void *record) noexcept {
    if (record)
        ObjectRegistry::remove(side, record);
}

HostDriver::GuardedArgument::GuardedArgument(Side side, const CallArgs &args)
    : m_callers(args.ptr) {
    if (side != Side::Audio || args.opcode != AD_GET_PIN_PROPERTIES || !args.ptr)
        return;
    m_copy = GuardedMemory::copyOf(m_callers, sizeof(WQPinProperties), kGuardedPinRecord);
}

void HostDriver::GuardedArgument::giveBack() noexcept {
    if (m_copy.data())
        std::memcpy(m_callers, m_copy.data(), sizeof(WQPinProperties));
}

void HostDriver::callProcessWord(const WQAudioHostRecord *record, WQProcessProc process,
                                 uint32_t clock) {
    CallScope scope(*m_log, makeCall(Side::Audio, CallKind::Process, record,
                                     CallArgs{0, 0, 0, record->object, 0.0f}, clock));
    {
        ModuleCodeScope processCode(RunningCode::Process);
        if (m_processWatch)
            m_processWatch->entering();
        process(record->object);
        if (m_processWatch)
            m_processWatch->left();
    }
    scope.finish(0);
}

void HostDriver::checkCloseResult(Side side, intptr_t result) {
    if (result != 1)
        problem(ProblemCode::CloseResult,
                std::string(side == Side::Gui ? "GD_CLOSE" : "AD_CLOSE") + " returned " +
                    std::to_string(static_cast<long long>(result)) + ", expected 1");
}

void HostDriver::checkCallbackRecord(Side side, const void *record, const void *own,
                                     int32_t opcode) {
    if (record == own)
        return;
    const std::string name =
        "callback " + opcodeLabel(side, Direction::ModuleToHost, CallKind::Callback, opcode);
    if (own)
        problem(ProblemCode::CallbackOtherRecord, name + " named an unknown record");
    else
        problem(ProblemCode::CallbackDuringMake, name + " came during makeModule");
}

} // namespace wqhost
