#pragma once

#include <cstdint>

#include "framework/core/MCCollection.h"

class MCCell;
class MCIteratorHandler;
class MCMusicRegion;

// Base of the browsers: walks over parts of the score that call an
// iterator handler per visited object.
class __MCBrowserBase : public __MCIteratorBase {
public:
    const char* ClassName() const override;
};

// Walks a region cell by cell: measure by measure, and within a measure
// slot by slot, both ascending. What is done in a cell is the subclass's.
class __MCBrowserRegionBase : public __MCBrowserBase {
public:
    // The walk over the host's current selection.
    int32_t ForEach(MCIteratorHandler& handler) override;
    // Browsers find nothing: always null.
    __MCBase* FindFirst(MCIteratorHandler& handler) override;
    // Visits one cell; false when the handler stopped the walk, or when an
    // object the walk needed could not be allocated (mcpool counts such
    // failures): the walk then ends too.
    virtual bool ProcessCell(MCCell& cell, MCIteratorHandler& handler,
                             const MCMusicRegion& region) = 0;

    // The walk over a given region; the number of cells finished before the
    // handler stopped it (or all of them).
    int32_t ForEachInRegion(MCIteratorHandler& handler, const MCMusicRegion& region);
};

// Visits every tuplet of a region in the layers the host shows: by measure,
// slot, layer, entry, and index on the entry, up to the first index without
// a record (one of another size than a tuplet's is passed over). The
// handler receives one MCTuplet per cell, reloaded for each tuplet, with its
// keys and note entry set; it may change and save it, and stops the walk by
// returning false. The walk ends as well at the first allocation that
// fails, whether the browser's or the handler's.
class MCBrowserTuplets : public __MCBrowserRegionBase {
public:
    bool ProcessCell(MCCell& cell, MCIteratorHandler& handler, const MCMusicRegion& region) override;

protected:
    // The walk of one cell. Given otherSizes, a record of another size than
    // a tuplet's is handed to the handler too, with no data, under its keys,
    // and counted there.
    bool VisitCell(MCCell& cell, MCIteratorHandler& handler, const MCMusicRegion& region,
                   int32_t* otherSizes);
};

// The same walk over every tuplet record of the region, those of another
// size than a tuplet's included (handed over with no data): for counting the
// region's tuplets, where such a record is still one. OtherSizes tells how
// many of the records it handed over were of another size.
class MCBrowserTupletRecords : public MCBrowserTuplets {
public:
    bool ProcessCell(MCCell& cell, MCIteratorHandler& handler, const MCMusicRegion& region) override;

    int32_t OtherSizes = 0;
};
