// A plug-in module loaded by file, as the host loads it, with its seven exports.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "contract/MelvaraExports.h"

namespace sim {

class Host;

// How the host program calls MelvaraExtensionInvoke: calls invoke and returns
// its result. A host program whose module shows the system's own message
// boxes (on Windows) sets one: it gives the host a real window
// (Host::SetWindow) and, while Invoke runs, records each box with
// Host::ShowMessageBox and presses the answer. Without one, Invoke is called
// directly.
using InvokeWrapper = std::function<int(Host& host, const std::function<int()>& invoke)>;
void SetInvokeWrapper(InvokeWrapper wrapper);

// A plug-in module loaded by file, as the host loads it, with its seven
// exports resolved by name. Each export is called through the ModuleGuard
// there is, which knows it as the export that runs.
class LoadedModule {
  public:
    LoadedModule() = default;
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule();

    // Loads the file and resolves every export. A bare name such as
    // "mod.so" is a file in the current folder, as any relative path is.
    // False, with a message in error, when the file cannot be loaded or an
    // export is missing; every missing one is named in error and in missing.
    // A module of the other system, or a 32-bit one, is refused before it is
    // opened, with the program that loads it.
    bool Load(const std::string& path, std::string& error,
              std::vector<std::string>* missing = nullptr);
    void Unload();
    bool IsLoaded() const { return Handle != nullptr; }

    uint32_t Version(uint32_t hostVersion);
    int Init(void* unused, uint32_t* word);
    int16_t Enumerate(void* unused, int16_t index, MenuItemRecord* item);
    int16_t EnumerateUtf16(void* unused, int16_t index, MenuItemRecordW* item);
    // Invokes the command over the host's window (Host::Window, as the
    // invoke wrapper leaves it, when one is set). The host must be current.
    int Invoke(Host& host, int16_t index, const void* selection20);
    int GetMenuStatus(void* unused);
    void Terminate();

    // The seven names, in the order above.
    static const std::vector<const char*>& ExportNames();

  private:
    void* Handle = nullptr;
    decltype(&MelvaraExtensionVersion) VersionFn = nullptr;
    decltype(&MelvaraExtensionInit) InitFn = nullptr;
    decltype(&MelvaraExtensionEnumerate) EnumerateFn = nullptr;
    decltype(&MelvaraExtensionEnumerate_UTF16) EnumerateUtf16Fn = nullptr;
    decltype(&MelvaraExtensionInvoke) InvokeFn = nullptr;
    decltype(&MelvaraExtensionGetMenuStatus) GetMenuStatusFn = nullptr;
    decltype(&MelvaraExtensionTerminate) TerminateFn = nullptr;
};

}  // namespace sim
