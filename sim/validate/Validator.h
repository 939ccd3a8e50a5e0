// melvara-sim validate: every check up to the level, each in a child process.
#pragma once

#include <ostream>

#include "sim/validate/Check.h"

namespace sim {

// Exit status of melvara-sim validate.
enum ValidateStatus : int {
    kValidatePassed = 0,  // every check at the level passed (or was skipped)
    kValidateFailed = 1,  // a check failed, or a report could not be written
    kValidateUsage = 2,   // wrong options
};

// The memory limit of each check when none is given: half the machine's
// memory shared by the checks that run at once, from 64 MB to 2 GB, in
// megabytes.
uint64_t DefaultMemoryLimit(int jobs);

// melvara-sim validate: runs every check up to the level, each in a child
// process of this same program (which alone loads the module), prints a line
// per check and a summary, and writes the JSON and JUnit reports asked for.
int Validate(const ValidateOptions& options, std::ostream& out, std::ostream& err);

}  // namespace sim
