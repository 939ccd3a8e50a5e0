// Composed record transfers: LoadKData and SaveKData of the translation
// layer with any tag, key words, buffer length, count and version argument,
// and the versioned field transfers of the preference base with maps of any
// rows, over part records of any words and any size.
//
// Each record the host is asked for is made from the input the first time
// (missing, or present with some size and words) and answers the same from
// then on. Buffers are allocated exactly as long as the count that comes
// with them.
//
// Properties: no read or write beyond a buffer; within one transfer each
// part record is loaded at most once; a field transfer saves a part record
// only after loading it whole in the same transfer, only when one of its
// words changed, and changes no word that no taking-part row writes; a
// composed record loaded and saved back unchanged saves nothing; a
// versioned save is refused exactly when its count is below two bytes a row.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "framework/core/ByteOrder.h"
#include "framework/data/FieldMap.h"
#include "framework/data/KDataTranslation.h"
#include "framework/data/MCPrefsBase.h"
#include "framework/host/HostVersion.h"
#include "fuzz/FuzzHost.h"

namespace {

constexpr uint32_t kPartTagMask = 0xFFFF0000;
constexpr uint32_t kPartTagBase = 0x6F740000;
constexpr size_t kPartBytes = 12;

bool IsPart(uint32_t tag) { return (tag & kPartTagMask) == kPartTagBase; }

struct Store {
    FuzzedDataProvider* Data = nullptr;
    std::map<sim::RecordKey, std::optional<std::vector<uint8_t>>> Records;

    // What one transfer did with part records.
    std::map<sim::RecordKey, int> Loads;
    std::map<sim::RecordKey, std::vector<uint8_t>> LoadedWhole;  // as loaded, 12 bytes
    std::vector<std::pair<sim::RecordKey, std::vector<uint8_t>>> Saves;

    void BeginTransfer() {
        Loads.clear();
        LoadedWhole.clear();
        Saves.clear();
    }

    const std::optional<std::vector<uint8_t>>& Find(const sim::RecordKey& key) {
        auto found = Records.find(key);
        if (found != Records.end()) return found->second;
        std::optional<std::vector<uint8_t>> record;
        if (Data->ConsumeIntegralInRange(0, 7) != 0) {
            size_t size = kPartBytes;
            if (Data->ConsumeIntegralInRange(0, 5) == 0) size = Data->ConsumeIntegralInRange<size_t>(0, 16);
            std::vector<uint8_t> bytes = Data->ConsumeBytes<uint8_t>(size);
            bytes.resize(size, 0);
            record = std::move(bytes);
        }
        return Records.emplace(key, std::move(record)).first->second;
    }
};
Store* store = nullptr;

sim::Keys KeysOf(const uint16_t* keys) {
    sim::Keys words{};
    if (keys != nullptr) std::memcpy(words.data(), keys, sizeof words);
    return words;
}

int16_t HostLoadKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count, uint32_t) {
    const sim::RecordKey key{tag, KeysOf(keys)};
    if (IsPart(tag)) {
        fuzz::Check(++store->Loads[key] == 1, "a part record was loaded twice in one transfer");
    }
    const auto& record = store->Find(key);
    if (!record || count == nullptr) return 0;
    if (buffer != nullptr) {
        const size_t copied = std::min<size_t>(*count, record->size());
        if (copied > 0) std::memcpy(buffer, record->data(), copied);
        if (IsPart(tag) && record->size() >= kPartBytes && *count >= kPartBytes) {
            store->LoadedWhole[key].assign(record->begin(), record->begin() + kPartBytes);
        }
    }
    *count = static_cast<uint32_t>(record->size());
    return 1;
}

int16_t HostSaveKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count, uint32_t) {
    const sim::RecordKey key{tag, KeysOf(keys)};
    std::vector<uint8_t> bytes;
    // A null buffer comes from the caller of a call passed straight on.
    if (count > 0 && buffer != nullptr) {
        const auto* from = static_cast<const uint8_t*>(buffer);
        bytes.assign(from, from + count);
    }
    store->Saves.emplace_back(key, bytes);
    return 1;
}

// The words of each part record that the taking-part rows of a map write.
// A 4-byte row without conversion writes nothing but counts a non-zero value
// as a change, and two rows may write the same word: such a part may be
// saved unchanged (key in MaySaveUnchanged).
struct Coverage {
    std::map<sim::RecordKey, std::set<int>> Words;
    std::set<sim::RecordKey> MaySaveUnchanged;
};

Coverage CoverageOf(const FieldMapRow* rows, int32_t count, uint32_t hostVersion) {
    Coverage coverage;
    for (int32_t i = 0; i < count; ++i) {
        const FieldMapRow& row = rows[i];
        if (hostVersion < row.MinVersion) continue;
        const sim::RecordKey key{PartTag(row),
                                 {row.PartKey1 == 0 ? kDefaultOwnerKey : row.PartKey1, row.PartKey2, 0, 0}};
        // Two rows that write the same word may change it and change it back.
        auto& words = coverage.Words[key];
        if (!words.insert(row.WordIndex).second) coverage.MaySaveUnchanged.insert(key);
        if (row.Size == 4 && !words.insert(row.WordIndex + 1).second) coverage.MaySaveUnchanged.insert(key);
        if (row.Size == 4 && row.Conversion != kConvertHighFirst && row.Conversion != kConvertLowFirst) {
            coverage.MaySaveUnchanged.insert(key);
        }
    }
    return coverage;
}

// Every part save of a field transfer: loaded whole before, changed, and
// changed only where a row writes.
void CheckFieldSaves(const Coverage& coverage) {
    std::set<sim::RecordKey> saved;
    for (const auto& [key, bytes] : store->Saves) {
        fuzz::Check(IsPart(key.Tag), "a field transfer saved something other than a part record");
        fuzz::Check(saved.insert(key).second, "a part record was saved twice in one transfer");
        auto loaded = store->LoadedWhole.find(key);
        fuzz::Check(loaded != store->LoadedWhole.end(), "a part record that did not load whole was saved");
        fuzz::Check(bytes.size() == kPartBytes, "a part record was saved with another size");
        fuzz::Check(bytes != loaded->second || coverage.MaySaveUnchanged.count(key) != 0,
                    "a part record was saved unchanged");
        auto covered = coverage.Words.find(key);
        for (int word = 0; word < 6; ++word) {
            if (covered != coverage.Words.end() && covered->second.count(word) != 0) continue;
            fuzz::Check(ReadLE16(&bytes[2 * word]) == ReadLE16(&loaded->second[2 * word]),
                        "a part word that no row writes was changed");
        }
    }
}

// 'pfPL', the one composed tag whose rows the module carries.
constexpr FieldMapRow kPlaybackRows[] = {
    {{'1', '3'}, 0, 0, 0, 1, 2, kConvertWord, 0}, {{'3', '9'}, 0, 0, 2, 3, 2, kConvertWord, 0},
    {{'3', '6'}, 0, 0, 4, 0, 2, kConvertWord, 0}, {{'3', '6'}, 0, 0, 6, 5, 2, kConvertWord, 0},
    {{'3', '7'}, 0, 0, 8, 0, 2, kConvertWord, 0}, {{'3', '7'}, 0, 0, 10, 1, 2, kConvertWord, 0},
    {{'3', '7'}, 0, 0, 12, 2, 2, kConvertWord, 0},
};
constexpr uint32_t kPlaybackTag = 0x7066504C;

uint32_t PickTag(FuzzedDataProvider& data) {
    static constexpr uint32_t kTags[] = {
        0x70664744, 0x70664747, 0x70664762, 0x70664764, 0x70664773, 0x70664D4D, 0x70664E44,
        0x70664E64, 0x70665046, 0x70665343, 0x7066534E, 0x70665350, 0x7066536C, 0x70665443,
        0x70665449, 0x70665458, 0x70665470, 0x70665473,                          // range maps
        0x70663035, 0x70664450, 0x70664558, 0x70664D53, 0x70665042, 0x7066504C,  // field maps
        0x70665250, 0x70665349, 0x70665353, 0x70665450, 0x4F096649, 0x45035450, 0x6F743134};
    if (data.ConsumeIntegralInRange(0, 9) == 0) return data.ConsumeIntegral<uint32_t>();
    return kTags[data.ConsumeIntegralInRange<size_t>(0, std::size(kTags) - 1)];
}

uint16_t PickKey(FuzzedDataProvider& data) {
    static constexpr uint16_t kKeys[] = {0, 1, 2, 4, 5, 9, 10, 15, 16, 128, 129, 0xFFFE, 0xFFFF};
    return kKeys[data.ConsumeIntegralInRange<size_t>(0, std::size(kKeys) - 1)];
}

uint32_t PickVersion(FuzzedDataProvider& data) {
    static constexpr uint32_t kVersions[] = {0x19000000, 0x08000000, 0x07FFFFFF, 0x12000000, 0};
    if (data.ConsumeBool()) return data.ConsumeIntegral<uint32_t>();
    return kVersions[data.ConsumeIntegralInRange<size_t>(0, std::size(kVersions) - 1)];
}

void TranslatedLoad(FuzzedDataProvider& data) {
    const uint32_t tag = PickTag(data);
    uint16_t keys[4] = {PickKey(data), PickKey(data), 0, 0};
    const bool withBuffer = data.ConsumeIntegralInRange(0, 7) != 0;
    uint32_t capacity = data.ConsumeBool() ? data.ConsumeIntegralInRange<uint32_t>(0, 140)
                                           : data.ConsumeIntegralInRange<uint32_t>(0, 24) * 6;
    if (tag == kZeroCompareTag) capacity = std::max(capacity, kZeroCompareBytes);
    std::vector<uint8_t> buffer(std::max<uint32_t>(capacity, 1));
    uint32_t count = capacity;
    store->BeginTransfer();
    LoadKData(tag, keys, withBuffer ? buffer.data() : nullptr, data.ConsumeIntegralInRange(0, 15) != 0 ? &count : nullptr,
              PickVersion(data));
}

void TranslatedSave(FuzzedDataProvider& data) {
    const uint32_t tag = PickTag(data);
    uint16_t keys[4] = {PickKey(data), PickKey(data), 0, 0};
    const uint32_t count = data.ConsumeBool() ? data.ConsumeIntegralInRange<uint32_t>(0, 140)
                                              : data.ConsumeIntegralInRange<uint32_t>(0, 24) * 6;
    std::vector<uint8_t> buffer = data.ConsumeBytes<uint8_t>(count);
    buffer.resize(std::max<uint32_t>(count, 1), 0);
    const uint32_t version = PickVersion(data);
    store->BeginTransfer();
    SaveKData(tag, keys, data.ConsumeIntegralInRange(0, 15) != 0 ? buffer.data() : nullptr, count, version);
    if (tag == kPlaybackTag && version >= kFirstTranslatedVersion) {
        CheckFieldSaves(CoverageOf(kPlaybackRows, std::size(kPlaybackRows), HostVersion));
    }
}

// 'pfPL' loaded and saved back unchanged saves nothing.
void PlaybackRoundTrip(FuzzedDataProvider& data) {
    uint16_t keys[4] = {PickKey(data), 0, 0, 0};
    std::vector<uint8_t> buffer(14);
    uint32_t count = static_cast<uint32_t>(buffer.size());
    store->BeginTransfer();
    fuzz::Check(LoadKData(kPlaybackTag, keys, buffer.data(), &count, 0x19000000) != 0, "'pfPL' did not load");
    fuzz::Check(count == 14, "'pfPL' reported another size than 14");
    store->BeginTransfer();
    SaveKData(kPlaybackTag, keys, buffer.data(), count, 0x19000000);
    fuzz::Check(store->Saves.empty(), "'pfPL' saved back unchanged saved a part record");
}

std::vector<FieldMapRow> PickRows(FuzzedDataProvider& data) {
    static constexpr char kParts[][2] = {{'1', '4'}, {'6', '9'}, {'2', '3'}, {'3', '6'}, {'F', 'I'}};
    std::vector<FieldMapRow> rows(data.ConsumeIntegralInRange<size_t>(0, data.ConsumeBool() ? 8 : 70));
    for (FieldMapRow& row : rows) {
        const auto& part = kParts[data.ConsumeIntegralInRange<size_t>(0, std::size(kParts) - 1)];
        row.PartChars[0] = part[0];
        row.PartChars[1] = part[1];
        row.PartKey1 = data.ConsumeIntegralInRange(0, 3) == 0 ? data.ConsumeIntegralInRange<uint16_t>(10, 12) : 0;
        row.PartKey2 = data.ConsumeIntegralInRange<uint16_t>(0, 1);
        row.Size = data.ConsumeIntegralInRange(0, 7) == 0 ? data.ConsumeIntegralInRange<int16_t>(-1, 5)
                                                          : static_cast<int16_t>(data.ConsumeBool() ? 2 : 4);
        row.WordIndex = data.ConsumeIntegralInRange<int16_t>(-1, 6);
        row.Offset = data.ConsumeIntegralInRange<int16_t>(-2, 60);
        row.Conversion = data.ConsumeIntegralInRange<int32_t>(0, 5);
        row.MinVersion = data.ConsumeBool() ? 0 : data.ConsumeIntegral<uint32_t>();
    }
    return rows;
}

bool Transferable(const std::vector<FieldMapRow>& rows) {
    if (rows.size() > static_cast<size_t>(kMaxFieldMapRows)) return false;
    for (const FieldMapRow& row : rows) {
        if (row.Offset < 0 || row.WordIndex < 0) return false;
        if (row.Size == 2 && row.WordIndex > 5) return false;
        if (row.Size == 4 && row.WordIndex > 4) return false;
        if (row.Size != 2 && row.Size != 4) return false;
    }
    return true;
}

void VersionedTransfer(FuzzedDataProvider& data) {
    const std::vector<FieldMapRow> rows = PickRows(data);
    const FieldMap map{rows.data(), static_cast<int32_t>(rows.size())};
    // The block spans every row, as the callers' blocks do.
    const uint32_t span = LayoutSpan(map);
    std::vector<uint8_t> block = data.ConsumeBytes<uint8_t>(span);
    block.resize(std::max<uint32_t>(span, 1), 0);
    if (data.ConsumeBool()) {
        uint32_t count = data.ConsumeIntegral<uint32_t>();
        store->BeginTransfer();
        __MCPrefsBase::LoadVersionedFields(map, data.ConsumeIntegralInRange(0, 7) != 0 ? block.data() : nullptr,
                                           &count);
        fuzz::Check(count == ReportedSize(map), "a versioned load reported another size than its map's");
        return;
    }
    const uint32_t count = data.ConsumeBool() ? 2 * static_cast<uint32_t>(rows.size()) - data.ConsumeIntegralInRange(0u, 1u)
                                              : data.ConsumeIntegral<uint32_t>();
    store->BeginTransfer();
    const bool saved = __MCPrefsBase::SaveVersionedFields(map, block.data(), count);
    fuzz::Check(saved == (count >= 2 * static_cast<uint32_t>(rows.size())),
                "a versioned save refused or accepted its count wrongly");
    if (!saved || !Transferable(rows)) {
        fuzz::Check(store->Saves.empty(), "a refused versioned save saved a part record");
        return;
    }
    CheckFieldSaves(CoverageOf(rows.data(), map.RowCount, HostVersion));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    Store records;
    records.Data = &data;
    store = &records;
    sim::Host host;
    fuzz::HostBinding binding(host, PickVersion(data));
    binding.Replace("MX_LoadKData", reinterpret_cast<void*>(&HostLoadKData));
    binding.Replace("MX_SaveKData", reinterpret_cast<void*>(&HostSaveKData));
    for (int op = 0; op < 16 && data.remaining_bytes() > 0; ++op) {
        switch (data.ConsumeIntegralInRange(0, 3)) {
            case 0:
                TranslatedLoad(data);
                break;
            case 1:
                TranslatedSave(data);
                break;
            case 2:
                PlaybackRoundTrip(data);
                break;
            default:
                VersionedTransfer(data);
        }
    }
    store = nullptr;
    return 0;
}
