// Each change of pin 0 writes pin 0 again, so an echoing host never sees the end.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.endlessEcho = true;
    return f;
}
