// Audio opcode 9, which has no action, returns 1.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.unusedOpcodeAnswers = true;
    return f;
}
