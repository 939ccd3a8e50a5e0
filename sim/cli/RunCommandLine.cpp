// melvara-sim run's command line: its help text and its options read into RunOptions.
#include "sim/cli/RunCommandLine.h"

#include <algorithm>
#include <cctype>

#include "sim/host/MessageBoxRecord.h"
#include "sim/support/ProgramName.h"

namespace sim {

const char* const kRunHelp =
    R"(usage: melvara-sim run --module PATH --score FILE --index N|--title TEXT [options]

Loads the module, gives it the host version, initialises it and invokes one
command over the selection. Prints each message box as it is shown
(caption, text, buttons, icon, the answer given), a summary (tuplets read,
records saved, frames loaded and freed, frame errors, and anything asked
for that never happened), the changes to the score field by field, and
warnings about calls a host would not expect.

Options
  --module PATH          the plug-in module file; a bare name is a file in
                         the current folder, not a library to search for
  --score FILE           the score file (JSON; melvara-sim help score)
  --index N              the command at menu index N (-32768 to 32767); a
                         command that the module's menu does not list at the
                         host version is invoked all the same, and the
                         summary says so
  --title TEXT           the command whose menu title is exactly TEXT
  --command NAME         the one command whose menu title is NAME, begins
                         with it or holds its words in a row, ignoring case
                         ("count" for "Template - Count Tuplets"); a name
                         that fits no title or several is refused, and the
                         titles are listed. A number is a menu index, as
                         with --index
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
                         (atomically; through a symbolic link to its target,
                         keeping the file's mode; a pipe or /dev/stdout is
                         written as it comes); FILE must be a regular file
                         that may be written, or not exist yet, and may not
                         be the score itself
  --in-place             write it back to the score file instead (left as
                         it is when the command changed nothing)
  --trace                print every host call with its arguments and result
  --timeout S            end the run when a call into the module takes longer
                         than S seconds (default: no limit)
  --memory-limit SIZE    the most memory the run may take, such as 512M or 2G
                         (default: no limit); a call into the module that
                         runs out of it ends the run
  --strict               exit with status 7 when the run gave warnings
  --json FILE            also write the report (command, message boxes,
                         summary, changes, warnings, exit status) to FILE as
                         JSON; - for standard output, the lines for people
                         then going to standard error

Controls, to make the host misbehave (the summary names any that never
changed a call); melvara-sim validate prints the ones each failure needs
  --fail FUNCTION        every call of FUNCTION fails: MX_LoadKData,
                         MX_SaveKData, MX_CreateKData, MX_DeleteKData,
                         MX_NextKData, MX_GetCurrentKovrinDocument,
                         MX_GetCurKRegions, MX_LoadTGF, MX_FreeTGF,
                         MX_SlotToInst, MX_InstToSlot, MX_GetShowLayer,
                         MX_GetMaxLayers, MessageBoxW, IsWindow (MX_ may be
                         left out)
  --without FUNCTION     the program does not export FUNCTION (one of the
                         thirteen MX_ functions): the module does not find it
  --fail-call N          the N-th call of the thirteen MX_ functions fails
                         (counting every such call from 1)
  --fail-load TAG[:K1,K2,K3,K4]
                         loading that record fails; without keys, every
                         record of the tag. TAG: four characters or 0x and
                         eight hex digits. The Default Tuplet Definition is
                         pfTP:1,0,0,0; tuplet records are 0x45035450 with
                         keys entry low word, entry high word, index, 0.
  --fail-save TAG[:K1,K2,K3,K4]
                         saving that record fails
  --document ID          MX_GetCurrentKovrinDocument answers ID
  --create-leaves-index-unset
                         MX_CreateKData leaves key word 3 at 0xFFFF
  --returns FUNCTION=V   FUNCTION answers V to every call: MX_GetMaxLayers,
                         MX_GetShowLayer, MX_SlotToInst, MX_InstToSlot or
                         MX_GetCurrentKovrinDocument
  --frame-entries N      layer frames count N entries, whatever they hold
  --entry-notes N        entry records count N notes
  --record-sizes R       every record of the score cut to half its size
                         (half), N bytes longer (+N), or N bytes long (N)
  --layers N             the host has N layers (1 to 255); from layer 20 on,
                         each holds a copy of layer 0's entries
  --measures N           the score has N measures (1 to 32767)
  --high-slots           the staves, in their order, in the slots up to 32767
  --hide-layer L         layer L (from 0) is hidden; may be given several times
  A failing function returns 0 (no frame for MX_LoadTGF) and does nothing.
  Frames that the module could not release because MX_FreeTGF failed are
  not counted against it.

Numbers are decimal, or 0x and hex digits; a leading 0 is refused. Layers
are numbered as the host numbers them, from 0.

Selection syntax (one argument; words in any order, any case)
  all                    the whole score (the default)
  none                   no region record: the command gets a null pointer
  measures A-B           measures A to B; "measure A" is A to A; "A-B" alone
                         is the same
  measures A:P-B:Q       from position P in measure A to position Q in B
  slots S-T              staff slots S to T; "slot S" is S to S
  scopes X,Y             start and end slot scopes; "scope X" sets both
  A-B/S-T                compact form: measures, a slash, slots
                         (e.g. 2-3/1-2, 1:256-2:0/1, measure 2/1)
  region a,b,c,d,e,f,g,h the eight fields of the region record in order:
                         StartSlotScope, StartSlot, StartMeasure, StartPos,
                         EndSlotScope, EndSlot, EndMeasure, EndPos; any
                         values, negative ones too
  Measures and slots count from 1 and ranges go upwards. A range that goes
  past the score is cut to it, as the host's own selection is, with a
  warning; one wholly outside the score is refused (region passes any
  record). Whatever is not given covers the whole score: measures 1 to the
  last, the lowest to the highest slot, positions 0 to 2147483647, the
  scopes of the staves at the start and end slots. Example:
      --select "measures 1:256-2:0 slots 1-2"

Exit status
  0 the command ran; 1 unreadable score, module not loaded, or a file that
  cannot be written (a file that may not be written is refused before the
  module runs); 2 usage error, a bad selection or an unknown title
  included; 3 the module mishandled layer frames (released one twice,
  released one never handed out, or kept one); 4 the module crashed, or
  wrote past a buffer the host handed it; 5 a call into the module did not
  return within --timeout; 6 a call into the module ran out of
  --memory-limit; 7 --strict, and the run gave warnings. For 4 to 6 the
  run stops there, names the export, the signal or exception (or the
  buffer and the bytes written past it) and the last host call, and writes
  no score.
)";

namespace {

// "pfTP", "pfTP:1,0,0,0", "0x45035450:5,0,0,0".
bool ParseRecordSelector(const std::string& option, const std::string& text,
                         RecordSelector& selector, std::string& error) {
    const auto fail = [&](const std::string& problem) {
        error = option + ": " + problem + " (TAG or TAG:K1,K2,K3,K4, e.g. pfTP:1,0,0,0)";
        return false;
    };
    std::string tagText = text;
    std::string keysText;
    // A tag of four characters may hold a colon itself.
    const size_t colon = text.size() == 4 ? std::string::npos : text.rfind(':');
    const bool withKeys = colon != std::string::npos;
    if (withKeys) {
        tagText = text.substr(0, colon);
        keysText = text.substr(colon + 1);
    }
    const std::optional<uint32_t> tag = ParseTag(tagText);
    if (!tag) {
        return fail("\"" + tagText +
                    "\" is not a tag: four characters, or 0x and eight hex digits");
    }
    selector.Tag = *tag;
    selector.Text = text;
    if (!withKeys)
        return true;
    Keys keys{};
    size_t start = 0;
    for (size_t i = 0; i < 4; ++i) {
        const size_t comma = keysText.find(',', start);
        if ((i < 3) == (comma == std::string::npos))
            return fail("\"" + keysText + "\" is not four key words");
        const std::string word = keysText.substr(start, comma - start);
        if (!ParseNumber(option + " key word " + std::to_string(i + 1), word, keys[i], error))
            return false;
        start = comma + 1;
    }
    selector.Words = keys;
    return true;
}

// A host function by name, "MX_" left out or not.
std::optional<HostFn> FunctionByName(const std::string& name) {
    std::optional<HostFn> fn = HostFnByName(name);
    return fn ? fn : HostFnByName("MX_" + name);
}

// "half", "+16", "30".
bool ParseRecordSizes(const std::string& text, RecordResize& resize, std::string& error) {
    if (text == "half") {
        resize.How = RecordResize::Kind::Half;
        return true;
    }
    const bool longer = !text.empty() && text[0] == '+';
    resize.How = longer ? RecordResize::Kind::Longer : RecordResize::Kind::Exactly;
    if (ParseNumber<uint32_t>("--record-sizes", longer ? text.substr(1) : text, resize.Bytes,
                              error, 0, 1u << 20)) {
        return true;
    }
    error = "--record-sizes: half, +N (N bytes longer) or N (N bytes), N from 0 to 1048576, "
            "not \"" + text + "\"";
    return false;
}

// Letters and digits in runs, lower-cased: "QV Tuplets - Reset" is "qv",
// "tuplets", "reset".
std::vector<std::string> LowerWords(const std::string& text) {
    std::vector<std::string> words(1);
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            words.back() += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!words.back().empty()) {
            words.emplace_back();
        }
    }
    if (words.back().empty())
        words.pop_back();
    return words;
}

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// name, ignoring case, is the title, begins it, or is a run of its words.
bool NameFits(const std::string& name, const std::string& title) {
    if (Lower(title).compare(0, name.size(), Lower(name)) == 0)
        return true;
    const std::vector<std::string> names = LowerWords(name);
    const std::vector<std::string> words = LowerWords(title);
    if (names.empty())
        return false;
    for (size_t start = 0; start + names.size() <= words.size(); ++start) {
        if (std::equal(names.begin(), names.end(),
                       words.begin() + static_cast<std::ptrdiff_t>(start)))
            return true;
    }
    return false;
}

// The titles of an entry: the UTF-16 record's and the 8-bit one's.
std::vector<std::string> TitlesOf(const MenuEntry& entry) {
    std::vector<std::string> titles;
    if (entry.WideFilled)
        titles.push_back(FieldText(entry.Wide.Title, 128));
    if (entry.NarrowFilled)
        titles.push_back(FieldText(entry.Narrow.Title, 64));
    return titles;
}

// The indexes of the entries that have a title for which fits holds.
template <typename Fits>
std::vector<int16_t> Matching(const std::vector<MenuEntry>& menu, Fits fits) {
    std::vector<int16_t> indexes;
    for (const MenuEntry& entry : menu) {
        const std::vector<std::string> titles = TitlesOf(entry);
        if (std::any_of(titles.begin(), titles.end(), fits))
            indexes.push_back(entry.Index);
    }
    return indexes;
}

}  // namespace

std::optional<int16_t> FindCommandByName(const std::vector<MenuEntry>& menu,
                                         const std::string& name, std::string& problem) {
    std::vector<int16_t> found =
        Matching(menu, [&](const std::string& title) { return title == name; });
    if (found.empty())
        found = Matching(menu, [&](const std::string& title) { return NameFits(name, title); });
    if (found.size() == 1)
        return found[0];
    problem = found.empty() ? "no command's title fits \"" + name + "\""
                            : "\"" + name + "\" fits " + std::to_string(found.size()) +
                                  " commands' titles";
    return std::nullopt;
}

ParseResult ParseRunOptions(const std::vector<std::string>& args, RunOptions& options,
                            std::string& error) {
    int commandsGiven = 0;
    HostControls& controls = options.Controls;
    OptionParser parser("run");
    parser.Text("--module", options.ModulePath);
    parser.Text("--score", options.ScorePath);
    parser.Value("--command", [&](const std::string& value, std::string&) {
        ++commandsGiven;
        // A number is an index; anything else names a title, found once the
        // module's menu is read.
        std::string notANumber;
        if (!ParseNumber("--command", value, options.MenuIndex, notANumber))
            options.CommandName = value;
        return true;
    });
    parser.Value("--index", [&](const std::string& value, std::string& problem) {
        ++commandsGiven;
        return ParseNumber("--index", value, options.MenuIndex, problem);
    });
    parser.Value("--title", [&](const std::string& value, std::string&) {
        ++commandsGiven;
        options.Title = value;
        return true;
    });
    parser.Text("--select", options.SelectionText);
    parser.Value(
        "--answer",
        [&](const std::string& value, std::string& problem) {
            const std::optional<int> answer = ParseAnswer(value);
            if (!answer) {
                problem =
                    "--answer: yes, no, ok, cancel, abort, retry, ignore, tryagain, "
                    "continue or a number from 0 to 65535, not \"" +
                    value + "\"";
                return false;
            }
            options.Answers.push_back(*answer);
            return true;
        },
        true);
    parser.Number("--host-version", options.HostVersion);
    parser.Text("--out", options.OutPath);
    parser.Flag("--in-place", options.InPlace);
    parser.Flag("--trace", options.Trace);
    parser.Seconds("--timeout", options.TimeoutSeconds);
    parser.Megabytes("--memory-limit", options.MemoryLimitMegabytes);
    parser.Flag("--strict", options.Strict);
    parser.Text("--json", options.JsonPath);

    // The controls.
    parser.Value(
        "--fail",
        [&](const std::string& value, std::string& problem) {
            const std::optional<HostFn> fn = FunctionByName(value);
            if (!fn) {
                problem = "--fail: no host function \"" + value +
                          "\" (" + ProgramName() + " run --help lists them)";
                return false;
            }
            controls.FailingFunctions.push_back(*fn);
            return true;
        },
        true);
    parser.Value(
        "--without",
        [&](const std::string& value, std::string& problem) {
            const std::optional<HostFn> fn = FunctionByName(value);
            if (!fn || !IsRecordedHostFunction(*fn)) {
                problem = "--without: \"" + value + "\" is none of the thirteen MX_ functions";
                return false;
            }
            controls.MissingFunctions.push_back(*fn);
            return true;
        },
        true);
    parser.Value(
        "--fail-call",
        [&](const std::string& value, std::string& problem) {
            uint64_t call = 0;
            if (!ParseNumber<uint64_t>("--fail-call", value, call, problem, 1, UINT64_MAX))
                return false;
            controls.FailingCalls.push_back(call);
            return true;
        },
        true);
    const std::pair<const char*, std::vector<RecordSelector>*> recordControls[] = {
        {"--fail-load", &controls.FailingLoads}, {"--fail-save", &controls.FailingSaves}};
    for (const auto& [name, list] : recordControls) {
        parser.Value(
            name,
            [name = name, list = list](const std::string& value, std::string& problem) {
                RecordSelector selector;
                if (!ParseRecordSelector(name, value, selector, problem))
                    return false;
                list->push_back(selector);
                return true;
            },
            true);
    }
    parser.Value("--document", [&](const std::string& value, std::string& problem) {
        int16_t document = 0;
        if (!ParseNumber("--document", value, document, problem))
            return false;
        controls.Document = document;
        return true;
    });
    parser.Flag("--create-leaves-index-unset", controls.CreateLeavesIndexUnset);
    parser.Value(
        "--returns",
        [&](const std::string& value, std::string& problem) {
            const size_t equals = value.find('=');
            const std::optional<HostFn> fn = FunctionByName(value.substr(0, equals));
            if (!fn || !TakesFixedAnswer(*fn) || equals == std::string::npos) {
                problem =
                    "--returns: FUNCTION=VALUE, FUNCTION one of MX_GetMaxLayers, "
                    "MX_GetShowLayer, MX_SlotToInst, MX_InstToSlot, "
                    "MX_GetCurrentKovrinDocument, not \"" +
                    value + "\"";
                return false;
            }
            int16_t answer = 0;
            if (!ParseNumber("--returns " + std::string(HostFnName(*fn)), value.substr(equals + 1),
                             answer, problem)) {
                return false;
            }
            controls.Returns.emplace_back(*fn, answer);
            return true;
        },
        true);
    const std::pair<const char*, std::optional<int16_t>*> counts[] = {
        {"--frame-entries", &controls.FrameEntries},
        {"--entry-notes", &controls.EntryNotes},
        {"--layers", &controls.Layers},
        {"--measures", &controls.Measures}};
    for (const auto& [name, target] : counts) {
        const std::string option = name;
        const int16_t low = option == "--layers" || option == "--measures" ? 1 : -32768;
        const int16_t high = option == "--layers" ? 255 : 32767;
        parser.Value(name, [=, target = target](const std::string& value, std::string& problem) {
            int16_t number = 0;
            if (!ParseNumber(option, value, number, problem, low, high))
                return false;
            *target = number;
            return true;
        });
    }
    parser.Value("--record-sizes", [&](const std::string& value, std::string& problem) {
        RecordResize resize;
        if (!ParseRecordSizes(value, resize, problem))
            return false;
        controls.RecordSizes = resize;
        return true;
    });
    parser.Flag("--high-slots", controls.HighSlots);
    parser.Value(
        "--hide-layer",
        [&](const std::string& value, std::string& problem) {
            int16_t layer = 0;
            if (!ParseNumber<int16_t>("--hide-layer", value, layer, problem, 0, 32767))
                return false;
            controls.HiddenLayers.push_back(layer);
            return true;
        },
        true);

    const ParseResult result = parser.Parse(args, error);
    if (result != ParseResult::Ok)
        return result;
    if (options.ModulePath.empty())
        error = "run needs --module PATH";
    else if (options.ScorePath.empty())
        error = "run needs --score FILE";
    else if (commandsGiven == 0)
        error = "run needs --index N, --title TEXT or --command NAME";
    else if (commandsGiven > 1)
        error = "give one of --index, --title and --command";
    else if (options.InPlace && !options.OutPath.empty())
        error = "give --out or --in-place, not both";
    return error.empty() ? ParseResult::Ok : ParseResult::Error;
}

}  // namespace sim
