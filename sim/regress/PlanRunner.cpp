// Plans cut into parts, each part's runs made in run processes of this program, jobs at a time.
#include "sim/regress/PlanRunner.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "sim/support/Text.h"
#include "sim/validate/ChildProcess.h"

namespace sim {
namespace {

// Parts per job and build, so that a slow part does not leave a job idle;
// and the fewest and most runs in a part (a process costs a few
// milliseconds to start).
constexpr size_t kPartsPerJob = 4;
constexpr size_t kFewestRuns = 8;
constexpr size_t kMostRuns = 250;
// A run process may take this long, and each run as long as its calls into
// the module may take, several times over: the guard ends a call that
// hangs, so this ends only a process that hangs outside the module.
constexpr double kProcessSeconds = 120;
constexpr double kCallsPerRun = 4;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool WriteFile(const std::filesystem::path& path, const std::string& text, std::string& error) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (file)
        return true;
    error = "cannot write " + path.string();
    return false;
}

std::string HowItEnded(const ChildOutcome& child, double limit) {
    if (!child.Started)
        return "did not start: " + child.StartError;
    if (child.Killed)
        return "stopped after " + ShortNumber(limit) + " s";
    if (child.Signal != 0)
        return "ended by signal " + std::to_string(child.Signal);
    return "ended with status " + std::to_string(child.ExitCode);
}

// The runs of a plan whose numbers are given, with its scores.
RunPlan PartOf(const RunPlan& plan, const std::vector<size_t>& numbers) {
    RunPlan part;
    part.Scores = plan.Scores;
    for (const auto& run : plan.Runs) {
        if (std::binary_search(numbers.begin(), numbers.end(), run.first))
            part.Runs.push_back(run);
    }
    return part;
}

}  // namespace

Event LostRunEvent(const std::string& how) {
    Event event{"run process", {}, {}, {}, "the run's process " + how};
    event.Add("ended", how);
    return event;
}

void PlanRunner::AddLimits(std::vector<std::string>& args) const {
    args.push_back("--timeout");
    args.push_back(ShortNumber(Options.TimeoutSeconds));
    if (Options.MemoryLimitMegabytes != 0) {
        args.push_back("--memory-limit");
        args.push_back(std::to_string(Options.MemoryLimitMegabytes) + "M");
    }
}

std::string PlanRunner::NextFile(const std::string& stem) {
    return (Folder / (stem + "-" + std::to_string(Files++) + ".txt")).string();
}

void PlanRunner::RunPart(const Part& part, const std::string& planPath,
                         std::map<size_t, RunResult>& into, std::atomic<size_t>& done) {
    const std::string& module = part.NewBuild ? Options.NewPath : Options.OldPath;
    size_t next = 0;
    while (next < part.Numbers.size()) {
        const std::string resultsPath = NextFile(part.NewBuild ? "new" : "old");
        std::vector<std::string> args = {"regress",
                                         "--run-process",
                                         planPath,
                                         "--module",
                                         module,
                                         "--side",
                                         part.NewBuild ? "new" : "old",
                                         "--from",
                                         std::to_string(part.Numbers[next]),
                                         "--results",
                                         resultsPath};
        AddLimits(args);
        const double limit = kProcessSeconds + kCallsPerRun * Options.TimeoutSeconds *
                                                   static_cast<double>(part.Numbers.size() - next);
        const ChildOutcome child = RunThisProgram(args, limit);
        bool faulted = false;
        std::map<size_t, RunResult> reported = ReadResults(ReadFile(resultsPath), &faulted);
        std::error_code ignored;
        std::filesystem::remove(resultsPath, ignored);
        const size_t first = next;
        for (; next < part.Numbers.size(); ++next) {
            const auto found = reported.find(part.Numbers[next]);
            if (found == reported.end())
                break;
            into[part.Numbers[next]] = std::move(found->second);
            ++done;
        }
        // After a fault in the module, reported with its run, the next
        // process goes on from the run after it.
        if (next == part.Numbers.size() || faulted)
            continue;
        // The run it was making when it ended; a process that never got to
        // its first run (it did not start, or could not read the plan) would
        // not get to any other.
        const bool hopeless =
            next == first && (!child.Started || (child.Signal == 0 && !child.Killed));
        const std::string how = HowItEnded(child, limit);
        do {
            // Its one event, kept whole too, for the run made again.
            EventTrace trace;
            trace.KeepWindow(0, 1);
            trace.Add(LostRunEvent(how));
            into[part.Numbers[next++]] = RunResult::Of(trace);
            ++done;
        } while (hopeless && next < part.Numbers.size());
        if (OnProgress)
            OnProgress(done);
    }
    if (OnProgress)
        OnProgress(done);
}

bool PlanRunner::Run(const RunPlan& plan, PlanResults& results, std::string& error) {
    // Runs without a host function share a process, as the program's export
    // table then lacks it for good; the others are cut into parts of about
    // equal size.
    std::map<uint64_t, std::vector<size_t>> groups;
    for (const auto& [number, run] : plan.Runs) {
        const bool missing = run.Control.What == ControlChoice::Kind::Missing;
        groups[missing ? run.Control.Value + 1 : 0].push_back(number);
    }
    const size_t jobs = static_cast<size_t>(std::max(Options.Jobs, 1));
    const size_t size =
        std::clamp(plan.Runs.size() / (jobs * kPartsPerJob) + 1, kFewestRuns, kMostRuns);
    std::vector<Part> parts;
    std::vector<std::string> planPaths;
    for (auto& [missing, numbers] : groups) {
        std::sort(numbers.begin(), numbers.end());
        for (size_t start = 0; start < numbers.size(); start += size) {
            const std::vector<size_t> slice(numbers.begin() + static_cast<std::ptrdiff_t>(start),
                                            numbers.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                  numbers.size(), start + size)));
            const std::string path = NextFile("plan");
            if (!WriteFile(path, PartOf(plan, slice).Serialize(), error))
                return false;
            for (const bool newBuild : {false, true}) {
                parts.push_back({newBuild, slice});
                planPaths.push_back(path);
            }
        }
    }

    std::atomic<size_t> next{0};
    std::atomic<size_t> done{RunsDone};
    std::mutex lock;
    const auto work = [&] {
        for (;;) {
            const size_t index = next++;
            if (index >= parts.size())
                return;
            std::map<size_t, RunResult> made;
            RunPart(parts[index], planPaths[index], made, done);
            const std::lock_guard<std::mutex> hold(lock);
            std::map<size_t, RunResult>& into = parts[index].NewBuild ? results.New : results.Old;
            for (auto& [number, result] : made)
                into[number] = std::move(result);
        }
    };
    std::vector<std::thread> workers;
    for (size_t i = 1; i < jobs; ++i)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    RunsDone = done;
    for (const std::string& path : planPaths) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return true;
}

std::optional<SpeedTimes> PlanRunner::Time(const RunPlan& plan, std::string& error) {
    const std::string planPath = NextFile("speed-plan");
    if (!WriteFile(planPath, plan.Serialize(), error))
        return std::nullopt;
    const std::string resultsPath = NextFile("speed");
    std::vector<std::string> args = {
        "regress",       "--speed-process", planPath,
        "--old",         Options.OldPath,   "--new",
        Options.NewPath, "--speed-runs",    std::to_string(Options.SpeedRuns),
        "--results",     resultsPath};
    AddLimits(args);
    const double limit = kProcessSeconds + kCallsPerRun * Options.TimeoutSeconds *
                                               static_cast<double>(plan.Runs.size()) *
                                               (2.0 * Options.SpeedRuns + 2);
    const ChildOutcome child = RunThisProgram(args, limit);
    const std::string text = ReadFile(resultsPath);
    std::error_code ignored;
    std::filesystem::remove(planPath, ignored);
    std::filesystem::remove(resultsPath, ignored);
    for (const std::string& line : SplitLines(text)) {
        if (line.rfind("fault\t", 0) == 0) {
            error = line.substr(6);
            return std::nullopt;
        }
    }
    if (child.Signal != 0 || child.Killed || child.ExitCode != 0 || !child.Started) {
        error = "the speed process " + HowItEnded(child, limit);
        return std::nullopt;
    }
    return ReadTimes(text);
}

}  // namespace sim
