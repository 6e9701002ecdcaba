// CheckExplanations - what each check of `wqhost validate` stands for, for
// `validate --list` and `validate --explain CHECK`: the rule it holds a
// module to, why a host needs that rule, and what a failure of it usually
// means in a module's code.
#pragma once

#include <string>

namespace wqhost {

struct CheckExplanation {
    const char *name;
    const char *rule;
    const char *why;
    const char *failure;
};

// The explanation of the check `name`, or null for a name no check has.
const CheckExplanation *checkExplanation(const std::string &name);

} // namespace wqhost
