#include <windows.h>

#include <cstring>

#include "platform/Platform.h"

namespace platform {

ModuleHandle GetModuleHandleA(const char* name) { return ::GetModuleHandleA(name); }

// An empty module stands for the main program, whatever its file name.
void* GetProcAddress(ModuleHandle module, const char* name) {
    FARPROC address = ::GetProcAddress(static_cast<HMODULE>(module), name);
    void* result;
    static_assert(sizeof result == sizeof address);
    std::memcpy(&result, &address, sizeof result);
    return result;
}

int MessageBoxW(WindowHandle window, const char16_t* text, const char16_t* caption,
                unsigned style) {
    return ::MessageBoxW(static_cast<HWND>(window), reinterpret_cast<LPCWSTR>(text),
                         reinterpret_cast<LPCWSTR>(caption), style);
}

bool IsWindow(WindowHandle window) { return ::IsWindow(static_cast<HWND>(window)) != FALSE; }

}  // namespace platform
