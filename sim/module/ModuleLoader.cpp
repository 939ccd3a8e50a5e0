// Loading a module by file and calling its seven exports through the guard.
#include "sim/module/ModuleLoader.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "sim/module/ModuleGuard.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace sim {
namespace {

InvokeWrapper CurrentInvokeWrapper;

// What a file's first bytes say it is, as far as loading it goes.
enum class FileKind { Unknown, Linux64, Linux32, Windows64, Windows32 };

FileKind KindOf(const std::string& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    unsigned char head[64] = {};
    if (!file.read(reinterpret_cast<char*>(head), sizeof head))
        return FileKind::Unknown;
    if (std::memcmp(head, "\x7F" "ELF", 4) == 0)
        return head[4] == 2 ? FileKind::Linux64 : FileKind::Linux32;
    if (head[0] != 'M' || head[1] != 'Z')
        return FileKind::Unknown;
    // The PE header's place is at 0x3C; its machine follows "PE\0\0".
    uint32_t at = 0;
    std::memcpy(&at, head + 0x3C, sizeof at);
    unsigned char pe[6] = {};
    if (!file.seekg(at) || !file.read(reinterpret_cast<char*>(pe), sizeof pe) ||
        std::memcmp(pe, "PE\0\0", 4) != 0) {
        return FileKind::Unknown;
    }
    constexpr unsigned kAmd64 = 0x8664;
    return (pe[4] | (pe[5] << 8)) == kAmd64 ? FileKind::Windows64 : FileKind::Windows32;
}

// Why this program cannot load the file, naming the program that can; empty
// when the file may be its kind.
std::string WrongKind(const std::string& path) {
    switch (KindOf(path)) {
        case FileKind::Linux32:
        case FileKind::Windows32:
            return path + " is a 32-bit module: the host loads 64-bit modules only";
#if defined(_WIN32)
        case FileKind::Linux64:
            return path + " is a Linux module (.so): MELVARA.EXE loads Windows modules (.mxt); "
                          "use melvara-sim on Linux: melvara-sim validate --module " + path;
#else
        case FileKind::Windows64:
            return path + " is a Windows module (.mxt): melvara-sim loads Linux modules (.so); "
                          "use MELVARA.EXE, under Wine: xvfb-run -a wine MELVARA.EXE validate "
                          "--module " + path;
#endif
        default:
            return {};
    }
}

constexpr const char* kLoading = "loading the module";
constexpr const char* kUnloading = "unloading the module";
constexpr const char* kWhileLoading = "while the host loaded the module";
constexpr const char* kWhileUnloading = "while the host unloaded the module";
constexpr const char* kInTerminate =
    "in MelvaraExtensionTerminate, after which no host function may be called";

// Runs fn as the named export under the guard, marked as a call into the
// module on this thread.
template <typename Fn>
auto RunExport(const char* name, Fn&& fn, const char* outside = nullptr) {
    return ModuleGuard::Run(name, [&] {
        const ModuleCallScope call(name, outside);
        return fn();
    });
}

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
    if (module == nullptr)
        error = "cannot load " + path + ": " + dlerror();
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
void Resolve(void* handle, const char* name, Fn& fn, std::vector<std::string>& missing) {
    void* address = FindSymbol(handle, name);
    if (address == nullptr)
        missing.push_back(name);
    std::memcpy(&fn, &address, sizeof fn);
}

}  // namespace

void SetInvokeWrapper(InvokeWrapper wrapper) {
    CurrentInvokeWrapper = std::move(wrapper);
}

const std::vector<const char*>& LoadedModule::ExportNames() {
    static const std::vector<const char*> names = {
        "MelvaraExtensionVersion",   "MelvaraExtensionInit",
        "MelvaraExtensionEnumerate", "MelvaraExtensionEnumerate_UTF16",
        "MelvaraExtensionInvoke",    "MelvaraExtensionGetMenuStatus",
        "MelvaraExtensionTerminate",
    };
    return names;
}

LoadedModule::~LoadedModule() {
    Unload();
}

bool LoadedModule::Load(const std::string& path, std::string& error,
                        std::vector<std::string>* missing) {
    Unload();
    if (std::string wrong = WrongKind(path); !wrong.empty()) {
        error = wrong;
        return false;
    }
    // Loading runs the module's own initialisation: guarded like an export,
    // and not a call in which the module may call the host.
    NoteModuleLoaded();
    Handle = RunExport(
        kLoading, [&] { return OpenLibrary(path, error); }, kWhileLoading);
    if (Handle == nullptr) {
        NoteModuleUnloaded();
        return false;
    }
    std::vector<std::string> absent;
    const auto& names = ExportNames();
    Resolve(Handle, names[0], VersionFn, absent);
    Resolve(Handle, names[1], InitFn, absent);
    Resolve(Handle, names[2], EnumerateFn, absent);
    Resolve(Handle, names[3], EnumerateUtf16Fn, absent);
    Resolve(Handle, names[4], InvokeFn, absent);
    Resolve(Handle, names[5], GetMenuStatusFn, absent);
    Resolve(Handle, names[6], TerminateFn, absent);
    if (missing != nullptr)
        *missing = absent;
    if (absent.empty())
        return true;
    error = path + ": the module does not export ";
    for (size_t i = 0; i < absent.size(); ++i)
        error += (i == 0 ? "" : ", ") + absent[i];
    Unload();
    return false;
}

void LoadedModule::Unload() {
    if (Handle != nullptr) {
        RunExport(
            kUnloading, [&] { CloseLibrary(Handle); }, kWhileUnloading);
        NoteModuleUnloaded();
    }
    Handle = nullptr;
    VersionFn = nullptr;
    InitFn = nullptr;
    EnumerateFn = nullptr;
    EnumerateUtf16Fn = nullptr;
    InvokeFn = nullptr;
    GetMenuStatusFn = nullptr;
    TerminateFn = nullptr;
}

uint32_t LoadedModule::Version(uint32_t hostVersion) {
    return RunExport(ExportNames()[0], [&] { return VersionFn(hostVersion); });
}

int LoadedModule::Init(void* unused, uint32_t* word) {
    return RunExport(ExportNames()[1], [&] { return InitFn(unused, word); });
}

int16_t LoadedModule::Enumerate(void* unused, int16_t index, MenuItemRecord* item) {
    return RunExport(ExportNames()[2], [&] { return EnumerateFn(unused, index, item); });
}

int16_t LoadedModule::EnumerateUtf16(void* unused, int16_t index, MenuItemRecordW* item) {
    return RunExport(ExportNames()[3], [&] { return EnumerateUtf16Fn(unused, index, item); });
}

int LoadedModule::Invoke(Host& host, int16_t index, const void* selection20) {
    // Marked where the module is called: the wrapper may set up first.
    const std::function<int()> invoke = [&] {
        const ModuleCallScope call(ExportNames()[4]);
        return InvokeFn(host.Window(), index, selection20);
    };
    return ModuleGuard::Run(ExportNames()[4], [&] {
        return CurrentInvokeWrapper ? CurrentInvokeWrapper(host, invoke) : invoke();
    });
}

int LoadedModule::GetMenuStatus(void* unused) {
    return RunExport(ExportNames()[5], [&] { return GetMenuStatusFn(unused); });
}

void LoadedModule::Terminate() {
    RunExport(
        ExportNames()[6], [&] { TerminateFn(); }, kInTerminate);
}

}  // namespace sim
