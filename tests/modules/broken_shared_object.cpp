// Every GUI object is one and the same, whatever makeModule is asked.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.sharedObject = true;
    return f;
}
