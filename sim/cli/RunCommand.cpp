// melvara-sim run: one command of a module on a score, reported box by box and field by field.
#include "sim/cli/RunCommand.h"

#include <filesystem>

#include "sim/cli/Activity.h"
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

void PrintSummary(std::ostream& out, const Host& host, const RunOptions& options, int16_t index,
                  bool inMenu, int invokeResult) {
    size_t tuplets = 0;
    for (const RecordKey& key : host.Monitor().LoadedRecords()) {
        if (key.Tag == kTupletTag)
            ++tuplets;
    }
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
    if (!inMenu) {
        out << "  not in the menu:  command " << index << " at host version "
            << Hex(options.HostVersion, 8) << ", invoked all the same\n";
    }
    out << "  invoke result:    " << invokeResult << "\n"
        << "  tuplets read:     " << tuplets << "\n"
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
    PrintList(out, "  unused controls:  ", UnusedControls(host, options.Controls));
    std::string answers;
    for (int answer : host.Boxes().UnusedAnswerList())
        answers += (answers.empty() ? "" : ", ") + AnswerName(answer);
    if (!answers.empty())
        out << "  unused answers:   " << answers << "\n";
}

}  // namespace

int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err) {
    std::string error;
    SetActivity("reading", options.ScorePath);
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
    std::filesystem::path target;
    if (!outPath.empty() && !AtomicFile::Resolve(outPath, target, error)) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
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

    // Output printed so far is flushed before each call into the module.
    ModuleGuard guard(
        [&err](const ModuleFault& fault) {
            err << ProgramName() << ": " << fault.Describe() << "\n";
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
    int16_t index = options.MenuIndex;
    if (!options.Title.empty()) {
        const std::optional<int16_t> titled = IndexOfTitle(menu, options.Title);
        if (!titled) {
            err << ProgramName() << ": --title: no command is titled \"" << options.Title
                << "\" at host version " << Hex(options.HostVersion, 8) << "; "
                << MenuTitles(menu) << "\n";
            return kExitUsage;
        }
        index = *titled;
    }
    if (!options.CommandName.empty()) {
        const std::optional<int16_t> named = FindCommandByName(menu, options.CommandName, error);
        if (!named) {
            err << ProgramName() << ": --command: " << error << " at host version "
                << Hex(options.HostVersion, 8) << "; " << MenuTitles(menu) << "\n";
            return kExitUsage;
        }
        index = *named;
    }
    const std::optional<std::string> title = CommandTitle(menu, index);
    out << "Host version " << Hex(options.HostVersion, 8) << "\n"
        << "Command " << index << ": "
        << title.value_or("(not in the module's menu for host version " +
                          Hex(options.HostVersion, 8) + ")")
        << "\n"
        << "Selection: " << FormatSelection(*selection) << "\n";
    for (const std::string& warning : selection->Warnings)
        out << "  warning: " << warning << "\n";

    // In fenced host memory, as the validator hands it in.
    const HostBuffer region(&selection->Region, sizeof selection->Region, "the selection record",
                            false);
    SetActivity("running the command");
    const int invokeResult =
        module.Invoke(host, index, selection->Present ? region.Data() : nullptr);
    module.Terminate();
    host.ReportFramesStillHeld();
    if (const std::optional<HostFault>& fault = host.Log().Fault()) {
        out.flush();
        err << ProgramName() << ": " << fault->Describe() << "\n";
        return kExitFailure;
    }

    if (boxes == 0)
        out << "\nMessage boxes: none\n";
    PrintSummary(out, host, options, index, title.has_value(), invokeResult);

    SetActivity("listing the changes");
    const std::vector<ScoreChange> changes = DiffScores(held, host.GetScore());
    if (changes.empty()) {
        out << "\nChanges: none\n";
    } else {
        out << "\nChanges\n";
        for (const ScoreChange& change : changes)
            out << "  " << change.Describe() << "\n";
    }

    const std::vector<std::string> warnings = host.Monitor().Warnings();
    if (!warnings.empty()) {
        out << "\nWarnings\n";
        for (const std::string& warning : warnings)
            out << "  " << warning << "\n";
    }
    out.flush();

    // A score that nothing changed keeps its own file as it is, layout and all.
    if (options.InPlace && host.GetScore() == held)
        outPath.clear();
    SetActivity("writing", outPath);
    if (!outPath.empty() && !WriteScoreFile(host.GetScore(), outPath, error)) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    return host.Frames().Errors().empty() ? kExitOk : kExitFrameErrors;
}

}  // namespace sim
