// The controls applied to a score and a host, and given back as run's options.
#include "sim/host/HostControls.h"

#include "sim/host/Host.h"

namespace sim {
namespace {

constexpr uint8_t kAddedByte = 0x5A;
constexpr int16_t kHighestSlot = 32767;

// Layers from kFirstCopiedLayer up to count hold copies of layer 0's entries.
void CopyFirstLayer(Score& score, int16_t count) {
    std::vector<std::pair<CellKey, Entry>> copies;
    for (const auto& [cell, entries] : score.Cells) {
        if (cell.Layer != 0)
            continue;
        for (int16_t layer = kFirstCopiedLayer; layer < count; ++layer) {
            for (const Entry& entry : entries) {
                Entry copy = entry;
                copy.Number = 0;
                copies.push_back({CellKey{cell.Measure, cell.Staff, layer}, copy});
            }
        }
    }
    for (auto& [cell, entry] : copies)
        score.AddEntry(cell, entry);
}

}  // namespace

std::string RecordResize::Text() const {
    switch (How) {
        case Kind::Half:
            return "half";
        case Kind::Longer:
            return "+" + std::to_string(Bytes);
        case Kind::Exactly:
            break;
    }
    return std::to_string(Bytes);
}

bool TakesFixedAnswer(HostFn fn) {
    return fn == HostFn::GetMaxLayers || fn == HostFn::GetShowLayer || fn == HostFn::SlotToInst ||
           fn == HostFn::InstToSlot || fn == HostFn::GetCurrentKovrinDocument;
}

void HostControls::ApplyTo(Score& score) const {
    if (RecordSizes) {
        for (auto& [key, bytes] : score.Records) {
            const size_t size = RecordSizes->How == RecordResize::Kind::Half ? bytes.size() / 2
                                : RecordSizes->How == RecordResize::Kind::Longer
                                    ? bytes.size() + RecordSizes->Bytes
                                    : RecordSizes->Bytes;
            bytes.resize(size, kAddedByte);
        }
    }
    if (Layers) {
        score.LayerCount = *Layers;
        CopyFirstLayer(score, *Layers);
    }
    if (Measures)
        score.Measures = *Measures;
    if (HighSlots) {
        const auto count = static_cast<int16_t>(score.Staves.size());
        for (int16_t i = 0; i < count; ++i) {
            score.Staves[static_cast<size_t>(i)].Slot =
                static_cast<int16_t>(kHighestSlot - (count - 1) + i);
        }
    }
    score.HiddenLayers.insert(HiddenLayers.begin(), HiddenLayers.end());
}

void HostControls::ApplyTo(Host& host) const {
    for (HostFn fn : FailingFunctions)
        host.Failures().SetFunctionMode(fn, FunctionMode::Failing);
    for (HostFn fn : MissingFunctions)
        host.Failures().SetFunctionMode(fn, FunctionMode::Missing);
    for (uint64_t call : FailingCalls)
        host.Failures().FailCall(call);
    for (const RecordSelector& record : FailingLoads)
        host.Failures().FailLoad(record.Tag, record.Words);
    for (const RecordSelector& record : FailingSaves)
        host.Failures().FailSave(record.Tag, record.Words);
    if (Document)
        host.SetCurrentDocument(*Document);
    host.SetCreateLeavesIndexUnset(CreateLeavesIndexUnset);
    for (const auto& [fn, value] : Returns)
        host.SetAnswer(fn, value);
    if (FrameEntries || EntryNotes)
        host.Frames().SetCounts(FrameEntries, EntryNotes);
}

std::vector<std::string> HostControls::Arguments() const {
    std::vector<std::string> args;
    const auto add = [&args](const char* option, std::string value) {
        args.push_back(option);
        args.push_back(std::move(value));
    };
    for (HostFn fn : FailingFunctions)
        add("--fail", HostFnName(fn));
    for (HostFn fn : MissingFunctions)
        add("--without", HostFnName(fn));
    for (uint64_t call : FailingCalls)
        add("--fail-call", std::to_string(call));
    for (const RecordSelector& record : FailingLoads)
        add("--fail-load", record.Text);
    for (const RecordSelector& record : FailingSaves)
        add("--fail-save", record.Text);
    if (Document)
        add("--document", std::to_string(*Document));
    if (CreateLeavesIndexUnset)
        args.push_back("--create-leaves-index-unset");
    for (const auto& [fn, value] : Returns)
        add("--returns", std::string(HostFnName(fn)) + "=" + std::to_string(value));
    if (FrameEntries)
        add("--frame-entries", std::to_string(*FrameEntries));
    if (EntryNotes)
        add("--entry-notes", std::to_string(*EntryNotes));
    if (RecordSizes)
        add("--record-sizes", RecordSizes->Text());
    if (Layers)
        add("--layers", std::to_string(*Layers));
    if (Measures)
        add("--measures", std::to_string(*Measures));
    if (HighSlots)
        args.push_back("--high-slots");
    for (int16_t layer : HiddenLayers)
        add("--hide-layer", std::to_string(layer));
    return args;
}

}  // namespace sim
