// One command run by a fresh host and judged, and the message box styles Windows shows.
#include "sim/validate/Invocation.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "sim/host/GuardedMemory.h"
#include "sim/host/HostExports.h"
#include "sim/score/Selection.h"
#include "sim/support/Text.h"
#include "sim/validate/ProcessWatch.h"

namespace sim {
namespace {

constexpr unsigned kButtonsMask = 0x0F;
constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kDefaultButtonMask = 0xF00;
constexpr unsigned kModalityMask = 0x3000;
constexpr unsigned kHelpButton = 0x4000;
constexpr unsigned kLastButtonSet = 6;
constexpr unsigned kLastIcon = 0x40;

}  // namespace

HostBuffer SelectionRecord(const std::optional<RegionRecord>& selection) {
    const RegionRecord region = selection.value_or(RegionRecord{});
    return HostBuffer(&region, sizeof region, "the selection record", false);
}

std::optional<std::string> BoxStyleProblem(unsigned style) {
    const unsigned buttons = style & kButtonsMask;
    if (buttons > kLastButtonSet)
        return "buttons " + Hex(buttons, 1) + " are none of MessageBoxW's sets";
    if ((style & kIconMask) > kLastIcon)
        return "icon " + Hex(style & kIconMask, 1) + " is none of MessageBoxW's icons";
    const size_t count = ButtonsOf(style).size() + ((style & kHelpButton) != 0 ? 1 : 0);
    const unsigned defaultButton = (style & kDefaultButtonMask) >> 8;
    if (defaultButton >= count) {
        return "default button " + std::to_string(defaultButton + 1) + " of " +
               std::to_string(count) + (count == 1 ? " button" : " buttons");
    }
    if ((style & kModalityMask) == kModalityMask)
        return "modality " + Hex(style & kModalityMask, 1) + " is none of MessageBoxW's";
    return std::nullopt;
}

std::string CallText(const Host& host, uint64_t number) {
    if (number == 0)
        return {};
    for (const HostCall& call : host.Log().Calls()) {
        if (call.Number == number)
            return DescribeCall(call);
    }
    return "call #" + std::to_string(number);
}

std::optional<CheckResult> StrayCallFailure(const std::string& where) {
    const std::optional<StrayCall> stray = FirstStrayCall();
    if (!stray)
        return std::nullopt;
    const uint64_t count = StrayCallCount();
    return Failed(stray->Describe(), where,
                  std::string(HostFnName(stray->Function)) +
                      ", not carried out: it gave its failure value" +
                      (count > 1 ? " (" + std::to_string(count) + " such calls)" : ""));
}

std::optional<CheckResult> InvokeAnswerFailure(int answer, const std::string& where) {
    if (answer == 1)
        return std::nullopt;
    return Failed("MelvaraExtensionInvoke answered " + std::to_string(answer) + ", not 1", where);
}

std::optional<CheckResult> Judge(const Host& host, const std::string& where) {
    if (auto stray = StrayCallFailure(where))
        return stray;
    if (!host.Frames().Errors().empty()) {
        const FrameError& error = host.Frames().Errors().front();
        uint64_t call = error.Call;
        if (error.What == FrameError::Kind::StillHeld) {
            // The call that handed it out.
            for (const HostCall& made : host.Log().Calls()) {
                if (made.Function == HostFn::LoadTGF && made.Frame == error.Frame) {
                    call = made.Number;
                    break;
                }
            }
        }
        return Failed(error.Describe(), where, CallText(host, call));
    }
    const std::vector<ContractBreach> breaches = host.Monitor().Breaches();
    if (!breaches.empty())
        return Failed(breaches.front().What, where, CallText(host, breaches.front().Call));
    for (const BoxRecord& box : host.Boxes().List()) {
        if (const auto problem = BoxStyleProblem(box.Style)) {
            return Failed("message box \"" + box.CaptionUtf8() + "\" of style " +
                              Hex(box.Style, 1) + ": " + *problem,
                          where);
        }
    }
    return std::nullopt;
}

std::optional<CheckResult> Suspect(const Host& host, const std::string& where) {
    for (const BoxRecord& box : host.Boxes().List()) {
        if (const auto suspect = OneCharacterTexts(box))
            return Warned(*suspect, where);
    }
    if (const std::optional<std::string> shorter = host.Monitor().ShorterSaveWarning()) {
        const auto& first = host.Monitor().FirstShorterSave();
        return Warned(*shorter, where, CallText(host, first->Call));
    }
    return std::nullopt;
}

namespace {

// How one record of a command differs when read again: its texts first.
template <typename Record>
std::optional<std::string> RecordDifference(const char* kind, bool filledBefore,
                                            const Record& before, bool filledAfter,
                                            const Record& after) {
    if (filledBefore != filledAfter)
        return std::string(filledBefore ? "filled" : "not filled") + ", then " +
               (filledAfter ? "filled" : "not filled") + " (" + kind + " record)";
    using Unit = std::remove_extent_t<decltype(Record::Title)>;
    constexpr size_t kUnits = std::extent_v<decltype(Record::Title)>;
    constexpr const char* kNames[] = {"Title", "Description", "ShortName"};
    const Unit* textsBefore[] = {before.Title, before.Description, before.ShortName};
    const Unit* textsAfter[] = {after.Title, after.Description, after.ShortName};
    for (size_t field = 0; field < std::size(kNames); ++field) {
        const std::string a = FieldText(textsBefore[field], kUnits);
        const std::string b = FieldText(textsAfter[field], kUnits);
        if (a != b) {
            return std::string("the ") + kind + " " + kNames[field] + " \"" + a + "\", then \"" +
                   b + "\"";
        }
    }
    if (before.ItemFlag != after.ItemFlag) {
        return std::string("the ") + kind + " ItemFlag " + std::to_string(before.ItemFlag) +
               ", then " + std::to_string(after.ItemFlag);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> MenuDifference(const std::vector<MenuEntry>& before,
                                          const std::vector<MenuEntry>& after) {
    const auto commands = [](size_t count) {
        return std::to_string(count) + (count == 1 ? " command" : " commands");
    };
    if (before.size() != after.size())
        return commands(before.size()) + ", then " + commands(after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        const MenuEntry& a = before[i];
        const MenuEntry& b = after[i];
        auto change = RecordDifference("8-bit", a.NarrowFilled, a.Narrow, b.NarrowFilled, b.Narrow);
        if (!change)
            change = RecordDifference("UTF-16", a.WideFilled, a.Wide, b.WideFilled, b.Wide);
        if (change)
            return "index " + std::to_string(a.Index) + ": " + *change;
    }
    return std::nullopt;
}

namespace {

// The process's settings as the commands of this load found them: read
// before the first command after the module is loaded (loading may change
// them too, which the exports check judges), then compared after each
// command. Between commands only the host runs, which changes none of them.
struct SettingsBaseline {
    uint64_t Load = 0;
    std::optional<ProcessSettings> Settings;
};
SettingsBaseline Baseline;

// Invokes the command and holds the module to the process's settings: a
// change is a warning of the check.
int InvokeWatchingSettings(CheckContext& context, Host& host, int16_t menuIndex,
                           const void* selection20, const std::string& where) {
    if (!Baseline.Settings || Baseline.Load != ModuleLoads())
        Baseline = {ModuleLoads(), ProcessSettings::Read()};
    const int answer = context.Module().Invoke(host, menuIndex, selection20);
    ProcessSettings after = ProcessSettings::Read();
    if (const auto change = SettingsChange(*Baseline.Settings, after)) {
        context.NoteWarning(
            Warned("MelvaraExtensionInvoke left process-wide settings changed: " + *change, where));
        Baseline.Settings = std::move(after);
    }
    return answer;
}

}  // namespace

int InvokeOn(CheckContext& context, Host& host, int16_t menuIndex,
             const std::optional<RegionRecord>& selection, const std::string& where) {
    context.SetWhere(where);
    const HostBuffer region = SelectionRecord(selection);
    if (selection)
        host.SetSelection(*selection);
    return InvokeWatchingSettings(context, host, menuIndex, selection ? region.Data() : nullptr,
                                  where);
}

RunRepeat RepeatOf(const Invocation& invocation, const Score& held, size_t boxes) {
    RunRepeat repeat;
    repeat.Score = invocation.Source.Fields();
    std::vector<std::string>& args = repeat.Arguments;
    args = {"--index", std::to_string(invocation.MenuIndex)};
    Selection selection;
    selection.Present = invocation.Selection.has_value();
    selection.Region = invocation.Selection.value_or(RegionRecord{});
    if (const std::string text = SelectionArgument(selection, held); text != "all")
        args.insert(args.end(), {"--select", text});
    if (invocation.HostVersion != kValidateHostVersion)
        args.insert(args.end(), {"--host-version", Hex(invocation.HostVersion, 8)});
    for (size_t i = 0; i < invocation.Answers.size() && i < boxes; ++i)
        args.insert(args.end(), {"--answer", AnswerArgument(invocation.Answers[i])});
    const std::vector<std::string> controls = invocation.Controls.Arguments();
    args.insert(args.end(), controls.begin(), controls.end());
    return repeat;
}

InvocationResult Invoke(CheckContext& context, const Invocation& invocation) {
    // First, so that it lasts until the host and the selection are gone.
    const GuardedMemory::ReleasesKeptOpen timed(invocation.Timed);
    Score held = *invocation.Document;
    invocation.Controls.ApplyTo(held);
    // Until the run shows how many boxes it answers, every answer is named.
    RunRepeat repeat = RepeatOf(invocation, held, invocation.Answers.size());
    Host host(std::move(held));
    if (invocation.Large) {
        host.Log().SetRecordCalls(false);
        host.IndexScore();
    }
    host.Boxes().ScriptAnswers(invocation.Answers);
    invocation.Controls.ApplyTo(host);
    CurrentHostScope current(host);

    context.SetWhere(invocation.Where,
                     invocation.Repeatable ? std::optional<RunRepeat>(repeat) : std::nullopt);
    const HostBuffer region = SelectionRecord(invocation.Selection);
    if (invocation.Selection)
        host.SetSelection(*invocation.Selection);
    const auto start = std::chrono::steady_clock::now();
    const int answer =
        InvokeWatchingSettings(context, host, invocation.MenuIndex,
                               invocation.Selection ? region.Data() : nullptr, invocation.Where);
    InvocationResult result;
    result.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    host.ReportFramesStillHeld();
    result.Failure = Judge(host, invocation.Where);
    if (!result.Failure && invocation.Selection &&
        std::memcmp(region.Data(), &*invocation.Selection, region.Size()) != 0) {
        result.Failure = Failed("the module wrote into the selection record", invocation.Where);
    }
    if (!result.Failure)
        result.Failure = InvokeAnswerFailure(answer, invocation.Where);
    result.Calls = host.Log().CallCount();
    result.Boxes = host.Boxes().List().size();
    for (const BoxRecord& box : host.Boxes().List()) {
        const std::vector<int> buttons = ButtonsOf(box.Style);
        result.OfferedNo =
            result.OfferedNo || std::find(buttons.begin(), buttons.end(), kIdNo) != buttons.end();
    }
    std::optional<CheckResult> warning = Suspect(host, invocation.Where);
    for (std::optional<CheckResult>* found : {&result.Failure, &warning}) {
        if (*found && invocation.Repeatable)
            (*found)->Repeat = RepeatOf(invocation, host.GetScore(), result.Boxes);
    }
    if (warning)
        context.NoteWarning(*warning);
    return result;
}

Invocation CommandOn(const NamedScore& score, int16_t menuIndex,
                     const std::optional<RegionRecord>& selection) {
    Invocation run;
    run.Where = DescribeRun(menuIndex, score.Name, selection, score.Document);
    run.Document = &score.Document;
    run.Source = score.Source;
    run.MenuIndex = menuIndex;
    run.Selection = selection;
    return run;
}

std::string DescribeRun(int16_t menuIndex, const std::string& score,
                        const std::optional<RegionRecord>& selection, const Score& document) {
    std::string text = "menu index " + std::to_string(menuIndex) + " on " + score + ", ";
    if (!selection)
        return text + "no selection";
    const Selection whole = WholeScore(document);
    if (std::memcmp(&whole.Region, &*selection, sizeof whole.Region) == 0)
        return text + "whole score";
    Selection cut;
    cut.Region = *selection;
    return text + "selection " + FormatSelection(cut);
}

}  // namespace sim
