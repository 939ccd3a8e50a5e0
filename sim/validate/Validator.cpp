// The validation: each check in a child process, its result read back, the reports written.
#include "sim/validate/Validator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "sim/module/ModuleGuard.h"
#include "sim/score/ScoreFile.h"
#include "sim/support/AtomicFile.h"
#include "sim/support/ExceptionStatus.h"
#include "sim/support/Text.h"
#include "sim/validate/CheckContext.h"
#include "sim/validate/ChildProcess.h"
#include "sim/validate/Reports.h"
#include "sim/validate/Sanitizer.h"
#include "sim/validate/Scores.h"

namespace sim {
namespace {

// Starts the line with which a check's process reports to the parent; its
// fields are separated by tabs.
constexpr const char* kResultMarker = "melvara-sim-validate-result";
// Output of a failed check's process quoted in its reason, in lines.
constexpr size_t kQuotedLines = 3;
// Between the words of a field of the result line.
constexpr char kWordSeparator = '\x1f';
// The most and the least memory a check gets by default, in megabytes.
constexpr uint64_t kDefaultMemoryLimitCap = 4096;
constexpr uint64_t kDefaultMemoryLimitFloor = 64;
// What names the memory limit in a check's reason.
constexpr const char* kMemoryLimitName = "the limit of a check";

std::string Escape(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\n')
            escaped += "\\n";
        else if (c != '\r')
            escaped += c;
    }
    return escaped;
}

std::string Unescape(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        const char next = text[++i];
        plain += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    }
    return plain;
}

// Words in one field, apart by the unit separator.
std::string Join(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words)
        joined += (joined.empty() ? "" : std::string(1, kWordSeparator)) + word;
    return joined;
}

std::vector<std::string> Split(const std::string& field) {
    std::vector<std::string> words;
    for (size_t start = 0; !field.empty() && start <= field.size();) {
        const size_t end = std::min(field.find(kWordSeparator, start), field.size());
        words.push_back(field.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

std::string ResultLine(const CheckResult& result) {
    const RunRepeat repeat = result.Repeat.value_or(RunRepeat{});
    return std::string(kResultMarker) + "\t" + VerdictName(result.Status) + "\t" +
           Escape(result.Reason) + "\t" + Escape(result.Where) + "\t" + Escape(result.Call) +
           "\t" + Escape(Join(repeat.Score)) + "\t" + Escape(Join(repeat.Arguments)) + "\n";
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// "with status 3", or for a Windows crash status "by exception 0xC0000409
// (stack buffer overrun)".
std::string ExitStatusText(int status) {
    const auto code = static_cast<uint32_t>(status);
    return IsCrashStatus(code) ? "by " + DescribeExceptionStatus(code)
                               : "with status " + std::to_string(status);
}

// The check's result from its process: the result line it printed, else why
// there is none.
CheckResult ReadResult(const ChildOutcome& child, double limit) {
    std::optional<CheckResult> reported;
    std::string output;
    for (const std::string& line : SplitLines(child.Output)) {
        const std::vector<std::string> fields = Fields(line);
        if (fields.size() == 7 && fields[0] == kResultMarker) {
            CheckResult result;
            result.Status = fields[1] == "PASS"   ? Verdict::Pass
                            : fields[1] == "WARN" ? Verdict::Warn
                            : fields[1] == "SKIP" ? Verdict::Skip
                                                  : Verdict::Fail;
            result.Reason = Unescape(fields[2]);
            result.Where = Unescape(fields[3]);
            result.Call = Unescape(fields[4]);
            if (!fields[5].empty())
                result.Repeat = RunRepeat{Split(Unescape(fields[5])), Split(Unescape(fields[6]))};
            reported = result;
        } else {
            output += line + "\n";
        }
    }
    CheckResult result;
    if (reported) {
        result = *reported;
    } else if (!child.Started) {
        result = Failed(child.StartError);
    } else if (child.Killed) {
        result = Failed("the check's process did not end within " + ShortNumber(limit) + " s");
    } else if (const std::string summary = AsanSummary(output); !summary.empty()) {
        result = Failed(summary);
    } else {
        result = Failed("the check's process ended " +
                        (child.Signal != 0 ? "by signal " + std::to_string(child.Signal)
                                           : ExitStatusText(child.ExitCode)) +
                        " without a result");
        const std::vector<std::string> lines = SplitLines(output);
        std::string last;
        for (size_t i = lines.size() > kQuotedLines ? lines.size() - kQuotedLines : 0;
             i < lines.size(); ++i) {
            last += (last.empty() ? "" : " / ") + lines[i];
        }
        if (!last.empty())
            result.Reason += ": " + last;
    }
    result.Output = output;
    return result;
}

void SetEnvironment(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

bool WriteReport(const std::string& path, const std::string& content, std::ostream& err) {
    if (path.empty())
        return true;
    std::string error;
    if (WriteFileAtomically(path, content, error))
        return true;
    err << "melvara-sim: " << error << "\n";
    return false;
}

// Runs the check in a child process of this program.
CheckOutcome RunCheck(const CheckInfo& check, const ValidateOptions& options) {
    std::vector<std::string> args = {"validate",
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
        args.push_back("--memory-limit");
        args.push_back(std::to_string(options.MemoryLimitMegabytes) + "M");
    }
    const double limit = check.ProcessSeconds + 3 * options.TimeoutSeconds +
                         (check.Level == 5 ? options.BudgetSeconds : 0);
    const auto started = std::chrono::steady_clock::now();
    CheckOutcome outcome{&check, ReadResult(RunThisProgram(args, limit), limit), std::nullopt};
    outcome.Result.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (options.Strict && outcome.Result.Status == Verdict::Warn)
        outcome.Result.Status = Verdict::Fail;
    return outcome;
}

// What is checked before anything runs: the reports can be written, the
// folder for the scores made, and the module run under the sanitizer when
// asked. The status to end with when not, else nothing.
std::optional<int> Prepare(const ValidateOptions& options, Validation& validation,
                           std::ostream& err) {
    std::string error;
    std::filesystem::path target;
    for (const std::string* path : {&options.JsonPath, &options.JunitPath}) {
        if (!path->empty() && !AtomicFile::Resolve(*path, target, error)) {
            err << "melvara-sim: " << error << "\n";
            return kValidateFailed;
        }
    }
    if (!options.JsonPath.empty() && !options.JunitPath.empty() &&
        AtomicFile::IsStandardOutput(options.JsonPath) &&
        AtomicFile::IsStandardOutput(options.JunitPath)) {
        err << "melvara-sim: --json and --junit cannot both go to standard output\n";
        return kValidateUsage;
    }
    if (!options.KeepScores.empty()) {
        std::error_code code;
        std::filesystem::create_directories(options.KeepScores, code);
        if (code || !AtomicFile::Resolve(std::filesystem::path(options.KeepScores) / "score.json",
                                         target, error)) {
            err << "melvara-sim: --keep-scores: "
                << (code ? "cannot make the folder " + options.KeepScores + ": " + code.message()
                         : error)
                << "\n";
            return kValidateFailed;
        }
    }
    if (options.Sanitize) {
        const std::optional<std::string> runtime = AsanRuntimeFor(options.ModulePath, error);
        if (!runtime) {
            err << "melvara-sim: " << error << "\n";
            return kValidateUsage;
        }
        validation.Environment = AsanEnvironment(*runtime);
        // The checks' processes inherit it; this one has started already.
        for (const std::string& variable : validation.Environment) {
            const size_t equals = variable.find('=');
            SetEnvironment(variable.substr(0, equals), variable.substr(equals + 1));
        }
    }
    return std::nullopt;
}

// Writes the scores that the failures' repeat commands run on, each once.
bool KeepScores(const Validation& validation, std::ostream& err) {
    std::vector<std::string> written;
    for (const CheckOutcome& outcome : validation.Checks) {
        if (!outcome.Result.Repeat || outcome.SameFaultAs)
            continue;
        const std::optional<ScoreSource> source =
            ScoreSource::FromFields(outcome.Result.Repeat->Score);
        if (!source || std::find(written.begin(), written.end(), source->File) != written.end())
            continue;
        written.push_back(source->File);
        const std::filesystem::path path =
            std::filesystem::path(validation.Options->KeepScores) / source->File;
        std::string error;
        if (!WriteScoreFile(source->Make().Document, path, error)) {
            err << "melvara-sim: " << error << "\n";
            return false;
        }
    }
    return true;
}

}  // namespace

uint64_t DefaultMemoryLimit(int jobs) {
    const uint64_t share = MachineMegabytes() / 2 / static_cast<uint64_t>(std::max(jobs, 1));
    return share == 0 ? kDefaultMemoryLimitCap
                      : std::clamp(share, kDefaultMemoryLimitFloor, kDefaultMemoryLimitCap);
}

int Validate(const ValidateOptions& options, std::ostream& standardOutput, std::ostream& err) {
    Validation validation;
    validation.Options = &options;
    if (const auto status = Prepare(options, validation, err))
        return *status;
    std::vector<const CheckInfo*> checks;
    for (const CheckInfo& check : AllChecks()) {
        if (options.OnlyCheck.empty() ? check.Level <= options.Level
                                      : check.Name == options.OnlyCheck) {
            checks.push_back(&check);
        }
    }
    // A report on standard output keeps it to itself.
    std::ostream& out = AtomicFile::IsStandardOutput(options.JsonPath) ||
                                AtomicFile::IsStandardOutput(options.JunitPath)
                            ? err
                            : standardOutput;
    out << "Validating " << options.ModulePath;
    if (options.OnlyCheck.empty())
        out << " at level " << options.Level;
    else
        out << ", check " << options.OnlyCheck;
    out << "; each call into the module may take " << ShortNumber(options.TimeoutSeconds) << " s";
    if (options.MemoryLimitMegabytes != 0)
        out << ", each check " << options.MemoryLimitMegabytes << " MB";
    if (options.Level >= 5) {
        out << "; seed " << options.Seed << ", randomised runs for "
            << ShortNumber(options.BudgetSeconds) << " s";
    }
    if (options.Sanitize)
        out << "; under AddressSanitizer";
    out << "\n\n" << std::flush;

    validation.Checks.resize(checks.size());
    std::vector<bool> done(checks.size(), false);
    const auto start = std::chrono::steady_clock::now();
    // The exports check loads the module: when it cannot, nothing else runs.
    size_t next = 0;
    if (!checks.empty() && checks[0]->Name == "exports" && checks.size() > 1) {
        validation.Checks[0] = RunCheck(*checks[0], options);
        done[0] = true;
        next = 1;
        CheckResult& exports = validation.Checks[0].Result;
        if (exports.Status == Verdict::Fail) {
            if (!options.Sanitize && BuiltWithAsan(options.ModulePath)) {
                exports.Reason =
                    "the module is built with AddressSanitizer and loads only into a process "
                    "that has its runtime: validate it with --sanitize";
            }
            for (size_t i = 1; i < checks.size(); ++i) {
                validation.Checks[i] = {checks[i], Skipped("not run: the module does not load"),
                                        size_t{0}};
                done[i] = true;
            }
            next = checks.size();
        }
    }
    // Checks run in parallel, each in its own process; their lines are
    // printed in order, each as soon as those before it are. A failure waits
    // for the checks after it, to name those its fault also broke.
    size_t printed = 0;
    size_t finished = next;
    std::mutex lock;
    const auto print = [&] {
        for (; printed < checks.size() && done[printed]; ++printed) {
            if (validation.Checks[printed].Result.Status == Verdict::Fail) {
                if (finished < checks.size())
                    return;
                GroupFaults(validation);
            }
            out << FormatCheck(validation, printed) << std::flush;
        }
    };
    const auto work = [&] {
        for (;;) {
            size_t index = 0;
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (next == checks.size())
                    return;
                index = next++;
            }
            CheckOutcome outcome = RunCheck(*checks[index], options);
            const std::lock_guard<std::mutex> hold(lock);
            validation.Checks[index] = std::move(outcome);
            done[index] = true;
            ++finished;
            print();
        }
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < options.Jobs; ++i)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    print();
    validation.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out << "\n" << FormatSummary(validation) << "\n" << std::flush;

    const bool written = (options.KeepScores.empty() || KeepScores(validation, err)) &&
                         WriteReport(options.JsonPath, FormatJson(validation), err) &&
                         WriteReport(options.JunitPath, FormatJunit(validation), err);
    return validation.Count(Verdict::Fail) == 0 && written ? kValidatePassed : kValidateFailed;
}

namespace {

// Where the AddressSanitizer runtime's report goes in a check's process.
std::ostream* ReportOut = nullptr;
const CheckContext* ReportContext = nullptr;

std::string LastHostCallText() {
    ModuleFault fault;
    if (const Host* host = CurrentHost())
        fault.LastCall = host->Log().LastCall();
    return fault.LastCallText();
}

void OnAsanReport(const char* text) {
    CheckResult failure = Failed(AsanSummary(text, ReportContext->Options().ModulePath),
                                 ReportContext->Where(), LastHostCallText());
    failure.Repeat = ReportContext->Repeat();
    *ReportOut << ResultLine(failure) << std::flush;
}

}  // namespace

int RunCheckProcess(const ValidateOptions& options, std::ostream& out) {
    const CheckInfo* check = FindCheck(options.Check);
    if (check == nullptr) {
        out << ResultLine(Failed("no check is named " + options.Check)) << std::flush;
        return kValidateUsage;
    }
    CheckContext* running = nullptr;
    ModuleGuard guard(
        [&](const ModuleFault& fault) {
            CheckResult failure = Failed(fault.Headline(), running->Where(), fault.LastCallText());
            failure.Repeat = running->Repeat();
            // run has no limits of its own: the fault needs the check's.
            std::vector<std::string>* args = failure.Repeat ? &failure.Repeat->Arguments : nullptr;
            if (args != nullptr && fault.What == ModuleFault::Kind::TimedOut) {
                args->insert(args->end(),
                             {"--timeout", ShortNumber(running->Guard().GetTimeLimit())});
            }
            if (args != nullptr && fault.What == ModuleFault::Kind::OutOfMemory) {
                args->insert(args->end(), {"--memory-limit",
                                           std::to_string(options.MemoryLimitMegabytes) + "M"});
            }
            out << ResultLine(failure);
        },
        {}, options.TimeoutSeconds, &out);
    if (options.MemoryLimitMegabytes != 0)
        guard.LimitMemory(options.MemoryLimitMegabytes, kMemoryLimitName);
    CheckContext context(options, guard);
    running = &context;
    ReportOut = &out;
    ReportContext = &context;
    WatchAsanReports(OnAsanReport);
    CheckResult result = check->Run(context);
    if (result.Status == Verdict::Pass && context.Warning())
        result = *context.Warning();
    out << ResultLine(result) << std::flush;
    return 0;
}

}  // namespace sim
