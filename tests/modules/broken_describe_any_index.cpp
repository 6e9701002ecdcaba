// The description query ignores the module index.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.describeAnyIndex = true;
    return f;
}
