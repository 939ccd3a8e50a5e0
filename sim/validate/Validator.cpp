// The validation: each check in a child process, its result read back, the reports written.
#include "sim/validate/Validator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "sim/score/ScoreFile.h"
#include "sim/support/AtomicFile.h"
#include "sim/support/ProgramName.h"
#include "sim/support/ReportTargets.h"
#include "sim/support/Text.h"
#include "sim/validate/CheckProcess.h"
#include "sim/validate/ChildProcess.h"
#include "sim/validate/Reports.h"
#include "sim/validate/Sanitizer.h"
#include "sim/validate/Scores.h"

namespace sim {
namespace {

// The most and the least memory a check gets by default, in megabytes: at
// the most, filling it takes a few seconds, far less than a call may take.
constexpr uint64_t kDefaultMemoryLimitCap = 2048;
constexpr uint64_t kDefaultMemoryLimitFloor = 64;

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
    err << ProgramName() << ": " << error << "\n";
    return false;
}

// Runs the check in a child process of this program.
CheckOutcome RunCheck(const CheckInfo& check, const ValidateOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    CheckOutcome outcome{&check, RunCheckInProcess(check, options), std::nullopt};
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
    switch (CheckReportTargets(options.JsonPath, options.JunitPath, options.KeepScores, err)) {
        case ReportTargets::Usable:
            break;
        case ReportTargets::CannotWrite:
            return kValidateFailed;
        case ReportTargets::Conflict:
            return kValidateUsage;
    }
    std::string error;
    if (options.Sanitize) {
        const std::optional<std::string> runtime = AsanRuntimeFor(options.ModulePath, error);
        if (!runtime) {
            err << ProgramName() << ": " << error << "\n";
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
            err << ProgramName() << ": " << error << "\n";
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
    // printed in order, each as soon as those before it are. A failure or a
    // warning waits for the checks after it, to name those it also showed in.
    size_t printed = 0;
    size_t finished = next;
    std::mutex lock;
    const auto print = [&] {
        for (; printed < checks.size() && done[printed]; ++printed) {
            const Verdict status = validation.Checks[printed].Result.Status;
            if (status == Verdict::Fail || status == Verdict::Warn) {
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

}  // namespace sim
