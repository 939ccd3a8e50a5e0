/* Layer frames and entry records: the note entries of one staff in one
 * measure and one layer, as MX_LoadTGF hands them out.
 *
 * A frame is host memory behind the handle that MX_LoadTGF returns: a header
 * that points to the layer's entry records, one every MELVARA_ENTRY_BYTES
 * bytes. Both are packed and little-endian, at any alignment. Read them in
 * place with the accessors below while the frame is held, never write into
 * them, and release the frame with MX_FreeTGF exactly once, before the export
 * that loaded it returns: after that every pointer into it is dead.
 *
 * Counts come from the host and may be anything a signed 16-bit word holds:
 * treat a negative count as none. Plain C99 and C++17. */
#ifndef MELVARA_FRAME_H
#define MELVARA_FRAME_H

#include <stddef.h>
#include <stdint.h>

#include "contract/MelvaraBytes.h"

/* Byte offsets in the frame's header. */
#define MELVARA_FRAME_SLOT_SCOPE 0    /* 16 bits: handed with the slot to MX_SlotToInst */
#define MELVARA_FRAME_SLOT 2          /* signed 16 bits: the staff's slot */
#define MELVARA_FRAME_MEASURE 6       /* signed 16 bits: the measure */
#define MELVARA_FRAME_ENTRIES 14      /* pointer: the first entry record */
#define MELVARA_FRAME_ENTRY_COUNT 22  /* signed 16 bits: number of entry records */
#define MELVARA_FRAME_HEADER_BYTES 24 /* the header's fields end here */

/* Byte offsets in an entry record. */
#define MELVARA_ENTRY_NUMBER 0       /* 32 bits: the entry's number; keys its records */
#define MELVARA_ENTRY_FLAGS 8        /* 32 bits: MELVARA_ENTRY_HAS_TUPLETS and others */
#define MELVARA_ENTRY_NOTE_COUNT 14  /* signed 16 bits: number of note blocks */
#define MELVARA_ENTRY_NOTES 16       /* the note blocks, MELVARA_NOTE_BYTES each */
#define MELVARA_ENTRY_POSITION 136   /* signed 32 bits: position inside the measure */
#define MELVARA_ENTRY_BYTES 146      /* one record; the next follows at once */
#define MELVARA_NOTE_BYTES 10        /* one note block, the host's own format */
/* The note blocks that fit between the notes and the position: a note count
 * above it is not to be believed. */
#define MELVARA_ENTRY_MAX_NOTES 12

/* Bit 19 of an entry's flags: the entry has tuplet records (tag
 * MELVARA_TUPLET_TAG, contract/MelvaraRecords.h). */
#define MELVARA_ENTRY_HAS_TUPLETS 0x00080000u

/* Each field lies inside its record, after the one before it. */
MELVARA_LAYOUT(frame_slot_after_scope, MELVARA_FRAME_SLOT_SCOPE + 2 <= MELVARA_FRAME_SLOT);
MELVARA_LAYOUT(frame_measure_after_slot, MELVARA_FRAME_SLOT + 2 <= MELVARA_FRAME_MEASURE);
MELVARA_LAYOUT(frame_entries_after_measure, MELVARA_FRAME_MEASURE + 2 <= MELVARA_FRAME_ENTRIES);
MELVARA_LAYOUT(frame_count_after_entries,
               MELVARA_FRAME_ENTRIES + (int)sizeof(void*) <= MELVARA_FRAME_ENTRY_COUNT);
MELVARA_LAYOUT(frame_header_holds_count,
               MELVARA_FRAME_ENTRY_COUNT + 2 == MELVARA_FRAME_HEADER_BYTES);
MELVARA_LAYOUT(entry_flags_after_number, MELVARA_ENTRY_NUMBER + 4 <= MELVARA_ENTRY_FLAGS);
MELVARA_LAYOUT(entry_count_after_flags, MELVARA_ENTRY_FLAGS + 4 <= MELVARA_ENTRY_NOTE_COUNT);
MELVARA_LAYOUT(entry_notes_after_count, MELVARA_ENTRY_NOTE_COUNT + 2 == MELVARA_ENTRY_NOTES);
MELVARA_LAYOUT(entry_notes_before_position,
               MELVARA_ENTRY_NOTES + MELVARA_ENTRY_MAX_NOTES * MELVARA_NOTE_BYTES <=
                   MELVARA_ENTRY_POSITION);
MELVARA_LAYOUT(entry_position_inside, MELVARA_ENTRY_POSITION + 4 <= MELVARA_ENTRY_BYTES);
MELVARA_LAYOUT(entry_max_notes,
               MELVARA_ENTRY_MAX_NOTES ==
                   (MELVARA_ENTRY_POSITION - MELVARA_ENTRY_NOTES) / MELVARA_NOTE_BYTES);

/* The frame's header. */
static inline uint16_t MelvaraFrameSlotScope(const void* frame) {
    return MelvaraReadLE16((const uint8_t*)frame + MELVARA_FRAME_SLOT_SCOPE);
}
static inline int16_t MelvaraFrameSlot(const void* frame) {
    return (int16_t)MelvaraReadLE16((const uint8_t*)frame + MELVARA_FRAME_SLOT);
}
static inline int16_t MelvaraFrameMeasure(const void* frame) {
    return (int16_t)MelvaraReadLE16((const uint8_t*)frame + MELVARA_FRAME_MEASURE);
}
static inline const uint8_t* MelvaraFrameEntries(const void* frame) {
    return (const uint8_t*)MelvaraReadPointer((const uint8_t*)frame + MELVARA_FRAME_ENTRIES);
}
static inline int16_t MelvaraFrameEntryCount(const void* frame) {
    return (int16_t)MelvaraReadLE16((const uint8_t*)frame + MELVARA_FRAME_ENTRY_COUNT);
}
/* Entry record i, from 0 while i is below the entry count. */
static inline const uint8_t* MelvaraFrameEntry(const void* frame, int i) {
    return MelvaraFrameEntries(frame) + (ptrdiff_t)MELVARA_ENTRY_BYTES * i;
}

/* An entry record. */
static inline uint32_t MelvaraEntryNumber(const void* entry) {
    return MelvaraReadLE32((const uint8_t*)entry + MELVARA_ENTRY_NUMBER);
}
static inline uint32_t MelvaraEntryFlags(const void* entry) {
    return MelvaraReadLE32((const uint8_t*)entry + MELVARA_ENTRY_FLAGS);
}
static inline int16_t MelvaraEntryNoteCount(const void* entry) {
    return (int16_t)MelvaraReadLE16((const uint8_t*)entry + MELVARA_ENTRY_NOTE_COUNT);
}
/* Note block i, from 0 while i is below the note count and
 * MELVARA_ENTRY_MAX_NOTES. */
static inline const uint8_t* MelvaraEntryNote(const void* entry, int i) {
    return (const uint8_t*)entry + MELVARA_ENTRY_NOTES + (ptrdiff_t)MELVARA_NOTE_BYTES * i;
}
/* In the units of the region record's StartPos and EndPos. */
static inline int32_t MelvaraEntryPosition(const void* entry) {
    return (int32_t)MelvaraReadLE32((const uint8_t*)entry + MELVARA_ENTRY_POSITION);
}

#endif
