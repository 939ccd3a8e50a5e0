#include "framework/music/MCNoteEntryCell.h"

#include <functional>
#include <new>

#include "contract/MelvaraFrame.h"
#include "framework/core/MCBlockPool.h"
#include "framework/host/HostFunctions.h"

namespace {

// The host's layer count, asked anew at each test; Frames holds no more.
int LayerCount() {
    const int count = host::MX_GetMaxLayers();
    return count < MCNoteEntryCell::kMaxLayers ? count : MCNoteEntryCell::kMaxLayers;
}

}  // namespace

MCNoteEntryCell::~MCNoteEntryCell() {
    FreeFrames();
    mcpool::Free(Block, sizeof(MCNoteEntry) * static_cast<size_t>(BlockSize));
}

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
    if (!BuildEntries()) {
        FreeFrames();
        return false;
    }
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

bool MCNoteEntryCell::BuildEntries() {
    ClearAll();
    // Room for every entry at once; the counts are read anew below, and an
    // entry beyond them (a count that grew meanwhile) is made on its own.
    int32_t entries = 0;
    for (void* frame : Frames) {
        if (frame != nullptr && MelvaraFrameEntryCount(frame) > 0) {
            entries += MelvaraFrameEntryCount(frame);
        }
    }
    if (entries > 0 && (!EnsureRoom(entries) || !ReserveEntries(entries))) return false;

    for (int layer = 0; layer < LayerCount(); ++layer) {
        void* frame = Frames[layer];
        if (frame == nullptr) continue;
        MCNoteEntry* previous = nullptr;
        for (int j = 0; j < MelvaraFrameEntryCount(frame); ++j) {
            const auto staff = static_cast<int16_t>(
                host::MX_SlotToInst(MelvaraFrameSlot(frame), MelvaraFrameSlotScope(frame)));
            // The notes are built when asked for (MCNoteEntry::GetCount ...).
            // Writable: a tuplet created on the entry sets its flag in place.
            auto* record = const_cast<uint8_t*>(MelvaraFrameEntry(frame, j));
            MCNoteEntry* entry =
                AddEntry(record, frame, MelvaraFrameMeasure(frame), staff, previous);
            if (entry == nullptr) return false;
            if (previous != nullptr) previous->Next = entry;
            previous = entry;
        }
    }
    return true;
}

void MCNoteEntryCell::ClearAll() {
    const int32_t count = GetCount();
    // Entries in the block that own nothing need no destructor: while no
    // entry has its notes built, the block is simply made anew.
    if (count == BlockUsed && MCNoteEntry::EntriesWithNotes() == 0) {
        ForgetItems();
        BlockUsed = 0;
        return;
    }
    const uint8_t* const blockEnd = Block + sizeof(MCNoteEntry) * static_cast<size_t>(BlockUsed);
    for (int32_t i = 0; i < count; ++i) {
        auto* entry = static_cast<MCNoteEntry*>(GetItemAt(i));
        if (!InBlock(entry, blockEnd)) {
            delete entry;
        } else if (!entry->OwnsNothing()) {
            // An entry that owns nothing has nothing for its destructor to
            // release: its place in the block is simply made anew.
            entry->~MCNoteEntry();
        }
    }
    ForgetItems();
    BlockUsed = 0;
}

bool MCNoteEntryCell::ReserveEntries(int32_t n) {
    if (n <= BlockSize) return true;
    void* block = mcpool::Allocate(sizeof(MCNoteEntry) * static_cast<size_t>(n));
    if (block == nullptr) return false;
    mcpool::Free(Block, sizeof(MCNoteEntry) * static_cast<size_t>(BlockSize));
    Block = static_cast<uint8_t*>(block);
    BlockSize = n;
    return true;
}

MCNoteEntry* MCNoteEntryCell::AddEntry(uint8_t* entryData, void* frame, int16_t measure,
                                       int16_t staff, MCNoteEntry* previous) {
    if (BlockUsed < BlockSize && GetCount() < GetCapacity()) {
        void* place = Block + sizeof(MCNoteEntry) * static_cast<size_t>(BlockUsed++);
        auto* entry = ::new (place) MCNoteEntry(entryData, frame, measure, staff, previous);
        Add(entry);  // there is room: it cannot fail
        return entry;
    }
    auto* entry = new (std::nothrow) MCNoteEntry(entryData, frame, measure, staff, previous);
    return entry != nullptr && Add(entry) ? entry : nullptr;
}

bool MCNoteEntryCell::InBlock(const MCNoteEntry* entry, const uint8_t* blockEnd) const {
    const auto* at = reinterpret_cast<const uint8_t*>(entry);
    return std::less_equal<const uint8_t*>()(Block, at) &&
           std::less<const uint8_t*>()(at, blockEnd);
}
