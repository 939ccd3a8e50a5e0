#pragma once

// The module's only system calls. Windows.cpp calls the real functions; on
// other systems Posix.cpp stands in for them by these rules, which any host
// program can rely on:
// - GetModuleHandleA("MELVARA.EXE") gives the main program; any other name
//   gives none.
// - GetProcAddress(module, name) is dlsym(module, name): the host program
//   exports its functions under their plain names. An empty module is passed
//   on too: Windows takes it for the main program, and dlsym takes it as
//   RTLD_DEFAULT, so a host program of any file name binds its functions.
// - MessageBoxW calls the host program's exported
//   int MessageBoxW(void*, const char16_t* text, const char16_t* caption, unsigned style)
//   and returns its answer; without one, it writes "caption: text" in UTF-8
//   to standard error and returns 0.
// - IsWindow calls the host program's exported int IsWindow(void*); without
//   one, it answers whether the handle is non-null.
namespace platform {

using ModuleHandle = void*;
using WindowHandle = void*;

ModuleHandle GetModuleHandleA(const char* name);
void* GetProcAddress(ModuleHandle module, const char* name);
int MessageBoxW(WindowHandle window, const char16_t* text, const char16_t* caption,
                unsigned style);
bool IsWindow(WindowHandle window);

}  // namespace platform
