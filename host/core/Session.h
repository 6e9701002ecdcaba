// Session - one module library with one audio-side and one GUI-side object,
// driven together as a host drives a module: both objects created and
// opened, the pin table read from the audio side and given to the GUI side's
// pin store, every call of both in one CallLog.
//
// A module may have one side only (makeModule answers the other type with
// null). The session then runs that side alone: without an audio side the
// host knows no pins; without a GUI side a user's pin change is kept in the
// pin store and nobody is notified of it.
#pragma once

#include "host/core/AudioHost.h"
#include "host/trace/CallLog.h"
#include "host/core/GuiHost.h"
#include "host/core/ModuleLibrary.h"
#include "host/pins/PinDeclaration.h"
#include "host/pins/PinStore.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

class Session {
public:
    struct Options {
        AudioHost::Options audio;
        GuiHost::Options gui;
        int32_t moduleIndex = 0;
        // Drive the audio side as a player does: the audio pins set up from
        // the pin table (sample pins' variables get their buffers), the
        // sample rate and block size told after AD_OPEN when the module has
        // audio pins, and blocks cut at their events (splitBlocks).
        bool playAudio = false;
        float sampleRate = 48000.0f; // told with playAudio
    };

    // Loads the library (HostError when it cannot be loaded or lacks an
    // export). Nothing is created until start().
    explicit Session(const std::string &libraryPath);
    Session(const std::string &libraryPath, Options options);
    Session(std::shared_ptr<const ModuleLibrary> library, Options options);
    ~Session(); // stops a running session

    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Queries the description, creates the audio object and opens it, reads
    // its pin table, creates the GUI object, gives it the pin table and opens
    // it. A side the library refuses is left out; throws HostError when it
    // refuses both.
    void start();
    // The sample rate and block size of what follows: kept for the next
    // start, and told to a live audio object (with playAudio, when it has
    // audio pins). The block size throws HostError outside 1..maxBlockSize.
    void setSampleRate(float rate);
    void setBlockSize(uint32_t blockSize);
    float sampleRate() const noexcept { return m_options.sampleRate; }
    uint32_t blockSize() const noexcept { return m_audio.blockSize(); }
    const Options &options() const noexcept { return m_options; }

    // Closes the GUI object, then the audio object.
    void stop();
    // stop() then start(): fresh objects, pin values back to empty.
    void restart();
    bool isRunning() const noexcept { return m_audio.isLive() || m_gui.isLive(); }
    // Which objects the last start() got from makeModule.
    bool hasAudioSide() const noexcept { return m_hasAudio; }
    bool hasGuiSide() const noexcept { return m_hasGui; }

    const ModuleDescription &description() const noexcept { return m_description; }
    const std::vector<PinDeclaration> &pinTable() const noexcept { return m_pinTable; }

    const ModuleLibrary &library() const noexcept { return *m_library; }
    // The library, for another session on it.
    const std::shared_ptr<const ModuleLibrary> &sharedLibrary() const noexcept { return m_library; }
    AudioHost &audio() noexcept { return m_audio; }
    GuiHost &gui() noexcept { return m_gui; }
    CallLog &log() noexcept { return m_log; }

    // Every call as JSON lines to `sink` (not owned); null stops it.
    void setTrace(std::FILE *sink) noexcept { m_log.setJsonSink(sink); }

    // What both hosts found wrong with the module, audio side first.
    std::vector<Problem> problems() const;

    // What a user does: change a pin's value; each notifies the GUI object
    // (a module without one only keeps the value). Throw HostError for an
    // undeclared pin or a stopped session.
    void setPinText(int32_t pin, const std::string &text);
    void setPinInt(int32_t pin, int32_t value);
    void setPinFloat(int32_t pin, float value);
    std::vector<PinValue> readPins() const { return m_gui.readPins(); }

private:
    static Options withSplitBlocks(Options options);

    std::shared_ptr<const ModuleLibrary> m_library;
    Options m_options;
    CallLog m_log;
    AudioHost m_audio;
    GuiHost m_gui; // after m_audio: closed first when the session ends
    ModuleDescription m_description;
    std::vector<PinDeclaration> m_pinTable;
    bool m_hasAudio = false;
    bool m_hasGui = false;

    // Before a change without a GUI side: the pin is declared and the
    // session running.
    void requireStoredPin(int32_t pin) const;
};

} // namespace wqhost
