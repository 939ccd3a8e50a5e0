#pragma once

#include <cstdint>

#include "framework/data/FieldMap.h"
#include "framework/data/MCBaseData.h"

// Base of preference records: keyed by a preference number (Keys word 1).
// Preference records that the document does not store whole are assembled
// field by field from part records through a versioned field map, each row
// only on hosts from its minimum version on.
class __MCPrefsBase : public __MCBaseData {
public:
    bool Save() override;
    // Loads the same preference number again; false without data.
    bool Reload() override;

    // Loads preference `number` of the record's tag.
    virtual bool Load(uint16_t number);

    // The versioned map of a tag and preference number, or null when the
    // record goes to the host whole.
    static const FieldMap* FindVersionedMap(uint32_t tag, uint16_t number);

    // The versioned transfers. Load writes the map's reported size to *count
    // first, then fills target (when given); it is true. Save is false when
    // count is below 2 bytes per row, true otherwise.
    static bool LoadVersionedFields(const FieldMap& map, uint8_t* target, uint32_t* count,
                                    bool* allPartsLoaded = nullptr);
    static bool SaveVersionedFields(const FieldMap& map, const uint8_t* source, uint32_t count);

    uint16_t PreferenceNumber() const { return Keys[0]; }
};
