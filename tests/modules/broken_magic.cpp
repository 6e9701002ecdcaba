// The audio record carries a wrong magic number.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.wrongAudioMagic = true;
    return f;
}
