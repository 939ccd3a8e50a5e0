// melvara-sim regress: the plans made on both builds, the runs compared, grouped and reported.
#include "sim/regress/Regress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <tuple>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "sim/regress/AcceptedDifferences.h"
#include "sim/regress/PlanRunner.h"
#include "sim/regress/RegressReport.h"
#include "sim/regress/RunProcess.h"
#include "sim/score/ScoreFile.h"
#include "sim/support/AtomicFile.h"
#include "sim/support/ProgramName.h"
#include "sim/support/ReportTargets.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

bool ErrorIsTerminal(const std::ostream& err) {
#if defined(_WIN32)
    return &err == &std::cerr && _isatty(_fileno(stderr)) != 0;
#else
    return &err == &std::cerr && isatty(STDERR_FILENO) != 0;
#endif
}

int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// A folder of its own for the plans and results, removed at the end.
class WorkFolder {
  public:
    bool Make(std::string& error) {
        const std::filesystem::path base = std::filesystem::temp_directory_path(Code);
        if (Code) {
            error = "no folder for temporary files: " + Code.message();
            return false;
        }
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; attempt < 100; ++attempt) {
            Path = base / ("melvara-sim-regress-" + std::to_string(ProcessId()) + "-" +
                           std::to_string(stamp % 1000000) + "-" + std::to_string(attempt));
            if (std::filesystem::create_directory(Path, Code))
                return true;
        }
        error = "cannot make a folder in " + base.string() + ": " + Code.message();
        Path.clear();
        return false;
    }
    ~WorkFolder() {
        if (!Path.empty())
            std::filesystem::remove_all(Path, Code);
    }
    const std::filesystem::path& Get() const { return Path; }

  private:
    std::filesystem::path Path;
    std::error_code Code;
};

// One line of progress on a terminal, none in a pipe.
class Progress {
  public:
    Progress(std::ostream& err, bool shown) : Err(err), Shown(shown) {}
    void AddRuns(size_t runs) { Total += runs; }
    // made: the runs made so far on either build.
    void Update(size_t made) {
        if (!Shown)
            return;
        const std::lock_guard<std::mutex> hold(Lock);
        Err << "\rregress: " << made / 2 << " of " << Total << " runs made on both builds"
            << std::flush;
        Dirty = true;
    }
    void Clear() {
        if (Shown && Dirty)
            Err << "\r" << std::string(72, ' ') << "\r" << std::flush;
        Dirty = false;
    }

  private:
    std::ostream& Err;
    bool Shown;
    bool Dirty = false;
    size_t Total = 0;
    std::mutex Lock;
};

// What is checked before anything runs: the builds are files, the reports
// can be written, the folder for the scores made, the accepted report read.
// The status to end with when not, else nothing.
std::optional<int> Prepare(const RegressOptions& options, std::set<std::string>& accepted,
                           std::ostream& err) {
    for (const bool newBuild : {false, true}) {
        const std::string& path = newBuild ? options.NewPath : options.OldPath;
        std::error_code code;
        if (!std::filesystem::is_regular_file(path, code)) {
            err << ProgramName() << ": " << (newBuild ? "--new" : "--old") << ": " << path
                << " is no module file\n";
            return kRegressDiffers;
        }
    }
    switch (CheckReportTargets(options.JsonPath, options.JunitPath, options.KeepScores, err)) {
        case ReportTargets::Usable:
            break;
        case ReportTargets::CannotWrite:
            return kRegressDiffers;
        case ReportTargets::Conflict:
            return kRegressUsage;
    }
    std::string error;
    if (!options.AcceptPath.empty()) {
        const std::optional<std::set<std::string>> keys =
            ReadAcceptedDifferences(options.AcceptPath, error);
        if (!keys) {
            err << ProgramName() << ": " << error << "\n";
            return kRegressUsage;
        }
        accepted = *keys;
    }
    return std::nullopt;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Numbers the runs on from those made so far and puts them in a plan.
RunPlan PlanOf(const Matrix& matrix, std::vector<PlannedRun>& planned,
               std::vector<PlannedRun> runs) {
    RunPlan plan;
    plan.Scores = matrix.Sources();
    for (PlannedRun& run : runs) {
        plan.Runs.emplace_back(planned.size(), run);
        planned.push_back(std::move(run));
    }
    return plan;
}

// The speed of each command in both menus at today's host version, on the
// large score.
void CompareSpeed(const RegressOptions& options, const Matrix& matrix,
                  const std::vector<CommandPair>& commands, PlanRunner& runner,
                  Regression& regression) {
    RunPlan plan;
    plan.Scores = matrix.Sources();
    for (const CommandPair& command : commands) {
        if (!command.Old || !command.New)
            continue;
        PlannedRun run;
        run.Score = matrix.LargeScore();
        run.HostVersion = kTodaysHostVersion;
        run.OldIndex = command.Old;
        run.NewIndex = command.New;
        run.Title = command.Title;
        plan.Runs.emplace_back(plan.Runs.size(), run);
    }
    if (plan.Runs.empty())
        return;
    std::string error;
    const std::optional<SpeedTimes> times = runner.Time(plan, error);
    if (!times) {
        regression.SpeedProblem = error;
        return;
    }
    const double flagged =
        std::min(kFlaggedSlowdown, options.MaxSlowdown.value_or(kFlaggedSlowdown));
    for (size_t i = 0; i < plan.Runs.size(); ++i) {
        SpeedComparison command;
        command.Title = plan.Runs[i].second.Title;
        if (const auto found = times->Old.find(i); found != times->Old.end())
            command.Old = found->second;
        if (const auto found = times->New.find(i); found != times->New.end())
            command.New = found->second;
        command.OldMedian = Median(command.Old);
        command.NewMedian = Median(command.New);
        command.Ratio = command.OldMedian > 0 ? command.NewMedian / command.OldMedian : 0;
        command.Slower = command.Ratio > flagged;
        command.TooSlow = options.MaxSlowdown && command.Ratio > *options.MaxSlowdown;
        regression.Speed.push_back(std::move(command));
    }
}

// Writes the scores that the repeat commands of the differing runs use.
bool KeepScores(const Regression& regression, std::ostream& err) {
    std::set<size_t> written;
    for (size_t i = 0; i < regression.Planned.size(); ++i) {
        const PlannedRun& planned = regression.Planned[i];
        if (!regression.Comparisons[i].Differs || planned.What == PlannedRun::Kind::Menu ||
            !written.insert(planned.Score).second) {
            continue;
        }
        const NamedScore& score = regression.RunMatrix->Scores()[planned.Score];
        std::string error;
        if (!WriteScoreFile(
                score.Document,
                std::filesystem::path(regression.Options->KeepScores) / score.Source.File, error)) {
            err << ProgramName() << ": " << error << "\n";
            return false;
        }
    }
    return true;
}

bool WriteReport(const std::string& path, const std::string& content, std::ostream& err) {
    if (path.empty())
        return true;
    std::string error;
    if (WriteFileAtomically(path, content, error))
        return true;
    err << ProgramName() << ": " << error << "\n";
    return false;
}

}  // namespace

int Regress(const RegressOptions& options, std::ostream& standardOutput, std::ostream& err) {
    if (!options.PlanPath.empty())
        return RunRunProcess(options, err);
    if (!options.SpeedPlanPath.empty())
        return RunSpeedProcess(options, err);
    std::set<std::string> accepted;
    if (const auto status = Prepare(options, accepted, err))
        return *status;
    WorkFolder folder;
    std::string error;
    if (!folder.Make(error)) {
        err << ProgramName() << ": " << error << "\n";
        return kRegressDiffers;
    }
    // A report on standard output keeps it to itself.
    std::ostream& out = AtomicFile::IsStandardOutput(options.JsonPath) ||
                                AtomicFile::IsStandardOutput(options.JunitPath)
                            ? err
                            : standardOutput;
    out << "Comparing " << options.OldPath << " (old) with " << options.NewPath
        << " (new) at level " << options.Level << ", seed " << options.Seed
        << "; each call into the module may take " << ShortNumber(options.TimeoutSeconds) << " s";
    if (options.MemoryLimitMegabytes != 0)
        out << ", each run process " << options.MemoryLimitMegabytes << " MB";
    out << "\n\n" << std::flush;

    const auto start = std::chrono::steady_clock::now();
    Progress progress(err, ErrorIsTerminal(err));
    PlanRunner runner(options, folder.Get(), [&](size_t made) { progress.Update(made); });
    const Matrix matrix(options.Level, options.Seed);
    Regression regression;
    regression.Options = &options;
    regression.RunMatrix = &matrix;
    std::vector<PlannedRun>& planned = regression.Planned;
    PlanResults results;
    const auto make = [&](std::vector<PlannedRun> runs) {
        progress.AddRuns(runs.size());
        return runner.Run(PlanOf(matrix, planned, std::move(runs)), results, error);
    };

    // The menus first: the commands of the runs are those of both menus.
    bool made = make(matrix.MenuRuns());
    std::map<uint32_t, std::vector<CommandPair>> commands;
    for (size_t i = 0; i < planned.size(); ++i)
        commands[planned[i].HostVersion] = PairCommands(results.Old[i].Menu, results.New[i].Menu);
    const size_t baseStart = planned.size();
    const std::vector<PlannedRun> base = matrix.BaseRuns(commands);
    made = made && make(base);
    // The runs that the base runs decide: the answers their boxes offered,
    // the calls to make fail.
    std::vector<const RunResult*> oldBase;
    std::vector<const RunResult*> newBase;
    for (size_t i = 0; i < base.size(); ++i) {
        oldBase.push_back(&results.Old[baseStart + i]);
        newBase.push_back(&results.New[baseStart + i]);
    }
    made = made && make(matrix.DerivedRuns(base, oldBase, newBase));

    // The runs that differ, made again keeping the events where they part.
    regression.Comparisons.resize(planned.size());
    RunPlan windows;
    windows.Scores = matrix.Sources();
    for (size_t i = 0; i < planned.size(); ++i) {
        const RunResult& before = results.Old[i];
        const RunResult& after = results.New[i];
        if (before.SameAs(after))
            continue;
        regression.Comparisons[i].Differs = true;
        PlannedRun again = planned[i];
        std::tie(again.WindowFrom, again.WindowTo) = DifferenceWindow(before, after);
        windows.Runs.emplace_back(i, again);
    }
    PlanResults windowResults;
    progress.AddRuns(windows.Runs.size());
    made = made && runner.Run(windows, windowResults, error);
    if (!made) {
        progress.Clear();
        err << ProgramName() << ": " << error << "\n";
        return kRegressDiffers;
    }
    for (const auto& [number, run] : windows.Runs)
        regression.Comparisons[number] =
            FirstDifference(windowResults.Old[number], windowResults.New[number]);
    regression.Groups = GroupDifferences(regression.Comparisons, accepted);
    for (const std::string& key : accepted) {
        if (std::none_of(regression.Groups.begin(), regression.Groups.end(),
                         [&](const DifferenceGroup& group) { return group.Key == key; })) {
            regression.AcceptedNotSeen.push_back(key);
        }
    }
    if (options.SpeedRuns > 0)
        CompareSpeed(options, matrix, commands[kTodaysHostVersion], runner, regression);
    regression.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.Clear();

    for (size_t group = 0; group < regression.Groups.size(); ++group)
        out << FormatGroup(regression, group) << "\n";
    if (options.SpeedRuns > 0)
        out << FormatSpeed(regression) << "\n";
    out << FormatSummary(regression) << std::flush;

    const bool written = (options.KeepScores.empty() || KeepScores(regression, err)) &&
                         WriteReport(options.JsonPath, FormatJson(regression), err) &&
                         WriteReport(options.JunitPath, FormatJunit(regression), err);
    return regression.Failed() || !written ? kRegressDiffers : kRegressSame;
}

}  // namespace sim
