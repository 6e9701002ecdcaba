// Opening the audio object crashes.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.crashOnAudioOpen = true;
    return f;
}
