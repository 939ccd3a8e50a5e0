// melvara-sim run: one command of a module on a score, reported box by box and field by field.
#include "sim/cli/RunCommand.h"

#include <filesystem>
#include <fstream>
#include <map>

#include "sim/cli/Activity.h"
#include "sim/cli/RunCommandJson.h"
#include "sim/cli/RunCommandLine.h"
#include "sim/host/Host.h"
#include "sim/host/HostBuffer.h"
#include "sim/host/HostExports.h"
#include "sim/module/ExportHiding.h"
#include "sim/module/Menu.h"
#include "sim/module/ModuleGuard.h"
#include "sim/module/ModuleLoader.h"
#include "sim/score/ScoreDiff.h"
#include "sim/score/ScoreFile.h"
#include "sim/score/Selection.h"
#include "sim/support/AtomicFile.h"
#include "sim/support/Text.h"
#include "sim/support/ProgramName.h"
#include "sim/validate/ProcessWatch.h"

namespace sim {
namespace {

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code code;
    if (std::filesystem::equivalent(a, b, code))
        return true;
    const auto left = std::filesystem::weakly_canonical(a, code);
    if (code)
        return false;
    const auto right = std::filesystem::weakly_canonical(b, code);
    return !code && left == right;
}

// The command's title from the menu; nothing when the menu does not list it.
std::optional<std::string> CommandTitle(const std::vector<MenuEntry>& menu, int16_t index) {
    for (const MenuEntry& entry : menu) {
        if (entry.Index != index)
            continue;
        if (entry.WideFilled)
            return FieldText(entry.Wide.Title, 128);
        return FieldText(entry.Narrow.Title, 64);
    }
    return std::nullopt;
}

// The index of the command titled title, in either record.
std::optional<int16_t> IndexOfTitle(const std::vector<MenuEntry>& menu, const std::string& title) {
    for (const MenuEntry& entry : menu) {
        if ((entry.WideFilled && FieldText(entry.Wide.Title, 128) == title) ||
            (entry.NarrowFilled && FieldText(entry.Narrow.Title, 64) == title)) {
            return entry.Index;
        }
    }
    return std::nullopt;
}

// "its commands: 0 \"Reset\", 1 \"Compare\"", or that it has none.
std::string MenuTitles(const std::vector<MenuEntry>& menu) {
    if (menu.empty())
        return "the module offers no command";
    std::string text = "its commands:";
    for (const MenuEntry& entry : menu) {
        text += (entry.Index == menu.front().Index ? " " : ", ") + std::to_string(entry.Index) +
                " \"" + CommandTitle(menu, entry.Index).value_or("") + "\"";
    }
    return text;
}

void PrintBox(std::ostream& out, const BoxRecord& box, size_t number) {
    out << "\nMessage box " << number << ": \"" << box.CaptionUtf8() << "\", buttons "
        << ButtonsName(box.Style) << ", " << IconName(box.Style) << "\n";
    const std::string text = box.TextUtf8();
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        out << "  |" << (line.empty() ? "" : " ") << line << "\n";
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (box.Shown) {
        out << "  answered " << AnswerName(box.Answer) << "\n";
    } else {
        out << "  not shown (MessageBoxW made to fail), answered 0\n";
    }
}

// The controls asked for that never changed a call, as they were given.
std::vector<std::string> UnusedControls(const Host& host, const HostControls& controls) {
    std::vector<std::string> unused;
    for (HostFn fn : controls.FailingFunctions) {
        if (host.Log().CallCount(fn) == 0)
            unused.push_back(std::string("--fail ") + HostFnName(fn) + ": never called");
    }
    for (uint64_t call : controls.FailingCalls) {
        if (call > host.Log().CallCount()) {
            const uint64_t made = host.Log().CallCount();
            unused.push_back("--fail-call " + std::to_string(call) + ": the module made " +
                             std::to_string(made) + (made == 1 ? " host call" : " host calls"));
        }
    }
    for (const RecordSelector& record : controls.FailingLoads) {
        if (!host.Failures().LoadFailureFired(record.Tag, record.Words))
            unused.push_back("--fail-load " + record.Text + ": no such record was loaded");
    }
    for (const RecordSelector& record : controls.FailingSaves) {
        if (!host.Failures().SaveFailureFired(record.Tag, record.Words))
            unused.push_back("--fail-save " + record.Text + ": no such record was saved");
    }
    if (controls.Document && host.Log().CallCount(HostFn::GetCurrentKovrinDocument) == 0) {
        unused.push_back("--document " + std::to_string(*controls.Document) +
                         ": MX_GetCurrentKovrinDocument was never called");
    }
    if (controls.CreateLeavesIndexUnset && !host.Log().IndexLeftUnset()) {
        unused.push_back("--create-leaves-index-unset: no record was created under a new index");
    }
    for (const auto& [fn, value] : controls.Returns) {
        if (host.Log().CallCount(fn) == 0) {
            unused.push_back("--returns " + std::string(HostFnName(fn)) + "=" +
                             std::to_string(value) + ": never called");
        }
    }
    return unused;
}

void PrintList(std::ostream& out, const char* label, const std::vector<std::string>& items) {
    if (items.empty())
        return;
    out << label << items.size() << "\n";
    for (const std::string& item : items)
        out << "    " << item << "\n";
}

void PrintSummary(std::ostream& out, const RunReport& report) {
    const Host& host = *report.RunHost;
    const RunOptions& options = *report.Options;
    std::string saved = std::to_string(host.Log().SavedCount());
    if (host.Log().SavedCount() != 0) {
        std::string detail;
        for (uint32_t tag : {kTupletTag, kTupletDefaultsTag}) {
            if (host.Log().SavedCount(tag) == 0)
                continue;
            detail += (detail.empty() ? "" : ", ") + TagLabel(tag) + " " +
                      std::to_string(host.Log().SavedCount(tag));
        }
        const size_t others = host.Log().SavedCount() - host.Log().SavedCount(kTupletTag) -
                              host.Log().SavedCount(kTupletDefaultsTag);
        if (others != 0)
            detail += (detail.empty() ? "" : ", ") + std::string("other ") + std::to_string(others);
        saved += " (" + detail + ")";
    }
    const FrameCounts& frames = host.Frames().Counts();
    out << "\nSummary\n";
    if (!report.Title) {
        out << "  not in the menu:  command " << report.Index << " at host version "
            << Hex(options.HostVersion, 8) << ", invoked all the same\n";
    }
    out << "  invoke result:    " << report.InvokeResult << "\n"
        << "  tuplets read:     " << report.TupletsRead() << "\n"
        << "  records saved:    " << saved << "\n"
        << "  records created:  " << host.Log().CreatedCount() << "\n"
        << "  records deleted:  " << host.Log().DeletedCount() << "\n"
        << "  frames:           " << frames.Loaded << " loaded, " << frames.Freed << " freed, "
        << frames.Held << " still held\n";
    if (host.Frames().Errors().empty()) {
        out << "  frame errors:     none\n";
    } else {
        out << "  frame errors:     " << host.Frames().Errors().size() << "\n";
        for (const FrameError& error : host.Frames().Errors())
            out << "    " << error.Describe() << "\n";
    }
    if (frames.Refused != 0) {
        out << "  frames refused:   " << frames.Refused
            << " still held because MX_FreeTGF was made to fail; not the module's fault\n";
    }
    PrintList(out, "  unused controls:  ", report.UnusedControls);
    std::string answers;
    for (int answer : host.Boxes().UnusedAnswerList())
        answers += (answers.empty() ? "" : ", ") + AnswerName(answer);
    if (!answers.empty())
        out << "  unused answers:   " << answers << "\n";
}

// A fingerprint of a regular file's bytes (FNV-1a), to see whether it
// changed; nothing for what is not a regular file, or cannot be read.
std::optional<uint64_t> FileFingerprint(const std::string& path) {
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code))
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    uint64_t hash = 0xcbf29ce484222325ULL;
    char buffer[1 << 16];
    while (file) {
        file.read(buffer, sizeof buffer);
        for (std::streamsize i = 0; i < file.gcount(); ++i) {
            hash ^= static_cast<unsigned char>(buffer[i]);
            hash *= 0x100000001b3ULL;
        }
    }
    return file.bad() ? std::nullopt : std::optional<uint64_t>(hash);
}

// Tuplet records of another size than a tuplet's that the module met and
// passed over (loaded, or asked the size of, and never saved): "1 tuplet
// record of 20 bytes was not visited", one line per size.
std::vector<std::string> UnvisitedTuplets(const Host& host) {
    std::map<uint32_t, size_t> bySize;
    for (const ContractMonitor::RecordUse& record : host.Monitor().RecordsFound()) {
        if (record.Key.Tag == kTupletTag && record.Size != MELVARA_TUPLET_BYTES &&
            !record.SavedSince) {
            ++bySize[record.Size];
        }
    }
    std::vector<std::string> lines;
    for (const auto& [size, count] : bySize) {
        lines.push_back(std::to_string(count) +
                        (count == 1 ? " tuplet record of " : " tuplet records of ") +
                        std::to_string(size) + (size == 1 ? " byte" : " bytes") +
                        (count == 1 ? " was" : " were") + " not visited");
    }
    return lines;
}

// Everything run warns of: what the host saw the module do against the
// contract, and what it saw around the calls.
std::vector<std::string> Warnings(const Host& host, const RunReport& report,
                                  const std::optional<std::string>& settingsChange,
                                  bool scoreChanged) {
    std::vector<std::string> warnings;
    if (const std::optional<StrayCall> stray = FirstStrayCall()) {
        const uint64_t count = StrayCallCount();
        warnings.push_back(stray->Describe() + " (" +
                           (count == 1 ? std::string("not carried out")
                                       : std::to_string(count) + " such calls, none carried out") +
                           ")");
    }
    const std::vector<std::string> monitored = host.Monitor().Warnings();
    warnings.insert(warnings.end(), monitored.begin(), monitored.end());
    if (report.InvokeResult != 1) {
        warnings.push_back("MelvaraExtensionInvoke answered " +
                           std::to_string(report.InvokeResult) + ", not 1");
    }
    if (settingsChange)
        warnings.push_back("MelvaraExtensionInvoke left process-wide settings changed: " +
                           *settingsChange);
    const std::vector<std::string> unvisited = UnvisitedTuplets(host);
    warnings.insert(warnings.end(), unvisited.begin(), unvisited.end());
    if (scoreChanged) {
        warnings.push_back("the score file " + report.Options->ScorePath +
                           " changed on disk during the run, other than through the host");
    }
    return warnings;
}

bool WriteJson(const RunReport& report, std::ostream& err) {
    if (report.Options->JsonPath.empty())
        return true;
    std::string error;
    if (WriteFileAtomically(report.Options->JsonPath, FormatRunJson(report), error))
        return true;
    err << ProgramName() << ": " << error << "\n";
    return false;
}

}  // namespace

int RunCommand(const RunOptions& options, std::ostream& standardOutput, std::ostream& err) {
    std::string error;
    // A report on standard output keeps it to itself.
    const bool jsonOut =
        !options.JsonPath.empty() && AtomicFile::IsStandardOutput(options.JsonPath);
    std::ostream& out = jsonOut ? err : standardOutput;
    SetActivity("reading", options.ScorePath);
    const std::optional<uint64_t> fingerprint = FileFingerprint(options.ScorePath);
    std::optional<Score> score = ReadScoreFile(options.ScorePath, error);
    if (!score) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    // The score as the host holds it; the changes are the module's to it.
    Score held = *score;
    options.Controls.ApplyTo(held);
    const std::optional<Selection> selection = ParseSelection(options.SelectionText, held, error);
    if (!selection) {
        err << ProgramName() << ": --select: " << error << "\n";
        return kExitUsage;
    }
    std::string outPath = options.InPlace ? options.ScorePath : options.OutPath;
    if (!options.InPlace && !outPath.empty() && SameFile(outPath, options.ScorePath)) {
        err << ProgramName() << ": --out names the score itself; use --in-place to overwrite it\n";
        return kExitUsage;
    }
    if (jsonOut && !outPath.empty() && AtomicFile::IsStandardOutput(outPath)) {
        err << ProgramName() << ": --json and --out cannot both go to standard output\n";
        return kExitUsage;
    }
    std::filesystem::path target;
    for (const std::string* path : {static_cast<const std::string*>(&outPath), &options.JsonPath}) {
        if (!path->empty() && !AtomicFile::Resolve(*path, target, error)) {
            err << ProgramName() << ": " << error << "\n";
            return kExitFailure;
        }
    }
    for (HostFn fn : options.Controls.MissingFunctions) {
        if (!HideHostExport(HostFnName(fn), error)) {
            err << ProgramName() << ": --without: " << error << "\n";
            return kExitFailure;
        }
    }

    SetActivity("preparing the host's copy of", options.ScorePath);
    Host host(held);
    host.IndexScore();
    // --trace streams the calls; nothing else reads them.
    host.Log().SetRecordCalls(false);
    host.SetSelection(selection->Region);
    options.Controls.ApplyTo(host);
    host.Boxes().ScriptAnswers(options.Answers);
    if (options.Trace) {
        host.Log().OnCall = [&out](const HostCall& call) {
            out << "trace " << DescribeCall(call) << "\n";
        };
    }
    size_t boxes = 0;
    host.Boxes().OnBox = [&out, &boxes](const BoxRecord& box) { PrintBox(out, box, ++boxes); };
    CurrentHostScope current(host);

    RunReport report;
    report.Options = &options;
    report.RunHost = &host;
    report.Index = options.MenuIndex;
    report.Selection = FormatSelection(*selection);
    report.SelectionWarnings = selection->Warnings;

    // Output printed so far is flushed before each call into the module.
    ModuleGuard guard(
        [&err, &report](const ModuleFault& fault) {
            err << ProgramName() << ": " << fault.Describe() << "\n";
            report.Fault = fault.Describe();
            report.Status = fault.What == ModuleFault::Kind::Crashed    ? kExitModuleCrashed
                            : fault.What == ModuleFault::Kind::TimedOut ? kExitTimedOut
                                                                        : kExitOutOfMemory;
            WriteJson(report, err);
        },
        {kExitModuleCrashed, kExitTimedOut, kExitOutOfMemory}, options.TimeoutSeconds, &out);
    if (options.MemoryLimitMegabytes != 0)
        guard.LimitMemory(options.MemoryLimitMegabytes, "--memory-limit");
    SetActivity("loading", options.ModulePath);
    LoadedModule module;
    if (!module.Load(options.ModulePath, error)) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    const std::vector<MenuEntry> menu = ReadMenu(module, options.HostVersion);
    if (!options.Title.empty()) {
        const std::optional<int16_t> titled = IndexOfTitle(menu, options.Title);
        if (!titled) {
            err << ProgramName() << ": --title: no command is titled \"" << options.Title
                << "\" at host version " << Hex(options.HostVersion, 8) << "; "
                << MenuTitles(menu) << "\n";
            return kExitUsage;
        }
        report.Index = *titled;
    }
    if (!options.CommandName.empty()) {
        const std::optional<int16_t> named = FindCommandByName(menu, options.CommandName, error);
        if (!named) {
            err << ProgramName() << ": --command: " << error << " at host version "
                << Hex(options.HostVersion, 8) << "; " << MenuTitles(menu) << "\n";
            return kExitUsage;
        }
        report.Index = *named;
    }
    const int16_t index = report.Index;
    report.Title = CommandTitle(menu, index);
    out << "Host version " << Hex(options.HostVersion, 8) << "\n"
        << "Command " << index << ": "
        << report.Title.value_or("(not in the module's menu for host version " +
                                 Hex(options.HostVersion, 8) + ")")
        << "\n"
        << "Selection: " << report.Selection << "\n";
    for (const std::string& warning : selection->Warnings)
        out << "  warning: " << warning << "\n";

    // In fenced host memory, as the validator hands it in.
    const HostBuffer region(&selection->Region, sizeof selection->Region, "the selection record",
                            false);
    SetActivity("running the command");
    const ProcessSettings settings = ProcessSettings::Read();
    report.InvokeResult =
        module.Invoke(host, index, selection->Present ? region.Data() : nullptr);
    report.Invoked = true;
    const std::optional<std::string> settingsChange =
        SettingsChange(settings, ProcessSettings::Read());
    module.Terminate();
    // Unloaded before the report, as a host would: what the module still does
    // as it goes (a thread it left behind, its own destructors) is reported.
    module.Unload();
    host.ReportFramesStillHeld();
    if (const std::optional<HostFault>& fault = host.Log().Fault()) {
        out.flush();
        err << ProgramName() << ": " << fault->Describe() << "\n";
        return kExitFailure;
    }

    if (boxes == 0)
        out << "\nMessage boxes: none\n";
    report.UnusedControls = UnusedControls(host, options.Controls);
    PrintSummary(out, report);

    SetActivity("listing the changes");
    report.Changes = DiffScores(held, host.GetScore());
    if (report.Changes.empty()) {
        out << "\nChanges: none\n";
    } else {
        out << "\nChanges\n";
        for (const ScoreChange& change : report.Changes)
            out << "  " << change.Describe() << "\n";
    }

    const bool scoreChanged = fingerprint && FileFingerprint(options.ScorePath) != fingerprint;
    report.Warnings = Warnings(host, report, settingsChange, scoreChanged);
    if (!report.Warnings.empty()) {
        out << "\nWarnings\n";
        for (const std::string& warning : report.Warnings)
            out << "  " << warning << "\n";
    }
    out.flush();

    // A score that nothing changed keeps its own file as it is, layout and all.
    if (options.InPlace && host.GetScore() == held)
        outPath.clear();
    SetActivity("writing", outPath);
    report.Status = !host.Frames().Errors().empty()              ? kExitFrameErrors
                    : options.Strict && !report.Warnings.empty() ? kExitWarnings
                                                                 : kExitOk;
    if (!outPath.empty() && !WriteScoreFile(host.GetScore(), outPath, error)) {
        err << ProgramName() << ": " << error << "\n";
        report.Status = kExitFailure;
    }
    SetActivity("writing", options.JsonPath);
    if (!WriteJson(report, err))
        report.Status = kExitFailure;
    return report.Status;
}

}  // namespace sim
