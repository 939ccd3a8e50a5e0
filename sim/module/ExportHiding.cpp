// Hiding a host function from the modules loaded afterwards, on Linux and on Windows.
//
// Taking a host function out of the program's own export table, in memory:
// the entry stays, but a lookup by name no longer finds it.
#include "sim/module/ExportHiding.h"

#include <cerrno>
#include <cstring>

#include "sim/host/HostCall.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace sim {
namespace {

#if defined(_WIN32)

// GetProcAddress finds the name, then gives nothing for a function whose
// address in the table is 0.
bool HideFromTable(const char* name, std::string& error) {
    auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0) {
        error = "the program has no export table";
        return false;
    }
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        if (std::strcmp(reinterpret_cast<const char*>(base + names[i]), name) != 0)
            continue;
        DWORD* entry = functions + ordinals[i];
        DWORD protection = 0;
        if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection)) {
            error = "cannot change the export table (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        *entry = 0;
        VirtualProtect(entry, sizeof *entry, protection, &protection);
        return true;
    }
    return true;  // not exported at all
}

void* Lookup(const char* name) {
    FARPROC address = GetProcAddress(GetModuleHandleW(nullptr), name);
    void* result;
    std::memcpy(&result, &address, sizeof result);
    return result;
}

#else

// dlsym skips a defined symbol whose value is 0.
bool HideFromTable(const char* name, std::string& error) {
    void* program = dlopen(nullptr, RTLD_LAZY);
    void* address = dlsym(program, name);
    dlclose(program);
    if (address == nullptr)
        return true;
    Dl_info info{};
    void* entry = nullptr;
    if (dladdr1(address, &info, &entry, RTLD_DL_SYMENT) == 0)
        entry = nullptr;
    auto* symbol = static_cast<ElfW(Sym)*>(entry);
    if (symbol == nullptr || info.dli_sname == nullptr || std::strcmp(info.dli_sname, name) != 0) {
        error = std::string("cannot find the symbol table entry of ") + name;
        return false;
    }
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto at = reinterpret_cast<uintptr_t>(symbol);
    void* start = reinterpret_cast<void*>(at & ~(page - 1));
    const size_t length = at + sizeof *symbol - (at & ~(page - 1));
    if (mprotect(start, length, PROT_READ | PROT_WRITE) != 0) {
        error = std::string("cannot change the symbol table: ") + std::strerror(errno);
        return false;
    }
    symbol->st_value = 0;
    mprotect(start, length, PROT_READ);
    return true;
}

void* Lookup(const char* name) {
    void* program = dlopen(nullptr, RTLD_LAZY);
    void* address = dlsym(program, name);
    dlclose(program);
    return address;
}

#endif

}  // namespace

bool HideHostExport(const char* name, std::string& error) {
    if (!HostFnByName(name)) {
        error = std::string("no host function ") + name;
        return false;
    }
    if (!HideFromTable(name, error))
        return false;
    if (Lookup(name) != nullptr) {
        error = std::string("the program still exports ") + name;
        return false;
    }
    return true;
}

}  // namespace sim
