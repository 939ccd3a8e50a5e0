#include "sim/cli/Cli.h"

#include <cstdlib>

#include "sim/cli/Activity.h"
#include "sim/cli/GenerateCommand.h"
#include "sim/host/Menu.h"
#include "sim/host/MessageBoxRecord.h"
#include "sim/host/ModuleLoader.h"
#include "sim/score/ScoreDiff.h"
#include "sim/score/ScoreFile.h"
#include "sim/score/ScorePrinter.h"

namespace sim {

const char* const kUsage = R"(usage: melvara-sim COMMAND [options]

Stands in for the host program Melvara: loads a plug-in module by file,
through its seven exports, and runs its commands on a score file.

Commands
  menu --module PATH [--host-version V]
        List the module's commands as the host enumerates them, from both
        the 8-bit and the UTF-16 menu records.
  show SCORE
        Print a score file readably: staves, measures, layers, entries with
        their tuplets field by field, the tuplet defaults, other records.
  diff SCORE1 SCORE2
        List the differences from SCORE1 to SCORE2, field by field. Exit
        status 0 when there are none, 1 when there are, 2 on trouble.
  run --module PATH --score FILE --command reset|compare|change [options]
        Load the module, give it the host version, initialise it and invoke
        one command over the selection. Prints each message box as it is
        shown (caption, text, buttons, icon, the answer given), a summary
        (tuplets read, records saved, frames loaded and freed, frame errors),
        the changes to the score field by field, and warnings about calls a
        host would not expect.
  generate --measures M --staves S --layers L --entries E
           [--tuplet-share P] [--seed N] [--out FILE]
        Write a score of M measures x S staves x L layers (1 to 20) with E
        note entries in each layer of each cell, for tests and benchmarks of
        any size. A share P of the entries (default 0.25) carries 1 to 3
        tuplets; a third of the tuplets equal the defaults, a third differ
        only in their position, a third in other fields. The same seed
        (default 1) gives the same score. Without --out the score goes to
        standard output; with it, a line of counts does.

Options of run
  --module PATH          the plug-in module file
  --score FILE           the score file (JSON; see the README)
  --command C            reset (menu index 0), compare (1), change (2), or any
                         menu index as a number
  --select SELECTION     the region passed with the command (syntax below);
                         default: all
  --answer A             answer for the next message box that offers it:
                         yes, no, ok, cancel, abort, retry, ignore, tryagain,
                         continue, or a number; may be given several times.
                         A box without a scripted answer gets its default
                         button: OK, or Yes for a Yes/No box.
  --host-version V       version given to MelvaraExtensionVersion
                         (default 0x19000000)
  --out FILE             write the score as the command left it to FILE
                         (atomically); FILE may not be the score itself
  --in-place             write it back to the score file instead
  --trace                print every host call with its arguments and result

Controls, to make the host misbehave
  --fail FUNCTION        every call of FUNCTION fails: MX_LoadKData ...
                         MX_GetMaxLayers, MessageBoxW, IsWindow
  --fail-call N          the N-th call of the thirteen MX_ functions fails
                         (counting every such call from 1)
  --fail-load TAG[:K1,K2,K3,K4]
                         loading that record fails; without keys, every
                         record of the tag (TAG: four characters or 0x and
                         eight hex digits, e.g. pfTP:1,0,0,0)
  --fail-save TAG[:K1,K2,K3,K4]
                         saving that record fails
  --document ID          MX_GetCurrentKovrinDocument answers ID
  --create-leaves-index-unset
                         MX_CreateKData leaves key word 3 at 0xFFFF
  A failing function returns 0 (no frame for MX_LoadTGF) and does nothing.

Selection syntax (one argument; words in any order, any case)
  all                    the whole score (the default)
  none                   no region record: the command gets a null pointer
  measures A-B           measures A to B; "measure A" is A to A
  measures A:P-B:Q       from position P in measure A to position Q in B
  slots S-T              staff slots S to T; "slot S" is S to S
  scopes X,Y             start and end slot scopes; "scope X" sets both
  A-B/S-T                compact form: measures, a slash, slots
                         (e.g. 2-3/1-2, 1:256-2:0/1)
  region a,b,c,d,e,f,g,h the eight fields of the region record in order:
                         StartSlotScope, StartSlot, StartMeasure, StartPos,
                         EndSlotScope, EndSlot, EndMeasure, EndPos
  Whatever is not given covers the whole score: measures 1 to the last,
  the lowest to the highest slot, positions 0 to 2147483647, the scopes of
  the staves at the start and end slots. Example:
      --select "measures 1:256-2:0 slots 1-2"

Exit status of run
  0 the command ran; 1 unreadable score, module not loaded or file not
  written; 2 usage error; 3 the module mishandled layer frames (released
  one twice, released one never handed out, or kept one).
)";

namespace {

bool ParseUnsigned(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text.c_str(), &end, 0);
    if (*end != 0 || number > limit)
        return false;
    value = number;
    return true;
}

bool ParseSigned16(const std::string& text, int16_t& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 0);
    if (*end != 0 || number < -32768 || number > 32767)
        return false;
    value = static_cast<int16_t>(number);
    return true;
}

// "pfTP", "pfTP:1,0,0,0", "0x45035450:5,0,0,0".
std::optional<RecordSelector> ParseRecordSelector(const std::string& text) {
    RecordSelector selector;
    std::string tagText = text;
    std::string keysText;
    if (text.size() != 4 && text.size() != 10) {
        const size_t colon = text.rfind(':');
        if (colon == std::string::npos)
            return std::nullopt;
        tagText = text.substr(0, colon);
        keysText = text.substr(colon + 1);
    }
    const std::optional<uint32_t> tag = ParseTag(tagText);
    if (!tag)
        return std::nullopt;
    selector.Tag = *tag;
    if (!keysText.empty() || tagText.size() != text.size()) {
        Keys keys{};
        size_t start = 0;
        for (size_t i = 0; i < 4; ++i) {
            const size_t comma = keysText.find(',', start);
            if ((i < 3) == (comma == std::string::npos))
                return std::nullopt;
            uint64_t word = 0;
            if (!ParseUnsigned(keysText.substr(start, comma - start), 0xFFFF, word)) {
                return std::nullopt;
            }
            keys[i] = static_cast<uint16_t>(word);
            start = comma + 1;
        }
        selector.Words = keys;
    }
    return selector;
}

std::optional<HostFn> ParseFunction(const std::string& name) {
    if (auto fn = HostFnByName(name))
        return fn;
    return HostFnByName("MX_" + name);
}

int Usage(std::ostream& err, const std::string& problem) {
    err << "melvara-sim: " << problem << "\n(melvara-sim --help lists the commands and options)\n";
    return kExitUsage;
}

int MenuCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string modulePath;
    uint64_t hostVersion = kDefaultHostVersion;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size())
            return Usage(err, option + " needs a value");
        const std::string& value = args[++i];
        if (option == "--module") {
            modulePath = value;
        } else if (option == "--host-version") {
            if (!ParseUnsigned(value, 0xFFFFFFFF, hostVersion)) {
                return Usage(err, "--host-version: not a 32-bit number: " + value);
            }
        } else {
            return Usage(err, "menu: unknown option " + option);
        }
    }
    if (modulePath.empty())
        return Usage(err, "menu needs --module PATH");
    LoadedModule module;
    std::string error;
    if (!module.Load(modulePath, error)) {
        err << "melvara-sim: " << error << "\n";
        return kExitFailure;
    }
    const auto version = static_cast<uint32_t>(hostVersion);
    PrintMenu(out, ReadMenu(module, version), version);
    return kExitOk;
}

int ShowCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1)
        return Usage(err, "show takes one score file");
    std::string error;
    SetActivity("reading", args[0]);
    const std::optional<Score> score = ReadScoreFile(args[0], error);
    if (!score) {
        err << "melvara-sim: " << error << "\n";
        return kExitFailure;
    }
    SetActivity("printing", args[0]);
    PrintScore(out, *score);
    return kExitOk;
}

int DiffCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2)
        return Usage(err, "diff takes two score files");
    std::string error;
    SetActivity("reading", args[0]);
    const std::optional<Score> before = ReadScoreFile(args[0], error);
    SetActivity("reading", args[1]);
    const std::optional<Score> after = before ? ReadScoreFile(args[1], error) : std::nullopt;
    if (!before || !after) {
        err << "melvara-sim: " << error << "\n";
        return kExitUsage;
    }
    SetActivity("comparing the scores");
    const std::vector<ScoreChange> changes = DiffScores(*before, *after);
    if (changes.empty()) {
        out << "The scores are the same.\n";
        return 0;
    }
    for (const ScoreChange& change : changes)
        out << change.Describe() << "\n";
    return 1;
}

}  // namespace

std::optional<RunOptions> ParseRunOptions(const std::vector<std::string>& args,
                                          std::string& error) {
    RunOptions options;
    bool commandGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--trace") {
            options.Trace = true;
            continue;
        }
        if (option == "--in-place") {
            options.InPlace = true;
            continue;
        }
        if (option == "--create-leaves-index-unset") {
            options.CreateLeavesIndexUnset = true;
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            error = "run: unexpected argument " + option;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = option + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        uint64_t number = 0;
        if (option == "--module") {
            options.ModulePath = value;
        } else if (option == "--score") {
            options.ScorePath = value;
        } else if (option == "--command") {
            commandGiven = true;
            if (value == "reset") {
                options.MenuIndex = 0;
            } else if (value == "compare") {
                options.MenuIndex = 1;
            } else if (value == "change") {
                options.MenuIndex = 2;
            } else if (!ParseSigned16(value, options.MenuIndex)) {
                error = "--command: reset, compare, change or a menu index, not " + value;
                return std::nullopt;
            }
        } else if (option == "--select") {
            options.SelectionText = value;
        } else if (option == "--answer") {
            const std::optional<int> answer = ParseAnswer(value);
            if (!answer) {
                error = "--answer: yes, no, ok, cancel ... or a number, not " + value;
                return std::nullopt;
            }
            options.Answers.push_back(*answer);
        } else if (option == "--host-version") {
            if (!ParseUnsigned(value, 0xFFFFFFFF, number)) {
                error = "--host-version: not a 32-bit number: " + value;
                return std::nullopt;
            }
            options.HostVersion = static_cast<uint32_t>(number);
        } else if (option == "--out") {
            options.OutPath = value;
        } else if (option == "--fail") {
            const std::optional<HostFn> fn = ParseFunction(value);
            if (!fn) {
                error = "--fail: no host function " + value;
                return std::nullopt;
            }
            options.FailingFunctions.push_back(*fn);
        } else if (option == "--fail-call") {
            if (!ParseUnsigned(value, UINT64_MAX, number) || number == 0) {
                error = "--fail-call: a call number from 1, not " + value;
                return std::nullopt;
            }
            options.FailingCalls.push_back(number);
        } else if (option == "--fail-load" || option == "--fail-save") {
            const std::optional<RecordSelector> record = ParseRecordSelector(value);
            if (!record) {
                error = option + ": TAG or TAG:K1,K2,K3,K4, not " + value;
                return std::nullopt;
            }
            (option == "--fail-load" ? options.FailingLoads : options.FailingSaves)
                .push_back(*record);
        } else if (option == "--document") {
            int16_t document = 0;
            if (!ParseSigned16(value, document)) {
                error = "--document: a 16-bit document id, not " + value;
                return std::nullopt;
            }
            options.Document = document;
        } else {
            error = "run: unknown option " + option;
            return std::nullopt;
        }
    }
    if (options.ModulePath.empty())
        error = "run needs --module PATH";
    else if (options.ScorePath.empty())
        error = "run needs --score FILE";
    else if (!commandGiven)
        error = "run needs --command reset|compare|change";
    else if (options.InPlace && !options.OutPath.empty())
        error = "give --out or --in-place, not both";
    if (!error.empty())
        return std::nullopt;
    return options;
}

namespace {

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h" || arg == "help") {
            out << kUsage;
            return kExitOk;
        }
    }
    if (args.empty()) {
        err << kUsage;
        return kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "menu")
        return MenuCommand(rest, out, err);
    if (command == "show")
        return ShowCommand(rest, out, err);
    if (command == "diff")
        return DiffCommand(rest, out, err);
    if (command == "generate")
        return GenerateCommand(rest, out, err);
    if (command == "run") {
        std::string error;
        const std::optional<RunOptions> options = ParseRunOptions(rest, error);
        if (!options)
            return Usage(err, error);
        return RunCommand(*options, out, err);
    }
    return Usage(err, "unknown command " + command);
}

}  // namespace

int RunMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    // diff keeps 1 for "the scores differ".
    const bool diff = !args.empty() && args[0] == "diff";
    return ExitOnOutOfMemory(err, diff ? kExitUsage : kExitFailure,
                             [&] { return Dispatch(args, out, err); });
}

}  // namespace sim
