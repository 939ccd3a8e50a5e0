#include "sim/host/ModuleLoader.h"

#include <cstring>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace sim {
namespace {

// The module is a file: a bare or relative name is taken in the current
// folder, never looked up along the system's library search path.
void* OpenLibrary(const std::string& path, std::string& error) {
#if defined(_WIN32)
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    HMODULE module =
        LoadLibraryW(absolute.empty() ? std::filesystem::path(path).c_str() : absolute.c_str());
    if (module == nullptr) {
        error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    }
    return reinterpret_cast<void*>(module);
#else
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) error = "cannot load " + path + ": " + dlerror();
    return module;
#endif
}

void CloseLibrary(void* handle) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

void* FindSymbol(void* handle, const char* name) {
#if defined(_WIN32)
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), name);
    void* result;
    std::memcpy(&result, &address, sizeof result);
    return result;
#else
    return dlsym(handle, name);
#endif
}

template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& fn, std::string& error) {
    void* address = FindSymbol(handle, name);
    if (address == nullptr) {
        error = std::string("the module does not export ") + name;
        return false;
    }
    std::memcpy(&fn, &address, sizeof fn);
    return true;
}

}  // namespace

LoadedModule::~LoadedModule() { Unload(); }

bool LoadedModule::Load(const std::string& path, std::string& error) {
    Unload();
    Handle = OpenLibrary(path, error);
    if (Handle == nullptr) return false;
    const bool complete = Resolve(Handle, "MelvaraExtensionVersion", Version, error) &&
                          Resolve(Handle, "MelvaraExtensionInit", Init, error) &&
                          Resolve(Handle, "MelvaraExtensionEnumerate", Enumerate, error) &&
                          Resolve(Handle, "MelvaraExtensionEnumerate_UTF16", EnumerateUtf16, error) &&
                          Resolve(Handle, "MelvaraExtensionInvoke", Invoke, error) &&
                          Resolve(Handle, "MelvaraExtensionGetMenuStatus", GetMenuStatus, error) &&
                          Resolve(Handle, "MelvaraExtensionTerminate", Terminate, error);
    if (!complete) {
        error = path + ": " + error;
        Unload();
    }
    return complete;
}

void LoadedModule::Unload() {
    if (Handle != nullptr) CloseLibrary(Handle);
    Handle = nullptr;
    Version = nullptr;
    Init = nullptr;
    Enumerate = nullptr;
    EnumerateUtf16 = nullptr;
    Invoke = nullptr;
    GetMenuStatus = nullptr;
    Terminate = nullptr;
}

}  // namespace sim
