// melvara-sim validate's command line: its help, its options, and the run.
#include "sim/cli/ValidateCommandLine.h"

#include <algorithm>
#include <chrono>

#include "sim/cli/Cli.h"
#include "sim/validate/Check.h"
#include "sim/validate/CheckProcess.h"
#include "sim/validate/Validator.h"

namespace sim {

const char* const kValidateHelp =
    R"(usage: melvara-sim validate --module PATH [--level N | --check NAME] [--seed N]
                            [--timeout S] [--budget S] [--jobs N]
                            [--memory-limit SIZE] [--strict] [--sanitize]
                            [--json FILE] [--junit FILE] [--keep-scores DIR]
       melvara-sim validate --list-checks

Checks any plug-in module against the host's contract: the seven exports
and the thirteen host functions, knowing nothing of the module's commands.
Every check runs in a process of its own, so that a module that crashes,
hangs or runs out of memory fails that check, naming the export, the signal
and the last host call. The limits are kept from outside that process too,
whatever the module does to its signals or output; what the module prints
is kept (its first and last 64 KB) but never taken for a result; and every
process it starts is ended with the check: a module that leaves one
running fails.

Levels (each runs the lower ones too)
  1  loading and menu: the seven exports, no host function linked to, the
     version, the word Init sets, both menu records at several host
     versions, GetMenuStatus, Terminate
  2  every command on empty, one-tuplet, sample and generated scores, with
     no selection, the whole score and cut regions, at host versions
     0x19000000 and 0x11000000; two documents
  3  a hostile host: each host call failing in turn, odd answers (records of
     other sizes, many layers, extreme numbers, negative counts), each host
     function missing
  4  stress: 100 loads, 1000 commands, a million tuplets; time per command
  5  randomised hostile runs from the seed for the time budget

Options
  --module PATH     the plug-in module file
  --level N         1 to 5 (default 3)
  --check NAME      run only the check NAME, whatever its level
  --list-checks     list every check: its level, its name and what it
                    looks at; nothing is validated
  --seed N          seed of level 5 (default: from the clock, printed)
  --timeout S       the longest one call into the module may take (default
                    30): a call still running a second later is ended from
                    outside its process. A whole check may take 60 s plus
                    ten times S (at level 5, plus the budget)
  --budget S        how long level 5 runs (default 30)
  --jobs N          how many checks run at once, 1 to 64 (default 2)
  --memory-limit SIZE
                    the most memory each check's process may take, shared
                    memory too, such as 512M or 2G (default: half the
                    machine's memory shared by the checks that run at once,
                    64M to 2G). A check of levels 1 to 3 and 5 takes under
                    16M besides the module's own; level 4's million tuplets
                    720M, skipped below 768M.
  --strict          a warning fails its check
  --sanitize        run each check's process with AddressSanitizer's runtime,
                    for a module built with -fsanitize=address (Linux only):
                    a buffer the module declares longer than it is fails
  --json FILE       write the results as JSON (- for standard output)
  --junit FILE      write the results as JUnit XML, a suite per level (- for
                    standard output)
  --keep-scores DIR write into DIR the scores the failures ran on, so that
                    each repeat command below runs as printed

Prints a line per check, in order: PASS with what was done, WARN with a
mistake that breaks no rule of the contract (a message box of one-character
texts), FAIL with the reason, the run that showed it and the host call,
SKIP with why. Under a FAIL or WARN: the checks the same fault also broke,
which print no line of their own, and the command that repeats it (run
with the controls it needs, on the score as generate --preset writes it).
A failure waits for the checks after it. A module that does not load fails
one check, and the others are not run. With a report on standard output,
these lines go to standard error.

Exit status: 0 every check passed (or was skipped; warnings too, without
--strict); 1 a check failed, or a report could not be written (the paths
are checked first); 2 usage error.
)";

namespace {

// A line per check, in level order: "  1    exports   exactly the seven exports".
void ListChecks(std::ostream& out) {
    size_t width = 0;
    for (const CheckInfo& check : AllChecks())
        width = std::max(width, check.Name.size());
    out << "Level  Check" << std::string(width - 3, ' ') << "What it looks at\n";
    for (const CheckInfo& check : AllChecks()) {
        out << "  " << check.Level << "    " << check.Name
            << std::string(width + 2 - check.Name.size(), ' ') << check.About << "\n";
    }
}

}  // namespace

int ValidateMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ValidateOptions options;
    std::string seed;
    bool listChecks = false;
    OptionParser parser("validate");
    parser.Flag("--list-checks", listChecks);
    parser.Text("--module", options.ModulePath);
    parser.Number("--level", options.Level, 1, 5);
    parser.Text("--seed", seed);
    parser.Seconds("--timeout", options.TimeoutSeconds);
    parser.Seconds("--budget", options.BudgetSeconds);
    parser.Number("--jobs", options.Jobs, 1, 64);
    parser.Megabytes("--memory-limit", options.MemoryLimitMegabytes);
    parser.Flag("--strict", options.Strict);
    parser.Flag("--sanitize", options.Sanitize);
    parser.Text("--json", options.JsonPath);
    parser.Text("--junit", options.JunitPath);
    parser.Text("--keep-scores", options.KeepScores);
    parser.Value("--check", [&](const std::string& value, std::string& problem) {
        if (FindCheck(value) != nullptr) {
            options.OnlyCheck = value;
            return true;
        }
        problem = "--check: no check \"" + value + "\"; the checks are";
        for (const CheckInfo& check : AllChecks())
            problem += (&check == &AllChecks().front() ? " " : ", ") + check.Name;
        return false;
    });
    // The hidden option of a check's own process.
    parser.Text("--check-process", options.Check);
    std::string error;
    ParseResult result = parser.Parse(args, error);
    if (result == ParseResult::Ok && listChecks) {
        if (args.size() == 1) {
            ListChecks(out);
            return kExitOk;
        }
        error = "--list-checks stands alone";
        result = ParseResult::Error;
    }
    if (result == ParseResult::Ok && options.ModulePath.empty()) {
        error = "validate needs --module PATH";
        result = ParseResult::Error;
    }
    if (result == ParseResult::Ok && !seed.empty() &&
        !ParseNumber("--seed", seed, options.Seed, error)) {
        result = ParseResult::Error;
    }
    if (const auto status = ReportParse(result, "validate", kValidateHelp, error, out, err))
        return *status;
    if (!options.Check.empty())
        return RunCheckProcess(options, out);
    if (!options.OnlyCheck.empty())
        options.Level = FindCheck(options.OnlyCheck)->Level;
    if (options.MemoryLimitMegabytes == 0)
        options.MemoryLimitMegabytes = DefaultMemoryLimit(options.Jobs);
    if (seed.empty()) {
        options.Seed =
            static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) %
            1000000000;
    }
    return Validate(options, out, err);
}

}  // namespace sim
