#include "plugin/TupletCommand.h"

#include <cstdio>

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCString.h"
#include "framework/core/MCUI.h"
#include "framework/data/MCTupletPrefs.h"
#include "framework/music/MCBrowserTuplets.h"
#include "framework/music/MCMusicRegion.h"
#include "plugin/TupletHandlers.h"

namespace {

// The longest report is under 200 characters.
constexpr size_t kReportBytes = 256;

// Shown when memory runs out, so kept where no allocation is needed.
constexpr WideLiteral kOutOfMemory(
    "There was not enough memory to finish the command. It was stopped.");

// A box's text and caption, made from 8-bit literals. When memory runs out
// on the way they are not built, and the box is not shown: the driver, which
// sees the failed allocation, says that memory ran out instead.
class BoxTexts {
public:
    BoxTexts(const char* text, const char* caption) {
        Text.SetCString(text);
        Caption.SetCString(caption);
    }
    bool Built() const { return !Memory.Failed(); }

    const mcpool::FailureWatch Memory;  // first: it watches the strings' making
    MCString Text;
    MCString Caption;
};

void ShowAlert(const MCUI& ui, const char* text, const char* caption) {
    const BoxTexts box(text, caption);
    if (box.Built()) ui.ShowAlert(box.Text, caption != nullptr ? &box.Caption : nullptr);
}

}  // namespace

void ReportTupletCountError(const MCUI& ui) {
    ShowAlert(ui,
              "There must be exactly one tuplet in the selected region to be able to copy it to "
              "the Default Tuplet Definition.",
              "Too Few/Many Tuplets");
}

void ReportOutOfMemory(const MCUI& ui) { ui.ShowAlert(kOutOfMemory.Units); }

void ReportDefaultsUnavailable(const MCUI& ui) {
    ShowAlert(ui,
              "The Default Tuplet Definition could not be loaded. The command was not carried "
              "out.",
              nullptr);
}

int AskCopyPosition(const MCUI& ui) {
    const BoxTexts box(
        "Do you want to copy the tuplet's position to the Default Tuplet Definition as well?",
        "Copy Position?");
    return box.Built() ? ui.AskYesNo(box.Text, &box.Caption) : MCUI::AnswerOther;
}

void ShowCompareReport(const MCUI& ui, const char* text) {
    const BoxTexts box(text, "Tuplet Compare Info");
    if (box.Built()) ui.ShowInfo(box.Text, &box.Caption);
}

void RunTupletCommand(const MCMusicRegion& region, CommandMode mode, const MCUI& ui) {
    // An allocation that fails stops the command where it is: a walk ends
    // there, a box whose texts could not be made is not shown, and the
    // command shows the out-of-memory alert instead of what it would have
    // reported.
    const mcpool::FailureWatch memory;
    const auto stoppedForMemory = [&] {
        if (!memory.Failed()) return false;
        ReportOutOfMemory(ui);
        return true;
    };

    MCTupletPrefs defaults;
    if (!defaults.Load(MCTupletPrefs::kDocumentDefaults)) {
        // Without them, Reset would write zeros into every tuplet and
        // Compare would report against zeros.
        ReportDefaultsUnavailable(ui);
        stoppedForMemory();
        return;
    }
    MCBrowserTuplets browser;

    bool copyPosition = false;
    if (mode == ChangeDefaults) {
        // Every tuplet record of the region counts, whatever its size: one
        // that cannot be read is still a tuplet of the selection, and the
        // one to copy must be a tuplet that can.
        MCOneTupletCounter counter;
        MCBrowserTupletRecords records;
        records.ForEachInRegion(counter, region);
        if (stoppedForMemory()) return;
        if (counter.TupletCount != 1 || records.OtherSizes != 0) {
            ReportTupletCountError(ui);
            stoppedForMemory();
            return;
        }
        copyPosition = AskCopyPosition(ui) == MCUI::AnswerYes;
        if (stoppedForMemory()) return;
    }

    MCTupletChanger changer(&defaults, mode, copyPosition);
    browser.ForEachInRegion(changer, region);
    // Change saves the defaults as it meets the region's one tuplet, as in
    // every run; once that is done, the rest of the walk has nothing left to
    // do, and a failure there does not undo the command.
    if (mode == ChangeDefaults && changer.HasCopiedIntoDefaults()) return;
    if (stoppedForMemory()) return;

    if (mode == CompareWithDefaults) {
        char report[kReportBytes];
        if (changer.DifferentCount != 0) {
            std::snprintf(report, sizeof report,
                          "Tuplets in region: %d\n\nTuplets different than the Default Tuplet "
                          "Definition: %d\n\nTuplets different than the Defaults (excluding "
                          "position): %d",
                          static_cast<int>(changer.VisitedCount), static_cast<int>(changer.DifferentCount),
                          static_cast<int>(changer.DifferentExclPositionCount));
        } else {
            std::snprintf(report, sizeof report, "%s",
                          "No tuplet in the region is different to the Default Tuplet Definition.");
        }
        ShowCompareReport(ui, report);
        stoppedForMemory();
    }
}
