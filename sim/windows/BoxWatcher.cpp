// Watching the system's message boxes: each read back from its dialog and answered.
#include "sim/windows/BoxWatcher.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "sim/host/Host.h"
#include "sim/host/MessageBoxRecord.h"
#include "sim/support/ProgramName.h"
#include "sim/windows/HostWindow.h"

namespace sim::windows {
namespace {

// The watcher of the running Invoke; a hook procedure has no context of its own.
thread_local BoxWatcher* Active = nullptr;

// Set on a box once seen: a box may be activated more than once.
constexpr wchar_t kSeenProperty[] = L"MelvaraSimSeen";
constexpr UINT_PTR kSettledTimer = 0x4D53;
constexpr int kTextControl = 0xFFFF;
// Every button MessageBoxW can show, by its id.
constexpr int kButtonIds[] = {kIdOk,  kIdCancel, kIdAbort,    kIdRetry,   kIdIgnore,
                              kIdYes, kIdNo,     kIdTryAgain, kIdContinue};
constexpr unsigned kButtonSetCount = 7;  // style & 0x0F from 0 to 6

std::u16string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return std::u16string(text.begin(), text.end());
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    const int length = GetClassNameW(window, name, 64);
    return std::wstring(name, static_cast<size_t>(std::max(length, 0)));
}

// The buttons style (0 to 6) whose set is exactly the box's buttons.
std::optional<unsigned> ButtonStyle(HWND dialog) {
    std::vector<int> present;
    for (int id : kButtonIds) {
        if (GetDlgItem(dialog, id) != nullptr)
            present.push_back(id);
    }
    for (unsigned style = 0; style < kButtonSetCount; ++style) {
        std::vector<int> buttons = ButtonsOf(style);
        std::sort(buttons.begin(), buttons.end());
        if (buttons == present)
            return style;
    }
    return std::nullopt;
}

// The default button's place in the set, as the style's 0x300 bits: the
// button drawn as the default one, else the one with the focus. Both are
// set only once the box is active (DM_GETDEFID answers IDOK on Wine).
unsigned DefaultButtonStyle(HWND dialog, unsigned buttonStyle) {
    const std::vector<int> buttons = ButtonsOf(buttonStyle);
    const HWND focus = GetFocus();
    std::optional<size_t> focused;
    for (size_t place = 0; place < buttons.size(); ++place) {
        const HWND button = GetDlgItem(dialog, buttons[place]);
        if ((GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return static_cast<unsigned>(place) << 8;
        if (button == focus)
            focused = place;
    }
    return static_cast<unsigned>(focused.value_or(0)) << 8;
}

struct IconSearch {
    unsigned Style = 0;
};

// The system's icons are shared: a box shows the very handles that
// LoadIcon(NULL, ...) gives. Whatever control draws the icon, it answers
// STM_GETICON with it.
BOOL CALLBACK FindIcon(HWND child, LPARAM context) {
    if (ClassOf(child) != L"Static")
        return TRUE;
    const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    if (icon == nullptr)
        return TRUE;
    struct SystemIcon {
        LPCTSTR Id;
        unsigned Style;
    };
    const SystemIcon icons[] = {{IDI_HAND, MB_ICONHAND},
                                {IDI_QUESTION, MB_ICONQUESTION},
                                {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                                {IDI_ASTERISK, MB_ICONASTERISK}};
    for (const SystemIcon& system : icons) {
        if (LoadIcon(nullptr, system.Id) == icon) {
            reinterpret_cast<IconSearch*>(context)->Style = system.Style;
            return FALSE;
        }
    }
    return TRUE;
}

unsigned IconStyle(HWND dialog) {
    IconSearch search;
    EnumChildWindows(dialog, FindIcon, reinterpret_cast<LPARAM>(&search));
    return search.Style;
}

}  // namespace

std::optional<ShownBox> ReadMessageBox(HWND dialog) {
    if (ClassOf(dialog) != L"#32770")
        return std::nullopt;
    const HWND text = GetDlgItem(dialog, kTextControl);
    if (text == nullptr)
        return std::nullopt;
    const std::optional<unsigned> buttons = ButtonStyle(dialog);
    if (!buttons)
        return std::nullopt;
    ShownBox box;
    box.Caption = WindowText(dialog);
    box.Text = WindowText(text);
    box.Style = *buttons | IconStyle(dialog) | DefaultButtonStyle(dialog, *buttons);
    box.Owner = GetWindow(dialog, GW_OWNER);
    return box;
}

BoxWatcher::BoxWatcher(Host& host) : Target(host), Outer(Active) {
    Hook = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    if (Hook != nullptr)
        Active = this;
}

BoxWatcher::~BoxWatcher() {
    if (Hook == nullptr)
        return;
    UnhookWindowsHookEx(Hook);
    Active = Outer;
}

LRESULT CALLBACK BoxWatcher::OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    const auto window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && Active != nullptr && ClassOf(window) == L"#32770" &&
        GetPropW(window, kSeenProperty) == nullptr) {
        // Read the box once it is active, when its default button is set:
        // the box's own message loop runs the timer.
        SetPropW(window, kSeenProperty, reinterpret_cast<HANDLE>(1));
        SetTimer(window, kSettledTimer, 0, OnSettled);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK BoxWatcher::OnSettled(HWND dialog, UINT, UINT_PTR timer, DWORD) {
    KillTimer(dialog, timer);
    if (Active != nullptr)
        Active->Answer(dialog);
}

void BoxWatcher::Answer(HWND dialog) {
    const std::optional<ShownBox> box = ReadMessageBox(dialog);
    if (!box) {
        std::cerr << ProgramName()
                  << ": closed a dialog that is no message box the host can read\n";
        EndDialog(dialog, 0);
        return;
    }
    const std::u16string& text = box->Text;
    const int answer =
        Target.ShowMessageBox(box->Owner, text.c_str(), box->Caption.c_str(), box->Style);
    if (answer == 0) {
        // A control made MessageBoxW fail: the module gets 0, as from a
        // box that could not be shown.
        EndDialog(dialog, 0);
        return;
    }
    // Posted, as a click would be: the box's own loop ends it with the id.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer)));
}

int InvokeWatchingBoxes(Host& host, const std::function<int()>& invoke) {
    HostWindow window;
    if (window.Handle() == nullptr) {
        const DWORD error = GetLastError();
        std::cerr << ProgramName() << ": cannot create the host window (error " << error
                  << "): the module's message boxes cannot be shown\n";
    }
    host.SetWindow(window.Handle());
    BoxWatcher watcher(host);
    if (!watcher.Watching()) {
        const DWORD error = GetLastError();
        std::cerr << ProgramName() << ": cannot watch the message boxes (error " << error << ")\n";
    }
    const int result = invoke();
    host.SetWindow(nullptr);
    return result;
}

}  // namespace sim::windows
