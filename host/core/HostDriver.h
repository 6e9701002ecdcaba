// HostDriver - what every host that drives module objects shares, whether it
// drives one object the way a real host does (AudioHost, GuiHost) or records
// by hand for the validator (RawHost):
//   - the call log: its own, or one it is given;
//   - the problems it finds in the module (Problem), recorded, never thrown;
//   - objects made through makeModule and known to the callback by their
//     record (ObjectRegistry), from the moment makeModule is called until
//     the object closes or the driver goes away;
//   - calls of a record's dispatcher entry and process word, each entered in
//     the log while it runs;
//   - the callback entry of each side, which finds the driver of the record
//     a callback names and hands it the call; nothing thrown inside crosses
//     back into the module.
#pragma once

#include "host/core/ModuleLibrary.h"
#include "host/core/ProcessWatch.h"
#include "host/trace/Problem.h"
#include "host/memory/GuardedMemory.h"
#include "host/platform/HostError.h"
#include "host/platform/ModuleCodeWatch.h"
#include "host/trace/CallLog.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

class HostDriver {
public:
    HostDriver(const HostDriver &) = delete;
    HostDriver &operator=(const HostDriver &) = delete;
    // Callbacks naming a record of this driver are stray from now on.
    virtual ~HostDriver();

    CallLog &log() noexcept { return *m_log; }
    const std::vector<Problem> &problems() const noexcept { return m_problems; }
    void clearProblems() noexcept { m_problems.clear(); }

    // Told around every process call from now on (not owned); null: nobody.
    void setProcessWatch(ProcessWatch *watch) noexcept { m_processWatch = watch; }

    // Answers one callback of an object of `side` that names `record`.
    virtual intptr_t answer(Side side, void *record, const CallArgs &args) = 0;

    // The callback entry given to makeModule for an object of `side`.
    static WQHostCallback callbackFunction(Side side) noexcept;

protected:
    // Throws HostError without a library. Without a log the driver keeps its
    // own.
    HostDriver(std::shared_ptr<const ModuleLibrary> library, CallLog *log);

    const std::shared_ptr<const ModuleLibrary> &library() const noexcept { return m_library; }

    void problem(ProblemCode code, std::string text);
    void problems(const std::vector<Problem> &found);

    // makeModule(moduleIndex, type, the side's callback entry, hostValue),
    // entered in the log. Callbacks during the call come to this driver; a
    // record it returns is registered to it.
    void *createObject(Side side, int32_t moduleIndex, int32_t type, intptr_t hostValue);
    // The object of `record` is gone: callbacks naming it are stray.
    void forgetObject(Side side, const void *record) noexcept;

    // A call of the record's dispatcher entry, entered in the log (`clock` is
    // the audio side's sample clock). The side's close opcode forgets the
    // record: it lived inside the object. Throws HostError when the entry is
    // null.
    template <class Record>
    intptr_t dispatchTo(Side side, Record *record, const CallArgs &args, uint32_t clock = 0) {
        if (!record->dispatcher)
            throw HostError(std::string("the ") + (side == Side::Gui ? "GUI" : "audio") +
                            " record has no dispatcher entry");
        intptr_t result;
        {
            CallScope scope(*m_log, makeCall(side, CallKind::Dispatch, record, args, clock));
            GuardedArgument argument(side, args);
            {
                ModuleCodeScope moduleCode(RunningCode::Module);
                result = record->dispatcher(record, args.opcode, args.index, args.value,
                                            argument.ptr(), args.opt);
            }
            argument.giveBack();
            scope.finish(result);
        }
        if (args.opcode == closeOpcode(side))
            forgetObject(side, record);
        return result;
    }

    // `process` (the record's process word as the driver knows it) called
    // with the record's object word, entered in the log.
    void callProcessWord(const WQAudioHostRecord *record, WQProcessProc process, uint32_t clock);

    // A close that returned other than 1 is a problem.
    void checkCloseResult(Side side, intptr_t result);

    // A callback of `side` must name `own`, the record of the object it came
    // from (null while makeModule runs, which is a problem of its own).
    void checkCallbackRecord(Side side, const void *record, const void *own, int32_t opcode);

    // A record the host hands a dispatcher call to fill (the declaration of
    // AD_GET_PIN_PROPERTIES) goes to the module as a copy in guarded memory,
    // and what the module wrote is copied back: a module that fills past
    // the record's end stops inside that call. Other arguments pass as they
    // are.
    class GuardedArgument {
    public:
        GuardedArgument(Side side, const CallArgs &args);
        void *ptr() const noexcept { return m_copy.data() ? m_copy.data() : m_callers; }
        void giveBack() noexcept;

    private:
        void *m_callers;
        GuardedMemory m_copy;
    };

    static int32_t closeOpcode(Side side) noexcept {
        return side == Side::Gui ? int32_t{GD_CLOSE} : int32_t{AD_CLOSE};
    }

private:
    std::shared_ptr<const ModuleLibrary> m_library;
    std::unique_ptr<CallLog> m_ownLog;
    CallLog *m_log;
    std::vector<Problem> m_problems;
    ProcessWatch *m_processWatch = nullptr;
};

} // namespace wqhost
