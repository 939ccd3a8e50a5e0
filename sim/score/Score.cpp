// The score's lookups and builders.
#include "sim/score/Score.h"

#include <algorithm>
#include <stdexcept>

namespace sim {
namespace {

std::string Number(long value) {
    return std::to_string(value);
}

}  // namespace

const Staff* Score::FindStaffBySlot(int16_t slot) const {
    for (const Staff& staff : Staves) {
        if (staff.Slot == slot)
            return &staff;
    }
    return nullptr;
}

const Staff* Score::FindStaff(int16_t number) const {
    for (const Staff& staff : Staves) {
        if (staff.Number == number)
            return &staff;
    }
    return nullptr;
}

bool Score::IsLayerShown(int16_t layer) const {
    return layer >= 0 && layer < LayerCount && HiddenLayers.count(layer) == 0;
}

const std::vector<Entry>& Score::EntriesOf(const CellKey& cell) const {
    auto found = Cells.find(cell);
    static const std::vector<Entry> none;
    return found == Cells.end() ? none : found->second;
}

const Entry* Score::FindEntry(uint32_t number, CellKey* cell) const {
    for (const auto& [key, entries] : Cells) {
        for (const Entry& entry : entries) {
            if (entry.Number != number)
                continue;
            if (cell != nullptr)
                *cell = key;
            return &entry;
        }
    }
    return nullptr;
}

const Bytes* Score::FindRecord(uint32_t tag, const Keys& keys) const {
    auto found = Records.find(RecordKey{tag, keys});
    return found == Records.end() ? nullptr : &found->second;
}

Bytes* Score::FindRecord(uint32_t tag, const Keys& keys) {
    auto found = Records.find(RecordKey{tag, keys});
    return found == Records.end() ? nullptr : &found->second;
}

std::optional<TupletDefinition> Score::Defaults() const {
    const Bytes* bytes = FindRecord(kTupletDefaultsTag, kTupletDefaultsKeys);
    if (bytes == nullptr || bytes->size() != TupletDefinition::kSize)
        return std::nullopt;
    return TupletDefinition::FromBytes(*bytes);
}

std::optional<TupletDefinition> Score::Tuplet(uint32_t entryNumber, uint16_t index) const {
    const Bytes* bytes = FindRecord(kTupletTag, TupletKeys(entryNumber, index));
    if (bytes == nullptr || bytes->size() != TupletDefinition::kSize)
        return std::nullopt;
    return TupletDefinition::FromBytes(*bytes);
}

std::vector<uint16_t> Score::TupletIndices(uint32_t entryNumber) const {
    std::vector<uint16_t> indices;
    const Keys first = TupletKeys(entryNumber, 0);
    for (auto it = Records.lower_bound(RecordKey{kTupletTag, first});
         it != Records.end() && it->first.Tag == kTupletTag &&
         EntryNumberOf(it->first.Words) == entryNumber;
         ++it) {
        if (it->first.Words[3] == 0)
            indices.push_back(it->first.Words[2]);
    }
    return indices;
}

std::pair<int16_t, int16_t> Score::SlotRange() const {
    if (Staves.empty())
        return {0, 0};
    int16_t low = Staves.front().Slot;
    int16_t high = low;
    for (const Staff& staff : Staves) {
        low = std::min(low, staff.Slot);
        high = std::max(high, staff.Slot);
    }
    return {low, high};
}

Score& Score::SetMeasures(int16_t count) {
    if (count < 0)
        throw std::invalid_argument("negative measure count");
    Measures = count;
    return *this;
}

Score& Score::SetLayers(int16_t count, std::set<int16_t> hidden) {
    if (count < 0)
        throw std::invalid_argument("negative layer count");
    for (int16_t layer : hidden) {
        if (layer < 0 || layer >= count) {
            throw std::invalid_argument("hidden layer index " + Number(layer) + " out of range");
        }
    }
    LayerCount = count;
    HiddenLayers = std::move(hidden);
    return *this;
}

Score& Score::AddStaff(int16_t number, int16_t slot, uint16_t scope) {
    if (number == 0)
        throw std::invalid_argument("staff number 0 means no staff");
    if (slot == 0)
        slot = static_cast<int16_t>(Staves.empty() ? 1 : SlotRange().second + 1);
    if (FindStaff(number) != nullptr) {
        throw std::invalid_argument("staff " + Number(number) + " exists already");
    }
    if (FindStaffBySlot(slot) != nullptr) {
        throw std::invalid_argument("slot " + Number(slot) + " is taken");
    }
    Staves.push_back({number, slot, scope});
    std::sort(Staves.begin(), Staves.end(),
              [](const Staff& a, const Staff& b) { return a.Slot < b.Slot; });
    return *this;
}

uint32_t Score::NextEntryNumber() const {
    uint32_t highest = 0;
    for (const auto& [key, entries] : Cells) {
        for (const Entry& entry : entries)
            highest = std::max(highest, entry.Number);
    }
    return highest + 1;
}

uint32_t Score::AddEntry(const CellKey& cell, Entry entry) {
    if (FindStaff(cell.Staff) == nullptr) {
        throw std::invalid_argument("no staff " + Number(cell.Staff));
    }
    if (cell.Measure < 1)
        throw std::invalid_argument("measures count from 1");
    if (cell.Layer < 0 || cell.Layer >= LayerCount) {
        throw std::invalid_argument("layer index " + Number(cell.Layer) + " out of range");
    }
    if (entry.Notes.size() > kMaxNotesPerEntry) {
        throw std::invalid_argument("an entry holds at most 12 notes");
    }
    if (entry.Number == 0)
        entry.Number = NextEntryNumber();
    if (FindEntry(entry.Number) != nullptr) {
        throw std::invalid_argument("entry number " + Number(entry.Number) + " is used already");
    }
    Measures = std::max(Measures, cell.Measure);
    const uint32_t number = entry.Number;
    Cells[cell].push_back(std::move(entry));
    return number;
}

uint32_t Score::AddEntry(int16_t staff, int16_t measure, int16_t layer, int32_t position,
                         const std::vector<TupletDefinition>& tuplets) {
    Entry entry;
    entry.Flags = tuplets.empty() ? 0 : kEntryHasTuplets;
    entry.Position = position;
    entry.Notes.resize(1);
    const uint32_t number = AddEntry(CellKey{measure, staff, layer}, std::move(entry));
    for (size_t i = 0; i < tuplets.size(); ++i) {
        SetTuplet(number, static_cast<uint16_t>(i), tuplets[i]);
    }
    return number;
}

Score& Score::SetTuplet(uint32_t entryNumber, uint16_t index, const TupletDefinition& tuplet) {
    return SetRecord(kTupletTag, TupletKeys(entryNumber, index), tuplet.ToBytes());
}

Score& Score::SetDefaults(const TupletDefinition& defaults) {
    return SetRecord(kTupletDefaultsTag, kTupletDefaultsKeys, defaults.ToBytes());
}

Score& Score::SetRecord(uint32_t tag, const Keys& keys, Bytes bytes) {
    Records[RecordKey{tag, keys}] = std::move(bytes);
    return *this;
}

Score& Score::SetPartRecord(char a, char b, uint16_t index, const std::array<uint16_t, 6>& words) {
    Bytes bytes(12);
    for (size_t i = 0; i < words.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(words[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
    }
    return SetRecord(PartTag(a, b), Keys{kPartOwner, index, 0, 0}, std::move(bytes));
}

bool Score::RemoveRecord(uint32_t tag, const Keys& keys) {
    return Records.erase(RecordKey{tag, keys}) != 0;
}

}  // namespace sim
