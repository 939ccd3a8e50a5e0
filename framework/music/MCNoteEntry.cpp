#include "framework/music/MCNoteEntry.h"

#include <new>

const char* MCNote::ClassName() const { return "MCNote"; }

int64_t MCNoteEntry::WithNotes = 0;

MCNoteEntry::~MCNoteEntry() {
    delete Slot;
    Slot = nullptr;
    if (NotesLoaded) --WithNotes;
}

const char* MCNoteEntry::ClassName() const { return "MCNoteEntry"; }

int32_t MCNoteEntry::NoteCount() const {
    if (EntryData == nullptr) return 0;
    const int16_t count = static_cast<int16_t>(ReadLE16(EntryData + MELVARA_ENTRY_NOTE_COUNT));
    if (count < 0) return 0;
    return count > MELVARA_ENTRY_MAX_NOTES ? MELVARA_ENTRY_MAX_NOTES : count;
}

bool MCNoteEntry::LoadNotes() {
    if (!NotesLoaded) ++WithNotes;
    NotesLoaded = true;
    ClearAll();
    for (int32_t i = 0; i < NoteCount(); ++i) {
        auto* note = new (std::nothrow) MCNote(i, EntryData + MELVARA_ENTRY_NOTES + MELVARA_NOTE_BYTES * i, this);
        if (note == nullptr || !Add(note)) return false;
    }
    return true;
}

int32_t MCNoteEntry::ForEach(MCIteratorHandler& handler) {
    LoadNotesOnce();
    return __MCCollection::ForEach(handler);
}

__MCBase* MCNoteEntry::FindFirst(MCIteratorHandler& handler) {
    LoadNotesOnce();
    return __MCCollection::FindFirst(handler);
}

int32_t MCNoteEntry::ForEachIndex(MCIteratorHandler& handler) {
    LoadNotesOnce();
    return __MCCollection::ForEachIndex(handler);
}
