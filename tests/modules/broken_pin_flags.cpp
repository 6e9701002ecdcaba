// A pin declaration fails the pin-flag consistency rule, and the module's own check of it aborts.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.inconsistentPin = true;
    return f;
}
