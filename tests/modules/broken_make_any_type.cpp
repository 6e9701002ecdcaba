// makeModule makes an object for any type, not only 1 and 2.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.makeAnyType = true;
    return f;
}
