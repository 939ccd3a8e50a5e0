// The validation: each check in a child process, its result read back, the reports written.
#include "sim/validate/Validator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "sim/module/ModuleGuard.h"
#include "sim/support/AtomicFile.h"
#include "sim/validate/CheckContext.h"
#include "sim/validate/ChildProcess.h"
#include "sim/validate/Reports.h"

namespace sim {
namespace {

// Starts the line with which a check's process reports to the parent; its
// fields are separated by tabs.
constexpr const char* kResultMarker = "melvara-sim-validate-result";
// Output of a failed check's process quoted in its reason, in lines.
constexpr size_t kQuotedLines = 3;
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

std::string ResultLine(const CheckResult& result) {
    return std::string(kResultMarker) + "\t" + VerdictName(result.Status) + "\t" +
           Escape(result.Reason) + "\t" + Escape(result.Where) + "\t" + Escape(result.Call) + "\n";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
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

// The check's result from its process: the result line it printed, else why
// there is none.
CheckResult ReadResult(const ChildOutcome& child, double limit) {
    std::optional<CheckResult> reported;
    std::string output;
    for (const std::string& line : Lines(child.Output)) {
        const std::vector<std::string> fields = Fields(line);
        if (fields.size() == 5 && fields[0] == kResultMarker) {
            CheckResult result;
            result.Status = fields[1] == "PASS"   ? Verdict::Pass
                            : fields[1] == "SKIP" ? Verdict::Skip
                                                  : Verdict::Fail;
            result.Reason = Unescape(fields[2]);
            result.Where = Unescape(fields[3]);
            result.Call = Unescape(fields[4]);
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
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", limit);
        result = Failed(std::string("the check's process did not end within ") + seconds + " s");
    } else {
        result = Failed("the check's process ended " +
                        (child.Signal != 0 ? "by signal " + std::to_string(child.Signal)
                                           : "with status " + std::to_string(child.ExitCode)) +
                        " without a result");
        const std::vector<std::string> lines = Lines(output);
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

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
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
                                     "--check",
                                     check.Name,
                                     "--module",
                                     options.ModulePath,
                                     "--timeout",
                                     Number(options.TimeoutSeconds),
                                     "--seed",
                                     std::to_string(options.Seed),
                                     "--budget",
                                     Number(options.BudgetSeconds)};
    if (options.MemoryLimitMegabytes != 0) {
        args.push_back("--memory-limit");
        args.push_back(std::to_string(options.MemoryLimitMegabytes) + "M");
    }
    const double limit = check.ProcessSeconds + 3 * options.TimeoutSeconds +
                         (check.Level == 5 ? options.BudgetSeconds : 0);
    const auto started = std::chrono::steady_clock::now();
    CheckOutcome outcome{&check, ReadResult(RunThisProgram(args, limit), limit)};
    outcome.Result.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

}  // namespace

uint64_t DefaultMemoryLimit(int jobs) {
    const uint64_t share = MachineMegabytes() / 2 / static_cast<uint64_t>(std::max(jobs, 1));
    return share == 0 ? kDefaultMemoryLimitCap
                      : std::clamp(share, kDefaultMemoryLimitFloor, kDefaultMemoryLimitCap);
}

int Validate(const ValidateOptions& options, std::ostream& out, std::ostream& err) {
    out << "Validating " << options.ModulePath << " at level " << options.Level
        << "; each call into the module may take " << Number(options.TimeoutSeconds) << " s";
    if (options.MemoryLimitMegabytes != 0)
        out << ", each check " << options.MemoryLimitMegabytes << " MB";
    if (options.Level >= 5) {
        out << "; seed " << options.Seed << ", randomised runs for "
            << Number(options.BudgetSeconds) << " s";
    }
    out << "\n\n" << std::flush;

    std::vector<const CheckInfo*> checks;
    for (const CheckInfo& check : AllChecks()) {
        if (check.Level <= options.Level)
            checks.push_back(&check);
    }
    Validation validation;
    validation.Options = &options;
    validation.Checks.resize(checks.size());
    // Checks run in parallel, each in its own process; their lines are
    // printed in order, each as soon as those before it are.
    std::vector<bool> done(checks.size(), false);
    size_t next = 0;
    size_t printed = 0;
    std::mutex lock;
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
            for (; printed < checks.size() && done[printed]; ++printed)
                out << FormatCheckLine(validation.Checks[printed]) << "\n" << std::flush;
        }
    };
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int i = 1; i < options.Jobs; ++i)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    validation.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out << "\n" << FormatSummary(validation) << "\n" << std::flush;

    const bool written = WriteReport(options.JsonPath, FormatJson(validation), err) &&
                         WriteReport(options.JunitPath, FormatJunit(validation), err);
    return validation.Count(Verdict::Fail) == 0 && written ? kValidatePassed : kValidateFailed;
}

int RunCheckProcess(const ValidateOptions& options, std::ostream& out) {
    const CheckInfo* check = FindCheck(options.Check);
    if (check == nullptr) {
        out << ResultLine(Failed("no check is named " + options.Check)) << std::flush;
        return kValidateUsage;
    }
    const CheckContext* running = nullptr;
    ModuleGuard guard(
        [&](const ModuleFault& fault) {
            out << ResultLine(Failed(fault.Headline(), running != nullptr ? running->Where() : "",
                                     fault.LastCallText()));
        },
        {}, options.TimeoutSeconds, &out);
    if (options.MemoryLimitMegabytes != 0)
        guard.LimitMemory(options.MemoryLimitMegabytes, kMemoryLimitName);
    CheckContext context(options, guard);
    running = &context;
    const CheckResult result = check->Run(context);
    out << ResultLine(result) << std::flush;
    return 0;
}

}  // namespace sim
