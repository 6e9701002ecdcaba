#include "host/describe/ModuleProbe.h"

#include "host/core/AudioHost.h"

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

} // namespace wqhost
