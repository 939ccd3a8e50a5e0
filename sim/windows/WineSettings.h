// What MELVARA.EXE needs of Wine, set by the program in the prefix it runs in.
#pragma once

namespace sim::windows {

// Under Wine, before the program shows any window: the X11 driver's
// "Managed" = "N" for this program's file name, under
// HKCU\Software\Wine\AppDefaults\NAME\X11 Driver, unless the prefix holds a
// value there already. Without a window manager (xvfb-run) Wine holds each
// window of a managed program about a second before activating it, so that
// every message box of a module costs a second; with the value, the boxes of
// this process and of the processes it starts (validate's checks) show at
// once. Nothing on Windows, where the key means nothing.
void PrepareWine();

}  // namespace sim::windows
