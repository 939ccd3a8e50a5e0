#include "framework/music/MCNoteEntryCell.h"

#include <new>

#include "framework/host/HostFunctions.h"
#include "framework/music/HostFrame.h"

using namespace hostframe;

namespace {

// The host's layer count, asked anew at each test; Frames holds no more.
int LayerCount() {
    const int count = host::MX_GetMaxLayers();
    return count < MCNoteEntryCell::kMaxLayers ? count : MCNoteEntryCell::kMaxLayers;
}

}  // namespace

MCNoteEntryCell::~MCNoteEntryCell() { FreeFrames(); }

const char* MCNoteEntryCell::ClassName() const { return "MCNoteEntryCell"; }

bool MCNoteEntryCell::IsLayerSelected(int layer) const {
    switch (LayerMode) {
        case kNoLayers:
            return false;
        case kHiddenLayers:
            return host::MX_GetShowLayer(static_cast<int16_t>(layer)) == 0;
        case kAllLayers:
            return true;
        case kShownLayers:
            return host::MX_GetShowLayer(static_cast<int16_t>(layer)) != 0;
        case 1:
        case 2:
        case 3:
        case 4:
            return layer == LayerMode - 1;
        default:
            return layer < 4 && (LayerMode & (0x100 << layer)) != 0;
    }
}

bool MCNoteEntryCell::Load() {
    FreeFrames();
    for (int i = 0; i < LayerCount(); ++i) {
        if (!IsLayerSelected(i)) {
            Frames[i] = nullptr;
            continue;
        }
        const auto slot = static_cast<int16_t>(host::MX_InstToSlot(static_cast<int16_t>(Staff)));
        Frames[i] = host::MX_LoadTGF(slot, static_cast<int16_t>(Measure), static_cast<int16_t>(i),
                                     LoadOption ? 1 : 0);
        if (Frames[i] == nullptr) {
            FreeFrames();
            return false;
        }
    }
    BuildEntries();
    return true;
}

void MCNoteEntryCell::FreeFrames() {
    ClearAll();
    int i = 0;
    for (; i < LayerCount(); ++i) {
        if (Frames[i] != nullptr) host::MX_FreeTGF(Frames[i]);
        Frames[i] = nullptr;
    }
    // Frames of layers beyond a count the host has since lowered.
    for (; i < kMaxLayers; ++i) {
        if (Frames[i] != nullptr) host::MX_FreeTGF(Frames[i]);
        Frames[i] = nullptr;
    }
}

void MCNoteEntryCell::BuildEntries() {
    ClearAll();
    for (int layer = 0; layer < LayerCount(); ++layer) {
        void* frame = Frames[layer];
        if (frame == nullptr) continue;
        MCNoteEntry* previous = nullptr;
        for (int j = 0; j < FrameEntryCount(frame); ++j) {
            const auto staff = static_cast<int16_t>(
                host::MX_SlotToInst(FrameSlot(frame), FrameSlotScope(frame)));
            auto* entry = new (std::nothrow) MCNoteEntry(
                FrameEntries(frame) + kEntryRecordBytes * j, frame, FrameMeasure(frame), staff,
                previous);
            if (entry == nullptr) return;
            entry->LoadNotes();
            if (previous != nullptr) previous->Next = entry;
            if (!Add(entry)) {
                if (previous != nullptr) previous->Next = nullptr;
                return;
            }
            previous = entry;
        }
    }
}
