// A run process of regress: runs of a plan on one build, each reported to a file as it ends.
#pragma once

#include <ostream>

#include "sim/regress/Regress.h"

namespace sim {

// Makes the plan's runs numbered from options.From up to options.To on the
// build options.ModulePath, each with a fresh host and a fresh load of the
// module, and appends each run's result to options.ResultsPath as it ends.
// A run in which the module crashes, does not return or runs out of memory
// ends with that event, and the process with it: the parent starts another
// for the runs after it. Returns 0, or the module guard's status after a
// fault; 1 when the plan cannot be read or the results not written.
int RunRunProcess(const RegressOptions& options, std::ostream& err);

// Times each command of the plan (options.SpeedPlanPath) on both builds,
// loaded side by side: a run of each to warm up, then options.SpeedRuns
// runs of each in turn, the seconds of each Invoke appended to
// options.ResultsPath.
int RunSpeedProcess(const RegressOptions& options, std::ostream& err);

}  // namespace sim
