// melvara-sim's commands: the dispatch, menu, show and diff, and the overview help.
#include "sim/cli/Cli.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "ProjectVersion.h"
#include "contract/MelvaraVersion.h"
#include "sim/cli/Activity.h"
#include "sim/cli/GenerateCommand.h"
#include "sim/cli/RegressCommandLine.h"
#include "sim/cli/RunCommandLine.h"
#include "sim/cli/ScoreFileHelp.h"
#include "sim/cli/ValidateCommandLine.h"
#include "sim/module/Menu.h"
#include "sim/module/ModuleGuard.h"
#include "sim/module/ModuleLoader.h"
#include "sim/score/ScoreDiff.h"
#include "sim/score/ScoreFile.h"
#include "sim/score/ScorePrinter.h"
#include "sim/support/ProgramName.h"

namespace sim {

const char* const kOverview = R"(usage: melvara-sim COMMAND [options]
       melvara-sim help [COMMAND | score]
       melvara-sim --version

Stands in for the host program Melvara: loads a plug-in module by file,
through its seven exports, and runs its commands on a score file.

Commands
  menu       list the module's commands as the host enumerates them
  show       print a score file readably
  diff       list the differences between two score files
  run        run one of the module's commands on a score
  generate   write a score of any size, for tests and benchmarks
  validate   check any plug-in module against the host's contract
  regress    run two builds of a module alike and name each difference

"melvara-sim COMMAND --help" (or "melvara-sim help COMMAND") describes a
command and its options; "melvara-sim help score" describes score files.
)";

namespace {

const char* const kMenuHelp = R"(usage: melvara-sim menu --module PATH [--host-version V]

Gives the module the host version, initialises it and lists its commands
as the host enumerates them, from both the 8-bit and the UTF-16 menu
records, with each record's fields.

Options
  --module PATH          the plug-in module file; a bare name is a file in
                         the current folder, not a library to search for
  --host-version V       version given to MelvaraExtensionVersion
                         (default 0x19000000; decimal, or 0x and hex digits)

Exit status: 0 listed; 1 module not loaded; 2 usage error; 4 the module
crashed, or wrote past the word or a record the host handed it: named with
its export, the signal and the host's last call.
)";

const char* const kShowHelp = R"(usage: melvara-sim show SCORE

Prints a score file readably: staves, measures, layers, entries with their
tuplets field by field, the tuplet defaults, other records.

Exit status: 0 shown; 1 unreadable score; 2 usage error.
)";

const char* const kDiffHelp = R"(usage: melvara-sim diff SCORE1 SCORE2

Lists the differences from SCORE1 to SCORE2, field by field.

Exit status: 0 the scores are the same; 1 they differ; 2 trouble (a score
that cannot be read, or a usage error).
)";

int MenuMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string modulePath;
    uint32_t hostVersion = kDefaultHostVersion;
    OptionParser parser("menu");
    parser.Text("--module", modulePath);
    parser.Number("--host-version", hostVersion);
    std::string error;
    ParseResult result = parser.Parse(args, error);
    if (result == ParseResult::Ok && modulePath.empty()) {
        error = "menu needs --module PATH";
        result = ParseResult::Error;
    }
    if (const auto status = ReportParse(result, "menu", kMenuHelp, error, out, err))
        return *status;
    // A module that crashes while it is asked for its menu is named, with the
    // export and the signal, instead of ending the program unexplained.
    ModuleGuard guard(
        [&err](const ModuleFault& fault) {
            err << ProgramName() << ": " << fault.Describe() << "\n";
        },
        {kExitModuleCrashed, kExitTimedOut}, 0, &out);
    LoadedModule module;
    if (!module.Load(modulePath, error)) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    PrintMenu(out, ReadMenu(module, hostVersion), hostVersion);
    return kExitOk;
}

int ShowMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    OptionParser parser("show");
    parser.Operands("score file", 1, 1, files);
    std::string error;
    if (const auto status =
            ReportParse(parser.Parse(args, error), "show", kShowHelp, error, out, err)) {
        return *status;
    }
    SetActivity("reading", files[0]);
    const std::optional<Score> score = ReadScoreFile(files[0], error);
    if (!score) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    SetActivity("printing", files[0]);
    PrintScore(out, *score);
    return kExitOk;
}

// Exit statuses of diff, as cmp and diff have them.
constexpr int kDiffSame = 0;
constexpr int kDiffDifferent = 1;
constexpr int kDiffTrouble = 2;

int DiffMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    OptionParser parser("diff");
    parser.Operands("score file", 2, 2, files);
    std::string error;
    if (const auto status =
            ReportParse(parser.Parse(args, error), "diff", kDiffHelp, error, out, err)) {
        return *status;
    }
    SetActivity("reading", files[0]);
    const std::optional<Score> before = ReadScoreFile(files[0], error);
    SetActivity("reading", files[1]);
    const std::optional<Score> after = before ? ReadScoreFile(files[1], error) : std::nullopt;
    if (!before || !after) {
        err << ProgramName() << ": " << error << "\n";
        return kDiffTrouble;
    }
    SetActivity("comparing the scores");
    const std::vector<ScoreChange> changes = DiffScores(*before, *after);
    if (changes.empty()) {
        out << "The scores are the same.\n";
        return kDiffSame;
    }
    for (const ScoreChange& change : changes)
        out << change.Describe() << "\n";
    return kDiffDifferent;
}

int RunCommandMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    RunOptions options;
    std::string error;
    if (const auto status =
            ReportParse(ParseRunOptions(args, options, error), "run", kRunHelp, error, out, err)) {
        return *status;
    }
    return RunCommand(options, out, err);
}

// The commands: adding one is one entry.
struct Command {
    const char* Name;
    const char* const* Help;
    int (*Main)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

const Command kCommands[] = {
    {"menu", &kMenuHelp, MenuMain},
    {"show", &kShowHelp, ShowMain},
    {"diff", &kDiffHelp, DiffMain},
    {"run", &kRunHelp, RunCommandMain},
    {"generate", &kGenerateHelp, GenerateCommand},
    {"validate", &kValidateHelp, ValidateMain},
    {"regress", &kRegressHelp, RegressMain},
};

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.Name)
            return &command;
    }
    return nullptr;
}

int Usage(std::ostream& err, const std::string& problem) {
    err << ProgramName() << ": " << problem << "\n(" << ProgramName()
        << " --help lists the commands)\n";
    return kExitUsage;
}

// A help text under the name the program goes by (MELVARA.EXE on Windows):
// the texts are written for melvara-sim.
std::string UnderProgramName(std::string_view text) {
    constexpr std::string_view kName = "melvara-sim";
    std::string shown;
    for (size_t at = 0; at < text.size();) {
        const size_t found = text.find(kName, at);
        const size_t after = found + kName.size();
        if (found == std::string_view::npos) {
            shown += text.substr(at);
            break;
        }
        shown += text.substr(at, found - at);
        const bool word = after == text.size() || text[after] == ' ' || text[after] == '\n';
        shown += word ? std::string_view(ProgramName()) : kName;
        at = after;
    }
    return shown;
}

// melvara-sim help [TOPIC]
int Help(const std::vector<std::string>& topics, std::ostream& out, std::ostream& err) {
    if (topics.empty()) {
        out << UnderProgramName(kOverview);
        return kExitOk;
    }
    if (topics.size() > 1)
        return Usage(err, "help takes one command or \"score\"");
    if (topics[0] == "score") {
        out << UnderProgramName(kScoreFileHelp);
        return kExitOk;
    }
    if (const Command* command = FindCommand(topics[0])) {
        out << UnderProgramName(*command->Help);
        return kExitOk;
    }
    return Usage(err, "help: no command \"" + topics[0] + "\"");
}

}  // namespace

std::optional<int> ReportParse(ParseResult result, const std::string& command, const char* help,
                               const std::string& error, std::ostream& out, std::ostream& err) {
    switch (result) {
        case ParseResult::Ok:
            return std::nullopt;
        case ParseResult::Help:
            out << UnderProgramName(help);
            return kExitOk;
        case ParseResult::Error:
            break;
    }
    err << ProgramName() << ": " << error << "\n(" << ProgramName() << " " << command
        << " --help lists its options)\n";
    return kExitUsage;
}

namespace {

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << UnderProgramName(kOverview);
        return kExitUsage;
    }
    const std::string& first = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    int status = kExitOk;
    if (first == "help" || first == "--help" || first == "-h") {
        status = Help(rest, out, err);
    } else if (first == "--version") {
        if (!rest.empty())
            return Usage(err, "--version stands alone");
        out << ProgramName() << " " << MELVARA_VERSION << " (contract "
            << MELVARA_CONTRACT_VERSION_MAJOR << "." << MELVARA_CONTRACT_VERSION_MINOR << ")\n";
    } else if (const Command* command = FindCommand(first)) {
        status = command->Main(rest, out, err);
    } else if (!first.empty() && first[0] == '-') {
        return Usage(err, "unknown option " + first + "; options follow a command");
    } else {
        return Usage(err, "unknown command \"" + first + "\"");
    }
    // A full disk or a closed pipe must not pass for success.
    out.flush();
    if (!out) {
        err << ProgramName() << ": cannot write the output: " << std::strerror(errno) << "\n";
        if (first == "diff")
            return kDiffTrouble;  // 1 would say that the scores differ
        return status == kExitOk ? kExitFailure : status;
    }
    return status;
}

}  // namespace

int RunMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    // diff keeps 1 for "the scores differ".
    const bool diff = !args.empty() && args[0] == "diff";
    return ExitOnOutOfMemory(err, diff ? kDiffTrouble : kExitFailure,
                             [&] { return Dispatch(args, out, err); });
}

}  // namespace sim
