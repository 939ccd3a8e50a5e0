#include "sim/support/ReportTargets.h"

#include <filesystem>
#include <system_error>

#include "sim/support/AtomicFile.h"
#include "sim/support/ProgramName.h"

namespace sim {

ReportTargets CheckReportTargets(const std::string& jsonPath, const std::string& junitPath,
                                 const std::string& keepScores, std::ostream& err) {
    std::string error;
    std::filesystem::path target;
    for (const std::string* path : {&jsonPath, &junitPath}) {
        if (!path->empty() && !AtomicFile::Resolve(*path, target, error)) {
            err << ProgramName() << ": " << error << "\n";
            return ReportTargets::CannotWrite;
        }
    }
    if (!jsonPath.empty() && !junitPath.empty() && AtomicFile::IsStandardOutput(jsonPath) &&
        AtomicFile::IsStandardOutput(junitPath)) {
        err << ProgramName() << ": --json and --junit cannot both go to standard output\n";
        return ReportTargets::Conflict;
    }
    if (!keepScores.empty()) {
        std::error_code code;
        std::filesystem::create_directories(keepScores, code);
        if (code ||
            !AtomicFile::Resolve(std::filesystem::path(keepScores) / "score.json", target, error)) {
            err << ProgramName() << ": --keep-scores: "
                << (code ? "cannot make the folder " + keepScores + ": " + code.message() : error)
                << "\n";
            return ReportTargets::CannotWrite;
        }
    }
    return ReportTargets::Usable;
}

}  // namespace sim
