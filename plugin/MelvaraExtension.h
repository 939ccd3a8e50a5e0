#pragma once

// Our module's seven exports: declared, with the host's rules for every
// module, in contract/MelvaraExports.h. What this module promises beyond
// them:
// - MelvaraExtensionVersion records the version for the menu gate and the
//   versioned field maps, and returns it.
// - MelvaraExtensionInit sets bit 0 of *word (a null pointer is left alone)
//   and returns 1.
// - The enumerations list index 0 Reset, 1 Compare and, for a host of
//   version 0x11000000 or later, 2 Change (CommandTable.h). The 8-bit texts
//   follow the strncpy rule; the UTF-16 texts are at most 63 units and a
//   zero unit, and the units after it are not written. A null record gets
//   0 and nothing written.
// - MelvaraExtensionInvoke runs index 0 as Reset, 2 as Change (whatever the
//   host version) and any other index as Compare, on the selection or, for
//   none, on an empty region; it always returns 1, whatever the command met.
// - MelvaraExtensionGetMenuStatus always returns 1: the commands are never
//   greyed out.
// - MelvaraExtensionTerminate does nothing: the module holds nothing between
//   calls but the host version and the addresses of the host functions.

#include "contract/MelvaraExports.h"
