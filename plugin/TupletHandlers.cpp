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
            break;
        case CompareWithDefaults:
            ++VisitedCount;
            if (!MatchesDefaults(*tuplet, true)) ++DifferentCount;
            if (!MatchesDefaults(*tuplet, false)) ++DifferentExclPositionCount;
            break;
        default:
            break;
    }
    return true;
}

bool MCTupletChanger::MatchesDefaults(const MCTuplet& tuplet, bool withPosition) const {
    return TupletDefinitionsMatch(tuplet.Definition, Defaults->Definition, withPosition);
}

bool MCOneTupletCounter::Iterate(__MCBase*) {
    ++TupletCount;
    return TupletCount <= 1;
}
