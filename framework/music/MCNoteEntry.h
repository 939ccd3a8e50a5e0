#pragma once

#include <cstdint>

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
// Its items are its notes. The record belongs to the frame, which the cell
// that loaded it keeps until the entry is gone.
class MCNoteEntry : public __MCCollection {
public:
    MCNoteEntry(uint8_t* entryData, void* frame, int16_t measure, int16_t staff,
                MCNoteEntry* previous)
        : EntryData(entryData), Frame(frame), Measure(measure), Staff(staff), Previous(previous) {}
    ~MCNoteEntry() override;
    const char* ClassName() const override;

    // Rebuilds the notes from the record's note blocks. False when a note
    // could not be allocated.
    bool LoadNotes();

    // The record's fields; an entry without a record reads as all zero.
    uint32_t EntryNumber() const;
    uint32_t EntryFlags() const;
    void SetEntryFlags(uint32_t flags);
    int32_t EntryPos() const;
    // The record's note count, limited to the blocks the record can hold.
    int32_t NoteCount() const;

    uint8_t* EntryData;  // the host's entry record; not owned
    void* Frame;         // the layer frame the record lies in; not owned
    int16_t Measure;
    int16_t Staff;
    MCNoteEntry* Previous;  // same layer only
    MCNoteEntry* Next = nullptr;

private:
    // Object slot of the framework's entry; nothing here fills it.
    __MCBase* Slot = nullptr;
};
