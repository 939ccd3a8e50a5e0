// What a module leaves behind in the host's process: settings it changed, descriptors and memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The settings of the whole process that a module shares with the host and
// must leave as it found them.
struct ProcessSettings {
    std::string WorkingFolder;
    // The floating-point control: the x87 control word and the MXCSR's
    // control bits (rounding, exception masks, flush to zero), without the
    // flags that arithmetic raises.
    uint16_t FloatControl = 0;
    uint32_t VectorControl = 0;
    uint32_t Umask = 0;  // POSIX
    // The handler and flags of each signal, in the order of their numbers
    // (POSIX).
    struct SignalAction {
        int Signal = 0;
        uintptr_t Handler = 0;
        unsigned long Flags = 0;
        bool operator==(const SignalAction& other) const {
            return Signal == other.Signal && Handler == other.Handler && Flags == other.Flags;
        }
    };
    std::vector<SignalAction> Signals;

    static ProcessSettings Read();
};

// What differs from before to after, in words ("the working folder (/a, then
// /b)", "the handler of SIGPIPE"), joined; nothing when they are the same.
std::optional<std::string> SettingsChange(const ProcessSettings& before,
                                          const ProcessSettings& after);

// What the process holds: its open descriptors (handles on Windows) and the
// memory in use (the heap's bytes in use on Linux, the private bytes on
// Windows).
struct ProcessHoldings {
    size_t Descriptors = 0;
    uint64_t MemoryBytes = 0;

    static ProcessHoldings Read();
};

// Watches the commands of one load from one to the next. The first command
// may set up what the module keeps for its life; what keeps growing after
// it, command after command, is left behind by each. Reads the process
// after the first command and at the end only: reading the heap takes time
// that grows with it.
class CommandWatch {
  public:
    // After each command.
    void Note();
    // After the last command: what grew, as a warning's reason, or nothing.
    std::optional<std::string> Growth();

  private:
    size_t Commands = 0;
    ProcessHoldings First;
    ProcessHoldings Last;
};

// "1.2 MB", "640 bytes".
std::string ByteCount(uint64_t bytes);

}  // namespace sim
