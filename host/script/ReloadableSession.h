// ReloadableSession - the prompt's session, whose library can be loaded
// afresh after a rebuild (`reload`): the library file is copied and the copy
// loaded, so that the new code is loaded even while the old library is, a
// fresh Session started on it and the settings the user made replayed (pin
// sets, echo, rate, block size, signals, and a close); only then does it
// take the old session's place. A library that does not load, or that fails
// its start or a replayed setting, is reported and the old session kept.
#pragma once

#include "host/core/ModuleLibrary.h"
#include "host/core/Session.h"
#include "host/script/ScriptCommand.h"
#include "host/script/ScriptRunner.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace wqhost {

class ReloadableSession {
public:
    // The session options for a library (what a first look at it tells).
    using OptionsFor =
        std::function<Session::Options(const std::shared_ptr<const ModuleLibrary> &)>;

    struct Setup {
        std::string libraryPath; // the file a reload reads again
        OptionsFor optionsFor;
        std::FILE *trace = nullptr; // every call as JSON lines, or null
        std::string sourceName;     // for the runner's messages
        ScriptRunner::Options runner;
    };

    // Loads the library at `path` for a session that may reload it. On
    // Windows a loaded library file cannot be replaced, so a rebuild would
    // fail while the prompt runs: there the copy is loaded from the start
    // (and removed once the library is unloaded).
    static std::shared_ptr<const ModuleLibrary> loadLibrary(const std::string &path);

    // Starts a session on `library` (loaded from setup.libraryPath).
    ReloadableSession(std::shared_ptr<const ModuleLibrary> library, Setup setup, std::ostream &out,
                      std::ostream &err);
    ~ReloadableSession();
    ReloadableSession(const ReloadableSession &) = delete;
    ReloadableSession &operator=(const ReloadableSession &) = delete;

    // The runner's execute(), remembering what a reload replays.
    bool execute(const ScriptCommand &command);

    // Loads the library afresh as described above. Returns what happened:
    // "reloaded NAME, N settings replayed" or "reload failed: ... ".
    std::string reload();

    // The running session and its runner (others after a reload).
    ScriptRunner &runner() noexcept;
    Session &session() noexcept;
    int failedExpectations() const noexcept;
    // The problems the host found in every session so far.
    size_t problemCount() const;

    // The settings a reload would replay now, as their script lines.
    std::vector<std::string> settings() const;

private:
    struct Live;
    std::unique_ptr<Live> start(std::shared_ptr<const ModuleLibrary> library);

    Setup m_setup;
    // Every runner shows through these, which write to the caller's
    // streams, except while a reload replays the settings.
    std::ostream m_out;
    std::ostream m_err;
    std::unique_ptr<Live> m_live;
    std::vector<ScriptCommand> m_settings;
    bool m_closed = false;
    int m_failedBefore = 0;      // expectations that failed in sessions replaced
    size_t m_problemsBefore = 0; // problems of sessions replaced
};

} // namespace wqhost
