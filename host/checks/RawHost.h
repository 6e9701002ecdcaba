// RawHost - the plainest possible host, for checks that drive records
// directly: it creates objects with any hostValue, calls their entries by
// hand and looks at what the module does at the moment of each callback.
//
// Its callback answers with harmless values (sample clock 0, the configured
// pin count, an empty text, a zero slot, a buffer for samples), enters every
// call in the check's CallLog and keeps a list of the callbacks. It also
// watches one audio record's process word: AH_PROCESS_CHANGED must find the
// word already changed, and the word must not change without it; what it
// finds goes into problems().
//
// While it lives it also answers every callback on its thread that names a
// record no host knows, as it answers those made during makeModule: a check
// must see a callback that names the wrong record.
#pragma once

#include "host/core/HostDriver.h"
#include "host/core/ObjectRegistry.h"
#include "host/checks/ConformanceCheck.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

class RawHost : public HostDriver {
public:
    struct Callback {
        const void *record;
        Side side;
        int32_t opcode;
        int32_t index;
        int32_t value;
    };

    explicit RawHost(CheckContext &ctx);

    // makeModule(index, type, callback, hostValue), entered in the log. A
    // type other than 2 gets the audio side's callback.
    void *make(int32_t index, int32_t type, intptr_t hostValue);

    // The record entries, entered in the log. Closing forgets the record.
    intptr_t dispatch(WQAudioHostRecord *record, int32_t opcode, int32_t index = 0,
                      int32_t value = 0, void *ptr = nullptr, float opt = 0.0f);
    intptr_t dispatch(WQGuiHostRecord *record, int32_t opcode, int32_t index = 0, int32_t value = 0,
                      void *ptr = nullptr, float opt = 0.0f);
    void process(WQAudioHostRecord *record);

    // Watches the process word of `record` from now on.
    void watchProcessWord(WQAudioHostRecord *record);
    // Checks that the watched word has not changed behind the host's back
    // since the last look; `during` names what ran.
    void lookAtProcessWord(const std::string &during);

    void setPinCount(int32_t count) noexcept { m_pinCount = count; }
    const std::vector<Callback> &callbacks() const noexcept { return m_callbacks; }

    intptr_t answer(Side side, void *record, const CallArgs &args) override;

private:
    intptr_t answerAudio(void *record, const CallArgs &args);
    intptr_t answerGui(const CallArgs &args);

    CheckContext &m_ctx;
    int32_t m_pinCount = 0;
    std::vector<Callback> m_callbacks;
    GuardedMemory m_samples;   // every pin's buffer, 4096 samples
    GuardedMemory m_emptyText; // the answer to GH_PIN_GET_TEXT
    WQAudioHostRecord *m_watched = nullptr;
    WQProcessProc m_knownProcess = nullptr;
    CreatingScope m_audioCatchAll{Side::Audio, this};
    CreatingScope m_guiCatchAll{Side::Gui, this};
};

} // namespace wqhost
