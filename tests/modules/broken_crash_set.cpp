// A change of pin 0 crashes: the module starts and opens, and falls over at
// the first set of its text.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.crashOnPinChange = true;
    return f;
}
