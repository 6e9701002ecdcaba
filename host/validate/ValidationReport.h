// ValidationReport - the outcomes of `wqhost validate` for people and for
// CI: one line per check (PASS/FAIL/SKIP, for a failure what was expected,
// followed by indented detail lines and the command that reproduces it), the
// summary line, a JSON document and a JUnit XML file.
#pragma once

#include "host/validate/Validator.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

struct ValidationSummary {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    int warned = 0; // passed checks with warnings (counted in passed too)
};

ValidationSummary summarize(const std::vector<CheckOutcome> &outcomes);

// --strict: a passed check with warnings fails, its warnings its details.
void warningsFail(CheckOutcome &outcome);

// "PASS  name", "WARN  name: first warning" (further warnings on indented
// lines), "SKIP  name: reason", or "FAIL  name: first detail" with
// the further details and "reproduce: ..." on indented lines. Ends with a
// newline.
std::string formatOutcome(const CheckOutcome &outcome);

// "N passed, N failed, N skipped", and ", N warned" when a passed check
// warned; without a newline.
std::string formatSummary(const ValidationSummary &summary);

struct ValidationRun {
    std::string library;
    uint64_t seed = 0;
    double timeoutSeconds = 0.0;
    std::vector<CheckOutcome> outcomes;
};

// {"library", "seed", "timeout", "checks": [...], "passed", "failed",
//  "skipped", "warned"}, with a newline; each check has its "warnings".
std::string validationJson(const ValidationRun &run);

// A JUnit XML document: one testcase per check, a failure element for a
// failed check (type "crash", "hang", "check", or "warning" under --strict),
// skipped for a skipped one, the WARN lines of a passed check as its
// system-out.
std::string validationJunit(const ValidationRun &run);

} // namespace wqhost
