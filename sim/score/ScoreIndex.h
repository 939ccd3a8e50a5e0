// Hash lookups of a score's records, cells and staves, for large scores.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "sim/score/Score.h"

namespace sim {

struct RecordKeyHash {
    size_t operator()(const RecordKey& key) const;
};

struct CellKeyHash {
    size_t operator()(const CellKey& key) const;
};

// Hash lookups over a score for the host functions that run for every tuplet
// and every frame: records by tag and keys, cells, staves by slot and by
// number. The score's own maps answer in logarithmic time, which on scores
// of a million records outweighs everything a module does; a host program
// answers these in constant time. Built from the score as it is; records
// added or removed later must be told to it (the host does so for its own
// MX_CreateKData and MX_DeleteKData).
class ScoreIndex {
  public:
    explicit ScoreIndex(Score& score);

    Bytes* FindRecord(uint32_t tag, const Keys& keys) const;
    void AddRecord(uint32_t tag, const Keys& keys);
    void RemoveRecord(uint32_t tag, const Keys& keys);
    // Empty when the cell has no entries.
    const std::vector<Entry>& EntriesOf(const CellKey& cell) const;
    const Staff* FindStaffBySlot(int16_t slot) const;
    const Staff* FindStaff(int16_t number) const;

  private:
    Score& Document;
    std::unordered_map<RecordKey, Bytes*, RecordKeyHash> Records;
    std::unordered_map<CellKey, const std::vector<Entry>*, CellKeyHash> Cells;
    std::unordered_map<int16_t, const Staff*> BySlot;
    std::unordered_map<int16_t, const Staff*> ByNumber;
};

}  // namespace sim
