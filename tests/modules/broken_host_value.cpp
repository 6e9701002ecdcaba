// The GUI record does not keep the host's value.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.hostValueLost = true;
    return f;
}
