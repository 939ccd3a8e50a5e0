// melvara-sim regress: the same runs on two builds of a module, every difference named.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace sim {

// Exit status of melvara-sim regress.
enum RegressStatus : int {
    kRegressSame = 0,     // no run differs (or every difference was accepted)
    kRegressDiffers = 1,  // a run differs, a command is slower than allowed, or trouble
    kRegressUsage = 2,    // wrong options
};

// What melvara-sim regress is asked to do, and in its run processes (the
// hidden options) what such a process does.
struct RegressOptions {
    std::string OldPath;                // the build compared with
    std::string NewPath;                // the build compared
    int Level = 3;                      // 1 to 3; a level makes the runs of the lower ones too
    uint64_t Seed = 1;                  // of the generated scores
    int Jobs = 2;                       // run processes at once
    double TimeoutSeconds = 30;         // the longest one call into the module may take, as in validate
    uint64_t MemoryLimitMegabytes = 0;  // of each run process; 0 for none
    std::string JsonPath;               // the report as JSON ("-": standard output)
    std::string JunitPath;              // ... as JUnit XML
    std::string KeepScores;             // the folder for the scores the repeat commands use
    std::string AcceptPath;             // an earlier JSON report whose groups are accepted
    std::optional<double> MaxSlowdown;  // a command slower than this ratio fails
    int SpeedRuns = 5;                  // timed runs of each command on each build; 0: none

    // In a run process: the plan, the build, the runs, where to report.
    std::string PlanPath;
    std::string SpeedPlanPath;  // a speed process, timing both builds
    std::string ModulePath;
    bool NewBuild = false;
    size_t From = 0;
    size_t To = 0;
    std::string ResultsPath;
};

// Compares the two builds: runs the matrix of the level on each, each run
// process a child of this program, compares the events of every run in
// order, groups the runs by where they first differ and reports them, times
// the commands on the large score, and writes the reports asked for.
int Regress(const RegressOptions& options, std::ostream& out, std::ostream& err);

}  // namespace sim
