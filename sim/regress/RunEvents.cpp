// The host's observations in a run of regress, as events: calls, records, boxes, results.
#include "sim/regress/RunEvents.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "sim/host/Host.h"
#include "sim/module/Menu.h"
#include "sim/module/ModuleGuard.h"
#include "sim/support/JsonQuote.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

std::string YesNo(bool yes) {
    return yes ? "yes" : "no";
}

const char* OutcomeName(CallOutcome outcome) {
    switch (outcome) {
        case CallOutcome::Done:
            return "done";
        case CallOutcome::Failed:
            return "made to fail";
        case CallOutcome::Missing:
            return "missing";
    }
    return "done";
}

std::string WindowName(const HostCall& call) {
    if (call.HostWindow)
        return "host window";
    return call.Handle == nullptr ? "null window" : "another window";
}

// The record's bytes as the host holds them after the call: what a load
// copied out, what a save or a create stored.
void AddRecordBytes(Event& event, const Host& host, uint32_t tag, const Keys& keys, size_t limit) {
    event.BytesLabel = TagLabel(tag) + " record";
    if (const Bytes* record = host.GetScore().FindRecord(tag, keys)) {
        const size_t size = std::min(limit, record->size());
        event.Bytes.assign(reinterpret_cast<const char*>(record->data()), size);
    }
}

Event RecordCall(const Host& host, const HostCall& call) {
    Event event;
    event.Add("tag", TagLabel(call.Tag));
    event.Add("keys", call.HasKeys ? KeysText(call.KeysIn) : "none");
    switch (call.Function) {
        case HostFn::LoadKData:
            event.Add("buffer", YesNo(call.HasBuffer));
            event.Add("count", call.HasCount ? std::to_string(call.CountIn) : "none");
            event.Add("count out", std::to_string(call.CountOut));
            if (call.Result != 0 && call.HasBuffer)
                AddRecordBytes(event, host, call.Tag, call.KeysIn, call.CountIn);
            break;
        case HostFn::SaveKData:
        case HostFn::CreateKData:
            event.Add("keys out", KeysText(call.KeysOut));
            event.Add("buffer", YesNo(call.HasBuffer));
            event.Add("count", std::to_string(call.CountIn));
            if (call.Result != 0)
                AddRecordBytes(event, host, call.Tag,
                               call.Function == HostFn::SaveKData ? call.KeysIn : call.KeysOut,
                               call.CountIn);
            break;
        case HostFn::NextKData:
            event.Add("keys out", KeysText(call.KeysOut));
            event.Add("buffer", YesNo(call.HasBuffer));
            event.Add("count", YesNo(call.HasCount));
            break;
        default:
            break;
    }
    return event;
}

Event BoxCall(const Host& host, const HostCall& call) {
    Event event;
    event.Add("window", WindowName(call));
    const std::vector<BoxRecord>& boxes = host.Boxes().List();
    if (call.Box < boxes.size()) {
        const BoxRecord& box = boxes[call.Box];
        event.Add("caption", JsonQuote(box.CaptionUtf8()));
        event.Add("text", JsonQuote(box.TextUtf8()));
        event.Add("style", Hex(box.Style, 1));
        event.Add("shown", YesNo(box.Shown));
        event.Add("answer", AnswerName(box.Answer));
        event.Text = "MessageBoxW(" + WindowName(call) + ", " + JsonQuote(box.CaptionUtf8()) +
                     ", " + JsonQuote(box.TextUtf8()) + ", " + ButtonsName(box.Style) + ", " +
                     IconName(box.Style) + ") = " + AnswerName(box.Answer) +
                     (box.Shown ? "" : "  [made to fail]");
    }
    return event;
}

}  // namespace

Event CallEvent(const Host& host, const HostCall& call) {
    Event event;
    switch (call.Function) {
        case HostFn::LoadKData:
        case HostFn::SaveKData:
        case HostFn::CreateKData:
        case HostFn::DeleteKData:
        case HostFn::NextKData:
            event = RecordCall(host, call);
            break;
        case HostFn::GetCurKRegions:
            event.Add("areas", YesNo(call.HasBuffer));
            break;
        case HostFn::LoadTGF:
            event.Add("first", call.Handle == nullptr ? "null" : "non-null");
            event.Add("slot", std::to_string(call.Slot));
            event.Add("measure", std::to_string(call.Measure));
            event.Add("layer", std::to_string(call.Layer));
            event.Add("option", std::to_string(call.Option));
            event.Add("frame", std::to_string(call.Frame));
            break;
        case HostFn::FreeTGF:
            event.Add("frame", call.Frame != 0          ? std::to_string(call.Frame)
                               : call.Handle == nullptr ? "null"
                                                        : "unknown handle");
            break;
        case HostFn::SlotToInst:
            event.Add("slot", std::to_string(call.Slot));
            event.Add("scope", std::to_string(call.Scope));
            break;
        case HostFn::InstToSlot:
            event.Add("staff", std::to_string(call.Staff));
            event.Add("second", std::to_string(call.Second));
            break;
        case HostFn::GetShowLayer:
            event.Add("layer", std::to_string(call.Layer));
            break;
        case HostFn::MessageBoxW:
            event = BoxCall(host, call);
            break;
        case HostFn::IsWindow:
            event.Add("window", WindowName(call));
            break;
        case HostFn::GetCurrentKovrinDocument:
        case HostFn::GetMaxLayers:
            break;
    }
    event.Kind = HostFnName(call.Function);
    if (IsRecordedHostFunction(call.Function))
        event.Add("version", Hex(call.Version, 8));
    if (call.Function != HostFn::MessageBoxW) {
        event.Add("result", std::to_string(call.Result));
        event.Add("outcome", OutcomeName(call.Outcome));
        // Calls of the window functions have no number, only its room.
        event.Text = DescribeCall(call);
        event.Text.erase(0, event.Text.find_first_not_of(' '));
    }
    return event;
}

Event VersionEvent(uint32_t hostVersion, uint32_t answer) {
    Event event{"MelvaraExtensionVersion", {}, {}, {}, {}};
    event.Add("host version", Hex(hostVersion, 8)).Add("answer", Hex(answer, 8));
    event.Text = "MelvaraExtensionVersion(" + Hex(hostVersion, 8) + ") = " + Hex(answer, 8);
    return event;
}

Event InitEvent(int result, uint32_t word) {
    Event event{"MelvaraExtensionInit", {}, {}, {}, {}};
    event.Add("result", std::to_string(result)).Add("word", Hex(word, 8));
    event.Text = "MelvaraExtensionInit = " + std::to_string(result) + ", word " + Hex(word, 8);
    return event;
}

namespace {

template <typename Record, size_t Units>
Event MenuRecord(const char* kind, const char* label, int16_t index, int16_t answer,
                 const Record& record) {
    Event event{kind, {}, {}, label, {}};
    const auto field = [](const auto& text) { return JsonQuote(FieldText(text, Units)); };
    event.Add("index", std::to_string(index)).Add("answer", std::to_string(answer));
    event.Add("Title", field(record.Title))
        .Add("Description", field(record.Description))
        .Add("ShortName", field(record.ShortName))
        .Add("ItemFlag", std::to_string(record.ItemFlag));
    event.Bytes.assign(reinterpret_cast<const char*>(&record), sizeof record);
    event.Text = std::string(kind) + "(index " + std::to_string(index) +
                 ") = " + std::to_string(answer) + (answer != 0 ? ", " + field(record.Title) : "");
    return event;
}

}  // namespace

Event MenuRecordEvent(int16_t index, int16_t answer, const MenuItemRecord& record) {
    return MenuRecord<MenuItemRecord, 64>("MelvaraExtensionEnumerate", "8-bit record", index,
                                          answer, record);
}

Event MenuRecordEvent(int16_t index, int16_t answer, const MenuItemRecordW& record) {
    return MenuRecord<MenuItemRecordW, 128>("MelvaraExtensionEnumerate_UTF16", "UTF-16 record",
                                            index, answer, record);
}

Event MenuStatusEvent(int result) {
    Event event{"MelvaraExtensionGetMenuStatus", {}, {}, {}, {}};
    event.Add("result", std::to_string(result));
    event.Text = "MelvaraExtensionGetMenuStatus = " + std::to_string(result);
    return event;
}

Event InvokeEvent(int result) {
    Event event{"MelvaraExtensionInvoke", {}, {}, {}, {}};
    event.Add("result", std::to_string(result));
    event.Text = "MelvaraExtensionInvoke returned " + std::to_string(result);
    return event;
}

Event FramesEvent(const FrameCounts& counts) {
    Event event{"frames", {}, {}, {}, {}};
    event.Add("loaded", std::to_string(counts.Loaded))
        .Add("freed", std::to_string(counts.Freed))
        .Add("held", std::to_string(counts.Held))
        .Add("refused", std::to_string(counts.Refused));
    event.Text = "frames when Invoke returned: " + std::to_string(counts.Loaded) + " loaded, " +
                 std::to_string(counts.Freed) + " freed, " + std::to_string(counts.Held) + " held" +
                 (counts.Refused != 0 ? ", " + std::to_string(counts.Refused) + " refused" : "");
    return event;
}

Event SelectionWrittenEvent(const RegionRecord& region) {
    Event event{"selection record", {}, {}, "region record", {}};
    event.Add("written", "yes");
    event.Bytes.assign(reinterpret_cast<const char*>(&region), sizeof region);
    event.Text = "the module wrote into the selection record";
    return event;
}

Event HostReportEvent(const std::string& kind, const std::string& what) {
    Event event{kind, {}, {}, {}, kind + ": " + what};
    event.Add("what", what);
    return event;
}

std::string WithoutAddresses(const std::string& cause) {
    const size_t open = cause.find('(');
    if (open == std::string::npos)
        return cause;
    std::string plain = cause.substr(0, open);
    for (size_t i = open; i < cause.size();) {
        // A null address is "(nil)" in the C library's words.
        if (cause.compare(i, 9, " at (nil)") == 0) {
            i += 9;
            continue;
        }
        const bool address = cause.compare(i, 3, " 0x") == 0;
        const bool at = cause.compare(i, 6, " at 0x") == 0;
        if (!address && !at) {
            plain += cause[i++];
            continue;
        }
        i += at ? 6 : 3;
        while (i < cause.size() && std::isxdigit(static_cast<unsigned char>(cause[i])))
            ++i;
    }
    return plain;
}

Event FaultEvent(const ModuleFault& fault) {
    const char* what = fault.What == ModuleFault::Kind::Crashed    ? "crashed"
                       : fault.What == ModuleFault::Kind::TimedOut ? "did not return"
                                                                   : "ran out of memory";
    const std::string cause = WithoutAddresses(fault.Cause);
    Event event{"fault", {}, {}, {}, {}};
    event.Add("export", fault.Export).Add("what", what).Add("cause", cause);
    if (fault.LastCall.Running)
        event.Add("inside", HostFnName(fault.LastCall.RunningFunction));
    event.Text =
        fault.Export + (fault.What == ModuleFault::Kind::Crashed ? " crashed: " : " ") + cause;
    return event;
}

Event LoadFailedEvent(const std::string& error, const std::string& modulePath) {
    std::string plain = error;
    for (size_t at; !modulePath.empty() && (at = plain.find(modulePath)) != std::string::npos;)
        plain.replace(at, modulePath.size(), "the module");
    Event event{"loading", {}, {}, {}, "the module does not load: " + plain};
    event.Add("error", plain);
    return event;
}

Event NotInMenuEvent(const std::string& title, uint32_t hostVersion) {
    Event event{"command", {}, {}, {}, {}};
    event.Add("in the menu", "no");
    event.Text = "the command " + JsonQuote(title) + " is not in the menu at host version " +
                 Hex(hostVersion, 8);
    return event;
}

}  // namespace sim
