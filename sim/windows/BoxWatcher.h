// MELVARA.EXE's watch over the system's message boxes that the module shows.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace sim {
class Host;
}

namespace sim::windows {

// A message box as it stands on the screen, read back from its dialog.
struct ShownBox {
    std::u16string Caption;
    std::u16string Text;
    // MessageBoxW's style as far as the box shows it: buttons, icon and
    // default button.
    unsigned Style = 0;
    HWND Owner = nullptr;
};

// Reads an active message box: a dialog of class "#32770" with its text in the
// static control 0xFFFF. Nothing for any other window, or for a box whose
// buttons are none of MessageBoxW's sets.
std::optional<ShownBox> ReadMessageBox(HWND dialog);

// While it lives, watches the message boxes that the calling thread shows
// (a thread WH_CBT hook sees each activated, and the box's own loop reads it
// just after): records each in the host's box log through
// Host::ShowMessageBox and presses the button it answers, or ends the box
// with 0 when a control makes MessageBoxW fail.
class BoxWatcher {
  public:
    explicit BoxWatcher(Host& host);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // False when the hook could not be installed.
    bool Watching() const { return Hook != nullptr; }

  private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK OnSettled(HWND dialog, UINT message, UINT_PTR timer, DWORD time);
    void Answer(HWND dialog);

    Host& Target;
    HHOOK Hook = nullptr;
    BoxWatcher* Outer = nullptr;
};

// MELVARA.EXE's invoke wrapper (sim::SetInvokeWrapper, ModuleLoader.h): gives the host a
// hidden top-level window for the module and watches the boxes while
// invoke runs.
int InvokeWatchingBoxes(Host& host, const std::function<int()>& invoke);

}  // namespace sim::windows
