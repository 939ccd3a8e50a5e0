// The reports of regress: groups of differing runs for people, every run in JSON and JUnit XML.
#include "sim/regress/RegressReport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "sim/support/JsonQuote.h"
#include "sim/support/ProgramName.h"
#include "sim/support/Quoting.h"
#include "sim/support/Text.h"
#include "sim/validate/Invocation.h"
#include "sim/validate/Reports.h"

namespace sim {
namespace {

// Other runs of a group named under its first.
constexpr size_t kRunsNamed = 5;
constexpr const char* kIndent = "      ";

std::string Fixed(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Milliseconds(double seconds) {
    const double ms = seconds * 1000;
    return Fixed(ms >= 10 ? "%.1f ms" : ms >= 1 ? "%.2f ms" : "%.3f ms", ms);
}

bool IsFault(const std::optional<Event>& event) {
    return event && event->Kind == "fault";
}

// "old  #16 MX_SaveKData(...) = 1" and, where bytes differ, the bytes there.
std::string SideLine(const char* side, const std::optional<Event>& event,
                     const std::optional<size_t>& byte) {
    std::string line = std::string(kIndent) + side + "  " +
                       (event ? event->Text : std::string("(nothing more: the run had ended)")) +
                       "\n";
    if (event && byte)
        line += std::string(kIndent) + "     bytes " + BytesAround(event->Bytes, *byte) + "\n";
    return line;
}

// The first difference of a run: the events before it and both sides.
std::string DifferenceLines(const RunComparison& run) {
    std::string text;
    for (const Event& event : run.Before)
        text += std::string(kIndent) + "     " + event.Text + "\n";
    const std::optional<size_t> byte = run.First ? run.First->Byte : std::nullopt;
    return text + SideLine("old", run.OldEvent, byte) + SideLine("new", run.NewEvent, byte);
}

std::string RunName(const Regression& regression, size_t run) {
    return "run " + std::to_string(run) + ": " +
           regression.RunMatrix->Describe(regression.Planned[run]);
}

std::string Status(const Regression& regression, size_t run) {
    const RunComparison& comparison = regression.Comparisons[run];
    if (!comparison.Differs)
        return "same";
    return regression.Groups[comparison.Group].Accepted ? "accepted" : "differs";
}

}  // namespace

size_t Regression::Differing() const {
    return static_cast<size_t>(std::count_if(Comparisons.begin(), Comparisons.end(),
                                             [](const RunComparison& run) { return run.Differs; }));
}

size_t Regression::NewGroups() const {
    return static_cast<size_t>(
        std::count_if(Groups.begin(), Groups.end(),
                      [](const DifferenceGroup& group) { return !group.Accepted; }));
}

bool Regression::Failed() const {
    return NewGroups() != 0 || std::any_of(Speed.begin(), Speed.end(),
                                           [](const auto& command) { return command.TooSlow; });
}

std::string RepeatCommand(const Regression& regression, size_t run, bool newBuild) {
    const RegressOptions& options = *regression.Options;
    const PlannedRun& planned = regression.Planned[run];
    const std::string program = ShellWords(ProgramCommand()).substr(1);
    const std::string& module = newBuild ? options.NewPath : options.OldPath;
    const std::optional<int16_t>& index = planned.IndexOf(newBuild);
    if (planned.What == PlannedRun::Kind::Menu || !index) {
        return program + " menu --module " + ShellWord(module) + " --host-version " +
               Hex(planned.HostVersion, 8);
    }
    const NamedScore& score = regression.RunMatrix->Scores()[planned.Score];
    Invocation invocation;
    invocation.Document = &score.Document;
    invocation.Source = score.Source;
    invocation.MenuIndex = *index;
    invocation.HostVersion = planned.HostVersion;
    invocation.Selection = planned.Selection;
    invocation.Answers = planned.Answers;
    invocation.Controls = ControlsOf(planned.Control);
    Score held = score.Document;
    invocation.Controls.ApplyTo(held);
    RunRepeat repeat = RepeatOf(invocation, held, planned.Answers.size());
    // run has no limits of its own: a fault of the module needs them.
    const RunComparison& comparison = regression.Comparisons[run];
    if (IsFault(comparison.OldEvent) || IsFault(comparison.NewEvent)) {
        repeat.Arguments.insert(repeat.Arguments.end(),
                                {"--timeout", ShortNumber(options.TimeoutSeconds)});
        if (options.MemoryLimitMegabytes != 0) {
            repeat.Arguments.insert(
                repeat.Arguments.end(),
                {"--memory-limit", std::to_string(options.MemoryLimitMegabytes) + "M"});
        }
    }
    const std::string& file = score.Source.File;
    std::string text;
    std::string path = file;
    if (options.KeepScores.empty()) {
        text = program + " generate" + ShellWords(score.Source.Arguments()) + " --out " +
               ShellWord(file) + " && ";
    } else {
        path = (std::filesystem::path(options.KeepScores) / file).string();
    }
    return text + program + " run --module " + ShellWord(module) + " --score " + ShellWord(path) +
           ShellWords(repeat.Arguments) + " --trace";
}

std::string FormatGroup(const Regression& regression, size_t index) {
    const DifferenceGroup& group = regression.Groups[index];
    const size_t count = group.Runs.size();
    std::string text = std::string(group.Accepted ? "ACCEPTED  " : "DIFF  ") +
                       std::to_string(count) + (count == 1 ? " run differs" : " runs differ") +
                       " first at: " + group.Title + "\n";
    if (group.Accepted)
        return text;
    const size_t first = group.Runs.front();
    const RunComparison& run = regression.Comparisons[first];
    text += std::string(kIndent) + "in " + RunName(regression, first);
    if (run.First)
        text += ", event " + std::to_string(run.Position + 1) + ":\n" + DifferenceLines(run);
    else
        text += "\n";
    text += std::string(kIndent) + "repeat old: " + RepeatCommand(regression, first, false) + "\n";
    text += std::string(kIndent) + "repeat new: " + RepeatCommand(regression, first, true) + "\n";
    if (count > 1) {
        text += std::string(kIndent) +
                (count == 2 ? std::string("the other run:")
                            : "the other " + std::to_string(count - 1) + " runs:") +
                "\n";
        for (size_t i = 1; i < count && i <= kRunsNamed; ++i)
            text += std::string(kIndent) + "  " + RunName(regression, group.Runs[i]) + "\n";
        if (count - 1 > kRunsNamed) {
            text += std::string(kIndent) + "  and " + std::to_string(count - 1 - kRunsNamed) +
                    " more, each in the JSON and JUnit reports\n";
        }
    }
    return text;
}

std::string FormatSpeed(const Regression& regression) {
    const NamedScore& large = regression.RunMatrix->Scores()[regression.RunMatrix->LargeScore()];
    const std::string score = large.Source.File + " (" + large.Name + ")";
    if (!regression.SpeedProblem.empty())
        return "Speed not compared: " + regression.SpeedProblem + "\n";
    std::string text = "Speed of each command on " + score + ", whole score: the median of " +
                       std::to_string(regression.Options->SpeedRuns) +
                       " timed runs on each build, in turn\n";
    size_t width = 0;
    for (const SpeedComparison& command : regression.Speed)
        width = std::max(width, JsonQuote(command.Title).size());
    for (const SpeedComparison& command : regression.Speed) {
        std::string title = JsonQuote(command.Title);
        title.resize(width, ' ');
        text += "  " + title + "  old " + Milliseconds(command.OldMedian) + ", new " +
                Milliseconds(command.NewMedian) + ": " + Fixed("%.2f", command.Ratio);
        if (command.TooSlow) {
            text += "  SLOWER than --max-slowdown " +
                    Fixed("%g", regression.Options->MaxSlowdown.value_or(0));
        } else if (command.Slower) {
            text += "  slower (above " + Fixed("%g", kFlaggedSlowdown) + ")";
        }
        text += "\n";
    }
    if (regression.Speed.empty())
        text += "  no command is in both menus\n";
    return text;
}

std::string FormatSummary(const Regression& regression) {
    const size_t runs = regression.Planned.size();
    std::string text = std::to_string(runs) + (runs == 1 ? " run" : " runs") +
                       " on each build in " + Fixed("%.1f", regression.Seconds) + " s: ";
    const size_t differing = regression.Differing();
    if (differing == 0) {
        text += "all the same";
    } else {
        const size_t groups = regression.Groups.size();
        text += std::to_string(runs - differing) + " the same, " + std::to_string(differing) +
                (differing == 1 ? " differs" : " differ") + " in " + std::to_string(groups) +
                (groups == 1 ? " group" : " groups") + " (" +
                std::to_string(regression.NewGroups()) + " new, " +
                std::to_string(groups - regression.NewGroups()) + " accepted)";
    }
    if (!regression.AcceptedNotSeen.empty()) {
        const size_t stale = regression.AcceptedNotSeen.size();
        text += "; " + std::to_string(stale) +
                (stale == 1 ? " accepted difference was" : " accepted differences were") +
                " not seen";
    }
    const auto slow = std::count_if(regression.Speed.begin(), regression.Speed.end(),
                                    [](const SpeedComparison& command) { return command.TooSlow; });
    if (slow != 0) {
        text += "; " + std::to_string(slow) + (slow == 1 ? " command" : " commands") +
                " slower than --max-slowdown allows";
    }
    return text + "\n";
}

namespace {

std::string JsonEvent(const std::optional<Event>& event) {
    return event ? JsonQuote(event->Text) : std::string("null");
}

std::string JsonDifference(const RunComparison& run) {
    if (!run.First)
        return "null";
    std::string before;
    for (const Event& event : run.Before)
        before += (before.empty() ? "" : ", ") + JsonQuote(event.Text);
    return "{\"event\": " + std::to_string(run.Position + 1) +
           ", \"where\": " + JsonQuote(run.First->Where) +
           ", \"old\": " + JsonQuote(run.First->Old) + ", \"new\": " + JsonQuote(run.First->New) +
           ", \"old_event\": " + JsonEvent(run.OldEvent) +
           ", \"new_event\": " + JsonEvent(run.NewEvent) + ", \"before\": [" + before + "]}";
}

std::string JsonTimes(const std::vector<double>& times) {
    std::string text;
    for (const double seconds : times)
        text += (text.empty() ? "" : ", ") + Fixed("%.6f", seconds);
    return "[" + text + "]";
}

}  // namespace

std::string FormatJson(const Regression& regression) {
    const RegressOptions& options = *regression.Options;
    std::string json =
        "{\n  \"old\": " + JsonQuote(options.OldPath) +
        ",\n  \"new\": " + JsonQuote(options.NewPath) +
        ",\n  \"level\": " + std::to_string(options.Level) +
        ",\n  \"seed\": " + std::to_string(options.Seed) +
        ",\n  \"timeout_seconds\": " + ShortNumber(options.TimeoutSeconds) +
        ",\n  \"memory_limit_megabytes\": " + std::to_string(options.MemoryLimitMegabytes) +
        ",\n  \"runs\": [";
    for (size_t i = 0; i < regression.Planned.size(); ++i) {
        const RunComparison& run = regression.Comparisons[i];
        json += std::string(i == 0 ? "\n" : ",\n") + "    {\"run\": " + std::to_string(i) +
                ", \"where\": " + JsonQuote(regression.RunMatrix->Describe(regression.Planned[i])) +
                ", \"status\": " + JsonQuote(Status(regression, i)) + ", \"group\": " +
                (run.Differs ? std::to_string(run.Group + 1) : std::string("null"));
        if (run.Differs) {
            json += ", \"old_events\": " + std::to_string(run.OldEvents) +
                    ", \"new_events\": " + std::to_string(run.NewEvents) +
                    ", \"first_difference\": " + JsonDifference(run) +
                    ", \"repeat_old\": " + JsonQuote(RepeatCommand(regression, i, false)) +
                    ", \"repeat_new\": " + JsonQuote(RepeatCommand(regression, i, true));
        }
        json += "}";
    }
    json += "\n  ],\n  \"groups\": [";
    for (size_t g = 0; g < regression.Groups.size(); ++g) {
        const DifferenceGroup& group = regression.Groups[g];
        json += std::string(g == 0 ? "\n" : ",\n") + "    {\"group\": " + std::to_string(g + 1) +
                ", \"key\": " + JsonQuote(group.Key) + ", \"title\": " + JsonQuote(group.Title) +
                ", \"runs\": " + std::to_string(group.Runs.size()) +
                ", \"first_run\": " + std::to_string(group.Runs.front()) +
                ", \"accepted\": " + (group.Accepted ? "true" : "false") + "}";
    }
    json += "\n  ],\n  \"accepted_not_seen\": [";
    for (size_t i = 0; i < regression.AcceptedNotSeen.size(); ++i)
        json += (i == 0 ? "" : ", ") + JsonQuote(regression.AcceptedNotSeen[i]);
    json += "],\n  \"speed\": {\"runs\": " + std::to_string(options.SpeedRuns) + ", \"problem\": " +
            (regression.SpeedProblem.empty() ? std::string("null")
                                             : JsonQuote(regression.SpeedProblem)) +
            ", \"commands\": [";
    for (size_t i = 0; i < regression.Speed.size(); ++i) {
        const SpeedComparison& command = regression.Speed[i];
        json += std::string(i == 0 ? "\n" : ",\n") +
                "    {\"command\": " + JsonQuote(command.Title) +
                ", \"old_seconds\": " + JsonTimes(command.Old) +
                ", \"new_seconds\": " + JsonTimes(command.New) +
                ", \"old_median\": " + Fixed("%.6f", command.OldMedian) +
                ", \"new_median\": " + Fixed("%.6f", command.NewMedian) +
                ", \"ratio\": " + Fixed("%.3f", command.Ratio) +
                ", \"slower\": " + (command.Slower ? "true" : "false") +
                ", \"too_slow\": " + (command.TooSlow ? "true" : "false") + "}";
    }
    const size_t groups = regression.Groups.size();
    json += std::string(regression.Speed.empty() ? "" : "\n  ") +
            "]},\n  \"summary\": {\"runs\": " + std::to_string(regression.Planned.size()) +
            ", \"same\": " + std::to_string(regression.Planned.size() - regression.Differing()) +
            ", \"differ\": " + std::to_string(regression.Differing()) +
            ", \"groups\": " + std::to_string(groups) +
            ", \"new_groups\": " + std::to_string(regression.NewGroups()) +
            ", \"accepted_groups\": " + std::to_string(groups - regression.NewGroups()) +
            ", \"seconds\": " + Fixed("%.3f", regression.Seconds) + "}\n}\n";
    return json;
}

std::string FormatJunit(const Regression& regression) {
    const RegressOptions& options = *regression.Options;
    std::string cases;
    size_t failures = 0;
    for (size_t i = 0; i < regression.Planned.size(); ++i) {
        const PlannedRun& planned = regression.Planned[i];
        const RunComparison& run = regression.Comparisons[i];
        const std::string classname = planned.What == PlannedRun::Kind::Menu ? std::string("menu")
                                      : planned.Title.empty() ? std::string("command")
                                                              : planned.Title;
        cases += "    <testcase classname=\"" + XmlText(classname) + "\" name=\"" +
                 XmlText(RunName(regression, i)) + "\" time=\"0\"";
        if (!run.Differs) {
            cases += "/>\n";
            continue;
        }
        const DifferenceGroup& group = regression.Groups[run.Group];
        std::string detail = "first difference";
        if (run.First)
            detail +=
                " at event " + std::to_string(run.Position + 1) + ":\n" + DifferenceLines(run);
        else
            detail += ": " + std::string(kNotRepeatedKey) + "\n";
        detail += "repeat old: " + RepeatCommand(regression, i, false) +
                  "\nrepeat new: " + RepeatCommand(regression, i, true) + "\n";
        if (group.Accepted) {
            cases += ">\n      <system-out>" + XmlText("accepted: " + group.Title + "\n" + detail) +
                     "</system-out>\n    </testcase>\n";
            continue;
        }
        ++failures;
        const std::string title = run.First ? run.First->Title() : group.Title;
        cases += ">\n      <failure message=\"" + XmlText(title) + "\">" + XmlText(detail) +
                 "</failure>\n    </testcase>\n";
    }
    std::string speedCases;
    size_t slow = 0;
    for (const SpeedComparison& command : regression.Speed) {
        speedCases += "    <testcase classname=\"speed\" name=\"" + XmlText(command.Title) +
                      "\" time=\"" + Fixed("%.6f", command.NewMedian) + "\"";
        const std::string figures = "old " + Milliseconds(command.OldMedian) + ", new " +
                                    Milliseconds(command.NewMedian) + ", ratio " +
                                    Fixed("%.2f", command.Ratio);
        if (command.TooSlow) {
            ++slow;
            speedCases += ">\n      <failure message=\"" +
                          XmlText("slower than --max-slowdown: " + figures) +
                          "\"/>\n    </testcase>\n";
        } else {
            speedCases +=
                ">\n      <system-out>" + XmlText(figures) + "</system-out>\n    </testcase>\n";
        }
    }
    const std::string seconds = Fixed("%.3f", regression.Seconds);
    const size_t tests = regression.Planned.size() + regression.Speed.size();
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" +
           XmlText(std::string(ProgramName()) + " regress " + options.OldPath + " " +
                   options.NewPath) +
           "\" tests=\"" + std::to_string(tests) + "\" failures=\"" +
           std::to_string(failures + slow) + "\" time=\"" + seconds +
           "\">\n  <testsuite name=\"runs\" tests=\"" + std::to_string(regression.Planned.size()) +
           "\" failures=\"" + std::to_string(failures) + "\" skipped=\"0\" time=\"" + seconds +
           "\">\n" + cases + "  </testsuite>\n  <testsuite name=\"speed\" tests=\"" +
           std::to_string(regression.Speed.size()) + "\" failures=\"" + std::to_string(slow) +
           "\" skipped=\"0\">\n" + speedCases + "  </testsuite>\n</testsuites>\n";
}

}  // namespace sim
