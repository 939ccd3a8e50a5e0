// What a module left behind, read on Linux: /proc, the signal table, the heap.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
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
// The first signal after the standard ones.
constexpr int kFirstReservedSignal = 32;

// What the kernel's status of the process says of its umask and of the
// signals it ignores and catches: one read, where asking for each signal
// would take a call per signal, and the umask read rather than set and set
// back (another thread may be creating files).
struct KernelStatus {
    bool Read = false;
    uint32_t Umask = 0;
    uint64_t Ignored = 0;  // bit n-1 for signal n
    uint64_t Caught = 0;
};

KernelStatus ReadKernelStatus() {
    KernelStatus status;
    const int file = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return status;
    char text[16384];
    size_t size = 0;
    for (ssize_t got = 0;
         size < sizeof text - 1 && (got = read(file, text + size, sizeof text - 1 - size)) > 0;)
        size += static_cast<size_t>(got);
    close(file);
    text[size] = 0;
    const auto field = [&text](const char* name, int base) -> std::optional<uint64_t> {
        const char* at = std::strstr(text, name);
        if (at == nullptr)
            return std::nullopt;
        return std::strtoull(at + std::strlen(name), nullptr, base);
    };
    const auto umask = field("\nUmask:", 8);
    const auto ignored = field("\nSigIgn:", 16);
    const auto caught = field("\nSigCgt:", 16);
    if (!umask || !ignored || !caught)
        return status;
    status = {true, static_cast<uint32_t>(*umask), *ignored, *caught};
    return status;
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
    const KernelStatus status = ReadKernelStatus();
    settings.Umask = status.Umask;
    // Not the signals between the standard and the real-time ones: the C
    // library keeps them for its threads, and handles them once a thread
    // starts.
    const int reserved = SIGRTMIN;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal >= kFirstReservedSignal && signal < reserved)
            continue;
        ProcessSettings::SignalAction kept{signal, 0, 0};
        static_assert(sizeof kept.Handler == sizeof(void (*)(int)));
        const uint64_t bit = signal <= 64 ? uint64_t{1} << (signal - 1) : 0;
        if (status.Read && (status.Ignored & bit) != 0) {
            kept.Handler = 1;  // ignored
        } else if (!status.Read || (status.Caught & bit) != 0) {
            // Only a handler function needs its own call, to tell which one.
            struct sigaction action {};
            if (signal == SIGKILL || signal == SIGSTOP || sigaction(signal, nullptr, &action) != 0)
                continue;
            std::memcpy(&kept.Handler, &action.sa_handler, sizeof kept.Handler);
            // Flags matter to a handler function only, and not the restorer
            // flag, which the C library adds to every handler it sets (to one
            // put back as well).
            const bool function = action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
            kept.Flags =
                function ? static_cast<unsigned long>(action.sa_flags) & ~kRestorerFlag : 0;
        }
        settings.Signals.push_back(kept);
    }
    return settings;
}

ProcessHoldings ProcessHoldings::Read() {
    ProcessHoldings usage;
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
