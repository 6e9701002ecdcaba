// The host is told of a new process function before the record's process word holds it.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.processChangedTooEarly = true;
    return f;
}
