// The score the simulated host holds: staves, measures, layers, entries and keyed records.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "contract/MelvaraFrame.h"
#include "sim/score/Tags.h"
#include "sim/score/TupletDefinition.h"

namespace sim {

// Bit 19 of an entry's flags: the entry has tuplets attached.
constexpr uint32_t kEntryHasTuplets = MELVARA_ENTRY_HAS_TUPLETS;
// An entry record has room for this many 10-byte note blocks.
constexpr size_t kMaxNotesPerEntry = MELVARA_ENTRY_MAX_NOTES;

// A staff: its identity (number), its place in the score's order (slot) and
// the word the host pairs with the slot (scope).
struct Staff {
    int16_t Number = 0;
    int16_t Slot = 0;
    uint16_t Scope = 0;
    bool operator==(const Staff&) const = default;
};

using NoteBlock = std::array<uint8_t, 10>;

// A note entry as the host keeps it; the host's 146-byte entry record is
// built from it when a layer frame is handed out.
struct Entry {
    uint32_t Number = 0;
    uint32_t Flags = 0;
    int32_t Position = 0;
    std::vector<NoteBlock> Notes;
    bool operator==(const Entry&) const = default;
};

// One staff in one measure in one layer. Layer is the index from 0 that the
// host functions take; files and printed output number layers from 1.
struct CellKey {
    int16_t Measure = 0;
    int16_t Staff = 0;  // staff number, not slot
    int16_t Layer = 0;
    auto operator<=>(const CellKey&) const = default;
};

// The document the simulated host holds: staves, measures, layers, note
// entries per cell, and every keyed record (tuplets, the tuplet defaults,
// part records and anything else) by tag and key words.
//
// The builders keep the score consistent and throw std::invalid_argument
// when asked for something that cannot be (an unknown staff, a slot taken
// twice, an entry number used twice, more than 12 notes).
class Score {
  public:
    std::string Description;
    int16_t Document = 1;
    int16_t Measures = 1;
    int16_t LayerCount = 4;
    std::set<int16_t> HiddenLayers;  // layer indices from 0
    std::vector<Staff> Staves;       // in slot order
    std::map<CellKey, std::vector<Entry>> Cells;
    std::map<RecordKey, Bytes> Records;

    bool operator==(const Score&) const = default;

    // --- Lookups ----------------------------------------------------------
    const Staff* FindStaffBySlot(int16_t slot) const;
    const Staff* FindStaff(int16_t number) const;
    bool IsLayerShown(int16_t layer) const;
    const std::vector<Entry>& EntriesOf(const CellKey& cell) const;  // empty when none
    // The entry with this number and where it lies.
    const Entry* FindEntry(uint32_t number, CellKey* cell = nullptr) const;
    const Bytes* FindRecord(uint32_t tag, const Keys& keys) const;
    Bytes* FindRecord(uint32_t tag, const Keys& keys);
    // The 'pfTP' record {1,0,0,0} when it holds 30 bytes.
    std::optional<TupletDefinition> Defaults() const;
    // The tuplet record of an entry when it holds 30 bytes.
    std::optional<TupletDefinition> Tuplet(uint32_t entryNumber, uint16_t index) const;
    // The indices of an entry's tuplet records (key word 4 zero), ascending.
    std::vector<uint16_t> TupletIndices(uint32_t entryNumber) const;
    // The lowest and highest slot; {0, 0} without staves.
    std::pair<int16_t, int16_t> SlotRange() const;

    // --- Builders ---------------------------------------------------------
    Score& SetMeasures(int16_t count);
    // Layer count and the hidden layers (indices from 0).
    Score& SetLayers(int16_t count, std::set<int16_t> hidden = {});
    // Adds a staff; slot 0 takes the slot after the highest one so far.
    Score& AddStaff(int16_t number, int16_t slot = 0, uint16_t scope = 0);
    // Adds an entry with one note at the end of its cell, numbered after the
    // highest entry number so far, with its tuplets as indices 0, 1, ...; its
    // flags carry bit 19 when there are tuplets. Grows Measures to cover the
    // measure. Returns the entry number.
    uint32_t AddEntry(int16_t staff, int16_t measure, int16_t layer, int32_t position,
                      const std::vector<TupletDefinition>& tuplets = {});
    // Adds an entry exactly as given (number 0 takes the next free number).
    uint32_t AddEntry(const CellKey& cell, Entry entry);
    Score& SetTuplet(uint32_t entryNumber, uint16_t index, const TupletDefinition& tuplet);
    Score& SetDefaults(const TupletDefinition& defaults);
    Score& SetRecord(uint32_t tag, const Keys& keys, Bytes bytes);
    // A 12-byte part record 'ot'+a+b with keys {0xFFFE, index, 0, 0}.
    Score& SetPartRecord(char a, char b, uint16_t index, const std::array<uint16_t, 6>& words);
    bool RemoveRecord(uint32_t tag, const Keys& keys);
    uint32_t NextEntryNumber() const;
};

}  // namespace sim
