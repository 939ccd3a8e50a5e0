// The host functions' names, and one call described on one line.
#include "sim/host/HostCall.h"

#include "sim/support/Text.h"

namespace sim {
namespace {

constexpr const char* kNames[kHostFnCount] = {
#define HOST_FN_NAME(Name) "MX_" #Name,
    MELVARA_HOST_FUNCTIONS(HOST_FN_NAME)
#undef HOST_FN_NAME
    "MessageBoxW",
    "IsWindow",
};

std::string FrameText(uint64_t frame) {
    return frame == 0 ? "no frame" : "frame " + std::to_string(frame);
}

std::string WindowText(const HostCall& call) {
    if (call.HostWindow)
        return "host window";
    return call.Handle == nullptr ? "null window" : "unknown window";
}

}  // namespace

const char* HostFnName(HostFn fn) {
    return kNames[static_cast<size_t>(fn)];
}

std::optional<HostFn> HostFnByName(std::string_view name) {
    for (size_t i = 0; i < kHostFnCount; ++i) {
        if (name == kNames[i])
            return static_cast<HostFn>(i);
    }
    return std::nullopt;
}

std::string DescribeCall(const HostCall& call) {
    std::string args;
    const std::string keys = call.HasKeys ? KeysText(call.KeysIn) : "no keys";
    const std::string keysOut =
        call.HasKeys && call.KeysOut != call.KeysIn ? " -> " + KeysText(call.KeysOut) : "";
    switch (call.Function) {
        case HostFn::LoadKData:
            args = TagLabel(call.Tag) + ", " + keys + ", " +
                   (call.HasBuffer ? "buffer" : "no buffer") + ", " +
                   (call.HasCount ? "count " + std::to_string(call.CountIn) + " -> " +
                                        std::to_string(call.CountOut)
                                  : std::string("no count"));
            break;
        case HostFn::SaveKData:
        case HostFn::CreateKData:
            args = TagLabel(call.Tag) + ", " + keys + keysOut + ", " +
                   (call.HasBuffer ? "buffer" : "no buffer") + ", count " +
                   std::to_string(call.CountIn);
            break;
        case HostFn::DeleteKData:
            args = TagLabel(call.Tag) + ", " + keys;
            break;
        case HostFn::NextKData:
            args = TagLabel(call.Tag) + ", " + keys + keysOut + ", " +
                   (call.HasBuffer ? "buffer" : "no buffer") + ", " +
                   (call.HasCount ? "count" : "no count");
            break;
        case HostFn::GetCurrentKovrinDocument:
        case HostFn::GetMaxLayers:
            break;
        case HostFn::GetCurKRegions:
            args = call.HasBuffer ? "areas" : "missing areas";
            break;
        case HostFn::LoadTGF:
            args = std::string(call.Handle == nullptr ? "null" : "non-null") + ", slot " +
                   std::to_string(call.Slot) + ", measure " + std::to_string(call.Measure) +
                   ", layer " + std::to_string(call.Layer) + ", option " +
                   std::to_string(call.Option);
            break;
        case HostFn::FreeTGF:
            args = call.Frame != 0 ? FrameText(call.Frame)
                                   : (call.Handle == nullptr ? "null" : "unknown handle");
            break;
        case HostFn::SlotToInst:
            args = "slot " + std::to_string(call.Slot) + ", scope " + std::to_string(call.Scope);
            break;
        case HostFn::InstToSlot:
            args = "staff " + std::to_string(call.Staff) + ", " + std::to_string(call.Second);
            break;
        case HostFn::GetShowLayer:
            args = "layer " + std::to_string(call.Layer);
            break;
        case HostFn::MessageBoxW:
            args = WindowText(call) + ", \"" + call.Caption + "\", ...";
            break;
        case HostFn::IsWindow:
            args = WindowText(call);
            break;
    }
    std::string text = call.Number != 0 ? "#" + std::to_string(call.Number) + " " : "   ";
    text += HostFnName(call.Function);
    text += "(" + args;
    if (IsRecordedHostFunction(call.Function)) {
        text += (args.empty() ? "" : ", ") + Hex(call.Version, 8);
    }
    text += ")";
    if (call.Function == HostFn::LoadTGF) {
        text += " = " + FrameText(call.Frame);
        if (call.Frame != 0)
            text += " (staff " + std::to_string(call.Staff) + ")";
    } else if (call.Function != HostFn::FreeTGF) {
        text += " = " + std::to_string(call.Result);
    }
    if (call.Outcome == CallOutcome::Failed)
        text += "  [made to fail]";
    if (call.Outcome == CallOutcome::Missing)
        text += "  [missing function]";
    return text;
}

}  // namespace sim
