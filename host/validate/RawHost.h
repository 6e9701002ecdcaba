// RawHost - the plainest possible host, for checks that drive records
// directly: it creates objects with any hostValue, calls their entries by
// hand and looks at what the module does at the moment of each callback.
//
// Its callback answers with harmless values (sample clock 0, the configured
// pin count, an empty text, a zero slot, a buffer for samples), enters every
// call in the check's CallLog and keeps a list of the callbacks. It also
// watches one audio record's process word: AH_PROCESS_CHANGED must find the
// word already changed, and the word must not change without it.
//
// One RawHost is active at a time (checks run one per process, on one
// thread); the callback finds it through a static pointer.
#pragma once

#include "host/trace/CallLog.h"
#include "host/validate/ConformanceCheck.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wqhost {

class RawHost {
public:
    struct Callback {
        const void *record;
        Side side;
        int32_t opcode;
        int32_t index;
        int32_t value;
    };

    explicit RawHost(CheckContext &ctx);
    ~RawHost();

    RawHost(const RawHost &) = delete;
    RawHost &operator=(const RawHost &) = delete;

    // makeModule(index, type, callback, hostValue), entered in the log.
    void *make(int32_t index, int32_t type, intptr_t hostValue);

    // The record entries, entered in the log. Closing forgets the record.
    intptr_t audio(WQAudioHostRecord *record, int32_t opcode, int32_t index = 0,
                   int32_t value = 0, void *ptr = nullptr, float opt = 0.0f);
    intptr_t gui(WQGuiHostRecord *record, int32_t opcode, int32_t index = 0, int32_t value = 0,
                 void *ptr = nullptr, float opt = 0.0f);
    void process(WQAudioHostRecord *record);

    // Watches the process word of `record` from now on.
    void watchProcessWord(WQAudioHostRecord *record);
    // Checks that the watched word has not changed behind the host's back
    // since the last look; `during` names what ran.
    void lookAtProcessWord(const std::string &during);
    const std::vector<std::string> &processFaults() const noexcept { return m_processFaults; }

    void setPinCount(int32_t count) noexcept { m_pinCount = count; }
    const std::vector<Callback> &callbacks() const noexcept { return m_callbacks; }

    // Answers one callback.
    intptr_t answer(void *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                    float opt);

    static WQHostCallback callbackFunction() noexcept;

private:
    Side sideOf(const void *record) const noexcept;

    CheckContext &m_ctx;
    int32_t m_pinCount = 0;
    Side m_creating = Side::Library;
    std::map<const void *, Side> m_sides;
    std::vector<Callback> m_callbacks;
    std::vector<float> m_samples;
    WQAudioHostRecord *m_watched = nullptr;
    WQProcessProc m_knownProcess = nullptr;
    std::vector<std::string> m_processFaults;
};

} // namespace wqhost
