// The minimal module with no fault: `wqhost validate` passes it.
#include "tests/modules/minimal_module.h"

wqtest::Faults wqtest::moduleFaults() { return Faults(); }
