// What a module left behind, read on Windows: the working folder, the
// floating-point control, handles and private bytes.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <filesystem>

#include "sim/validate/ProcessWatch.h"

namespace sim {

ProcessSettings ProcessSettings::Read() {
    ProcessSettings settings;
    std::error_code error;
    settings.WorkingFolder = std::filesystem::current_path(error).string();
    uint16_t control = 0;
    uint32_t vector = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    __asm__ volatile("stmxcsr %0" : "=m"(vector));
    settings.FloatControl = control;
    settings.VectorControl = vector & ~uint32_t{0x3F};
    return settings;
}

ProcessHoldings ProcessHoldings::Read() {
    ProcessHoldings usage;
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles))
        usage.Descriptors = handles;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        usage.MemoryBytes = counters.PrivateUsage;
    }
    return usage;
}

}  // namespace sim
