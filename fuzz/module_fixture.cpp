#include "fuzz/module_fixture.h"

#include "fuzz/fuzz_check.h"
#include "host/core/AudioHost.h"

ModuleFixture loadModuleFixture(const char *path, ReadPins when) {
    ModuleFixture made;
    made.library = wqhost::ModuleLibrary::load(path);
    wqhost::AudioHost audio(made.library);
    FUZZ_REQUIRE(audio.create());
    if (when == ReadPins::AfterOpen)
        audio.open();
    made.pins = audio.readPinDeclarations();
    audio.close();
    FUZZ_REQUIRE(!made.pins.empty());
    return made;
}
