// The validation's reports: one line per check, the summary, JSON and JUnit XML.
#include "sim/validate/Reports.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "sim/support/JsonQuote.h"
#include "sim/support/ProgramName.h"
#include "sim/support/Quoting.h"
#include "sim/support/Text.h"
#include "sim/validate/Scores.h"

namespace sim {
namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// "pass", "fail", "skip".
std::string LowerVerdict(Verdict verdict) {
    std::string name = VerdictName(verdict);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// Where a failure happened and the call that showed it, on one line.
std::string Context(const CheckResult& result) {
    std::string text;
    if (!result.Where.empty())
        text += "in " + result.Where;
    if (!result.Call.empty())
        text += (text.empty() ? "" : "; ") + std::string("call: ") + result.Call;
    return text;
}

// The numbers of a text made one, to compare faults: "frame # (staff #...".
std::string WithoutNumbers(const std::string& text) {
    std::string masked;
    for (size_t i = 0; i < text.size();) {
        if (std::isdigit(static_cast<unsigned char>(text[i]))) {
            while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])))
                ++i;
            if (i < text.size() && (text[i] == 'x' || text[i] == 'X'))
                for (++i; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]));)
                    ++i;
            masked += '#';
        } else {
            masked += text[i++];
        }
    }
    return masked;
}

// The reason up to its details (after a ";"), numbers aside, and the
// function of the call that showed it: "#12 MX_LoadTGF(...)" and
// "MelvaraExtensionEnumerate(index 1) ..." give their function.
std::string FaultSignature(const CheckResult& result) {
    std::string call = result.Call;
    if (!call.empty() && call[0] == '#')
        call = call.substr(std::min(call.size(), call.find(' ') + 1));
    return WithoutNumbers(result.Reason.substr(0, result.Reason.find(';'))) + "|" +
           call.substr(0, call.find_first_of("(, "));
}

// "invoke-samples, invoke-large-score".
std::string Names(const Validation& validation, const std::vector<size_t>& indexes) {
    std::string names;
    for (size_t index : indexes)
        names += (names.empty() ? "" : ", ") + validation.Checks[index].Check->Name;
    return names;
}

}  // namespace

size_t Validation::Count(Verdict verdict) const {
    size_t count = 0;
    for (const CheckOutcome& outcome : Checks)
        count += outcome.Result.Status == verdict ? 1 : 0;
    return count;
}

void GroupFaults(Validation& validation) {
    std::vector<std::pair<std::string, size_t>> firsts;
    for (size_t i = 0; i < validation.Checks.size(); ++i) {
        CheckOutcome& outcome = validation.Checks[i];
        const Verdict status = outcome.Result.Status;
        if ((status != Verdict::Fail && status != Verdict::Warn) || outcome.SameFaultAs)
            continue;
        // Warnings are grouped among themselves, failures among themselves.
        const std::string signature =
            VerdictName(status) + std::string("|") + FaultSignature(outcome.Result);
        bool seen = false;
        for (const auto& [known, index] : firsts) {
            if (known == signature) {
                outcome.SameFaultAs = index;
                seen = true;
                break;
            }
        }
        if (!seen)
            firsts.emplace_back(signature, i);
    }
}

std::string RepeatCommand(const Validation& validation, const CheckOutcome& outcome) {
    const ValidateOptions& options = *validation.Options;
    const std::optional<RunRepeat>& repeat = outcome.Result.Repeat;
    const std::optional<ScoreSource> source =
        repeat ? ScoreSource::FromFields(repeat->Score) : std::nullopt;
    // As the program was started, so that the line runs as printed.
    const std::string program = ShellWords(ProgramCommand()).substr(1);
    if (!source) {
        std::string line = program + " validate --module " + ShellWord(options.ModulePath) +
                           " --check " + outcome.Check->Name;
        if (options.TimeoutSeconds != ValidateOptions().TimeoutSeconds)
            line += " --timeout " + ShortNumber(options.TimeoutSeconds);
        if (outcome.Check->Level == 5)
            line += " --seed " + std::to_string(options.Seed);
        if (options.Sanitize)
            line += " --sanitize";
        return line;
    }
    std::string line;
    std::string score = source->File;
    if (options.KeepScores.empty()) {
        line = program + " generate" + ShellWords(source->Arguments()) + " --out " +
               ShellWord(score) + " && ";
    } else {
        score = (std::filesystem::path(options.KeepScores) / source->File).string();
    }
    for (const std::string& variable : validation.Environment)
        line += ShellWord(variable) + " ";
    return line + program + " run --module " + ShellWord(options.ModulePath) + " --score " +
           ShellWord(score) + ShellWords(repeat->Arguments);
}

std::string FormatCheck(const Validation& validation, size_t index) {
    const CheckOutcome& outcome = validation.Checks[index];
    const CheckResult& result = outcome.Result;
    if (outcome.SameFaultAs)
        return {};
    std::string lines =
        std::string(VerdictName(result.Status)) + "  " + outcome.Check->Name + ": " + result.Reason;
    const std::string context = Context(result);
    if (!context.empty())
        lines += "; " + context;
    lines += "\n";
    if (result.Status != Verdict::Fail && result.Status != Verdict::Warn)
        return lines;
    std::vector<size_t> broke, warned, notRun;
    for (size_t i = 0; i < validation.Checks.size(); ++i) {
        const CheckOutcome& other = validation.Checks[i];
        if (other.SameFaultAs != index)
            continue;
        if (other.Result.Status == Verdict::Fail)
            broke.push_back(i);
        else if (other.Result.Status == Verdict::Warn)
            warned.push_back(i);
        else
            notRun.push_back(i);
    }
    constexpr const char* kIndent = "      ";
    const auto others = [&](const char* what, const std::vector<size_t>& indexes) {
        if (!indexes.empty()) {
            lines += kIndent + std::string(what) + std::to_string(indexes.size()) +
                     (indexes.size() == 1 ? " other check: " : " other checks: ") +
                     Names(validation, indexes) + "\n";
        }
    };
    others("also broke ", broke);
    others("also in ", warned);
    if (!notRun.empty()) {
        lines += kIndent + std::string("the other ") + std::to_string(notRun.size()) +
                 (notRun.size() == 1 ? " check was" : " checks were") +
                 " not run: the module does not load\n";
    }
    return lines + kIndent + "repeat: " + RepeatCommand(validation, outcome) + "\n";
}

std::string FormatSummary(const Validation& validation) {
    const ValidateOptions& options = *validation.Options;
    const size_t checks = validation.Checks.size();
    std::string text = std::to_string(checks) + (checks == 1 ? " check" : " checks");
    text += options.OnlyCheck.empty() ? " up to level " + std::to_string(options.Level) : "";
    text += " in " + Seconds(validation.Seconds) +
            " s: " + std::to_string(validation.Count(Verdict::Pass)) + " passed, ";
    // Distinct faults (or warnings), where several checks showed the same.
    const auto distinct = [&](Verdict verdict) {
        size_t count = 0;
        for (const CheckOutcome& outcome : validation.Checks)
            count += outcome.Result.Status == verdict && !outcome.SameFaultAs ? 1 : 0;
        return count;
    };
    if (const size_t warned = validation.Count(Verdict::Warn); warned != 0) {
        const size_t warnings = distinct(Verdict::Warn);
        text += std::to_string(warned) + " with a warning";
        if (warnings < warned)
            text += " (" + std::to_string(warnings) + (warnings == 1 ? " warning)" : " warnings)");
        text += ", ";
    }
    const size_t failed = validation.Count(Verdict::Fail);
    const size_t faults = distinct(Verdict::Fail);
    text += std::to_string(failed) + " failed";
    if (faults < failed)
        text += " (" + std::to_string(faults) + (faults == 1 ? " fault)" : " faults)");
    text += ", " + std::to_string(validation.Count(Verdict::Skip)) + " skipped";
    if (options.Level >= 5) {
        text += " (seed " + std::to_string(options.Seed) + ", budget " +
                std::to_string(static_cast<long>(options.BudgetSeconds)) + " s)";
    }
    return text;
}

std::string FormatJson(const Validation& validation) {
    const ValidateOptions& options = *validation.Options;
    std::string json =
        "{\n  \"module\": " + JsonQuote(options.ModulePath) +
        ",\n  \"level\": " + std::to_string(options.Level) +
        ",\n  \"seed\": " + std::to_string(options.Seed) +
        ",\n  \"timeout_seconds\": " + Seconds(options.TimeoutSeconds) +
        ",\n  \"budget_seconds\": " + Seconds(options.BudgetSeconds) +
        ",\n  \"memory_limit_megabytes\": " + std::to_string(options.MemoryLimitMegabytes) +
        ",\n  \"checks\": [";
    for (size_t i = 0; i < validation.Checks.size(); ++i) {
        const CheckOutcome& outcome = validation.Checks[i];
        const CheckResult& result = outcome.Result;
        const bool fault = result.Status == Verdict::Fail || result.Status == Verdict::Warn;
        json +=
            std::string(i == 0 ? "\n" : ",\n") +
            "    {\"name\": " + JsonQuote(outcome.Check->Name) +
            ", \"level\": " + std::to_string(outcome.Check->Level) +
            ", \"status\": " + JsonQuote(LowerVerdict(result.Status)) +
            ", \"reason\": " + JsonQuote(result.Reason) +
            ", \"where\": " + JsonQuote(result.Where) + ", \"call\": " + JsonQuote(result.Call) +
            ", \"same_fault_as\": " +
            (outcome.SameFaultAs ? JsonQuote(validation.Checks[*outcome.SameFaultAs].Check->Name)
                                 : std::string("null")) +
            ", \"repeat\": " + JsonQuote(fault ? RepeatCommand(validation, outcome) : "") +
            ", \"seconds\": " + Seconds(result.Seconds) + "}";
    }
    json += "\n  ],\n  \"summary\": {\"checks\": " + std::to_string(validation.Checks.size()) +
            ", \"passed\": " + std::to_string(validation.Count(Verdict::Pass)) +
            ", \"warned\": " + std::to_string(validation.Count(Verdict::Warn)) +
            ", \"failed\": " + std::to_string(validation.Count(Verdict::Fail)) +
            ", \"skipped\": " + std::to_string(validation.Count(Verdict::Skip)) +
            ", \"seconds\": " + Seconds(validation.Seconds) + "}\n}\n";
    return json;
}

std::string FormatJunit(const Validation& validation) {
    std::string suites;
    for (int level = 1; level <= validation.Options->Level; ++level) {
        std::string cases;
        size_t tests = 0, failures = 0, skipped = 0;
        double seconds = 0;
        for (const CheckOutcome& outcome : validation.Checks) {
            if (outcome.Check->Level != level)
                continue;
            const CheckResult& result = outcome.Result;
            ++tests;
            seconds += result.Seconds;
            cases += "    <testcase classname=\"level " + std::to_string(level) + "\" name=\"" +
                     XmlText(outcome.Check->Name) + "\" time=\"" + Seconds(result.Seconds) + "\"";
            std::string output = result.Output;
            if (result.Status == Verdict::Warn) {
                const std::string same =
                    outcome.SameFaultAs ? "\nthe same warning as " +
                                              validation.Checks[*outcome.SameFaultAs].Check->Name
                                        : std::string();
                output = "WARN: " + result.Reason + "; " + Context(result) + same +
                         "\nrepeat: " + RepeatCommand(validation, outcome) + "\n" + output;
            }
            if (result.Status == Verdict::Pass ||
                (result.Status == Verdict::Warn && output.empty())) {
                cases += "/>\n";
                continue;
            }
            cases += ">\n";
            const bool failed = result.Status == Verdict::Fail;
            if (failed || result.Status == Verdict::Skip) {
                failures += failed ? 1 : 0;
                skipped += failed ? 0 : 1;
                std::string text = Context(result);
                if (outcome.SameFaultAs) {
                    text += std::string(text.empty() ? "" : "\n") + "the same fault as " +
                            validation.Checks[*outcome.SameFaultAs].Check->Name;
                }
                if (failed)
                    text += "\nrepeat: " + RepeatCommand(validation, outcome);
                cases += "      <" + std::string(failed ? "failure" : "skipped") + " message=\"" +
                         XmlText(result.Reason) + "\">" + XmlText(text) + "</" +
                         (failed ? "failure" : "skipped") + ">\n";
            }
            if (!output.empty())
                cases += "      <system-out>" + XmlText(output) + "</system-out>\n";
            cases += "    </testcase>\n";
        }
        if (tests == 0)
            continue;
        suites += "  <testsuite name=\"level " + std::to_string(level) + "\" tests=\"" +
                  std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
                  "\" skipped=\"" + std::to_string(skipped) + "\" time=\"" + Seconds(seconds) +
                  "\">\n" + cases + "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"melvara-sim validate " +
           XmlText(validation.Options->ModulePath) + "\" tests=\"" +
           std::to_string(validation.Checks.size()) + "\" failures=\"" +
           std::to_string(validation.Count(Verdict::Fail)) + "\" skipped=\"" +
           std::to_string(validation.Count(Verdict::Skip)) + "\" time=\"" +
           Seconds(validation.Seconds) + "\">\n" + suites + "</testsuites>\n";
}

}  // namespace sim
