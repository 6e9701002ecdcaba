// ConformanceCheck - one check of `wqhost validate`: its name, what it
// looks at, and the function that drives the module (with the CheckContext
// it reports through). The table lists every check in the order a run takes
// them.
#pragma once

#include "host/checks/CheckContext.h"

#include <string>
#include <vector>

namespace wqhost {

struct ConformanceCheck {
    const char *name;
    const char *summary;
    void (*run)(CheckContext &ctx);
};

// Every check, in the order a run takes them.
const std::vector<ConformanceCheck> &conformanceChecks();
const ConformanceCheck *findConformanceCheck(const std::string &name);

} // namespace wqhost
