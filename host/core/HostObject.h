// HostObject - a driver of one object of one side at a time, the way a host
// drives it (AudioHost, GuiHost): the live record, the hostValue given to
// makeModule (the driver's own address), the record checked when it
// arrives, dispatcher calls on the live object, and the record forgotten
// when the object closes.
#pragma once

#include "host/core/HostDriver.h"
#include "host/core/HostRecordCheck.h"

#include <string>
#include <type_traits>
#include <vector>

namespace wqhost {

template <class Record> class HostObject : public HostDriver {
public:
    bool isLive() const noexcept { return m_record != nullptr; }
    Record *record() const noexcept { return m_record; }
    // The hostValue this host gives makeModule.
    intptr_t hostValue() const noexcept { return reinterpret_cast<intptr_t>(this); }

    // What is wrong with the live record (HostRecordCheck); empty when all
    // is right.
    std::vector<Problem> checkRecord() const {
        return m_record ? recordProblems(*m_record, hostValue()) : std::vector<Problem>();
    }

protected:
    static constexpr Side kSide =
        std::is_same<Record, WQGuiHostRecord>::value ? Side::Gui : Side::Audio;

    HostObject(std::shared_ptr<const ModuleLibrary> library, CallLog *log)
        : HostDriver(std::move(library), log) {}

    // makeModule(moduleIndex, the side's type, callback, hostValue()); what
    // is wrong with the record goes into problems(). False when the library
    // refuses. Throws HostError while an object is live.
    bool createRecord(int32_t moduleIndex) {
        if (m_record)
            throw HostError(std::string("the ") + sideWord() +
                            " host already drives an object; close it first");
        const int32_t type = kSide == Side::Gui ? int32_t{WQ_TYPE_GUI} : int32_t{WQ_TYPE_AUDIO};
        m_record = static_cast<Record *>(createObject(kSide, moduleIndex, type, hostValue()));
        if (m_record)
            problems(checkRecord());
        return m_record != nullptr;
    }

    // Throws HostError when no object is live; `what` is what was asked.
    void requireLive(const char *what) const {
        if (!m_record)
            throw HostError(std::string("no live ") + sideWord() + " object to " + what);
    }

    // A call of the live object's dispatcher; the close opcode ends the
    // object and forgets its record.
    intptr_t dispatchToLive(const CallArgs &args, uint32_t clock = 0) {
        requireLive("dispatch to");
        const intptr_t result = dispatchTo(kSide, m_record, args, clock);
        if (args.opcode == closeOpcode(kSide))
            forgetRecord();
        return result;
    }

    void forgetRecord() noexcept {
        forgetObject(kSide, m_record);
        m_record = nullptr;
    }

    Record *m_record = nullptr;

private:
    static const char *sideWord() noexcept { return kSide == Side::Gui ? "GUI" : "audio"; }
};

} // namespace wqhost
