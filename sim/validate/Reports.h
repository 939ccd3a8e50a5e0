// The validation's reports: for people, and JSON and JUnit XML for CI.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/validate/Check.h"

namespace sim {

// The results of one validation, as the run printed them.
struct CheckOutcome {
    const CheckInfo* Check = nullptr;
    CheckResult Result;
    // Of a failure for the same reason at the same place as an earlier
    // check's, or of a check not run because of it: that check's index.
    std::optional<size_t> SameFaultAs;
};

struct Validation {
    const ValidateOptions* Options = nullptr;
    std::vector<CheckOutcome> Checks;
    double Seconds = 0;
    // The environment that runs under the sanitizer need ("LD_PRELOAD=...").
    std::vector<std::string> Environment;

    size_t Count(Verdict verdict) const;
};

// Marks each failure that repeats an earlier one: the same reason, numbers
// aside, shown by a call of the same host function (or the same export);
// and each warning that repeats an earlier warning, alike.
void GroupFaults(Validation& validation);

// The lines of check index, for people: "PASS  exports: the seven exports,
// nothing else"; for a failure also the checks its fault also broke (or
// did not let run), for a warning the other checks that gave it, and the
// command that repeats it. Empty for a failure or warning that repeats an
// earlier one, or a check not run.
std::string FormatCheck(const Validation& validation, size_t index);
// The command line that repeats a failure or warning: run on its score, or
// validate --check when no single run shows it, each started as this program
// was (ProgramCommand), so that the line runs as printed.
std::string RepeatCommand(const Validation& validation, const CheckOutcome& outcome);
// "24 checks up to level 3 in 12.4 s: 23 passed, 1 failed, 0 skipped".
std::string FormatSummary(const Validation& validation);
// The same for CI: a JSON document, and JUnit XML (a suite per level);
// every check, each failure that repeats an earlier one naming it.
std::string FormatJson(const Validation& validation);
std::string FormatJunit(const Validation& validation);

}  // namespace sim
