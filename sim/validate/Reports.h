// The validation's reports: for people, and JSON and JUnit XML for CI.
#pragma once

#include <string>
#include <vector>

#include "sim/validate/Check.h"

namespace sim {

// The results of one validation, as the run printed them.
struct CheckOutcome {
    const CheckInfo* Check = nullptr;
    CheckResult Result;
};

struct Validation {
    const ValidateOptions* Options = nullptr;
    std::vector<CheckOutcome> Checks;
    double Seconds = 0;

    size_t Count(Verdict verdict) const;
};

// The one line of a check: "PASS  exports: the seven exports, nothing else".
std::string FormatCheckLine(const CheckOutcome& outcome);
// "24 checks up to level 3 in 12.4 s: 23 passed, 1 failed, 0 skipped".
std::string FormatSummary(const Validation& validation);
// The same for CI: a JSON document, and JUnit XML (a suite per level).
std::string FormatJson(const Validation& validation);
std::string FormatJunit(const Validation& validation);

}  // namespace sim
