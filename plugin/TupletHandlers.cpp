#include "plugin/TupletHandlers.h"

#include "framework/data/MCTuplet.h"
#include "framework/data/MCTupletPrefs.h"
#include "framework/data/TupletRules.h"

bool MCTupletChanger::Iterate(__MCBase* object) {
    auto* tuplet = static_cast<MCTuplet*>(object);
    if (tuplet == nullptr || Defaults == nullptr) return true;
    switch (Mode) {
        case ResetToDefaults:
            // Every visited tuplet is written back, equal or not.
            Defaults->CopyToTuplet(tuplet);
            tuplet->Save();
            break;
        case ChangeDefaults:
            Defaults->CopyFromTuplet(tuplet, CopyPosition);
            Defaults->Save();
            CopiedIntoDefaults = true;
            break;
        case CompareWithDefaults: {
            // One comparison gives both answers, with and without the position.
            ++VisitedCount;
            const TupletMatch match = Comparison.Compare(Defaults->Definition, tuplet->Definition);
            if (!match.WithPosition) ++DifferentCount;
            if (!match.WithoutPosition) ++DifferentExclPositionCount;
            break;
        }
        default:
            break;
    }
    return true;
}

bool MCTupletChanger::MatchesDefaults(const MCTuplet& tuplet, bool withPosition) {
    const TupletMatch match = Comparison.Compare(Defaults->Definition, tuplet.Definition);
    return withPosition ? match.WithPosition : match.WithoutPosition;
}

bool MCOneTupletCounter::Iterate(__MCBase*) {
    ++TupletCount;
    return TupletCount <= 1;
}
