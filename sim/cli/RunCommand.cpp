#include "sim/cli/RunCommand.h"

#include <cstdio>
#include <filesystem>

#include "sim/cli/Activity.h"
#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "sim/host/Menu.h"
#include "sim/host/ModuleLoader.h"
#include "sim/score/ScoreDiff.h"
#include "sim/score/ScoreFile.h"
#include "sim/score/Selection.h"

namespace sim {
namespace {

InvokeWrapper CurrentInvokeWrapper;

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

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

std::string CommandTitle(const std::vector<MenuEntry>& menu, int16_t index, uint32_t hostVersion) {
    for (const MenuEntry& entry : menu) {
        if (entry.Index != index)
            continue;
        if (entry.WideFilled)
            return FieldText(entry.Wide.Title, 128);
        return FieldText(entry.Narrow.Title, 64);
    }
    return "(not in the module's menu for host version " + Hex32(hostVersion) + ")";
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

void PrintSummary(std::ostream& out, const Host& host, int invokeResult) {
    size_t tuplets = 0;
    for (const RecordKey& key : host.LoadedRecords()) {
        if (key.Tag == kTupletTag)
            ++tuplets;
    }
    std::string saved = std::to_string(host.SavedCount());
    if (host.SavedCount() != 0) {
        std::string detail;
        for (uint32_t tag : {kTupletTag, kTupletDefaultsTag}) {
            if (host.SavedCount(tag) == 0)
                continue;
            detail += (detail.empty() ? "" : ", ") + TagLabel(tag) + " " +
                      std::to_string(host.SavedCount(tag));
        }
        const size_t others =
            host.SavedCount() - host.SavedCount(kTupletTag) - host.SavedCount(kTupletDefaultsTag);
        if (others != 0)
            detail += (detail.empty() ? "" : ", ") + std::string("other ") + std::to_string(others);
        saved += " (" + detail + ")";
    }
    const FrameCounts& frames = host.Frames();
    out << "\nSummary\n"
        << "  invoke result:    " << invokeResult << "\n"
        << "  tuplets read:     " << tuplets << "\n"
        << "  records saved:    " << saved << "\n"
        << "  records created:  " << host.CreatedCount() << "\n"
        << "  records deleted:  " << host.DeletedCount() << "\n"
        << "  frames:           " << frames.Loaded << " loaded, " << frames.Freed << " freed, "
        << frames.Held << " still held\n";
    if (host.FrameErrors().empty()) {
        out << "  frame errors:     none\n";
    } else {
        out << "  frame errors:     " << host.FrameErrors().size() << "\n";
        for (const FrameError& error : host.FrameErrors())
            out << "    " << error.Describe() << "\n";
    }
}

void ApplyControls(Host& host, const RunOptions& options) {
    for (HostFn fn : options.FailingFunctions)
        host.SetFunctionMode(fn, FunctionMode::Failing);
    for (uint64_t call : options.FailingCalls)
        host.FailCall(call);
    for (const RecordSelector& record : options.FailingLoads)
        host.FailLoad(record.Tag, record.Words);
    for (const RecordSelector& record : options.FailingSaves)
        host.FailSave(record.Tag, record.Words);
    if (options.Document)
        host.SetCurrentDocument(*options.Document);
    host.SetCreateLeavesIndexUnset(options.CreateLeavesIndexUnset);
    host.ScriptAnswers(options.Answers);
}

}  // namespace

void SetInvokeWrapper(InvokeWrapper wrapper) {
    CurrentInvokeWrapper = std::move(wrapper);
}

int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err) {
    std::string error;
    SetActivity("reading", options.ScorePath);
    std::optional<Score> score = ReadScoreFile(options.ScorePath, error);
    if (!score) {
        err << "melvara-sim: " << error << "\n";
        return kExitFailure;
    }
    const std::optional<Selection> selection = ParseSelection(options.SelectionText, *score, error);
    if (!selection) {
        err << "melvara-sim: --select: " << error << "\n";
        return kExitUsage;
    }
    std::string outPath = options.InPlace ? options.ScorePath : options.OutPath;
    if (!options.InPlace && !outPath.empty() && SameFile(outPath, options.ScorePath)) {
        err << "melvara-sim: --out names the score itself; use --in-place to overwrite it\n";
        return kExitUsage;
    }

    SetActivity("preparing the host's copy of", options.ScorePath);
    Host host(*score);
    host.IndexScore();
    // --trace streams the calls; nothing else reads them.
    host.SetRecordCalls(false);
    host.SetSelection(selection->Region);
    ApplyControls(host, options);
    if (options.Trace) {
        host.OnCall = [&out](const HostCall& call) {
            out << "trace " << DescribeCall(call) << "\n";
        };
    }
    size_t boxes = 0;
    host.OnBox = [&out, &boxes](const BoxRecord& box) { PrintBox(out, box, ++boxes); };
    CurrentHostScope current(host);

    SetActivity("loading", options.ModulePath);
    LoadedModule module;
    if (!module.Load(options.ModulePath, error)) {
        err << "melvara-sim: " << error << "\n";
        return kExitFailure;
    }
    const std::vector<MenuEntry> menu = ReadMenu(module, options.HostVersion);
    out << "Host version " << Hex32(options.HostVersion) << "\n"
        << "Command " << options.MenuIndex << ": "
        << CommandTitle(menu, options.MenuIndex, options.HostVersion) << "\n"
        << "Selection: " << FormatSelection(*selection) << "\n";

    RegionRecord region = selection->Region;
    const auto invoke = [&] {
        return module.Invoke(host.Window(), options.MenuIndex,
                             selection->Present ? &region : nullptr);
    };
    SetActivity("running the command");
    const int invokeResult = CurrentInvokeWrapper ? CurrentInvokeWrapper(host, invoke) : invoke();
    module.Terminate();
    host.ReportFramesStillHeld();
    if (const std::optional<HostFault>& fault = host.Fault()) {
        out.flush();
        err << "melvara-sim: " << fault->Describe() << "\n";
        return kExitFailure;
    }

    if (boxes == 0)
        out << "\nMessage boxes: none\n";
    PrintSummary(out, host, invokeResult);

    SetActivity("listing the changes");
    const std::vector<ScoreChange> changes = DiffScores(*score, host.GetScore());
    if (changes.empty()) {
        out << "\nChanges: none\n";
    } else {
        out << "\nChanges\n";
        for (const ScoreChange& change : changes)
            out << "  " << change.Describe() << "\n";
    }

    std::vector<std::string> warnings = host.Warnings();
    if (host.UnusedAnswers() != 0) {
        warnings.push_back(
            std::to_string(host.UnusedAnswers()) +
            (host.UnusedAnswers() == 1 ? " scripted answer was" : " scripted answers were") +
            " not used");
    }
    if (!warnings.empty()) {
        out << "\nWarnings\n";
        for (const std::string& warning : warnings)
            out << "  " << warning << "\n";
    }
    out.flush();

    SetActivity("writing", outPath);
    if (!outPath.empty() && !WriteScoreFile(host.GetScore(), outPath, error)) {
        err << "melvara-sim: " << error << "\n";
        return kExitFailure;
    }
    return host.FrameErrors().empty() ? kExitOk : kExitFrameErrors;
}

}  // namespace sim
