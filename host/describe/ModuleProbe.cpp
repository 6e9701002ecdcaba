#include "host/describe/ModuleProbe.h"

#include "host/core/AudioHost.h"
#include "host/core/GuiHost.h"

namespace wqhost {

ModuleProbe probeModule(const std::shared_ptr<const ModuleLibrary> &library, int32_t moduleIndex,
                        CallLog *log, const ProbeWatch &watch) {
    const auto call = [&watch](const std::string &what, const auto &work) {
        if (watch)
            watch(what, false);
        work();
        if (watch)
            watch(what, true);
    };
    ModuleProbe probe;
    const std::string index = std::to_string(moduleIndex);
    call("getModuleProperties(" + index + ")",
         [&] { probe.description = library->describe(moduleIndex, log); });
    AudioHost::Options options;
    options.pinCount = 0;
    AudioHost audio(library, options, log);
    call("makeModule(" + index + ", 1)", [&] { probe.audioCreated = audio.create(moduleIndex); });
    if (probe.audioCreated) {
        call("AD_OPEN", [&] { audio.open(); });
        call("AD_GET_PIN_PROPERTIES", [&] { probe.pins = audio.readPinDeclarations(); });
        call("AD_CLOSE", [&] {
            if (audio.isLive())
                audio.close();
        });
    }
    probe.problems = audio.problems();
    return probe;
}

void probeGuiSide(ModuleProbe &probe, const std::shared_ptr<const ModuleLibrary> &library,
                  int32_t moduleIndex, CallLog *log) {
    GuiHost gui(library, GuiHost::Options(), log);
    gui.declarePins(probe.pins);
    probe.guiProbed = true;
    probe.guiCreated = gui.create(moduleIndex);
    if (probe.guiCreated) {
        gui.open();
        gui.close();
    }
    probe.problems.insert(probe.problems.end(), gui.problems().begin(), gui.problems().end());
}

} // namespace wqhost
