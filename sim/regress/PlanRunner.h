// Runs of a plan made on both builds, in run processes, several at once; a process that ends early
// is followed by another.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/regress/Regress.h"
#include "sim/regress/RunPlan.h"
#include "sim/regress/RunResult.h"

namespace sim {

// The results of runs on both builds, by run number.
struct PlanResults {
    std::map<size_t, RunResult> Old;
    std::map<size_t, RunResult> New;
};

// Makes the runs of plans on both builds in run processes (children of this
// program, through RunThisProgram), options.Jobs at a time, the plan cut
// into parts so that the builds and the jobs share the work. A run process
// that ends before its last run (the module crashed, or the process was
// stopped) is followed by another from the run after the one it ended in;
// a run that no process reported gets one event that says how its process
// ended.
class PlanRunner {
  public:
    // Files go into folder; progress (runs done so far, of all plans) is
    // handed to onProgress as runs end.
    PlanRunner(const RegressOptions& options, std::filesystem::path folder,
               std::function<void(size_t)> onProgress)
        : Options(options), Folder(std::move(folder)), OnProgress(std::move(onProgress)) {}

    // Makes the plan's runs on both builds. False, with error set, when the
    // plan cannot be written.
    bool Run(const RunPlan& plan, PlanResults& results, std::string& error);
    // Times the commands of the speed plan; nothing, with why in error, when
    // the speed process did not finish.
    std::optional<SpeedTimes> Time(const RunPlan& plan, std::string& error);

  private:
    struct Part {
        bool NewBuild = false;
        std::vector<size_t> Numbers;  // the runs, in order
    };
    // Makes a part's runs, in as many processes as it takes.
    void RunPart(const Part& part, const std::string& planPath, std::map<size_t, RunResult>& into,
                 std::atomic<size_t>& done);
    std::string NextFile(const std::string& stem);
    // The limits of a run process's calls into the module, as its arguments.
    void AddLimits(std::vector<std::string>& args) const;

    const RegressOptions& Options;
    std::filesystem::path Folder;
    std::function<void(size_t)> OnProgress;
    std::atomic<size_t> Files{0};
    size_t RunsDone = 0;
};

// The event that stands for a run no process reported: how its process
// ended ("ended by signal 9", "stopped after 320 s").
Event LostRunEvent(const std::string& how);

}  // namespace sim
