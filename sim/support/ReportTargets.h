// Where a run's reports and kept scores go, checked before anything runs.
#pragma once

#include <ostream>
#include <string>

namespace sim {

enum class ReportTargets { Usable, CannotWrite, Conflict };

// Whether the JSON and JUnit reports can be written (not both to standard
// output) and the folder for the scores made, each empty for none. What is
// wrong is said on err.
ReportTargets CheckReportTargets(const std::string& jsonPath, const std::string& junitPath,
                                 const std::string& keepScores, std::ostream& err);

}  // namespace sim
