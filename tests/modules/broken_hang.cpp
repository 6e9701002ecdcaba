// A change of pin 0 never returns.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.hangOnPinChange = true;
    return f;
}
