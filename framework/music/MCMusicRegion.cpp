#include "framework/music/MCMusicRegion.h"

#include <cstring>

#include "framework/host/HostFunctions.h"

namespace {

// The three output areas of MX_GetCurKRegions; the third holds the region.
constexpr int kHeaderArea = 8;
constexpr int kRegionArea = 24;

}  // namespace

const char* MCMusicRegion::ClassName() const { return "MCMusicRegion"; }

bool MCMusicRegion::IsEqual(const MCMusicRegion& other) const {
    if (Record.StartSlotScope != other.Record.StartSlotScope) return false;
    if (static_cast<int16_t>(host::MX_SlotToInst(Record.StartSlot, Record.StartSlotScope)) !=
        static_cast<int16_t>(host::MX_SlotToInst(other.Record.StartSlot, other.Record.StartSlotScope))) {
        return false;
    }
    if (static_cast<int16_t>(host::MX_SlotToInst(Record.EndSlot, Record.EndSlotScope)) !=
        static_cast<int16_t>(host::MX_SlotToInst(other.Record.EndSlot, other.Record.EndSlotScope))) {
        return false;
    }
    if (GetStartMeasure() != other.GetStartMeasure()) return false;
    if (GetEndMeasure() != other.GetEndMeasure()) return false;
    if (Record.StartPos != other.Record.StartPos) return false;
    return Record.EndPos == other.Record.EndPos;
}

bool MCMusicRegion::SetCurrentSelection() {
    uint8_t header[kHeaderArea] = {};
    uint8_t other[kRegionArea] = {};
    uint8_t region[kRegionArea] = {};
    if (host::MX_GetCurKRegions(header, other, region)) {
        std::memcpy(&Record, region, sizeof Record);
    } else {
        Record = RegionRecord{};
    }
    Document = static_cast<int16_t>(host::MX_GetCurrentKovrinDocument());
    return true;
}

void MCMusicRegion::SetFromCommandRecord(const void* selection20) {
    Record = RegionRecord{};
    Document = 0;
    if (selection20 == nullptr) return;
    std::memcpy(&Record, selection20, sizeof Record);
    Document = static_cast<int16_t>(host::MX_GetCurrentKovrinDocument());
}
