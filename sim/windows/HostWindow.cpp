// The host's main window: registered, created hidden, destroyed.
#include "sim/windows/HostWindow.h"

namespace sim::windows {
namespace {

constexpr wchar_t kClassName[] = L"MelvaraSimHostWindow";

ATOM RegisterHostClass() {
    static const ATOM atom = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassW(&windowClass);
    }();
    return atom;
}

}  // namespace

HostWindow::HostWindow() {
    if (RegisterHostClass() == 0)
        return;
    Window = CreateWindowExW(0, kClassName, L"Melvara", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 640, 480, nullptr, nullptr, GetModuleHandleW(nullptr),
                             nullptr);
}

HostWindow::~HostWindow() {
    if (Window != nullptr)
        DestroyWindow(Window);
}

}  // namespace sim::windows
