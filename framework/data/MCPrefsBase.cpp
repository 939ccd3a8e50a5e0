#include "framework/data/MCPrefsBase.h"

#include <iterator>

#include "framework/host/HostVersion.h"

namespace {

constexpr FieldMapRow kPageSetupRows[] = {
    {{'P', 'G'}, 0, 0, 0, 0, 2, kConvertWord, 0},
};

struct VersionedMapEntry {
    uint32_t Tag;
    KeyCondition Number;
    FieldMap Map;
};

// The directory carries the maps whose rows this module knows. The other
// versioned records ('pfDP', 'pfEX', 'pfGp', 'pfMI', 'pfMS', 'pfPB', 'pfPF'
// number 0, 'pfPL', 'pfRP', 'pfSI', 'pfSS', 'pfSp', 'pfTI', 'pfly', 'pfmm')
// go to the host whole.
constexpr VersionedMapEntry kDirectory[] = {
    {TagOf("pfpS"), kAnyKey, {kPageSetupRows, static_cast<int32_t>(std::size(kPageSetupRows))}},
};

}  // namespace

const FieldMap* __MCPrefsBase::FindVersionedMap(uint32_t tag, uint16_t number) {
    for (const VersionedMapEntry& entry : kDirectory) {
        if (entry.Tag == tag && entry.Number.Holds(number)) {
            return &entry.Map;
        }
    }
    return nullptr;
}

bool __MCPrefsBase::LoadVersionedFields(const FieldMap& map, uint8_t* target, uint32_t* count,
                                        bool* allPartsLoaded) {
    if (allPartsLoaded != nullptr) *allPartsLoaded = true;
    if (count != nullptr) *count = ReportedSize(map);
    if (target == nullptr || map.RowCount == 0) return true;
    LoadFields(map, target, HostVersion, allPartsLoaded);
    return true;
}

bool __MCPrefsBase::SaveVersionedFields(const FieldMap& map, const uint8_t* source, uint32_t count) {
    if (count < 2u * static_cast<uint32_t>(map.RowCount)) return false;
    SaveFields(map, source, HostVersion);
    return true;
}

bool __MCPrefsBase::Load(uint16_t number) {
    Keys[0] = number;
    const FieldMap* map = FindVersionedMap(Tag(), number);
    if (map == nullptr) return LoadCurrent();
    if (Data == nullptr) Data = DataBuffer();
    uint32_t count = static_cast<uint32_t>(LoadSize() > 0 ? LoadSize() : 0);
    LoadVersionedFields(*map, Data, &count);
    DataSize = count;
    return true;
}

bool __MCPrefsBase::Save() {
    if (DataSize == 0) return false;
    const FieldMap* map = FindVersionedMap(Tag(), Keys[0]);
    if (map == nullptr) return __MCBaseData::Save();
    if (Data == nullptr) return false;
    return SaveVersionedFields(*map, Data, static_cast<uint32_t>(DataSize));
}

bool __MCPrefsBase::Reload() {
    if (DataSize == 0) return false;
    return Load(Keys[0]);
}
