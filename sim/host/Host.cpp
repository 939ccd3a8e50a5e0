#include "sim/host/Host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/score/Text.h"

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

std::u16string Utf16(const char16_t* text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

}  // namespace

Host::Host(Score score) : Document(std::move(score)), CurrentDocument(Document.Document) {}

// --- Controls -------------------------------------------------------------

void Host::SetFunctionMode(HostFn fn, FunctionMode mode) {
    Modes[static_cast<size_t>(fn)] = mode;
}

FunctionMode Host::GetFunctionMode(HostFn fn) const {
    return Modes[static_cast<size_t>(fn)];
}

void Host::FailLoad(uint32_t tag, std::optional<Keys> keys) {
    if (keys) {
        LoadFailures.insert(RecordKey{tag, *keys});
    } else {
        LoadFailureTags.insert(tag);
    }
}

void Host::FailSave(uint32_t tag, std::optional<Keys> keys) {
    if (keys) {
        SaveFailures.insert(RecordKey{tag, *keys});
    } else {
        SaveFailureTags.insert(tag);
    }
}

void Host::FailCall(uint64_t number) {
    FailingCalls.insert(number);
}

void Host::SetCurrentDocument(int16_t document) {
    CurrentDocument = document;
}

void Host::SetAnswer(HostFn fn, int16_t value) {
    FixedAnswers[static_cast<size_t>(fn)] = value;
}

int64_t Host::Answer(HostFn fn, int64_t own) const {
    const std::optional<int16_t>& fixed = FixedAnswers[static_cast<size_t>(fn)];
    return fixed ? *fixed : own;
}

void Host::ScriptAnswers(std::vector<int> answers) {
    Answers.assign(answers.begin(), answers.end());
}

namespace {

// Whether one of the failures set for a record or its tag applies, noting
// each that does as fired.
bool Matches(const std::set<RecordKey>& records, const std::set<uint32_t>& tags,
             const RecordKey& key, std::set<RecordKey>& firedRecords,
             std::set<uint32_t>& firedTags) {
    bool fails = false;
    if (tags.count(key.Tag) != 0) {
        firedTags.insert(key.Tag);
        fails = true;
    }
    if (records.count(key) != 0) {
        firedRecords.insert(key);
        fails = true;
    }
    return fails;
}

bool Fired(const std::set<RecordKey>& firedRecords, const std::set<uint32_t>& firedTags,
           uint32_t tag, const std::optional<Keys>& keys) {
    return keys ? firedRecords.count(RecordKey{tag, *keys}) != 0 : firedTags.count(tag) != 0;
}

}  // namespace

bool Host::LoadFails(uint32_t tag, const Keys& keys) {
    return Matches(LoadFailures, LoadFailureTags, RecordKey{tag, keys}, FiredLoadFailures,
                   FiredLoadFailureTags);
}

bool Host::SaveFails(uint32_t tag, const Keys& keys) {
    return Matches(SaveFailures, SaveFailureTags, RecordKey{tag, keys}, FiredSaveFailures,
                   FiredSaveFailureTags);
}

bool Host::LoadFailureFired(uint32_t tag, const std::optional<Keys>& keys) const {
    return Fired(FiredLoadFailures, FiredLoadFailureTags, tag, keys);
}

bool Host::SaveFailureFired(uint32_t tag, const std::optional<Keys>& keys) const {
    return Fired(FiredSaveFailures, FiredSaveFailureTags, tag, keys);
}

Bytes* Host::FindRecord(uint32_t tag, const Keys& keys) {
    return Index ? Index->FindRecord(tag, keys) : Document.FindRecord(tag, keys);
}

const Staff* Host::FindStaffBySlot(int16_t slot) const {
    return Index ? Index->FindStaffBySlot(slot) : Document.FindStaffBySlot(slot);
}

const Staff* Host::FindStaff(int16_t number) const {
    return Index ? Index->FindStaff(number) : Document.FindStaff(number);
}

const std::vector<Entry>& Host::EntriesOf(const CellKey& cell) const {
    return Index ? Index->EntriesOf(cell) : Document.EntriesOf(cell);
}

// --- Observation -------------------------------------------------------------

std::vector<std::string> Host::Warnings() const {
    std::vector<std::string> warnings;
    for (const Warning& warning : WarningList) {
        warnings.push_back(warning.Times == 1
                               ? warning.Text
                               : warning.Text + " (" + std::to_string(warning.Times) + " times)");
    }
    if (WarningsBeyondList != 0) {
        warnings.push_back("and " + std::to_string(WarningsBeyondList) +
                           " more warnings, not listed (only the first " +
                           std::to_string(kWarningLimit) + " kinds are)");
    }
    for (const std::string& frame : FrameMemory.Overwritten()) {
        warnings.push_back("the module wrote into " + frame);
    }
    return warnings;
}

std::vector<ContractBreach> Host::Breaches() const {
    std::vector<ContractBreach> breaches;
    for (const Warning& warning : WarningList) {
        if (warning.Breach)
            breaches.push_back({warning.Text, warning.Call});
    }
    if (FirstBreachBeyondList)
        breaches.push_back(*FirstBreachBeyondList);
    for (const std::string& frame : FrameMemory.Overwritten())
        breaches.push_back({"the module wrote into " + frame, 0});
    return breaches;
}

LastHostCall Host::LastCall() const {
    LastHostCall last;
    last.Running = CallRunning.load(std::memory_order_acquire);
    last.RunningFunction = RunningFunction;
    last.RunningNumber = RunningNumber;
    const int slot = LastCallSlot.load(std::memory_order_acquire);
    if (slot >= 0)
        last.Returned = LastCalls[static_cast<size_t>(slot)];
    return last;
}

void Host::KeepLastCall(const HostCall& call) {
    // Written into the copy not being read, then made the one to read: a
    // signal or a stopped thread never finds it half written.
    const int slot = LastCallSlot.load(std::memory_order_relaxed) == 0 ? 1 : 0;
    LastCalls[static_cast<size_t>(slot)] = call;
    LastCallSlot.store(slot, std::memory_order_release);
    CallRunning.store(false, std::memory_order_release);
}

void Host::NoteFault(HostFn fn, const char* what) noexcept {
    if (FirstFault)
        return;
    HostFault& fault = FirstFault.emplace();
    fault.Function = fn;
    fault.Call = NumberedCalls;
    fault.OutOfMemory = what == nullptr;
    if (what != nullptr)
        std::snprintf(fault.What, sizeof fault.What, "%s", what);
}

std::string HostFault::Describe() const {
    std::string text = OutOfMemory ? std::string("out of memory in ") + HostFnName(Function)
                                   : std::string(HostFnName(Function)) + " failed inside the host";
    if (Call != 0) {
        text += (IsRecordedHostFunction(Function) ? " (call #" : " (after call #") +
                std::to_string(Call) + ")";
    }
    if (!OutOfMemory)
        text += std::string(": ") + What;
    return text + "; the module was given the call's failure value, so its results are not to be trusted";
}

size_t Host::SavedCount(uint32_t tag) const {
    auto found = Saved.find(tag);
    return found == Saved.end() ? 0 : found->second;
}

size_t Host::SavedCount() const {
    size_t total = 0;
    for (const auto& [tag, count] : Saved)
        total += count;
    return total;
}

void Host::Warn(const std::string& warning, bool breach, uint64_t call) {
    for (Warning& known : WarningList) {
        if (known.Text == warning) {
            ++known.Times;
            return;
        }
    }
    if (WarningList.size() < kWarningLimit) {
        WarningList.push_back({warning, 1, breach, call});
    } else {
        ++WarningsBeyondList;
        if (breach && !FirstBreachBeyondList)
            FirstBreachBeyondList = ContractBreach{warning, call};
    }
}

// --- Call bookkeeping -------------------------------------------------------

bool Host::Begin(HostCall& call, uint32_t version) {
    call.Version = version;
    ++PerFunction[static_cast<size_t>(call.Function)];
    if (IsRecordedHostFunction(call.Function))
        call.Number = ++NumberedCalls;
    RunningFunction = call.Function;
    RunningNumber = call.Number;
    CallRunning.store(true, std::memory_order_release);
    bool proceed = true;
    if (IsRecordedHostFunction(call.Function)) {
        if (version != kCallVersion) {
            Warn(std::string(HostFnName(call.Function)) + " called with version argument " +
                 Hex32(version) + " instead of 0x19000000",
                 true, call.Number);
        }
        if (FailingCalls.count(call.Number) != 0) {
            call.Outcome = CallOutcome::Failed;
            proceed = false;
        }
    }
    switch (Modes[static_cast<size_t>(call.Function)]) {
        case FunctionMode::Normal:
            break;
        case FunctionMode::Missing:
            Warn(std::string("the module called ") + HostFnName(call.Function) +
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

void Host::Finish(HostCall& call) {
    KeepLastCall(call);
    if (OnCall)
        OnCall(call);
    if (!RecordCalls)
        return;
    if (CallLog.size() < CallLogLimit)
        CallLog.push_back(std::move(call));
    else
        ++CallsBeyondLog;
}

int16_t Host::FinishWithResult(HostCall& call) {
    const auto result = static_cast<int16_t>(call.Result);
    Finish(call);
    return result;
}

// --- Records ------------------------------------------------------------------

void Host::CheckSave(const HostCall& call) {
    const auto state = LoadStates.find(RecordKey{call.Tag, call.KeysIn});
    if (state == LoadStates.end())
        return;
    const LoadState& load = state->second;
    if (load.Failed) {
        Warn("MX_SaveKData of a record whose last load failed", true, call.Number);
    } else if (load.Loaded && call.CountIn > load.Bytes) {
        Warn("MX_SaveKData of more bytes than the record's last load gave", true, call.Number);
    } else if (load.Loaded && load.Document != CurrentDocument) {
        Warn("MX_SaveKData of a record loaded while another document was current", true,
             call.Number);
    }
}

int16_t Host::LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                        uint32_t version) {
    HostCall call = KeyedCall(HostFn::LoadKData, tag, keys);
    call.HasBuffer = buffer != nullptr;
    call.HasCount = count != nullptr;
    if (count != nullptr)
        call.CountIn = *count;
    if (Begin(call, version)) {
        if (keys == nullptr || count == nullptr) {
            Warn("MX_LoadKData called without a key block or a count", true, call.Number);
        } else if (LoadFails(tag, call.KeysIn)) {
            if (FindRecord(tag, call.KeysIn) != nullptr)
                LoadStates[RecordKey{tag, call.KeysIn}].Failed = true;
        } else if (const Bytes* record = FindRecord(tag, call.KeysIn)) {
            if (buffer != nullptr) {
                const size_t copied = std::min<size_t>(*count, record->size());
                if (copied > 0)
                    std::memcpy(buffer, record->data(), copied);
                const RecordKey key{tag, call.KeysIn};
                LoadState& state = LoadStates[key];
                if (!state.Loaded)
                    Loaded.push_back(key);
                state = {true, false, static_cast<uint32_t>(copied), CurrentDocument};
            }
            *count = static_cast<uint32_t>(record->size());
            call.Result = 1;
        }
    } else if (keys != nullptr && FindRecord(tag, call.KeysIn) != nullptr) {
        LoadStates[RecordKey{tag, call.KeysIn}].Failed = true;
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
        CheckSave(call);
    if (proceed && keys != nullptr && (buffer != nullptr || count == 0) &&
        !SaveFails(tag, call.KeysIn)) {
        if (Bytes* record = FindRecord(tag, call.KeysIn)) {
            const auto* bytes = static_cast<const uint8_t*>(buffer);
            record->assign(bytes, bytes + count);
            ++Saved[tag];
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
            ++Created;
            if (!CreateLeavesIndexUnset)
                call.KeysOut = target;
            else if (call.KeysIn[2] == 0xFFFF)
                ++IndexesLeftUnset;
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
        ++Deleted;
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
            Warn("MX_NextKData called with a buffer or a count; the host takes neither", true,
                 call.Number);
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
        const Staff* staff = FindStaffBySlot(slot);
        if (staff != nullptr && measure >= 1 && measure <= Document.Measures && layer >= 0 &&
            layer < Document.LayerCount) {
            call.Staff = staff->Number;
            frame = FrameMemory.Create(*staff, measure, layer,
                                       EntriesOf(CellKey{measure, staff->Number, layer}));
            call.Frame = FrameMemory.IdOf(frame);
            call.Result = 1;
        }
    }
    Finish(call);
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
    Finish(call);
}

int16_t Host::SlotToInst(int16_t slot, uint16_t scope, uint32_t version) {
    HostCall call;
    call.Function = HostFn::SlotToInst;
    call.Slot = slot;
    call.Scope = scope;
    if (Begin(call, version)) {
        if (const Staff* staff = FindStaffBySlot(slot)) {
            if (staff->Scope == scope) {
                call.Result = staff->Number;
            } else {
                Warn("MX_SlotToInst asked for slot " + std::to_string(slot) + " with scope " +
                     std::to_string(scope) + "; its staff has scope " +
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
            Warn("MX_InstToSlot called with a second argument of " + std::to_string(zero) +
                     " instead of 0",
                 true, call.Number);
        }
        const Staff* found = FindStaff(staff);
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
    box.AfterCall = NumberedCalls;
    box.Window = window;
    box.HostWindow = call.HostWindow;
    box.Text = Utf16(text);
    box.Caption = Utf16(caption);
    box.Style = style;
    call.Caption = box.CaptionUtf8();
    if (Begin(call, kCallVersion)) {
        if (!box.HostWindow) {
            // No owner is allowed; a window the host never gave is not.
            Warn(std::string("a message box was shown over ") +
                     (window == nullptr ? "no window" : "a window the host did not give"),
                 window != nullptr);
        }
        const std::vector<int> buttons = ButtonsOf(style);
        if (!Answers.empty() &&
            std::find(buttons.begin(), buttons.end(), Answers.front()) != buttons.end()) {
            box.Answer = Answers.front();
            box.Scripted = true;
            Answers.pop_front();
        } else {
            box.Answer = DefaultAnswer(style);
        }
    } else {
        box.Shown = false;
        box.Answer = 0;
    }
    call.Result = box.Answer;
    call.Box = BoxLog.size();
    BoxLog.push_back(box);
    if (OnBox)
        OnBox(BoxLog.back());
    Finish(call);
    return box.Answer;
}

int Host::IsWindowHandle(void* window) {
    HostCall call;
    call.Function = HostFn::IsWindow;
    call.Handle = window;
    call.HostWindow = window == Window();
    if (Begin(call, kCallVersion))
        call.Result = call.HostWindow ? 1 : 0;
    Finish(call);
    return static_cast<int>(call.Result);
}

}  // namespace sim
