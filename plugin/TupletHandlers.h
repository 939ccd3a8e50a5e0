#pragma once

#include <cstdint>

#include "framework/core/MCIteratorHandler.h"
#include "framework/data/TupletRules.h"
#include "plugin/CommandTable.h"

class MCTuplet;
class MCTupletPrefs;

// Carries out a command on each tuplet the browser hands it, against the
// Default Tuplet Definition: resets the tuplet to it and saves the tuplet,
// copies the tuplet into it and saves the defaults, or compares the two and
// counts. Never stops the walk. Given several tuplets, Change copies and
// saves each in turn, so the last wins; the driver gives it exactly one.
class MCTupletChanger : public MCIteratorHandler {
public:
    MCTupletChanger(MCTupletPrefs* defaults, CommandMode mode, bool copyPosition)
        : Defaults(defaults), CopyPosition(copyPosition), Mode(mode) {}

    bool Iterate(__MCBase* object) override;
    // Whether the tuplet has every setting of Defaults, the position only
    // when asked for: Compare's comparison, one of its two answers.
    bool MatchesDefaults(const MCTuplet& tuplet, bool withPosition);

    // In ChangeDefaults: whether a tuplet has been copied into Defaults
    // (and they saved).
    bool HasCopiedIntoDefaults() const { return CopiedIntoDefaults; }

    MCTupletPrefs* Defaults;  // not owned
    int32_t VisitedCount = 0;
    int32_t DifferentCount = 0;
    int32_t DifferentExclPositionCount = 0;
    bool CopyPosition;
    int32_t Mode;

private:
    bool CopiedIntoDefaults = false;
    // Compare's defaults, normalised once for the whole walk.
    DefaultsComparison Comparison;
};

// Counts tuplets and stops the walk at the second one: TupletCount ends as
// 0, 1 or 2.
class MCOneTupletCounter : public MCIteratorHandler {
public:
    bool Iterate(__MCBase* object) override;

    int32_t TupletCount = 0;
};
