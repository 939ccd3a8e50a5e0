#pragma once

#include "plugin/CommandTable.h"

class MCMusicRegion;
class MCUI;

// Carries out one command on the region, from loading the Default Tuplet
// Definition to the last message box. Nothing is changed when the defaults
// cannot be loaded; the user is told so. When memory runs out (during a
// walk, or for the texts of a box) the command stops there and shows one
// alert that says so instead of what it would have shown: Compare shows no
// counts, Change changes no defaults (unless it already had), and Reset
// keeps the tuplets it saved before. That alert's text needs no memory.
void RunTupletCommand(const MCMusicRegion& region, CommandMode mode, const MCUI& ui);

// The driver's message steps.
void ReportTupletCountError(const MCUI& ui);
void ReportDefaultsUnavailable(const MCUI& ui);
void ReportOutOfMemory(const MCUI& ui);
// The answer code of MCUI::AskYesNo.
int AskCopyPosition(const MCUI& ui);
void ShowCompareReport(const MCUI& ui, const char* text);
