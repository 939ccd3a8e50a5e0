#include "framework/music/MCNoteEntry.h"

#include <new>

#include "framework/core/ByteOrder.h"
#include "framework/music/HostFrame.h"

using namespace hostframe;

const char* MCNote::ClassName() const { return "MCNote"; }

MCNoteEntry::~MCNoteEntry() {
    delete Slot;
    Slot = nullptr;
}

const char* MCNoteEntry::ClassName() const { return "MCNoteEntry"; }

uint32_t MCNoteEntry::EntryNumber() const {
    return EntryData != nullptr ? ReadLE32(EntryData + kEntryNumber) : 0;
}

uint32_t MCNoteEntry::EntryFlags() const {
    return EntryData != nullptr ? ReadLE32(EntryData + kEntryFlags) : 0;
}

void MCNoteEntry::SetEntryFlags(uint32_t flags) {
    if (EntryData != nullptr) WriteLE32(EntryData + kEntryFlags, flags);
}

int32_t MCNoteEntry::EntryPos() const {
    return EntryData != nullptr ? static_cast<int32_t>(ReadLE32(EntryData + kEntryPos)) : 0;
}

int32_t MCNoteEntry::NoteCount() const {
    if (EntryData == nullptr) return 0;
    const int16_t count = static_cast<int16_t>(ReadLE16(EntryData + kEntryNoteCount));
    if (count < 0) return 0;
    return count > kMaxNotes ? kMaxNotes : count;
}

bool MCNoteEntry::LoadNotes() {
    ClearAll();
    for (int32_t i = 0; i < NoteCount(); ++i) {
        auto* note = new (std::nothrow) MCNote(i, EntryData + kEntryNotes + kNoteBytes * i, this);
        if (note == nullptr || !Add(note)) return false;
    }
    return true;
}
