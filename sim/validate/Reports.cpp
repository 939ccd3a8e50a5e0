// The validation's reports: one line per check, the summary, JSON and JUnit XML.
#include "sim/validate/Reports.h"

#include <cctype>
#include <cstdio>

#include "sim/support/JsonQuote.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// Bytes that are not UTF-8 become U+FFFD, as the document says it is UTF-8.
std::string Xml(const std::string& text) {
    std::string escaped;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            i += AppendUtf8Sequence(escaped, text, i);
            continue;
        }
        ++i;
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                // XML 1.0 takes no other control characters.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\t')
                    escaped += c;
        }
    }
    return escaped;
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

}  // namespace

size_t Validation::Count(Verdict verdict) const {
    size_t count = 0;
    for (const CheckOutcome& outcome : Checks)
        count += outcome.Result.Status == verdict ? 1 : 0;
    return count;
}

std::string FormatCheckLine(const CheckOutcome& outcome) {
    const CheckResult& result = outcome.Result;
    std::string line =
        std::string(VerdictName(result.Status)) + "  " + outcome.Check->Name + ": " + result.Reason;
    const std::string context = Context(result);
    if (!context.empty())
        line += "; " + context;
    return line;
}

std::string FormatSummary(const Validation& validation) {
    const ValidateOptions& options = *validation.Options;
    std::string text = std::to_string(validation.Checks.size()) + " checks up to level " +
                       std::to_string(options.Level) + " in " + Seconds(validation.Seconds) +
                       " s: " + std::to_string(validation.Count(Verdict::Pass)) + " passed, " +
                       std::to_string(validation.Count(Verdict::Fail)) + " failed, " +
                       std::to_string(validation.Count(Verdict::Skip)) + " skipped";
    if (options.Level >= 5) {
        text += " (seed " + std::to_string(options.Seed) + ", budget " +
                std::to_string(static_cast<long>(options.BudgetSeconds)) + " s)";
    }
    return text;
}

std::string FormatJson(const Validation& validation) {
    const ValidateOptions& options = *validation.Options;
    std::string json = "{\n  \"module\": " + JsonQuote(options.ModulePath) +
                       ",\n  \"level\": " + std::to_string(options.Level) +
                       ",\n  \"seed\": " + std::to_string(options.Seed) +
                       ",\n  \"timeout_seconds\": " + Seconds(options.TimeoutSeconds) +
                       ",\n  \"budget_seconds\": " + Seconds(options.BudgetSeconds) +
                       ",\n  \"memory_limit_megabytes\": " +
                       std::to_string(options.MemoryLimitMegabytes) +
                       ",\n  \"checks\": [";
    for (size_t i = 0; i < validation.Checks.size(); ++i) {
        const CheckOutcome& outcome = validation.Checks[i];
        const CheckResult& result = outcome.Result;
        json += std::string(i == 0 ? "\n" : ",\n") +
                "    {\"name\": " + JsonQuote(outcome.Check->Name) +
                ", \"level\": " + std::to_string(outcome.Check->Level) +
                ", \"status\": " + JsonQuote(LowerVerdict(result.Status)) +
                ", \"reason\": " + JsonQuote(result.Reason) +
                ", \"where\": " + JsonQuote(result.Where) +
                ", \"call\": " + JsonQuote(result.Call) +
                ", \"seconds\": " + Seconds(result.Seconds) + "}";
    }
    json += "\n  ],\n  \"summary\": {\"checks\": " + std::to_string(validation.Checks.size()) +
            ", \"passed\": " + std::to_string(validation.Count(Verdict::Pass)) +
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
                     Xml(outcome.Check->Name) + "\" time=\"" + Seconds(result.Seconds) + "\"";
            if (result.Status == Verdict::Pass) {
                cases += "/>\n";
                continue;
            }
            const bool failed = result.Status == Verdict::Fail;
            failures += failed ? 1 : 0;
            skipped += failed ? 0 : 1;
            cases += ">\n      <" + std::string(failed ? "failure" : "skipped") + " message=\"" +
                     Xml(result.Reason) + "\">" + Xml(Context(result)) + "</" +
                     (failed ? "failure" : "skipped") + ">\n";
            if (!result.Output.empty())
                cases += "      <system-out>" + Xml(result.Output) + "</system-out>\n";
            cases += "    </testcase>\n";
        }
        suites += "  <testsuite name=\"level " + std::to_string(level) + "\" tests=\"" +
                  std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
                  "\" skipped=\"" + std::to_string(skipped) + "\" time=\"" + Seconds(seconds) +
                  "\">\n" + cases + "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"melvara-sim validate " +
           Xml(validation.Options->ModulePath) + "\" tests=\"" +
           std::to_string(validation.Checks.size()) + "\" failures=\"" +
           std::to_string(validation.Count(Verdict::Fail)) + "\" skipped=\"" +
           std::to_string(validation.Count(Verdict::Skip)) + "\" time=\"" +
           Seconds(validation.Seconds) + "\">\n" + suites + "</testsuites>\n";
}

}  // namespace sim
