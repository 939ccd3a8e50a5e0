// The host's main window as the module sees it: the owner of its message boxes.
#pragma once

#include <windows.h>

namespace sim::windows {

// The host's main window as the module sees it: a real top-level window,
// never shown, that owns the module's message boxes.
class HostWindow {
  public:
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Null when the window could not be created.
    HWND Handle() const { return Window; }

  private:
    HWND Window = nullptr;
};

}  // namespace sim::windows
