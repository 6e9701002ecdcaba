// ModuleProbe - what a host learns of a module before it runs it: the
// description of module 0 and the pin table, read from a short-lived audio
// object (created, opened with no audio-side pins, asked for every
// declaration, closed). A session then answers AH_PIN_COUNT with the number
// of declarations that get an audio-side pin.
#pragma once

#include "host/trace/CallLog.h"
#include "host/core/ModuleLibrary.h"
#include "host/trace/Problem.h"
#include "host/pins/PinDeclaration.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

struct ModuleProbe {
    ModuleDescription description;
    bool audioCreated = false;        // makeModule gave an audio object
    bool guiProbed = false;           // probeGuiSide() asked for a GUI object
    bool guiCreated = false;          // ... and makeModule gave one
    std::vector<PinDeclaration> pins; // the declarations, in order
    std::vector<Problem> problems;    // what the hosts found wrong, audio side first

    int32_t audioPinCount() const noexcept { return countAudioPins(pins); }
};

// Told before each call of the probe (`done` false) and after it (true),
// with the call: "getModuleProperties(0)", "makeModule(0, 1)", "AD_OPEN",
// "AD_GET_PIN_PROPERTIES", "AD_CLOSE". For a caller that watches what each
// call does to the process.
using ProbeWatch = std::function<void(const std::string &call, bool done)>;

// Probes module `moduleIndex` of a loaded library; calls go into `log` when
// one is given.
ModuleProbe probeModule(const std::shared_ptr<const ModuleLibrary> &library,
                        int32_t moduleIndex = 0, CallLog *log = nullptr,
                        const ProbeWatch &watch = ProbeWatch());

// Whether the module has a GUI side: a short-lived GUI object, given the
// probe's pin table, created, opened and closed. Sets guiProbed and
// guiCreated and adds what the GUI host found wrong to the problems.
void probeGuiSide(ModuleProbe &probe, const std::shared_ptr<const ModuleLibrary> &library,
                  int32_t moduleIndex = 0, CallLog *log = nullptr);

} // namespace wqhost
