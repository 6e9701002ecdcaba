#include "host/describe/ModuleProbe.h"

#include "host/core/AudioHost.h"
#include "host/core/GuiHost.h"

namespace wqhost {

ModuleProbe probeModule(const std::shared_ptr<const ModuleLibrary> &library, int32_t moduleIndex,
                        CallLog *log) {
    ModuleProbe probe;
    probe.description = library->describe(moduleIndex, log);
    AudioHost::Options options;
    options.pinCount = 0;
    AudioHost audio(library, options, log);
    probe.audioCreated = audio.create(moduleIndex);
    if (probe.audioCreated) {
        audio.open();
        probe.pins = audio.readPinDeclarations();
        audio.close();
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
