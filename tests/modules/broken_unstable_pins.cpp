// A pin declaration gives another name at every query.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() {
    Faults f;
    f.unstableDeclaration = true;
    return f;
}
