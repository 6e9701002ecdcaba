// ConformanceCheck - one check of `wqhost validate`: its name, what it
// looks at, what it stands for (shown by `validate --list` and `--explain`),
// and the function that drives the module (with the CheckContext it reports
// through). The table lists every check in the order a run takes them.
#pragma once

#include "host/checks/CheckContext.h"

#include <string>
#include <vector>

namespace wqhost {

// One row of the table: all a check is, in one place.
struct ConformanceCheck {
    const char *name;
    const char *summary;
    // What the check stands for: the rule it holds a module to, why a host
    // needs that rule, and what a failure of it usually means in a module's
    // code.
    struct Explanation {
        const char *rule;
        const char *why;
        const char *failure;
    } explanation;
    void (*run)(CheckContext &ctx);
    // The memory the host hands over with nothing past its end during this
    // check (one of the kGuarded... texts of GuardedMemory.h): the check
    // that looks for overruns of it. Every other copy has room, so that one
    // overrun fails the one check that looks for it. Null: room everywhere.
    const char *exactMemory = nullptr;
};

// Every check, in the order a run takes them.
const std::vector<ConformanceCheck> &conformanceChecks();
// One of conformanceChecks(), or the sides probe; null for another name.
const ConformanceCheck *findConformanceCheck(const std::string &name);

// Not a check of the run, nor listed: it finds out which sides the module
// has, for the report's header, and passes. It runs in a child of its own
// like a check, so that a module that crashes while its objects are made
// takes down only the probe. Its channel carries {"sides":"audio gui"}
// (the sides it has, by name, "audio" and "gui").
extern const char *const kSidesProbe;

} // namespace wqhost
