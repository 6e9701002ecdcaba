// module_fixture.h - the module library a fuzz target drives through the
// reference host, and its pin table, read once before fuzzing starts.
#pragma once

#include "host/core/ModuleLibrary.h"
#include "host/pins/PinDeclaration.h"

#include <memory>
#include <vector>

struct ModuleFixture {
    std::shared_ptr<const wqhost::ModuleLibrary> library;
    // The declarations as an audio-side object answers them.
    std::vector<wqhost::PinDeclaration> pins;
};

// When the pin declarations are read: straight after the object is made,
// into cleared records, or once it is open.
enum class ReadPins { BeforeOpen, AfterOpen };

// Loads the library at `path` and reads the pin table from an audio-side
// object, which is closed again. Aborts (an invariant, see fuzz_check.h)
// when the object cannot be made or declares no pin.
ModuleFixture loadModuleFixture(const char *path, ReadPins when);
