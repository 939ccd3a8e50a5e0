// What a module left behind, read on Linux: /proc, the signal table, the heap.
#include <dirent.h>
#include <malloc.h>
#include <signal.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/validate/ProcessWatch.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SIM_UNDER_ASAN 1
#endif
#if defined(SIM_UNDER_ASAN)
#include <sanitizer/allocator_interface.h>
#endif

namespace sim {
namespace {

// SA_RESTORER, which the kernel's headers define and the C library's do not.
constexpr unsigned long kRestorerFlag = 0x04000000;

uint32_t UmaskOfProcess() {
    // Read, not set and set back: another thread may be creating files.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<uint32_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 0;
}

}  // namespace

ProcessSettings ProcessSettings::Read() {
    ProcessSettings settings;
    std::error_code error;
    settings.WorkingFolder = std::filesystem::current_path(error).string();
#if defined(__x86_64__) || defined(__i386__)
    uint16_t control = 0;
    uint32_t vector = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    __asm__ volatile("stmxcsr %0" : "=m"(vector));
    settings.FloatControl = control;
    settings.VectorControl = vector & ~uint32_t{0x3F};  // without the flags raised
#endif
    settings.Umask = UmaskOfProcess();
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action {};
        if (signal == SIGKILL || signal == SIGSTOP || sigaction(signal, nullptr, &action) != 0)
            continue;
        uintptr_t handler = 0;
        static_assert(sizeof handler == sizeof action.sa_handler);
        std::memcpy(&handler, &action.sa_handler, sizeof handler);
        // Flags matter to a handler function only, and not the restorer
        // flag, which the C library adds to every handler it sets (to one
        // put back as well).
        const bool own = action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
        const auto flags = own ? static_cast<unsigned long>(action.sa_flags) & ~kRestorerFlag : 0;
        settings.Signals.push_back({signal, handler, flags});
    }
    return settings;
}

ProcessUsage ProcessUsage::Read() {
    ProcessUsage usage;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(folder)) {
            if (entry->d_name[0] != '.')
                ++usage.Descriptors;
        }
        closedir(folder);
        --usage.Descriptors;  // the folder's own
    }
#if defined(SIM_UNDER_ASAN)
    usage.MemoryBytes = __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 heap = mallinfo2();
    usage.MemoryBytes = heap.uordblks + heap.hblkhd;
#endif
    return usage;
}

}  // namespace sim
