// The hash index over a score's records, cells and staves.
#include "sim/score/ScoreIndex.h"

namespace sim {
namespace {

uint64_t Mix(uint64_t value) {
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDull;
    value ^= value >> 33;
    return value;
}

}  // namespace

size_t RecordKeyHash::operator()(const RecordKey& key) const {
    const uint64_t words = static_cast<uint64_t>(key.Words[0]) |
                           (static_cast<uint64_t>(key.Words[1]) << 16) |
                           (static_cast<uint64_t>(key.Words[2]) << 32) |
                           (static_cast<uint64_t>(key.Words[3]) << 48);
    return static_cast<size_t>(Mix(words ^ Mix(key.Tag)));
}

size_t CellKeyHash::operator()(const CellKey& key) const {
    return static_cast<size_t>(Mix(static_cast<uint64_t>(static_cast<uint16_t>(key.Measure)) |
                                   (static_cast<uint64_t>(static_cast<uint16_t>(key.Staff)) << 16) |
                                   (static_cast<uint64_t>(static_cast<uint16_t>(key.Layer)) << 32)));
}

ScoreIndex::ScoreIndex(Score& score) : Document(score) {
    Records.reserve(score.Records.size());
    for (auto& [key, bytes] : score.Records)
        Records.emplace(key, &bytes);
    Cells.reserve(score.Cells.size());
    for (const auto& [key, entries] : score.Cells)
        Cells.emplace(key, &entries);
    // The first staff of a slot or number, as the score's own lookups find.
    for (const Staff& staff : score.Staves) {
        BySlot.emplace(staff.Slot, &staff);
        ByNumber.emplace(staff.Number, &staff);
    }
}

Bytes* ScoreIndex::FindRecord(uint32_t tag, const Keys& keys) const {
    auto found = Records.find(RecordKey{tag, keys});
    return found == Records.end() ? nullptr : found->second;
}

void ScoreIndex::AddRecord(uint32_t tag, const Keys& keys) {
    if (Bytes* bytes = Document.FindRecord(tag, keys))
        Records[RecordKey{tag, keys}] = bytes;
}

void ScoreIndex::RemoveRecord(uint32_t tag, const Keys& keys) {
    Records.erase(RecordKey{tag, keys});
}

const std::vector<Entry>& ScoreIndex::EntriesOf(const CellKey& cell) const {
    auto found = Cells.find(cell);
    static const std::vector<Entry> none;
    return found == Cells.end() ? none : *found->second;
}

const Staff* ScoreIndex::FindStaffBySlot(int16_t slot) const {
    auto found = BySlot.find(slot);
    return found == BySlot.end() ? nullptr : found->second;
}

const Staff* ScoreIndex::FindStaff(int16_t number) const {
    auto found = ByNumber.find(number);
    return found == ByNumber.end() ? nullptr : found->second;
}

}  // namespace sim
