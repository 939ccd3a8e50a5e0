#include "framework/data/KDataTranslation.h"

#include <algorithm>
#include <iterator>
#include <cstring>

#include "framework/data/FieldMap.h"
#include "framework/host/HostFunctions.h"
#include "framework/host/HostVersion.h"

namespace {

// A tag standing for Count consecutive part records, one 12-byte slot each.
struct RangeMapRow {
    uint32_t Tag;
    uint32_t PartTag;
    int Count;
    KeyCondition Key;
    bool IndexFromKey;  // first part index is key - 1, else 0
};

constexpr RangeMapRow kRangeMap[] = {
    {TagOf("pfGD"), TagOf("ot79"), 1, kAnyKey, false},
    {TagOf("pfGG"), TagOf("ot88"), 11, kAnyKey, false},
    {TagOf("pfGb"), TagOf("ot98"), 1, {1, 4}, true},
    {TagOf("pfGd"), TagOf("ot80"), 1, kAnyKey, false},
    {TagOf("pfGs"), TagOf("ot91"), 1, {1, 1}, false},
    {TagOf("pfMM"), TagOf("ot25"), 2, kAnyKey, false},
    {TagOf("pfND"), TagOf("ot04"), 1, kAnyKey, false},
    {TagOf("pfNd"), TagOf("ot66"), 1, kAnyKey, false},
    {TagOf("pfPF"), TagOf("ot77"), 4, {1, 1}, false},
    {TagOf("pfSC"), TagOf("ot52"), 2, kAnyKey, false},
    {TagOf("pfSN"), TagOf("ot40"), 1, {1, 128}, true},
    {TagOf("pfSP"), TagOf("ot94"), 3, kAnyKey, false},
    {TagOf("pfSl"), TagOf("ot26"), 1, {1, 15}, true},
    {TagOf("pfTC"), TagOf("ot86"), 5, kAnyKey, false},
    {TagOf("pfTI"), TagOf("ot84"), 4, kAnyKey, false},
    {TagOf("pfTX"), TagOf("ot78"), 9, kAnyKey, false},
    {TagOf("pfTp"), TagOf("ot85"), 4, kAnyKey, false},
    {TagOf("pfTs"), TagOf("ot90"), 1, {1, 9}, true},
};

constexpr FieldMapRow kPlayback[] = {
    {{'1', '3'}, 0, 0, 0, 1, 2, kConvertWord, 0},
    {{'3', '9'}, 0, 0, 2, 3, 2, kConvertWord, 0},
    {{'3', '6'}, 0, 0, 4, 0, 2, kConvertWord, 0},
    {{'3', '6'}, 0, 0, 6, 5, 2, kConvertWord, 0},
    {{'3', '7'}, 0, 0, 8, 0, 2, kConvertWord, 0},
    {{'3', '7'}, 0, 0, 10, 1, 2, kConvertWord, 0},
    {{'3', '7'}, 0, 0, 12, 2, 2, kConvertWord, 0},
};

// A tag assembled field by field. The rows of most of these records are
// the host's and not carried here: such tags answer size queries from
// ReportedSize and otherwise go straight to the host.
struct FieldMapEntry {
    uint32_t Tag;
    KeyCondition Key;
    uint32_t ReportedSize;
    FieldMap Map;  // no rows: straight to the host
};

constexpr FieldMap kNoRows{nullptr, 0};

constexpr FieldMapEntry kFieldMaps[] = {
    {TagOf("pf05"), kAnyKey, 22, kNoRows},
    {TagOf("pfDP"), kAnyKey, 76, kNoRows},
    {TagOf("pfEX"), kAnyKey, 50, kNoRows},
    {TagOf("pfMS"), kAnyKey, 104, kNoRows},
    {TagOf("pfPB"), kAnyKey, 44, kNoRows},
    {TagOf("pfPF"), {0, 0}, 48, kNoRows},
    {TagOf("pfPL"), kAnyKey, 14, {kPlayback, static_cast<int32_t>(std::size(kPlayback))}},
    {TagOf("pfRP"), kAnyKey, 40, kNoRows},
    {TagOf("pfSI"), kAnyKey, 54, kNoRows},
    {TagOf("pfSS"), kAnyKey, 96, kNoRows},
};

// Every tag of the two maps is a preference tag: 'pf' and two characters.
// Any other tag (tuplets, part records) goes to the host without a search.
constexpr bool MapsHoldOnlyPreferenceTags() {
    for (const RangeMapRow& row : kRangeMap) {
        if (!IsPreferenceTag(row.Tag)) return false;
    }
    for (const FieldMapEntry& entry : kFieldMaps) {
        if (!IsPreferenceTag(entry.Tag)) return false;
    }
    return true;
}
static_assert(MapsHoldOnlyPreferenceTags());

uint16_t FirstKey(const uint16_t* keys) { return keys != nullptr ? keys[0] : 0; }

const FieldMapEntry* FindFieldMap(uint32_t tag, const uint16_t* keys) {
    for (const FieldMapEntry& entry : kFieldMaps) {
        if (entry.Tag == tag && entry.Key.Holds(FirstKey(keys))) return &entry;
    }
    return nullptr;
}

const RangeMapRow* FindRangeMap(uint32_t tag) {
    for (const RangeMapRow& row : kRangeMap) {
        if (row.Tag == tag) return &row;
    }
    return nullptr;
}

uint16_t FirstPartIndex(const RangeMapRow& range, const uint16_t* keys) {
    return range.IndexFromKey ? static_cast<uint16_t>(FirstKey(keys) - 1) : 0;
}

int16_t RangeLoad(const RangeMapRow& range, const uint16_t* keys, void* buffer, uint32_t* count) {
    const uint32_t size = kPartRecordBytes * static_cast<uint32_t>(range.Count);
    if (count == nullptr) return 0;
    if (buffer == nullptr) {
        *count = size;
        return 1;
    }
    if (*count < size) return 0;
    auto* slots = static_cast<uint8_t*>(buffer);
    const uint16_t first = FirstPartIndex(range, keys);
    for (int i = 0; i < range.Count; ++i) {
        uint16_t partKeys[4] = {kDefaultOwnerKey, static_cast<uint16_t>(first + i), 0, 0};
        uint8_t part[kPartRecordBytes] = {};
        uint32_t partSize = kPartRecordBytes;
        LoadKData(range.PartTag, partKeys, part, &partSize, host::kCallVersion);
        std::memcpy(slots + kPartRecordBytes * i, part,
                    std::min<uint32_t>(partSize, kPartRecordBytes));
    }
    *count = size;
    return 1;
}

int16_t RangeSave(const RangeMapRow& range, const uint16_t* keys, void* buffer, uint32_t count) {
    if (buffer == nullptr || count < kPartRecordBytes * static_cast<uint32_t>(range.Count)) return 0;
    auto* slots = static_cast<uint8_t*>(buffer);
    const uint16_t first = FirstPartIndex(range, keys);
    for (int i = 0; i < range.Count; ++i) {
        uint16_t partKeys[4] = {kDefaultOwnerKey, static_cast<uint16_t>(first + i), 0, 0};
        SaveKData(range.PartTag, partKeys, slots + kPartRecordBytes * i, kPartRecordBytes,
                  host::kCallVersion);
    }
    return 1;
}

int16_t FieldLoad(const FieldMapEntry& entry, void* buffer, uint32_t* count) {
    if (count == nullptr) return 0;
    if (buffer == nullptr) {
        *count = entry.ReportedSize;
        return 1;
    }
    // A buffer shorter than the layout would be written past its end.
    if (*count < LayoutSpan(entry.Map)) return 0;
    *count = entry.ReportedSize;
    return LoadFields(entry.Map, static_cast<uint8_t*>(buffer), HostVersion) ? 1 : 0;
}

int16_t FieldSave(const FieldMapEntry& entry, void* buffer, uint32_t count) {
    if (buffer == nullptr) return 0;
    if (count < 2u * static_cast<uint32_t>(entry.Map.RowCount)) return 0;
    if (count < LayoutSpan(entry.Map)) return 0;
    return SaveFields(entry.Map, static_cast<const uint8_t*>(buffer), HostVersion) ? 1 : 0;
}

// The zero-and-compare load: a host that fails but leaves data behind still
// counts as having loaded.
bool ZeroCompareLoad(uint16_t* keys, void* buffer, uint32_t* count, uint32_t version,
                     int16_t& result) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    const uint32_t zeroed = count != nullptr ? std::min(*count, kZeroCompareBytes) : kZeroCompareBytes;
    std::memset(bytes, 0, zeroed);
    if (!host::HasLoadKData()) {
        result = 0;
        return true;
    }
    if (host::MX_LoadKData(kZeroCompareTag, keys, buffer, count, version) != 0) return false;
    result = std::any_of(bytes, bytes + zeroed, [](uint8_t b) { return b != 0; }) ? 1 : 0;
    return true;
}

}  // namespace

int16_t TranslatedLoad(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                       uint32_t version) {
    if (tag == kZeroCompareTag && buffer != nullptr) {
        int16_t result = 0;
        if (ZeroCompareLoad(keys, buffer, count, version, result)) return result;
        // Loaded: the tag is in neither map, so it is asked for again below.
    }
    if (!IsPreferenceTag(tag)) return static_cast<int16_t>(host::MX_LoadKData(tag, keys, buffer, count, version));
    if (const FieldMapEntry* entry = FindFieldMap(tag, keys)) {
        if (entry->Map.RowCount > 0 || buffer == nullptr) return FieldLoad(*entry, buffer, count);
    } else if (const RangeMapRow* range = FindRangeMap(tag)) {
        if (!range->Key.Holds(FirstKey(keys))) return 0;
        return RangeLoad(*range, keys, buffer, count);
    }
    return static_cast<int16_t>(host::MX_LoadKData(tag, keys, buffer, count, version));
}

int16_t TranslatedSave(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                       uint32_t version) {
    if (version >= kFirstTranslatedVersion && IsPreferenceTag(tag)) {
        if (const FieldMapEntry* entry = FindFieldMap(tag, keys)) {
            if (entry->Map.RowCount > 0) return FieldSave(*entry, buffer, count);
        } else if (const RangeMapRow* range = FindRangeMap(tag)) {
            if (!range->Key.Holds(FirstKey(keys))) return 0;
            return RangeSave(*range, keys, buffer, count);
        }
    }
    return static_cast<int16_t>(host::MX_SaveKData(tag, keys, buffer, count, version));
}
