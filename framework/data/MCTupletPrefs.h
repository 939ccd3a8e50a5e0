#pragma once

#include <cstdint>

#include "contract/MelvaraRecords.h"
#include "framework/data/MCPrefsBase.h"
#include "framework/data/TupletDefinition.h"

class MCTuplet;

// The document's Default Tuplet Definition: preference record 'pfTP' number
// 1, whose main block has the layout of a tuplet record, and a supplement of
// four words assembled from three part records.
class MCTupletPrefs : public __MCPrefsBase {
public:
    static constexpr uint32_t kTag = MELVARA_TUPLET_DEFAULTS_TAG;
    static constexpr uint16_t kDocumentDefaults = MELVARA_TUPLET_DEFAULTS_KEY;
    static constexpr int kSupplementBytes = 8;

    MCTupletPrefs();
    int32_t ClassID() const override;
    const char* ClassName() const override;
    uint8_t* DataBuffer() override;
    __MCBaseData* CreateObject() override;
    uint32_t Tag() override;
    int LoadSize() override;
    // Copies another defaults record's main block; Supplement and Keys stay.
    void CopyDataFrom(const __MCBaseData& other) override;
    // Stores the main block, then the supplement's changed part records.
    bool Save() override;
    bool LoadFirst() override;
    // Loads the main block and, when it loaded whole (30 bytes), the
    // supplement.
    bool Load(uint16_t number) override;

    // The defaults go into the tuplet's definition (position included).
    // False, with nothing changed, without a tuplet.
    bool CopyToTuplet(MCTuplet* tuplet) const;
    // The tuplet goes into the defaults, its position only when asked.
    // False, with nothing changed, without a tuplet.
    bool CopyFromTuplet(const MCTuplet* tuplet, bool withPosition);

    int SelectorA() const { return Definition.SelectorA(); }
    uint16_t SupplementWord(int index) const { return Supplement[index]; }

    TupletDefinition Definition;
    uint16_t Supplement[4] = {0, 0, 0, 0};

private:
    uint8_t* SupplementBytes() { return reinterpret_cast<uint8_t*>(Supplement); }

    // Whether every part record of the supplement loaded. A supplement that
    // did not is never saved: its missing words would overwrite the host's.
    bool SupplementLoaded = false;
};
