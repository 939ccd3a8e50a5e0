#pragma once

#include <cstdint>

#include "framework/core/MCBase.h"
#include "contract/MelvaraRegion.h"

// A rectangle of the score: staff slots StartSlot to EndSlot across
// measures StartMeasure to EndMeasure, cut at StartPos in the first measure
// and at EndPos in the last (all inclusive). It holds coordinates only.
class MCMusicRegion : public __MCBase {
public:
    MCMusicRegion() : Record{} {}
    const char* ClassName() const override;
    // Same start scope, start and end staves (by staff number), measures and
    // positions; Document is not compared.
    virtual bool IsEqual(const MCMusicRegion& other) const;

    int16_t GetStartMeasure() const { return Record.StartMeasure; }
    int16_t GetEndMeasure() const { return Record.EndMeasure; }

    // Fills the region from the host's current selection. Always true; a
    // host without MX_GetCurKRegions gives the empty region.
    bool SetCurrentSelection();
    // Fills the region from the 20-byte record passed with a command, or
    // leaves it empty with Document 0 when there is none.
    void SetFromCommandRecord(const void* selection20);

    RegionRecord Record;
    int16_t Document = 0;

private:
    int32_t Spare = 0;
};
