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

void ShowAlert(const MCUI& ui, const char* text, const char* caption) {
    MCString body;
    MCString title;
    body.SetCString(text);
    title.SetCString(caption);
    ui.ShowAlert(body, caption != nullptr ? &title : nullptr);
}

}  // namespace

void ReportTupletCountError(const MCUI& ui) {
    ShowAlert(ui,
              "There must be exactly one tuplet in the selected region to be able to copy it to "
              "the Default Tuplet Definition.",
              "Too Few/Many Tuplets");
}

void ReportOutOfMemory(const MCUI& ui) {
    ShowAlert(ui, "There was not enough memory to finish the command. It was stopped.", nullptr);
}

void ReportDefaultsUnavailable(const MCUI& ui) {
    ShowAlert(ui,
              "The Default Tuplet Definition could not be loaded. The command was not carried "
              "out.",
              nullptr);
}

int AskCopyPosition(const MCUI& ui) {
    MCString text;
    MCString caption;
    text.SetCString(
        "Do you want to copy the tuplet's position to the Default Tuplet Definition as well?");
    caption.SetCString("Copy Position?");
    return ui.AskYesNo(text, &caption);
}

void ShowCompareReport(const MCUI& ui, const char* text) {
    MCString body;
    MCString caption;
    body.SetCString(text);
    caption.SetCString("Tuplet Compare Info");
    ui.ShowInfo(body, &caption);
}

void RunTupletCommand(const MCMusicRegion& region, CommandMode mode, const MCUI& ui) {
    MCTupletPrefs defaults;
    if (!defaults.Load(MCTupletPrefs::kDocumentDefaults)) {
        // Without them, Reset would write zeros into every tuplet and
        // Compare would report against zeros.
        ReportDefaultsUnavailable(ui);
        return;
    }
    MCBrowserTuplets browser;
    // A walk ends at the first allocation that fails; what it counted or
    // did then stops short, and the command says so instead of reporting.
    const mcpool::FailureWatch memory;

    bool copyPosition = false;
    if (mode == ChangeDefaults) {
        MCOneTupletCounter counter;
        browser.ForEachInRegion(counter, region);
        if (memory.Failed()) {
            ReportOutOfMemory(ui);
            return;
        }
        if (counter.TupletCount != 1) {
            ReportTupletCountError(ui);
            return;
        }
        copyPosition = AskCopyPosition(ui) == MCUI::AnswerYes;
    }

    MCTupletChanger changer(&defaults, mode, copyPosition);
    browser.ForEachInRegion(changer, region);
    // Change saves the defaults as it meets the region's one tuplet, as in
    // every run; once that is done, the rest of the walk has nothing left to
    // do, and a failure there does not undo the command.
    if (memory.Failed() && !(mode == ChangeDefaults && changer.HasCopiedIntoDefaults())) {
        ReportOutOfMemory(ui);
        return;
    }

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
    }
}
