// A check in a process of its own: started, watched and judged by the validator; run and
// reported from inside.
#include "sim/validate/CheckProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "sim/host/CallLog.h"
#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "sim/module/ModuleGuard.h"
#include "sim/support/Text.h"
#include "sim/validate/CheckChannel.h"
#include "sim/validate/CheckContext.h"
#include "sim/validate/ChildProcess.h"
#include "sim/validate/Sanitizer.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

// A check's process may take kCheckBaseSeconds and kCheckCallFactor times
// the time limit of a call.
constexpr double kCheckBaseSeconds = 60;
constexpr double kCheckCallFactor = 10;
// Past its time limit, a call is ended from outside after this much more:
// the process's own guard, which names the call in full, comes first.
constexpr double kCallGraceSeconds = 1;
// A sanitizer's report, once begun, is waited for this long.
constexpr double kSanitizerReportSeconds = 30;
constexpr const char* kSanitizerBanner = "ERROR: AddressSanitizer";
// How often the memory of a check's process is looked at.
constexpr double kMemoryLookSeconds = 0.1;
// At a time limit, a process that holds this share of its memory limit is
// judged on memory: it was refused more, or was about to be.
constexpr double kNearLimitShare = 0.75;
// Of each check's output, the first and the last bytes kept.
constexpr size_t kOutputKept = size_t{64} << 10;
// Output of a check's process quoted in the reason when it ended without a
// result, in lines.
constexpr size_t kQuotedLines = 3;
// Reads of what is left in the pipes once the process has ended, at most.
constexpr int kDrainReads = 64;
// Command lines of processes left running named in a reason, at most.
constexpr size_t kNamedProcesses = 3;
// What names the memory limit in a check's reason.
constexpr const char* kMemoryLimitName = "the limit of a check";

Clock::time_point After(Clock::time_point start, double seconds) {
    return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string Megabytes(uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

// " (0.98 s of CPU, 12 MB held)", as the module guard says it.
std::string UsageText(const ProcessUsage& usage, double cpuSince) {
    return usage.Known ? DescribeUsage(usage.CpuSeconds - cpuSince, usage.HeldBytes) : "";
}

// What the validator learns of a check's process while it runs.
struct CheckWatch {
    std::string Export;  // the call into the module that runs, if any
    Clock::time_point CallStart;
    double CallCpu = 0;
    std::string Where;
    std::optional<RunRepeat> Repeat;
    uint64_t LimitBytes = 0;  // the memory limit in force; 0 for none
    uint64_t Process = 0;  // the check's process: only its result counts
    std::optional<CheckResult> Result;
    size_t Foreign = 0;  // lines without the key
    std::string FirstForeign;
    uint64_t PeakHeld = 0;
    std::string PeakExport;
    Clock::time_point ReportUntil{};  // a sanitizer's report being written
    std::string Carry;                // the end of the output so far, for the banner

    void Take(const CheckMessage& message) {
        switch (message.What) {
            case CheckMessage::Kind::CallStarted:
                Export = message.Export;
                CallStart = Clock::now();
                CallCpu = message.CpuSeconds;
                break;
            case CheckMessage::Kind::CallEnded:
                Export.clear();
                break;
            case CheckMessage::Kind::Where:
                Where = message.Where;
                Repeat = message.Repeat;
                break;
            case CheckMessage::Kind::MemoryLimit:
                LimitBytes = message.Bytes;
                break;
            case CheckMessage::Kind::Result:
                // One result, from the check's process: another is not the
                // check's (a copy of the process the module forked, say).
                if (!Result && message.Process == Process) {
                    Result = message.Result;
                    break;
                }
                if (Foreign++ == 0)
                    FirstForeign = "a second result, or one from another process";
                break;
            case CheckMessage::Kind::Foreign:
                if (Foreign++ == 0)
                    FirstForeign = message.Text;
                break;
        }
    }

    // A sanitizer's report that begins in the output is waited for.
    void Look(const std::string& output) {
        const std::string text = Carry + output;
        if (ReportUntil == Clock::time_point{} && text.find(kSanitizerBanner) != std::string::npos)
            ReportUntil = After(Clock::now(), kSanitizerReportSeconds);
        Carry = text.substr(text.size() - std::min(text.size(), std::string(kSanitizerBanner).size()));
    }
};

enum class Ending : uint8_t { Result, Ended, CallTime, CheckTime, Memory };

// "run" repeats a fault of a limit only with the limit.
std::optional<RunRepeat> WithLimit(std::optional<RunRepeat> repeat, const char* option,
                                   std::string value) {
    if (repeat)
        repeat->Arguments.insert(repeat->Arguments.end(), {option, std::move(value)});
    return repeat;
}

std::string LastLines(const std::string& output) {
    const std::vector<std::string> lines = SplitLines(output);
    std::string last;
    for (size_t i = lines.size() > kQuotedLines ? lines.size() - kQuotedLines : 0; i < lines.size();
         ++i) {
        last += (last.empty() ? "" : " / ") + lines[i];
    }
    return last;
}

// The result when the process gave none, or was ended from here.
CheckResult Judge(Ending ending, const CheckWatch& watch, const ChildProcess& child,
                  const ProcessUsage& usage, const std::string& output,
                  const ValidateOptions& options, double checkSeconds) {
    const std::string limit = std::to_string(options.MemoryLimitMegabytes) + " MB (" +
                              kMemoryLimitName + ")";
    const bool nearLimit = watch.LimitBytes != 0 &&
                           static_cast<double>(usage.HeldBytes) >=
                               kNearLimitShare * static_cast<double>(watch.LimitBytes);
    const std::string running = watch.Export.empty() ? "the check's process" : watch.Export;
    CheckResult result;
    if (ending == Ending::Memory || (ending == Ending::CallTime && nearLimit)) {
        result = Failed(running + " used more than " + limit, watch.Where);
        result.Repeat = WithLimit(watch.Repeat, "--memory-limit",
                                  std::to_string(options.MemoryLimitMegabytes) + "M");
    } else if (ending == Ending::CallTime) {
        result = Failed(watch.Export + " did not return within " +
                            ShortNumber(options.TimeoutSeconds) + " s" +
                            UsageText(usage, watch.CallCpu),
                        watch.Where);
        result.Repeat = WithLimit(watch.Repeat, "--timeout", ShortNumber(options.TimeoutSeconds));
    } else if (ending == Ending::CheckTime) {
        result = Failed("the check's process did not end within " + ShortNumber(checkSeconds) +
                            " s" + UsageText(usage, 0),
                        watch.Where);
    } else if (const std::string summary = AsanSummary(output); !summary.empty()) {
        result = Failed(summary, watch.Where);
        result.Repeat = watch.Repeat;
    } else {
        result = Failed((watch.Export.empty() ? "the check's process ended"
                                              : watch.Export + " ended the check's process") +
                            ": " + child.HowEnded() + " without a result",
                        watch.Where);
        if (const std::string last = LastLines(output); !last.empty())
            result.Reason += ": " + last;
        result.Repeat = watch.Repeat;
    }
    return result;
}

// A module that left processes running fails, naming how many and their
// command lines (each once).
void NoteLeftRunning(CheckResult& result, const std::vector<std::string>& left) {
    if (left.empty())
        return;
    std::vector<std::pair<std::string, size_t>> lines;
    for (const std::string& line : left) {
        auto same = std::find_if(lines.begin(), lines.end(),
                                 [&](const auto& known) { return known.first == line; });
        if (same == lines.end())
            lines.emplace_back(line, 1);
        else
            ++same->second;
    }
    std::string named;
    for (size_t i = 0; i < lines.size() && i < kNamedProcesses; ++i) {
        named += (i == 0 ? "" : "; ") + VisibleText(lines[i].first);
        if (lines[i].second > 1)
            named += " (" + std::to_string(lines[i].second) + " of them)";
    }
    if (lines.size() > kNamedProcesses)
        named += "; ...";
    const std::string count =
        std::to_string(left.size()) + (left.size() == 1 ? " process" : " processes") + " running";
    if (result.Status == Verdict::Fail) {
        result.Reason += "; it also left " + count + ": " + named;
        return;
    }
#if defined(_WIN32)
    const char* naming = lines.size() == 1 ? "its program: " : "their programs: ";
#else
    const char* naming = lines.size() == 1 ? "its command line: " : "their command lines: ";
#endif
    result = Failed("the module left " + count + "; " + naming + named,
                    result.Status == Verdict::Skip ? "" : result.Where);
}

}  // namespace

double CheckSeconds(const ValidateOptions& options, const CheckInfo& check) {
    return kCheckBaseSeconds + kCheckCallFactor * options.TimeoutSeconds +
           (check.Level == 5 ? options.BudgetSeconds : 0);
}

CheckResult RunCheckInProcess(const CheckInfo& check, const ValidateOptions& options) {
    ChildProcess::Setup setup;
    setup.Args = {"validate",
                  "--check-process",
                  check.Name,
                  "--module",
                  options.ModulePath,
                  "--timeout",
                  ShortNumber(options.TimeoutSeconds),
                  "--seed",
                  std::to_string(options.Seed),
                  "--budget",
                  ShortNumber(options.BudgetSeconds)};
    if (options.MemoryLimitMegabytes != 0) {
        setup.Args.push_back("--memory-limit");
        setup.Args.push_back(std::to_string(options.MemoryLimitMegabytes) + "M");
    }
    setup.Channel = true;
    setup.ChannelKey = NewCheckKey();
    ChildProcess child;
    std::string error;
    if (!child.Start(setup, error))
        return Failed(error);

    const double checkSeconds = CheckSeconds(options, check);
    const Clock::time_point started = Clock::now();
    CheckWatch watch;
    watch.Process = child.Id();
    CheckMessageReader reader(setup.ChannelKey);
    BoundedOutput output(kOutputKept);
    Ending ending = Ending::Ended;
    Clock::time_point nextLook = After(started, kMemoryLookSeconds);
    std::string bytes, messages;
    for (;;) {
        const Clock::time_point now = Clock::now();
        const Clock::time_point checkEnd = std::max(After(started, checkSeconds), watch.ReportUntil);
        const Clock::time_point callEnd =
            watch.Export.empty()
                ? Clock::time_point::max()
                : std::max(After(watch.CallStart, options.TimeoutSeconds + kCallGraceSeconds),
                           watch.ReportUntil);
        if (watch.Result) {
            ending = Ending::Result;
            break;
        }
        if (child.Ended())
            break;
        if (now >= checkEnd) {
            ending = Ending::CheckTime;
            break;
        }
        if (now >= callEnd) {
            ending = Ending::CallTime;
            break;
        }
        Clock::time_point wake = std::min(checkEnd, callEnd);
        if (watch.LimitBytes != 0) {
            if (now >= nextLook) {
                const ProcessUsage usage = child.Usage();
                if (usage.HeldBytes > watch.PeakHeld) {
                    watch.PeakHeld = usage.HeldBytes;
                    watch.PeakExport = watch.Export;
                }
                if (usage.HeldBytes > watch.LimitBytes) {
                    ending = Ending::Memory;
                    break;
                }
                nextLook = After(now, kMemoryLookSeconds);
            }
            wake = std::min(wake, nextLook);
        }
        bytes.clear();
        messages.clear();
        child.Wait(std::chrono::duration<double>(wake - now).count(), bytes, messages);
        output.Append(bytes);
        watch.Look(bytes);
        for (const CheckMessage& message : reader.Feed(messages))
            watch.Take(message);
    }

    // What the process holds, and its last host call, before it is ended.
    const ProcessUsage usage = child.Usage();
    const void* page = child.SharedPage();
    const std::string lastCall =
        UnpackedHostCallText(page != nullptr ? static_cast<const std::atomic<uint64_t>*>(page)->load()
                                             : 0);
    const std::vector<std::string> left = child.EndAll();
    for (int read = 0; read < kDrainReads; ++read) {
        bytes.clear();
        messages.clear();
        child.Wait(0, bytes, messages);
        if (bytes.empty() && messages.empty())
            break;
        output.Append(bytes);
        // A result still in the pipe counts when the process ended by
        // itself, never after it was ended from here.
        for (const CheckMessage& message : reader.Feed(messages)) {
            if (ending == Ending::Ended || message.What != CheckMessage::Kind::Result)
                watch.Take(message);
        }
    }
    const std::string shownOutput = VisibleText(output.Text(), true);

    CheckResult result;
    if (watch.Result && (ending == Ending::Result || ending == Ending::Ended)) {
        result = *watch.Result;
        result.Reason = VisibleText(result.Reason);
        result.Where = VisibleText(result.Where);
        result.Call = VisibleText(result.Call);
    } else {
        result = Judge(ending, watch, child, usage, shownOutput, options, checkSeconds);
        result.Where = VisibleText(result.Where);
        result.Call = lastCall;
    }
    if (result.Status != Verdict::Fail && watch.LimitBytes != 0 &&
        watch.PeakHeld > watch.LimitBytes) {
        result = Failed((watch.PeakExport.empty() ? "the check's process" : watch.PeakExport) +
                        " used more than " + std::to_string(options.MemoryLimitMegabytes) +
                        " MB (" + kMemoryLimitName + "); it held " + Megabytes(watch.PeakHeld));
    }
    if (result.Status != Verdict::Fail && watch.Foreign != 0) {
        result = Failed("something in the check's process wrote " + std::to_string(watch.Foreign) +
                        (watch.Foreign == 1 ? " line" : " lines") +
                        " to the validator without the check's key: \"" +
                        VisibleText(watch.FirstForeign) + "\"");
    }
    NoteLeftRunning(result, left);
    result.Output = shownOutput;
    return result;
}

namespace {

// Where the AddressSanitizer runtime's report goes in a check's process.
CheckReporter* ReportTo = nullptr;
const CheckContext* ReportContext = nullptr;

std::string LastHostCallText() {
    ModuleFault fault;
    if (const Host* host = CurrentHost())
        fault.LastCall = host->Log().LastCall();
    return fault.LastCallText();
}

void OnAsanReport(const char* text) {
    CheckResult failure = Failed(
        AsanSummary(text, ReportContext != nullptr ? ReportContext->Options().ModulePath : ""),
        ReportContext != nullptr ? ReportContext->Where() : "", LastHostCallText());
    if (ReportContext != nullptr)
        failure.Repeat = ReportContext->Repeat();
    ReportTo->Result(failure);
    ReportTo->Finish();
}

}  // namespace

int RunCheckProcess(const ValidateOptions& options, std::ostream& out) {
    CheckReporter reporter(out);
    if (reporter.HasChannel())
        ReapDescendants();
    HostCallWord = reporter.HostCallWord();
    const CheckInfo* check = FindCheck(options.Check);
    if (check == nullptr) {
        reporter.Result(Failed("no check is named " + options.Check));
        return 2;
    }
    CheckContext* running = nullptr;
    ModuleGuard guard(
        [&](const ModuleFault& fault) {
            CheckResult failure = Failed(fault.Headline(), running != nullptr ? running->Where() : "",
                                         fault.LastCallText());
            failure.Repeat = running != nullptr ? running->Repeat() : std::nullopt;
            // run has no limits of its own: the fault needs the check's.
            if (fault.What == ModuleFault::Kind::TimedOut)
                failure.Repeat =
                    WithLimit(failure.Repeat, "--timeout", ShortNumber(options.TimeoutSeconds));
            if (fault.What == ModuleFault::Kind::OutOfMemory)
                failure.Repeat = WithLimit(failure.Repeat, "--memory-limit",
                                           std::to_string(options.MemoryLimitMegabytes) + "M");
            reporter.Result(failure);
            reporter.Finish();
        },
        {}, options.TimeoutSeconds);
    guard.SetCallNotices(reporter.CallNotices());
    if (options.MemoryLimitMegabytes != 0 &&
        guard.LimitMemory(options.MemoryLimitMegabytes, kMemoryLimitName))
        reporter.MemoryLimit(options.MemoryLimitMegabytes << 20);
    CheckResult result;
    {
        CheckContext context(options, guard);
        context.NoticeWhere([&](const std::string& where, const std::optional<RunRepeat>& repeat) {
            reporter.Where(where, repeat);
        });
        running = &context;
        ReportTo = &reporter;
        ReportContext = &context;
        WatchAsanReports(OnAsanReport);
        result = check->Run(context);
        if (result.Status == Verdict::Pass && context.Warning())
            result = *context.Warning();
        context.SetWhere("unloading " + options.ModulePath);
        // The module unloads here, before the texts that a fault at unload
        // reports.
    }
    running = nullptr;
    ReportContext = nullptr;
    reporter.Result(result);
    reporter.Finish();
    return 0;
}

}  // namespace sim
