/* Records of the host document: their tags and key blocks.
 *
 * A record is a run of bytes that the host keeps in the open document under
 * a tag and a key block. The tag is a 32-bit kind written as four characters,
 * the first in the most significant byte ('pfTP' is 0x70665450). The key
 * block is four 16-bit words that name one record of the tag; the record
 * functions take it as uint16_t keys[4]. Record contents are little-endian
 * 16-bit words (contract/MelvaraBytes.h), copied into and out of the
 * module's own buffer, so that a struct of the module's may hold them. The
 * host serves the kinds below.
 *
 * Plain C99 and C++17. */
#ifndef MELVARA_RECORDS_H
#define MELVARA_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#include "contract/MelvaraBytes.h"

/* A tag from its four characters: MELVARA_TAG('p', 'f', 'T', 'P'). */
#define MELVARA_TAG(a, b, c, d)                                               \
    (((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) |        \
     ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d))

/* A tuplet attached to a note entry: a MelvaraTupletDefinition (below), 30
 * bytes. Keys: the entry's number (MelvaraEntryNumber,
 * contract/MelvaraFrame.h), low word first, then the tuplet's index among the
 * entry's tuplets (0, 1, ... up to the first index that does not load), then
 * 0. Only entries whose flags carry MELVARA_ENTRY_HAS_TUPLETS have any. */
#define MELVARA_TUPLET_TAG 0x45035450u
#define MELVARA_TUPLET_BYTES 30

/* The document's Default Tuplet Definition, the settings new tuplets get: a
 * MelvaraTupletDefinition, laid out as a tuplet. Keys:
 * MELVARA_TUPLET_DEFAULTS_KEY, 0, 0, 0. */
#define MELVARA_TUPLET_DEFAULTS_TAG MELVARA_TAG('p', 'f', 'T', 'P')
#define MELVARA_TUPLET_DEFAULTS_KEY 1

/* The 30 bytes of a tuplet record and of the Default Tuplet Definition:
 * fifteen 16-bit words, named as melvara-sim show prints them. Each field of
 * the defaults is the setting of the tuplet field at the same offset. Load
 * the record straight into one (the count is sizeof(MelvaraTupletDefinition))
 * and save it from there; a record the host gives in another size is not
 * this layout. The host stores the words little-endian, as this machine
 * does; their meaning is the host's. */
typedef struct MelvaraTupletDefinition {
    uint16_t HeadWords[4]; /* the tuplet's own four words */
    uint16_t OptionBits;   /* bit settings */
    uint16_t Position1;    /* the tuplet's position: first word */
    uint16_t Position2;    /* second word */
    uint16_t Value1;
    uint16_t Value2;
    uint16_t Flags; /* bit fields */
    uint16_t Value3;
    uint16_t Value4;
    uint16_t Value5;
    uint16_t Value6;
    uint16_t Value7;
} MelvaraTupletDefinition;
MELVARA_LAYOUT(TupletDefinition_size, sizeof(MelvaraTupletDefinition) == MELVARA_TUPLET_BYTES);
MELVARA_LAYOUT(TupletDefinition_HeadWords, offsetof(MelvaraTupletDefinition, HeadWords) == 0);
MELVARA_LAYOUT(TupletDefinition_OptionBits, offsetof(MelvaraTupletDefinition, OptionBits) == 8);
MELVARA_LAYOUT(TupletDefinition_Position1, offsetof(MelvaraTupletDefinition, Position1) == 10);
MELVARA_LAYOUT(TupletDefinition_Position2, offsetof(MelvaraTupletDefinition, Position2) == 12);
MELVARA_LAYOUT(TupletDefinition_Value1, offsetof(MelvaraTupletDefinition, Value1) == 14);
MELVARA_LAYOUT(TupletDefinition_Value2, offsetof(MelvaraTupletDefinition, Value2) == 16);
MELVARA_LAYOUT(TupletDefinition_Flags, offsetof(MelvaraTupletDefinition, Flags) == 18);
MELVARA_LAYOUT(TupletDefinition_Value3, offsetof(MelvaraTupletDefinition, Value3) == 20);
MELVARA_LAYOUT(TupletDefinition_Value4, offsetof(MelvaraTupletDefinition, Value4) == 22);
MELVARA_LAYOUT(TupletDefinition_Value5, offsetof(MelvaraTupletDefinition, Value5) == 24);
MELVARA_LAYOUT(TupletDefinition_Value6, offsetof(MelvaraTupletDefinition, Value6) == 26);
MELVARA_LAYOUT(TupletDefinition_Value7, offsetof(MelvaraTupletDefinition, Value7) == 28);

/* Part records: 12 bytes (six words) each, tag 'o', 't' and two characters.
 * Keys: the owner (MELVARA_PART_OWNER for the document's own), the part's
 * index, 0, 0. The document's defaults draw on some of them; their words'
 * meaning is the host's. */
#define MELVARA_PART_TAG(c, d) MELVARA_TAG('o', 't', c, d)
#define MELVARA_PART_OWNER 0xFFFEu
#define MELVARA_PART_BYTES 12

typedef struct MelvaraPartRecord {
    uint16_t Words[6];
} MelvaraPartRecord;
MELVARA_LAYOUT(PartRecord_size, sizeof(MelvaraPartRecord) == MELVARA_PART_BYTES);

/* The key word that MX_CreateKData replaces with the new record's index. */
#define MELVARA_KEY_INDEX 2
/* That word on the way in: "give the record the next free index". */
#define MELVARA_KEY_NEW_INDEX 0xFFFFu

MELVARA_LAYOUT(tuplet_tag_characters,
               MELVARA_TAG('E', 3, 'T', 'P') == MELVARA_TUPLET_TAG);
MELVARA_LAYOUT(tuplet_defaults_tag, MELVARA_TUPLET_DEFAULTS_TAG == 0x70665450u);

/* The key block of tuplet index of the entry numbered entry. */
static inline void MelvaraTupletKeys(uint16_t keys[4], uint32_t entry, uint16_t index) {
    keys[0] = (uint16_t)(entry & 0xFFFFu);
    keys[1] = (uint16_t)(entry >> 16);
    keys[2] = index;
    keys[3] = 0;
}

#endif
