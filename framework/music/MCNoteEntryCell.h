#pragma once

#include <cstdint>

#include "framework/core/MCCollection.h"
#include "framework/music/MCNoteEntry.h"

// Base of collections of note entries.
class __MCNoteEntryCollection : public __MCCollection {};

// The note entries of one staff in one measure, loaded layer by layer from
// the host's layer frames. Entries point into the frames, so the frames stay
// loaded while any entry exists, and every release destroys the entries
// first.
//
// The cell makes its entries side by side in one block rather than one heap
// object each, and destroys them itself: clear a cell's entries through the
// cell's own ClearAll (or FreeFrames), never through a __MCCollection
// pointer.
class MCNoteEntryCell : public __MCNoteEntryCollection {
public:
    static constexpr int kMaxLayers = 20;

    // Which layers Load fetches.
    enum : int32_t {
        kNoLayers = -3,
        kHiddenLayers = -2,
        kAllLayers = -1,
        kShownLayers = 0,
        // 1 to 4: only layer LayerMode - 1; any other value is a mask with
        // bit 8 + i for layer i (layers 0 to 3).
    };

    MCNoteEntryCell(int32_t measure, int32_t staff) : Measure(measure), Staff(staff) {}
    ~MCNoteEntryCell() override;
    const char* ClassName() const override;

    // Loads the selected layers and builds the entries. False, with the cell
    // empty, when the host refuses the frame of a selected layer or an entry
    // cannot be allocated.
    bool Load();
    // Destroys the entries and returns every frame to the host.
    void FreeFrames();
    // Rebuilds the entries from the frames that are loaded. False when an
    // entry cannot be allocated; the entries built so far stay.
    bool BuildEntries();
    // Destroys every entry; the array of places stays.
    void ClearAll();

    MCNoteEntry* GetEntryAt(int32_t index) const {
        return static_cast<MCNoteEntry*>(GetItemAt(index));
    }

    void* Frames[kMaxLayers] = {};
    int32_t Measure;
    int32_t Staff;
    int32_t LayerMode = kShownLayers;
    bool LoadOption = true;

private:
    bool IsLayerSelected(int layer) const;
    // Room in the block for n entries; false when it cannot be allocated.
    bool ReserveEntries(int32_t n);
    // Makes an entry and adds it: in the block while the block and the
    // array have room, else on the heap. Null when it cannot be allocated.
    MCNoteEntry* AddEntry(uint8_t* entryData, void* frame, int16_t measure, int16_t staff,
                          MCNoteEntry* previous);
    // Whether the entry lies in the block, whose made entries end at blockEnd.
    bool InBlock(const MCNoteEntry* entry, const uint8_t* blockEnd) const;

    // Storage for BlockSize entries, of which the first BlockUsed are made.
    uint8_t* Block = nullptr;
    int32_t BlockSize = 0;
    int32_t BlockUsed = 0;
};
