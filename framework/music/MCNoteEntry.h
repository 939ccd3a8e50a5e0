#pragma once

#include <cstdint>

#include "contract/MelvaraFrame.h"
#include "framework/core/ByteOrder.h"
#include "framework/core/MCCollection.h"

class MCNoteEntry;

// One note of an entry: its 10-byte block inside the entry record.
class MCNote : public __MCBase {
public:
    MCNote(int32_t index, uint8_t* noteData, MCNoteEntry* entry)
        : Index(index), NoteData(noteData), Entry(entry) {}
    const char* ClassName() const override;

    int32_t Index;
    uint8_t* NoteData;  // inside the host's layer frame; not owned
    MCNoteEntry* Entry;
};

// One note entry, read in place from its 146-byte record in a layer frame.
// Its items are its notes, built from the record when first asked for
// (through this class's GetCount, GetItemAt and walks) or by LoadNotes: an
// entry whose notes nobody reads costs no note objects. The record belongs
// to the frame, which the cell that loaded it keeps until the entry is gone.
class MCNoteEntry : public __MCCollection {
public:
    MCNoteEntry(uint8_t* entryData, void* frame, int16_t measure, int16_t staff,
                MCNoteEntry* previous)
        : EntryData(entryData), Frame(frame), Measure(measure), Staff(staff), Previous(previous) {}
    ~MCNoteEntry() override;
    const char* ClassName() const override;

    // Rebuilds the notes from the record's note blocks. False when a note
    // could not be allocated (the notes built so far stay).
    bool LoadNotes();

    // The notes, built first if they have not been.
    int32_t GetCount() const {
        LoadNotesOnce();
        return __MCCollection::GetCount();
    }
    __MCBase* GetItemAt(int32_t index) const {
        LoadNotesOnce();
        return __MCCollection::GetItemAt(index);
    }
    int32_t ForEach(MCIteratorHandler& handler) override;
    __MCBase* FindFirst(MCIteratorHandler& handler) override;
    int32_t ForEachIndex(MCIteratorHandler& handler) override;

    // The record's fields; an entry without a record reads as all zero.
    uint32_t EntryNumber() const { return RecordWord(MELVARA_ENTRY_NUMBER); }
    uint32_t EntryFlags() const { return RecordWord(MELVARA_ENTRY_FLAGS); }
    void SetEntryFlags(uint32_t flags) {
        if (EntryData != nullptr) WriteLE32(EntryData + MELVARA_ENTRY_FLAGS, flags);
    }
    int32_t EntryPos() const { return static_cast<int32_t>(RecordWord(MELVARA_ENTRY_POSITION)); }
    // The record's note count, limited to the blocks the record can hold.
    int32_t NoteCount() const;
    // True while the entry owns nothing and is not counted among the entries
    // with notes (its notes never built, no array, no slot object): its
    // destructor would then have nothing to do. Notes built from a note
    // count of 0 leave no array, but the entry is counted all the same.
    bool OwnsNothing() const {
        return !NotesLoaded && __MCCollection::GetCapacity() == 0 &&
               __MCCollection::GetCount() == 0 && Slot == nullptr;
    }
    // Entries alive whose notes have been built: while there is none, no
    // entry owns anything (nothing fills the slot object).
    static int64_t EntriesWithNotes() { return WithNotes; }

    uint8_t* EntryData;  // the host's entry record; not owned
    void* Frame;         // the layer frame the record lies in; not owned
    int16_t Measure;
    int16_t Staff;
    MCNoteEntry* Previous;  // same layer only
    MCNoteEntry* Next = nullptr;

private:
    uint32_t RecordWord(int offset) const {
        return EntryData != nullptr ? ReadLE32(EntryData + offset) : 0;
    }
    // Builds the notes on the first request; the notes are part of what
    // the entry shows, so a const entry builds them too.
    void LoadNotesOnce() const {
        if (!NotesLoaded) const_cast<MCNoteEntry*>(this)->LoadNotes();
    }

    // Object slot of the framework's entry; nothing here fills it.
    __MCBase* Slot = nullptr;
    bool NotesLoaded = false;

    static int64_t WithNotes;
};
