#pragma once

#include <string>

#include "plugin/MelvaraExtension.h"

namespace sim {

// A plug-in module loaded by file, as the host loads it, with its seven
// exports resolved by name.
class LoadedModule {
public:
    using VersionFn = decltype(&MelvaraExtensionVersion);
    using InitFn = decltype(&MelvaraExtensionInit);
    using EnumerateFn = decltype(&MelvaraExtensionEnumerate);
    using EnumerateWFn = decltype(&MelvaraExtensionEnumerate_UTF16);
    using InvokeFn = decltype(&MelvaraExtensionInvoke);
    using MenuStatusFn = decltype(&MelvaraExtensionGetMenuStatus);
    using TerminateFn = decltype(&MelvaraExtensionTerminate);

    LoadedModule() = default;
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule();

    // Loads the file and resolves every export. A bare name such as
    // "mod.so" is a file in the current folder, as any relative path is.
    // False, with a message in error, when the file cannot be loaded or an
    // export is missing.
    bool Load(const std::string& path, std::string& error);
    void Unload();

    VersionFn Version = nullptr;
    InitFn Init = nullptr;
    EnumerateFn Enumerate = nullptr;
    EnumerateWFn EnumerateUtf16 = nullptr;
    InvokeFn Invoke = nullptr;
    MenuStatusFn GetMenuStatus = nullptr;
    TerminateFn Terminate = nullptr;

private:
    void* Handle = nullptr;
};

}  // namespace sim
