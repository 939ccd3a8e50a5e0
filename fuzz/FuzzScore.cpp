#include "fuzz/FuzzScore.h"

#include <algorithm>
#include <iterator>

namespace fuzz {
namespace {

constexpr int kMaxLayers = 20;

void SetWord(sim::Bytes& bytes, size_t offset, uint16_t value) {
    if (offset + 1 < bytes.size()) {
        bytes[offset] = static_cast<uint8_t>(value);
        bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
    }
}

sim::Bytes PartBytes(uint16_t seed) {
    sim::Bytes bytes(12);
    for (size_t i = 0; i < 6; ++i) SetWord(bytes, 2 * i, static_cast<uint16_t>(seed * 7 + i));
    return bytes;
}

// A record of any size now and then; mostly the size the host keeps.
sim::Bytes Resized(FuzzedDataProvider& data, sim::Bytes bytes) {
    if (data.ConsumeIntegralInRange(0, 9) == 0) bytes.resize(data.ConsumeIntegralInRange<size_t>(0, 40), 0x5A);
    return bytes;
}

int32_t PickPosition(FuzzedDataProvider& data) {
    static constexpr int32_t kNear[] = {-1, 0, 1, 255, 256, 257, 512, INT32_MIN, INT32_MAX};
    return kNear[data.ConsumeIntegralInRange<size_t>(0, std::size(kNear) - 1)];
}

}  // namespace

sim::Bytes TupletBytes(uint16_t seed) {
    sim::Bytes bytes(30);
    for (size_t offset = 0; offset < 30; offset += 2) {
        SetWord(bytes, offset, static_cast<uint16_t>(seed * 31 + offset * 257));
    }
    return bytes;
}

sim::Score TupletScore(uint16_t entries) {
    sim::Score score;
    score.SetRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys, TupletBytes(1000));
    score.SetRecord(sim::PartTag('1', '4'), {sim::kPartOwner, 0, 0, 0}, PartBytes(14));
    score.SetRecord(sim::PartTag('6', '9'), {sim::kPartOwner, 0, 0, 0}, PartBytes(69));
    score.SetRecord(sim::PartTag('2', '3'), {sim::kPartOwner, 0, 0, 0}, PartBytes(23));
    for (uint32_t entry = 0; entry < 16; ++entry) {
        if (((entries >> entry) & 1) == 0) continue;
        for (uint16_t index = 0; index < 1 + entry % 3; ++index) {
            score.SetRecord(sim::kTupletTag, sim::TupletKeys(entry, index),
                            TupletBytes(static_cast<uint16_t>(entry * 4 + index)));
        }
    }
    return score;
}

sim::Score GenerateScore(FuzzedDataProvider& data) {
    sim::Score score;
    score.Measures = data.ConsumeIntegralInRange<int16_t>(1, 4);
    score.LayerCount = data.ConsumeIntegralInRange<int16_t>(0, 5);
    const uint8_t hidden = data.ConsumeIntegral<uint8_t>();
    for (int16_t layer = 0; layer < score.LayerCount; ++layer) {
        if (((hidden >> layer) & 1) != 0) score.HiddenLayers.insert(layer);
    }
    const int staves = data.ConsumeIntegralInRange(1, 4);
    for (int i = 0; i < staves; ++i) {
        const auto number = data.ConsumeIntegralInRange<int16_t>(1, 8);
        const auto slot = data.ConsumeIntegralInRange<int16_t>(1, 6);
        const auto scope = static_cast<uint16_t>(data.ConsumeIntegralInRange(0, 7) == 0 ? 1 : 0);
        if (score.FindStaff(number) == nullptr && score.FindStaffBySlot(slot) == nullptr) {
            score.AddStaff(number, slot, scope);
        }
    }

    sim::Bytes defaults = TupletBytes(data.ConsumeIntegral<uint16_t>());
    if (data.ConsumeIntegralInRange(0, 15) != 0) {
        score.SetRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys, Resized(data, defaults));
    }
    for (auto [a, b] : {std::pair{'1', '4'}, std::pair{'6', '9'}, std::pair{'2', '3'}}) {
        if (data.ConsumeIntegralInRange(0, 7) == 0) continue;
        score.SetRecord(sim::PartTag(a, b), {sim::kPartOwner, 0, 0, 0},
                        Resized(data, PartBytes(data.ConsumeIntegral<uint16_t>())));
    }

    const int entries = score.LayerCount > 0 ? data.ConsumeIntegralInRange(0, 10) : 0;
    for (int i = 0; i < entries; ++i) {
        const sim::Staff& staff =
            score.Staves[data.ConsumeIntegralInRange<size_t>(0, score.Staves.size() - 1)];
        const sim::CellKey cell{data.ConsumeIntegralInRange<int16_t>(1, score.Measures), staff.Number,
                                data.ConsumeIntegralInRange<int16_t>(0, score.LayerCount - 1)};
        sim::Entry entry;
        entry.Position = PickPosition(data);
        entry.Notes.resize(data.ConsumeIntegralInRange<size_t>(0, sim::kMaxNotesPerEntry));
        const int tuplets = data.ConsumeIntegralInRange(0, 3);
        entry.Flags = tuplets > 0 ? sim::kEntryHasTuplets : 0;
        if (data.ConsumeIntegralInRange(0, 7) == 0) entry.Flags ^= sim::kEntryHasTuplets;
        const uint32_t number = score.AddEntry(cell, std::move(entry));
        for (int index = 0; index < tuplets; ++index) {
            // Mostly the defaults with one word changed, so that some match.
            sim::Bytes tuplet = data.ConsumeBool() ? defaults : TupletBytes(data.ConsumeIntegral<uint16_t>());
            SetWord(tuplet, 2 * data.ConsumeIntegralInRange<size_t>(0, 14), data.ConsumeIntegral<uint16_t>());
            const auto at = static_cast<uint16_t>(index + (data.ConsumeIntegralInRange(0, 9) == 0 ? 1 : 0));
            score.SetRecord(sim::kTupletTag, sim::TupletKeys(number, at), Resized(data, tuplet));
        }
    }
    // Tuplet records of entries that no cell holds.
    if (data.ConsumeBool()) {
        score.SetRecord(sim::kTupletTag, sim::TupletKeys(data.ConsumeIntegralInRange<uint32_t>(0, 20), 0),
                        TupletBytes(7));
    }
    return score;
}

std::set<sim::RecordKey> RegionTuplets(const sim::Score& score, const RegionRecord& region,
                                       bool otherSizes) {
    std::set<sim::RecordKey> reached;
    if (region.StartMeasure > region.EndMeasure) return reached;
    const int layers = std::min<int>(score.LayerCount, kMaxLayers);
    for (int32_t measure = region.StartMeasure; measure <= region.EndMeasure; ++measure) {
        for (int32_t slot = region.StartSlot; slot <= region.EndSlot; ++slot) {
            // MX_SlotToInst, MX_InstToSlot and MX_LoadTGF as the host answers them.
            const sim::Staff* bySlot = score.FindStaffBySlot(static_cast<int16_t>(slot));
            const int16_t number =
                bySlot != nullptr && bySlot->Scope == region.StartSlotScope ? bySlot->Number : 0;
            const sim::Staff* byNumber = score.FindStaff(number);
            const sim::Staff* staff = score.FindStaffBySlot(byNumber != nullptr ? byNumber->Slot : 0);
            if (staff == nullptr || measure < 1 || measure > score.Measures) continue;
            for (int layer = 0; layer < layers; ++layer) {
                if (!score.IsLayerShown(static_cast<int16_t>(layer))) continue;
                const sim::CellKey cell{static_cast<int16_t>(measure), staff->Number, static_cast<int16_t>(layer)};
                for (const sim::Entry& entry : score.EntriesOf(cell)) {
                    if (measure == region.StartMeasure && region.StartPos > entry.Position) continue;
                    if (measure == region.EndMeasure && region.EndPos < entry.Position) continue;
                    if ((entry.Flags & sim::kEntryHasTuplets) == 0) continue;
                    for (uint32_t index = 0; index <= 0xFFFF; ++index) {
                        const sim::Keys keys = sim::TupletKeys(entry.Number, static_cast<uint16_t>(index));
                        // The walk ends at the first index without a record and passes
                        // over a record that is not 30 bytes long, but for a count.
                        const sim::Bytes* record = score.FindRecord(sim::kTupletTag, keys);
                        if (record == nullptr) break;
                        if (record->size() != 30 && !otherSizes) continue;
                        reached.insert(sim::RecordKey{sim::kTupletTag, keys});
                    }
                }
            }
        }
    }
    return reached;
}

}  // namespace fuzz
