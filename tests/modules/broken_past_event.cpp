// Each event delivered to the module posts a new one a sample in the past.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.eventIntoThePast = true;
    return f;
}
