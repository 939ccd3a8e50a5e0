// The run and speed processes of regress: each run with a fresh host and load, its events reported.
#include "sim/regress/RunProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "sim/module/ExportHiding.h"
#include "sim/module/Menu.h"
#include "sim/module/ModuleGuard.h"
#include "sim/module/ModuleLoader.h"
#include "sim/regress/EventTrace.h"
#include "sim/regress/Matrix.h"
#include "sim/regress/RunEvents.h"
#include "sim/regress/RunPlan.h"
#include "sim/regress/RunResult.h"
#include "sim/score/Selection.h"
#include "sim/support/ProgramName.h"

namespace sim {
namespace {

// Exit statuses of a run process after a fault, as run's.
constexpr ModuleGuard::ExitStatus kFaultStatus{4, 5, 6};
constexpr const char* kMemoryLimitName = "the limit of a run";

std::optional<RunPlan> ReadPlan(const std::string& path, std::ostream& err) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    std::string error = "cannot read it";
    std::optional<RunPlan> plan = file ? RunPlan::Parse(text.str(), error) : std::nullopt;
    if (!plan)
        err << ProgramName() << ": the plan " << path << ": " << error << "\n";
    return plan;
}

// The results file, each line written whole and flushed at once: a fault
// ends the process without unwinding.
class ResultsFile {
  public:
    explicit ResultsFile(const std::string& path) : File(std::fopen(path.c_str(), "ab")) {}
    ~ResultsFile() {
        if (File != nullptr)
            std::fclose(File);
    }
    ResultsFile(const ResultsFile&) = delete;
    ResultsFile& operator=(const ResultsFile&) = delete;

    bool IsOpen() const { return File != nullptr; }
    void Write(const std::string& lines) {
        std::fwrite(lines.data(), 1, lines.size(), File);
        std::fflush(File);
    }

  private:
    std::FILE* File;
};

// The scores of the plan, each made once, when first needed.
class ScoreCache {
  public:
    explicit ScoreCache(const std::vector<ScoreSource>& sources) : Sources(sources) {}
    const NamedScore& Get(size_t index) {
        auto found = Made.find(index);
        if (found == Made.end())
            found = Made.emplace(index, Sources[index].Make()).first;
        return found->second;
    }

  private:
    const std::vector<ScoreSource>& Sources;
    std::map<size_t, NamedScore> Made;
};

// What is running now, for the report of a fault.
struct Current {
    size_t Number = 0;
    EventTrace* Trace = nullptr;
    RunResult* Result = nullptr;
};

std::string TitleOf(const MenuItemRecord& narrow, bool narrowFilled, const MenuItemRecordW& wide,
                    bool wideFilled) {
    if (wideFilled)
        return FieldText(wide.Title, 128);
    return narrowFilled ? FieldText(narrow.Title, 64) : std::string();
}

// The menu as the host reads it at a host version: every call into the
// module and what it answered, the records byte for byte.
void MenuRun(LoadedModule& module, uint32_t hostVersion, EventTrace& trace, RunResult& result) {
    trace.Add(VersionEvent(hostVersion, module.Version(hostVersion)));
    uint32_t word = 0;
    const int init = module.Init(nullptr, &word);
    trace.Add(InitEvent(init, word));
    for (int16_t index = 0; index < kMaxMenuCommands; ++index) {
        MenuItemRecord narrow{};
        MenuItemRecordW wide{};
        const int16_t narrowAnswer = module.Enumerate(nullptr, index, &narrow);
        trace.Add(MenuRecordEvent(index, narrowAnswer, narrow));
        const int16_t wideAnswer = module.EnumerateUtf16(nullptr, index, &wide);
        trace.Add(MenuRecordEvent(index, wideAnswer, wide));
        if (narrowAnswer == 0 && wideAnswer == 0)
            break;
        result.Menu.push_back({index, TitleOf(narrow, narrowAnswer != 0, wide, wideAnswer != 0)});
    }
    trace.Add(MenuStatusEvent(module.GetMenuStatus(nullptr)));
}

void CommandRun(LoadedModule& module, const PlannedRun& run, bool newBuild, EventTrace& trace) {
    const std::optional<int16_t>& index = run.IndexOf(newBuild);
    ReadMenu(module, run.HostVersion);
    if (!index) {
        trace.Add(NotInMenuEvent(run.Title, run.HostVersion));
        return;
    }
    Host& host = *CurrentHost();
    RegionRecord region = run.Selection.value_or(RegionRecord{});
    if (run.Selection)
        host.SetSelection(*run.Selection);
    trace.Add(InvokeEvent(module.Invoke(host, *index, run.Selection ? &region : nullptr)));
    if (run.Selection && std::memcmp(&region, &*run.Selection, sizeof region) != 0)
        trace.Add(SelectionWrittenEvent(region));
    trace.Add(FramesEvent(host.Frames().Counts()));
}

// One run: a fresh host over the score as the controls shape it, a fresh
// load of the module, every call into the host an event.
void MakeRun(const RegressOptions& options, const PlannedRun& run, ScoreCache& scores,
             Current& current) {
    EventTrace& trace = *current.Trace;
    RunResult& result = *current.Result;
    const HostControls controls = ControlsOf(run.Control);
    Score held = run.What == PlannedRun::Kind::Menu ? Score{} : scores.Get(run.Score).Document;
    controls.ApplyTo(held);
    Host host(std::move(held));
    host.IndexScore();
    host.Log().SetRecordCalls(false);
    controls.ApplyTo(host);
    host.Boxes().ScriptAnswers(run.Answers);
    host.Log().OnCall = [&](const HostCall& call) {
        trace.Add(CallEvent(host, call));
        if (call.Function == HostFn::MessageBoxW && call.Box < host.Boxes().List().size()) {
            for (const int button : ButtonsOf(host.Boxes().List()[call.Box].Style))
                result.Offered |= button >= 0 && button < 32 ? 1u << button : 0u;
        }
        result.Calls = host.Log().CallCount();
    };
    CurrentHostScope scope(host);
    LoadedModule module;
    std::string error;
    if (!module.Load(options.ModulePath, error)) {
        trace.Add(LoadFailedEvent(error, options.ModulePath));
        return;
    }
    if (run.What == PlannedRun::Kind::Menu)
        MenuRun(module, run.HostVersion, trace, result);
    else
        CommandRun(module, run, options.NewBuild, trace);
    module.Terminate();
    host.ReportFramesStillHeld();
    for (const FrameError& frameError : host.Frames().Errors())
        trace.Add(HostReportEvent("frame error", frameError.Describe()));
    for (const std::string& frame : host.Frames().Overwritten())
        trace.Add(HostReportEvent("frame written into", frame));
    if (const std::optional<HostFault>& fault = host.Log().Fault())
        trace.Add(HostReportEvent("host fault", fault->Describe()));
    module.Unload();
    host.Log().OnCall = nullptr;
}

}  // namespace

int RunRunProcess(const RegressOptions& options, std::ostream& err) {
    const std::optional<RunPlan> plan = ReadPlan(options.PlanPath, err);
    if (!plan)
        return 1;
    ResultsFile results(options.ResultsPath);
    if (!results.IsOpen()) {
        err << ProgramName() << ": cannot write " << options.ResultsPath << "\n";
        return 1;
    }
    // The runs of one process share the functions the host lacks: the
    // program's export table stays as it is made here.
    std::string hidden;
    for (const auto& [number, run] : plan->Runs) {
        if (number < options.From || number >= options.To ||
            run.Control.What != ControlChoice::Kind::Missing) {
            continue;
        }
        const char* name = HostFnName(static_cast<HostFn>(run.Control.Value));
        std::string error;
        if (hidden.empty() && !HideHostExport(name, error))
            err << ProgramName() << ": cannot take " << name << " away: " << error << "\n";
        hidden = name;
        break;
    }

    Current current;
    ModuleGuard guard(
        [&](const ModuleFault& fault) {
            if (current.Trace == nullptr)
                return;
            current.Trace->Add(FaultEvent(fault));
            RunResult result = RunResult::Of(*current.Trace);
            result.Calls = current.Result->Calls;
            result.Offered = current.Result->Offered;
            result.Menu = current.Result->Menu;
            results.Write(ResultLines(current.Number, result) + FaultEndLine());
        },
        kFaultStatus, options.TimeoutSeconds);
    if (options.MemoryLimitMegabytes != 0)
        guard.LimitMemory(options.MemoryLimitMegabytes, kMemoryLimitName);

    ScoreCache scores(plan->Scores);
    for (const auto& [number, run] : plan->Runs) {
        if (number < options.From || number >= options.To)
            continue;
        EventTrace trace;
        if (run.WindowTo > run.WindowFrom)
            trace.KeepWindow(run.WindowFrom, run.WindowTo);
        RunResult partial;
        current = {number, &trace, &partial};
        MakeRun(options, run, scores, current);
        current = {};
        RunResult result = RunResult::Of(trace);
        result.Calls = partial.Calls;
        result.Offered = partial.Offered;
        result.Menu = std::move(partial.Menu);
        results.Write(ResultLines(number, result));
    }
    return 0;
}

namespace {

// A sample is the mean of this many runs at most, made until their Invokes
// took this long together: short commands are timed over several runs.
constexpr int kMostRunsPerSample = 10;
constexpr double kSampleSeconds = 0.005;

// The time the thread spent: on Linux its processor time, which others on a
// busy machine do not add to; on Windows the clock (the system's processor
// times are counted in ticks of about 16 ms).
double ThreadSeconds() {
#if defined(_WIN32)
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

// One sample of a command on the large score: only Invoke is timed, each
// time on a fresh host.
double TimedRun(LoadedModule& module, const Score& score, int16_t index) {
    double total = 0;
    int runs = 0;
    while (runs < kMostRunsPerSample && total < kSampleSeconds) {
        Host host(score);
        host.IndexScore();
        host.Log().SetRecordCalls(false);
        RegionRecord region = WholeScore(score).Region;
        host.SetSelection(region);
        CurrentHostScope current(host);
        const double start = ThreadSeconds();
        module.Invoke(host, index, &region);
        total += ThreadSeconds() - start;
        ++runs;
        host.ReportFramesStillHeld();
    }
    return total / runs;
}

}  // namespace

int RunSpeedProcess(const RegressOptions& options, std::ostream& err) {
    const std::optional<RunPlan> plan = ReadPlan(options.SpeedPlanPath, err);
    if (!plan)
        return 1;
    ResultsFile results(options.ResultsPath);
    if (!results.IsOpen()) {
        err << ProgramName() << ": cannot write " << options.ResultsPath << "\n";
        return 1;
    }
    ModuleGuard guard(
        [&](const ModuleFault& fault) {
            results.Write("fault\t" + WithoutAddresses(fault.Headline()) + "\n");
        },
        kFaultStatus, options.TimeoutSeconds);
    if (options.MemoryLimitMegabytes != 0)
        guard.LimitMemory(options.MemoryLimitMegabytes, kMemoryLimitName);
    LoadedModule builds[2];
    const std::string paths[2] = {options.OldPath, options.NewPath};
    for (int side = 0; side < 2; ++side) {
        std::string error;
        if (!builds[side].Load(paths[side], error)) {
            results.Write("fault\t" + error + "\n");
            return 1;
        }
    }
    ScoreCache scores(plan->Scores);
    for (size_t command = 0; command < plan->Runs.size(); ++command) {
        const PlannedRun& run = plan->Runs[command].second;
        const Score& score = scores.Get(run.Score).Document;
        const std::optional<int16_t> indexes[2] = {run.OldIndex, run.NewIndex};
        if (!indexes[0] || !indexes[1])
            continue;
        for (int side = 0; side < 2; ++side) {
            ReadMenu(builds[side], run.HostVersion);
            TimedRun(builds[side], score, *indexes[side]);
        }
        // In turn, each build first every other time: both meet the machine
        // as it is.
        for (int i = 0; i < options.SpeedRuns; ++i) {
            for (int step = 0; step < 2; ++step) {
                const int side = (i + step) % 2;
                const double seconds = TimedRun(builds[side], score, *indexes[side]);
                results.Write(TimeLine(command, side == 1, seconds));
            }
        }
    }
    for (LoadedModule& build : builds)
        build.Terminate();
    return 0;
}

}  // namespace sim
