// What a module left behind: the settings compared, and growth from command to command.
#include "sim/validate/ProcessWatch.h"

#include <cstdio>
#include <cstring>

#include "sim/support/Text.h"

namespace sim {
namespace {

// Memory in use may grow this much over a load's commands without a word:
// the host's own bookkeeping moves by up to about 12 KB over a check, and on
// Windows the private bytes move by whole pages of the system's own heaps.
#if defined(_WIN32)
constexpr uint64_t kMemoryNoise = 1024 * 1024;
#else
constexpr uint64_t kMemoryNoise = 128 * 1024;
#endif
// Commands after the first that show growth as a habit, not a single step.
constexpr size_t kCommandsToJudge = 4;

std::string SignalName(int signal) {
#if defined(__GLIBC__)
    if (const char* name = sigabbrev_np(signal))
        return std::string("SIG") + name;
#endif
    return "signal " + std::to_string(signal);
}

void Add(std::string& changes, const std::string& change) {
    changes += (changes.empty() ? "" : ", ") + change;
}

}  // namespace

std::string ByteCount(uint64_t bytes) {
    char text[32];
    if (bytes >= 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

std::optional<std::string> SettingsChange(const ProcessSettings& before,
                                          const ProcessSettings& after) {
    std::string changes;
    if (before.WorkingFolder != after.WorkingFolder)
        Add(changes,
            "the working folder (" + before.WorkingFolder + ", then " + after.WorkingFolder + ")");
    if (before.FloatControl != after.FloatControl || before.VectorControl != after.VectorControl) {
        Add(changes, "the floating-point environment (x87 control " + Hex(before.FloatControl, 4) +
                         ", then " + Hex(after.FloatControl, 4) + "; MXCSR control " +
                         Hex(before.VectorControl, 4) + ", then " + Hex(after.VectorControl, 4) +
                         ")");
    }
    if (before.Umask != after.Umask) {
        char masks[32];
        std::snprintf(masks, sizeof masks, "%04o, then %04o", before.Umask, after.Umask);
        Add(changes, std::string("the umask (") + masks + ")");
    }
    // Both in the order of the signals' numbers; one that is in only one of
    // them could not be read the other time.
    std::string signals;
    for (size_t a = 0, b = 0; a < before.Signals.size() && b < after.Signals.size();) {
        const ProcessSettings::SignalAction& was = before.Signals[a];
        const ProcessSettings::SignalAction& is = after.Signals[b];
        if (was.Signal != is.Signal) {
            (was.Signal < is.Signal ? a : b)++;
            continue;
        }
        if (!(was == is))
            signals += (signals.empty() ? "" : ", ") + SignalName(was.Signal);
        ++a;
        ++b;
    }
    if (!signals.empty())
        Add(changes, "the handling of " + signals);
    if (changes.empty())
        return std::nullopt;
    return changes;
}

void CommandWatch::Note() {
    if (Commands++ == 0)
        First = ProcessHoldings::Read();
}

std::optional<std::string> CommandWatch::Growth() {
    if (Commands < 1 + kCommandsToJudge)
        return std::nullopt;
    Last = ProcessHoldings::Read();
    const size_t after = Commands - 1;
    std::string growth;
    if (Last.Descriptors > First.Descriptors) {
        growth = std::to_string(Last.Descriptors - First.Descriptors) +
                 " more descriptors open after " + std::to_string(after) +
                 " commands than after the first: the module's commands leave descriptors "
                 "open";
    }
    if (Last.MemoryBytes > First.MemoryBytes + kMemoryNoise) {
        const uint64_t grown = Last.MemoryBytes - First.MemoryBytes;
        Add(growth, "memory in use grew by " + ByteCount(grown) + " over " + std::to_string(after) +
                        " commands after the first (" + ByteCount(grown / after) +
                        " each): the module keeps memory from its commands");
    }
    if (growth.empty())
        return std::nullopt;
    return growth;
}

}  // namespace sim
