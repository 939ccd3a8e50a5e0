#include "framework/music/MCBrowserTuplets.h"

#include <memory>
#include <new>

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCIteratorHandler.h"
#include "framework/data/MCTuplet.h"
#include "framework/host/HostFunctions.h"
#include "framework/music/MCCell.h"
#include "framework/music/MCMusicRegion.h"
#include "framework/music/MCNoteEntryCell.h"

const char* __MCBrowserBase::ClassName() const { return "__MCBrowserBase"; }

int32_t __MCBrowserRegionBase::ForEach(MCIteratorHandler& handler) {
    MCMusicRegion region;
    region.SetCurrentSelection();
    return ForEachInRegion(handler, region);
}

__MCBase* __MCBrowserRegionBase::FindFirst(MCIteratorHandler&) { return nullptr; }

int32_t __MCBrowserRegionBase::ForEachInRegion(MCIteratorHandler& handler,
                                               const MCMusicRegion& region) {
    const int32_t first = region.GetStartMeasure();
    if (first > region.GetEndMeasure()) return 0;
    // The blocks the cells reused go back to the system with the walk.
    mcpool::TrimOnExit trim;
    int32_t finished = 0;
    // 32-bit counters: a region ending at measure or slot 32767 still ends.
    for (int32_t measure = first; measure <= region.GetEndMeasure(); ++measure) {
        for (int32_t slot = region.Record.StartSlot; slot <= region.Record.EndSlot; ++slot) {
            const int32_t staff = static_cast<int16_t>(
                host::MX_SlotToInst(static_cast<int16_t>(slot), region.Record.StartSlotScope));
            MCCell cell(measure, staff);
            if (!ProcessCell(cell, handler, region)) return finished;
            ++finished;
        }
    }
    return finished;
}

bool MCBrowserTuplets::ProcessCell(MCCell& cell, MCIteratorHandler& handler,
                                   const MCMusicRegion& region) {
    return VisitCell(cell, handler, region, nullptr);
}

bool MCBrowserTupletRecords::ProcessCell(MCCell& cell, MCIteratorHandler& handler,
                                         const MCMusicRegion& region) {
    return VisitCell(cell, handler, region, &OtherSizes);
}

bool MCBrowserTuplets::VisitCell(MCCell& cell, MCIteratorHandler& handler,
                                 const MCMusicRegion& region, int32_t* otherSizes) {
    // An object the walk needs and cannot have ends the walk, as a handler
    // that stops it does: a cell walked in part would be reported as walked.
    const mcpool::FailureWatch memory;
    MCTuplet tuplet;
    std::unique_ptr<MCNoteEntryCell> entries(new (std::nothrow) MCNoteEntryCell(cell.Measure, cell.Staff));
    if (entries == nullptr) return false;
    entries->LayerMode = MCNoteEntryCell::kShownLayers;
    entries->Load();  // a cell whose frames the host refuses is empty
    bool goOn = !memory.Failed();

    for (int32_t i = 0; goOn && i < entries->GetCount(); ++i) {
        MCNoteEntry* entry = entries->GetEntryAt(i);
        // Entries without tuplets, most of them, are passed over first.
        if (entry == nullptr || (entry->EntryFlags() & MCTuplet::kHasTuplets) == 0) continue;
        if (cell.Measure == region.GetStartMeasure() && region.Record.StartPos > entry->EntryPos()) {
            continue;
        }
        if (cell.Measure == region.GetEndMeasure() && region.Record.EndPos < entry->EntryPos()) {
            continue;
        }

        // The entry's tuplets, index after index up to the first that has no
        // record. A record of another size than a tuplet's is passed over
        // (but for a count): it is no tuplet to visit, but the tuplets after
        // it are.
        tuplet.SetNoteEntry(entry);
        const uint32_t number = entry->EntryNumber();
        for (uint32_t index = 0; goOn && index <= __MCEntryDetail::kNoIndex; ++index) {
            if (!tuplet.Load(number, static_cast<uint16_t>(index))) {
                if (!tuplet.FoundOtherSize()) break;
                if (otherSizes == nullptr) continue;
                ++*otherSizes;
            }
            goOn = handler.Iterate(&tuplet) && !memory.Failed();
        }
    }
    return goOn;
}
