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

// --strict: a passed check with warnings fails, its warnings its details;
// a check skipped because it could not run here fails, saying so.
void warningsFail(CheckOutcome &outcome);

// "PASS  name", "WARN  name: first warning" (further warnings on indented
// lines), "SKIP  name: reason", or "FAIL  name: first detail" with the
// further details and "reproduce: ..." on indented lines; `verbose` adds a
// failed check's error output, each line after "      | ". Ends with a
// newline.
std::string formatOutcome(const CheckOutcome &outcome, bool verbose = false);

// Failures that share one cause: checks that crashed or hung the same way
// in the same call, or failed with the same first detail. Each cause with
// at least two checks, most checks first.
struct RootCause {
    std::string text;                // "crashed (signal 11 (SIGSEGV)) in audio AD_OPEN"
    std::vector<std::string> checks; // in run order
};
std::vector<RootCause> rootCauses(const std::vector<CheckOutcome> &outcomes);

// "root cause: 15 checks crashed (...) in audio AD_OPEN (exports, ...)" a
// line each; empty when no two failures share a cause.
std::string formatRootCauses(const std::vector<RootCause> &causes);

// "N passed, N failed, N skipped", and ", N warned" when a passed check
// warned; without a newline.
std::string formatSummary(const ValidationSummary &summary);

struct ValidationRun {
    std::string library;
    uint64_t seed = 0;           // of the first round
    double timeoutSeconds = 0.0; // 0: no limit (checks run in process)
    // The outcome of the sides probe (kSidesProbe), when it ran: which
    // sides the module has. Not one of the outcomes.
    CheckOutcome sides;
    std::vector<CheckOutcome> outcomes;
};

// The report header's line about the module's sides, with its newline:
// "note: the module has no GUI side (...): that side's checks are skipped"
// when the probe found one side, why the sides are not known when it
// failed, crashed or hung, and nothing when the module has both sides.
std::string formatSidesNote(const CheckOutcome &probe);

// {"library", "seed", "timeout", "sides" (["audio", "gui"], the sides the
//  module has, or null where they are not known), "checks": [...], "passed", "failed",
//  "skipped", "warned", "rootCauses": [{"cause", "checks"}]}, with a
//  newline; each check has its "warnings", a failed check carries
//  "errorOutput" when it printed any, and a check of a later --repeat
//  round its "seed".
std::string validationJson(const ValidationRun &run);

// A JUnit XML document, with the library, the seed and the sides ("audio
// gui", "unknown") as properties: one testcase per check, a failure element for a
// failed check (type "crash", "hang", "check", or "warning" under --strict;
// a check of a later --repeat round named with " (seed N)")
// with its error output in system-err, skipped for a skipped one, the WARN
// lines of a passed check as its system-out.
std::string validationJunit(const ValidationRun &run);

} // namespace wqhost
