// A check in a process of its own: the validator's side, which starts it, keeps its limits from
// outside and judges how it ended, and the side of the check's process.
#pragma once

#include <ostream>

#include "sim/validate/Check.h"

namespace sim {

// How long a check's process may take in all: 60 s and ten times the time
// limit of a call, and for level 5 the budget besides.
double CheckSeconds(const ValidateOptions& options, const CheckInfo& check);

// Runs the check in a child process of this program and judges it. The
// process reports the start and end of each call into the module, and the
// result, over a channel of its own; what it prints is only its output
// (bounded). A call that takes longer than the time limit and a second, or
// a process over its memory limit, is ended from here, whatever the module
// did to its signals or descriptors. Whatever the process started is ended
// with it, and a module that left processes running fails.
CheckResult RunCheckInProcess(const CheckInfo& check, const ValidateOptions& options);

// In a check's own process (the hidden --check-process option): runs the
// check under a module guard, unloads the module, and reports the result
// to the validator (on out when started by hand), also when the module
// crashes or hangs. Returns 0, or the usage status for an unknown check.
int RunCheckProcess(const ValidateOptions& options, std::ostream& out);

}  // namespace sim
