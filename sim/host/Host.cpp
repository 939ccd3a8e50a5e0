// The host functions over a score, each call begun and finished through the host's parts.
#include "sim/host/Host.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "sim/support/Text.h"

namespace sim {
namespace {

Keys ReadKeys(const uint16_t* keys) {
    Keys words{};
    if (keys != nullptr)
        std::memcpy(words.data(), keys, sizeof words);
    return words;
}

// The call record of a host function that takes a tag and a key block.
HostCall KeyedCall(HostFn function, uint32_t tag, const uint16_t* keys) {
    HostCall call;
    call.Function = function;
    call.Tag = tag;
    call.HasKeys = keys != nullptr;
    call.KeysIn = call.KeysOut = ReadKeys(keys);
    return call;
}

void WriteKeys(uint16_t* keys, const Keys& words) {
    std::memcpy(keys, words.data(), sizeof words);
}

// The score's lookups, through the index when there is one.
Bytes* FindRecord(Score& score, ScoreIndex* index, uint32_t tag, const Keys& keys) {
    return index != nullptr ? index->FindRecord(tag, keys) : score.FindRecord(tag, keys);
}

const Staff* FindStaffBySlot(const Score& score, const ScoreIndex* index, int16_t slot) {
    return index != nullptr ? index->FindStaffBySlot(slot) : score.FindStaffBySlot(slot);
}

const Staff* FindStaff(const Score& score, const ScoreIndex* index, int16_t number) {
    return index != nullptr ? index->FindStaff(number) : score.FindStaff(number);
}

const std::vector<Entry>& EntriesOf(const Score& score, const ScoreIndex* index,
                                    const CellKey& cell) {
    return index != nullptr ? index->EntriesOf(cell) : score.EntriesOf(cell);
}

}  // namespace

Host::Host(Score score) : Document(std::move(score)), CurrentDocument(Document.Document) {}

int64_t Host::Answer(HostFn fn, int64_t own) const {
    const std::optional<int16_t>& fixed = FixedAnswers[static_cast<size_t>(fn)];
    return fixed ? *fixed : own;
}

void Host::ReportFramesStillHeld() {
    if (Rules.GetFunctionMode(HostFn::FreeTGF) != FunctionMode::Missing)
        FrameMemory.ReportStillHeld();
}

// --- Call bookkeeping -------------------------------------------------------

bool Host::Begin(HostCall& call, uint32_t version) {
    call.Version = version;
    Calls.Begin(call);
    bool proceed = true;
    if (IsRecordedHostFunction(call.Function)) {
        if (version != kCallVersion) {
            Contract.Warn(std::string(HostFnName(call.Function)) +
                              " called with version argument " + Hex(version, 8) +
                              " instead of 0x19000000",
                          true, call.Number);
        }
        if (Rules.CallFails(call.Number)) {
            call.Outcome = CallOutcome::Failed;
            proceed = false;
        }
    }
    switch (Rules.GetFunctionMode(call.Function)) {
        case FunctionMode::Normal:
            break;
        case FunctionMode::Missing:
            Contract.Warn(std::string("the module called ") + HostFnName(call.Function) +
                              ", which the host does not export",
                          true, call.Number);
            call.Outcome = CallOutcome::Missing;
            proceed = false;
            break;
        case FunctionMode::Failing:
            call.Outcome = CallOutcome::Failed;
            proceed = false;
            break;
    }
    return proceed;
}

int16_t Host::FinishWithResult(HostCall& call) {
    const auto result = static_cast<int16_t>(call.Result);
    Calls.Finish(call);
    return result;
}

// --- Records ------------------------------------------------------------------

int16_t Host::LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                        uint32_t version) {
    HostCall call = KeyedCall(HostFn::LoadKData, tag, keys);
    call.HasBuffer = buffer != nullptr;
    call.HasCount = count != nullptr;
    if (count != nullptr)
        call.CountIn = *count;
    if (Begin(call, version)) {
        if (keys == nullptr || count == nullptr) {
            Contract.Warn("MX_LoadKData called without a key block or a count", true, call.Number);
        } else if (Rules.RecordFails(HostFn::LoadKData, tag, call.KeysIn)) {
            if (FindRecord(Document, Index.get(), tag, call.KeysIn) != nullptr)
                Contract.NoteLoadFailed(RecordKey{tag, call.KeysIn});
        } else if (const Bytes* record = FindRecord(Document, Index.get(), tag, call.KeysIn)) {
            const auto size = static_cast<uint32_t>(record->size());
            if (buffer != nullptr) {
                const size_t copied = std::min<size_t>(*count, record->size());
                if (copied > 0)
                    std::memcpy(buffer, record->data(), copied);
                Contract.NoteLoad(RecordKey{tag, call.KeysIn}, static_cast<uint32_t>(copied), size,
                                  CurrentDocument);
            } else {
                Contract.NoteSizeAsked(RecordKey{tag, call.KeysIn}, size);
            }
            *count = size;
            call.Result = 1;
        }
    } else if (keys != nullptr && FindRecord(Document, Index.get(), tag, call.KeysIn) != nullptr) {
        Contract.NoteLoadFailed(RecordKey{tag, call.KeysIn});
    }
    if (count != nullptr)
        call.CountOut = *count;
    return FinishWithResult(call);
}

int16_t Host::SaveKData(uint32_t tag, uint16_t* keys, const void* buffer, uint32_t count,
                        uint32_t version) {
    HostCall call = KeyedCall(HostFn::SaveKData, tag, keys);
    call.HasBuffer = buffer != nullptr;
    call.CountIn = count;
    const bool proceed = Begin(call, version);
    if (keys != nullptr)
        Contract.CheckSave(call, CurrentDocument);
    if (proceed && keys != nullptr && (buffer != nullptr || count == 0) &&
        !Rules.RecordFails(HostFn::SaveKData, tag, call.KeysIn)) {
        if (Bytes* record = FindRecord(Document, Index.get(), tag, call.KeysIn)) {
            Contract.NoteSaved(call, static_cast<uint32_t>(record->size()));
            const auto* bytes = static_cast<const uint8_t*>(buffer);
            record->assign(bytes, bytes + count);
            call.Result = 1;
        }
    }
    return FinishWithResult(call);
}

int16_t Host::CreateKData(uint32_t tag, uint16_t* keys, const void* buffer, uint32_t count,
                          uint32_t version) {
    HostCall call = KeyedCall(HostFn::CreateKData, tag, keys);
    call.HasBuffer = buffer != nullptr;
    call.CountIn = count;
    if (Begin(call, version) && keys != nullptr && (buffer != nullptr || count == 0)) {
        Keys target = call.KeysIn;
        bool free = true;
        if (target[2] == 0xFFFF) {
            // The next index after the highest one under the same tag and
            // first two key words.
            int next = 0;
            for (auto it =
                     Document.Records.lower_bound(RecordKey{tag, {target[0], target[1], 0, 0}});
                 it != Document.Records.end() && it->first.Tag == tag &&
                 it->first.Words[0] == target[0] && it->first.Words[1] == target[1];
                 ++it) {
                next = std::max(next, it->first.Words[2] + 1);
            }
            free = next < 0xFFFF;
            target[2] = static_cast<uint16_t>(next);
        }
        if (free && Document.FindRecord(tag, target) == nullptr) {
            const auto* bytes = static_cast<const uint8_t*>(buffer);
            Document.SetRecord(tag, target, Bytes(bytes, bytes + count));
            if (Index)
                Index->AddRecord(tag, target);
            if (!CreateLeavesIndexUnset)
                call.KeysOut = target;
            WriteKeys(keys, call.KeysOut);
            call.Result = 1;
        }
    }
    return FinishWithResult(call);
}

int16_t Host::DeleteKData(uint32_t tag, uint16_t* keys, uint32_t version) {
    HostCall call = KeyedCall(HostFn::DeleteKData, tag, keys);
    if (Begin(call, version) && keys != nullptr && Document.RemoveRecord(tag, call.KeysIn)) {
        if (Index)
            Index->RemoveRecord(tag, call.KeysIn);
        call.Result = 1;
    }
    return FinishWithResult(call);
}

int16_t Host::NextKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                        uint32_t version) {
    HostCall call = KeyedCall(HostFn::NextKData, tag, keys);
    call.HasBuffer = buffer != nullptr;
    call.HasCount = count != nullptr;
    if (Begin(call, version) && keys != nullptr) {
        if (buffer != nullptr || count != nullptr) {
            Contract.Warn("MX_NextKData called with a buffer or a count; the host takes neither",
                          true, call.Number);
        }
        auto next = Document.Records.upper_bound(RecordKey{tag, call.KeysIn});
        if (next != Document.Records.end() && next->first.Tag == tag) {
            call.KeysOut = next->first.Words;
            WriteKeys(keys, call.KeysOut);
            call.Result = 1;
        }
    }
    return FinishWithResult(call);
}

// --- Document and region -------------------------------------------------------

int16_t Host::GetCurrentKovrinDocument(uint32_t version) {
    HostCall call;
    call.Function = HostFn::GetCurrentKovrinDocument;
    if (Begin(call, version))
        call.Result = Answer(HostFn::GetCurrentKovrinDocument, CurrentDocument);
    return FinishWithResult(call);
}

int16_t Host::GetCurKRegions(void* area8, void* area24a, void* area24b, uint32_t version) {
    HostCall call;
    call.Function = HostFn::GetCurKRegions;
    call.HasBuffer = area8 != nullptr && area24a != nullptr && area24b != nullptr;
    if (Begin(call, version)) {
        if (area8 != nullptr)
            std::memset(area8, 0, 8);
        if (area24a != nullptr)
            std::memset(area24a, 0, 24);
        if (area24b != nullptr) {
            std::memset(area24b, 0, 24);
            std::memcpy(area24b, &Selection, sizeof Selection);
        }
        call.Result = 1;
    }
    return FinishWithResult(call);
}

// --- Frames, slots and layers ---------------------------------------------------

void* Host::LoadTGF(void* none, int16_t slot, int16_t measure, int16_t layer, int16_t option,
                    uint32_t version) {
    HostCall call;
    call.Function = HostFn::LoadTGF;
    call.Handle = none;
    call.Slot = slot;
    call.Measure = measure;
    call.Layer = layer;
    call.Option = option;
    void* frame = nullptr;
    if (Begin(call, version)) {
        const Staff* staff = FindStaffBySlot(Document, Index.get(), slot);
        if (staff != nullptr && measure >= 1 && measure <= Document.Measures && layer >= 0 &&
            layer < Document.LayerCount) {
            call.Staff = staff->Number;
            frame = FrameMemory.Create(
                *staff, measure, layer,
                EntriesOf(Document, Index.get(), CellKey{measure, staff->Number, layer}));
            call.Frame = FrameMemory.IdOf(frame);
            call.Result = 1;
        }
    }
    Calls.Finish(call);
    return frame;
}

void Host::FreeTGF(void* frame, uint32_t version) {
    HostCall call;
    call.Function = HostFn::FreeTGF;
    call.Handle = frame;
    call.Frame = FrameMemory.IdOf(frame);
    if (Begin(call, version)) {
        FrameMemory.Release(frame, call.Number);
    } else {
        FrameMemory.Refuse(frame);
    }
    Calls.Finish(call);
}

int16_t Host::SlotToInst(int16_t slot, uint16_t scope, uint32_t version) {
    HostCall call;
    call.Function = HostFn::SlotToInst;
    call.Slot = slot;
    call.Scope = scope;
    if (Begin(call, version)) {
        if (const Staff* staff = FindStaffBySlot(Document, Index.get(), slot)) {
            if (staff->Scope == scope) {
                call.Result = staff->Number;
            } else {
                Contract.Warn("MX_SlotToInst asked for slot " + std::to_string(slot) +
                              " with scope " + std::to_string(scope) + "; its staff has scope " +
                              std::to_string(staff->Scope));
            }
        }
        call.Result = Answer(HostFn::SlotToInst, call.Result);
    }
    return FinishWithResult(call);
}

int16_t Host::InstToSlot(int16_t staff, int16_t zero, uint32_t version) {
    HostCall call;
    call.Function = HostFn::InstToSlot;
    call.Staff = staff;
    call.Second = zero;
    if (Begin(call, version)) {
        if (zero != 0) {
            Contract.Warn("MX_InstToSlot called with a second argument of " + std::to_string(zero) +
                              " instead of 0",
                          true, call.Number);
        }
        const Staff* found = FindStaff(Document, Index.get(), staff);
        call.Result = Answer(HostFn::InstToSlot, found != nullptr ? found->Slot : 0);
    }
    return FinishWithResult(call);
}

int16_t Host::GetShowLayer(int16_t layer, uint32_t version) {
    HostCall call;
    call.Function = HostFn::GetShowLayer;
    call.Layer = layer;
    if (Begin(call, version))
        call.Result = Answer(HostFn::GetShowLayer, Document.IsLayerShown(layer) ? 1 : 0);
    return FinishWithResult(call);
}

int16_t Host::GetMaxLayers(uint32_t version) {
    HostCall call;
    call.Function = HostFn::GetMaxLayers;
    if (Begin(call, version))
        call.Result = Answer(HostFn::GetMaxLayers, Document.LayerCount);
    return FinishWithResult(call);
}

// --- Windows ------------------------------------------------------------------

int Host::ShowMessageBox(void* window, const char16_t* text, const char16_t* caption,
                         unsigned style) {
    HostCall call;
    call.Function = HostFn::MessageBoxW;
    call.Handle = window;
    call.HostWindow = window == Window();
    BoxRecord box;
    box.AfterCall = Calls.CallCount();
    box.Window = window;
    box.HostWindow = call.HostWindow;
    const ModuleText textRead = ReadModuleText(text);
    const ModuleText captionRead = ReadModuleText(caption);
    box.Text = textRead.Text;
    box.Caption = captionRead.Text;
    box.Style = style;
    call.Caption = box.CaptionUtf8();
    if (Begin(call, kCallVersion)) {
        // A host reads a text up to its zero unit: one without shows
        // whatever follows it in memory.
        const std::pair<const ModuleText*, const char*> texts[] = {{&textRead, "text"},
                                                                   {&captionRead, "caption"}};
        for (const auto& [read, what] : texts) {
            if (const auto problem = TerminatorProblem(*read, what))
                Contract.Warn(*problem, true);
        }
        if (!box.HostWindow) {
            // No owner is allowed; a window the host never gave is not.
            Contract.Warn(std::string("a message box was shown over ") +
                              (window == nullptr ? "no window" : "a window the host did not give"),
                          window != nullptr);
        }
        if (const auto suspect = OneCharacterTexts(box))
            Contract.Warn(*suspect);
        BoxAnswers.Answer(box);
    } else {
        box.Shown = false;
        box.Answer = 0;
    }
    call.Result = box.Answer;
    call.Box = BoxAnswers.Keep(std::move(box));
    Calls.Finish(call);
    return static_cast<int>(call.Result);
}

int Host::IsWindowHandle(void* window) {
    HostCall call;
    call.Function = HostFn::IsWindow;
    call.Handle = window;
    call.HostWindow = window == Window();
    if (Begin(call, kCallVersion))
        call.Result = call.HostWindow ? 1 : 0;
    Calls.Finish(call);
    return static_cast<int>(call.Result);
}

}  // namespace sim
