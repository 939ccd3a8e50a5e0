// What regress found, and its reports: for people, JSON and JUnit XML for CI.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/regress/Comparison.h"
#include "sim/regress/Matrix.h"
#include "sim/regress/Regress.h"
#include "sim/regress/RunPlan.h"

namespace sim {

// A command timed on the large score on both builds.
struct SpeedComparison {
    std::string Title;
    std::vector<double> Old;  // seconds of each timed run
    std::vector<double> New;
    double OldMedian = 0;
    double NewMedian = 0;
    double Ratio = 0;      // new / old
    bool Slower = false;   // above the ratio that is flagged
    bool TooSlow = false;  // above --max-slowdown
};

// Everything regress found.
struct Regression {
    const RegressOptions* Options = nullptr;
    const Matrix* RunMatrix = nullptr;  // the runs of the level, their scores
    std::vector<PlannedRun> Planned;    // by run number
    std::vector<RunComparison> Comparisons;
    std::vector<DifferenceGroup> Groups;
    std::vector<std::string> AcceptedNotSeen;  // accepted keys no run differs at
    std::vector<SpeedComparison> Speed;
    std::string SpeedProblem;  // why the speed was not compared, if it was not
    double Seconds = 0;

    size_t Differing() const;
    size_t NewGroups() const;  // groups not accepted
    // What makes the exit status 1: a difference not accepted, a command
    // slower than --max-slowdown.
    bool Failed() const;
};

// The ratio above which a command is flagged as slower.
constexpr double kFlaggedSlowdown = 1.2;

// The command line that makes the run again on one build, with --trace: run
// on the score as generate writes it (or as --keep-scores kept it), or menu.
std::string RepeatCommand(const Regression& regression, size_t run, bool newBuild);

// The report for people: a block per group of runs that differ, the first
// run of each with the events before its first difference, old and new at
// it and the commands that repeat it, then the speed and the summary.
std::string FormatGroup(const Regression& regression, size_t group);
std::string FormatSpeed(const Regression& regression);
std::string FormatSummary(const Regression& regression);
// The same for CI, every run kept.
std::string FormatJson(const Regression& regression);
std::string FormatJunit(const Regression& regression);

}  // namespace sim
