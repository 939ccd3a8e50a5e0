// melvara-sim regress's command line: its help, its options, and the comparison.
#include "sim/cli/RegressCommandLine.h"

#include <cstdlib>

#include "sim/cli/Cli.h"
#include "sim/regress/Regress.h"
#include "sim/validate/Validator.h"

namespace sim {

const char* const kRegressHelp =
    R"(usage: melvara-sim regress --old PATH --new PATH [--level N] [--seed N] [--jobs N]
                           [--timeout S] [--memory-limit SIZE] [--json FILE]
                           [--junit FILE] [--keep-scores DIR] [--accept FILE]
                           [--max-slowdown R] [--speed-runs N]

Makes the same runs on two builds of a plug-in module, each build in run
processes of its own (as validate's checks, with the same limits), and
compares everything the host sees in each run, in order: the calls into
the host with their arguments, the records loaded, saved, created and
deleted with their bytes, the message boxes with their texts, captions,
styles and answers, the menu records, Invoke's result, the frames' balance,
and a crash, a call that does not return or memory run out, with its export.
Commands are matched by their title, else by their menu index.

Levels (each makes the runs of the lower ones too)
  1  the samples, each command on the whole score, at host version
     0x19000000; the menu
  2  also the empty, one-tuplet and large scores and two generated from the
     seed, with no selection and cut regions, at host versions 0x11000000
     and 0x10000000, and every message box answered No, or Cancel, where one
     offers it
  3  also a hostile host on the samples, the one-tuplet and the generated
     scores: each host call failing in turn, odd answers (records of other
     sizes, 22 layers, hidden layers, extreme numbers, failing boxes), each
     host function missing

Options
  --old PATH        the build compared with (the earlier one)
  --new PATH        the build compared
  --level N         1 to 3 (default 3)
  --seed N          seed of the generated scores (default 1)
  --jobs N          how many run processes run at once, 1 to 64 (default 2)
  --timeout S       the longest one call into the module may take (default 30)
  --memory-limit SIZE
                    the most memory each run process may take, such as 512M
                    (default: as validate's checks)
  --json FILE       write every run and the groups as JSON (- for standard
                    output); reviewed, it is what --accept takes
  --junit FILE      write every run as a JUnit test case (- for standard output)
  --keep-scores DIR write into DIR the scores that the repeat commands use
  --accept FILE     the groups of an earlier JSON report are accepted: runs
                    that differ first where one of them did fail no more
  --max-slowdown R  fail when a command is more than R times slower (such as
                    1.2); without it a ratio above 1.2 is only flagged
  --speed-runs N    timed runs of each command on each build, 0 for none
                    (default 5)

For each group of runs that differ first at the same place, prints how
many and where ("37 runs differ first at: MX_SaveKData tuplet record byte
10: old 0x00, new 0x1B"), then the first of them: the events just before,
old and new at the difference, and the commands that repeat it on each
build (run with --trace, on the score as generate writes it). Then the speed
of each command on the large score (the median of the timed runs, old and
new in turn), and a summary. With a report on standard output, these lines
go to standard error.

Exit status: 0 no run differs (or each difference was accepted); 1 a run
differs, a command is slower than --max-slowdown, or a report or score could
not be written; 2 usage error.
)";

int RegressMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    RegressOptions options;
    std::string side;
    OptionParser parser("regress");
    parser.Text("--old", options.OldPath);
    parser.Text("--new", options.NewPath);
    parser.Number("--level", options.Level, 1, 3);
    parser.Number("--seed", options.Seed);
    parser.Number("--jobs", options.Jobs, 1, 64);
    parser.Seconds("--timeout", options.TimeoutSeconds);
    parser.Megabytes("--memory-limit", options.MemoryLimitMegabytes);
    parser.Text("--json", options.JsonPath);
    parser.Text("--junit", options.JunitPath);
    parser.Text("--keep-scores", options.KeepScores);
    parser.Text("--accept", options.AcceptPath);
    parser.Value("--max-slowdown", [&](const std::string& value, std::string& problem) {
        // Digits with at most one point, at least 1: a build is never
        // required to be faster.
        const bool digits = !value.empty() &&
                            value.find_first_not_of("0123456789.") == std::string::npos &&
                            value.find('.') == value.rfind('.') && value != ".";
        const double ratio = digits ? std::strtod(value.c_str(), nullptr) : 0;
        if (!(ratio >= 1) || ratio > 1000) {
            problem = "--max-slowdown: a ratio of 1 or more, such as 1.2, not \"" + value + "\"";
            return false;
        }
        options.MaxSlowdown = ratio;
        return true;
    });
    parser.Number("--speed-runs", options.SpeedRuns, 0, 100);
    // The hidden options of the run and speed processes.
    parser.Text("--run-process", options.PlanPath);
    parser.Text("--speed-process", options.SpeedPlanPath);
    parser.Text("--module", options.ModulePath);
    parser.Text("--side", side);
    parser.Number("--from", options.From);
    parser.Text("--results", options.ResultsPath);
    std::string error;
    ParseResult result = parser.Parse(args, error);
    const bool process = !options.PlanPath.empty() || !options.SpeedPlanPath.empty();
    if (result == ParseResult::Ok && process) {
        options.To = static_cast<size_t>(-1);
        options.NewBuild = side == "new";
        if (options.ResultsPath.empty()) {
            error = "a run process needs --results FILE";
            result = ParseResult::Error;
        }
    } else if (result == ParseResult::Ok && (options.OldPath.empty() || options.NewPath.empty())) {
        error = "regress needs --old PATH and --new PATH";
        result = ParseResult::Error;
    }
    if (const auto status = ReportParse(result, "regress", kRegressHelp, error, out, err))
        return *status;
    if (!process && options.MemoryLimitMegabytes == 0)
        options.MemoryLimitMegabytes = DefaultMemoryLimit(options.Jobs);
    return Regress(options, out, err);
}

}  // namespace sim
