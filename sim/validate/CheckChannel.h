// What a check's process tells the validator, over a channel of its own: lines, each with the key
// the validator chose for the check, so that nothing else in the process reports by accident.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "sim/module/ModuleGuard.h"
#include "sim/validate/Check.h"
#include "sim/validate/ChildProcess.h"

namespace sim {

// One message of a check's process: "KEY<tab>KIND<tab>FIELDS...", a line.
struct CheckMessage {
    enum class Kind : uint8_t {
        CallStarted,  // a call into the module begins
        CallEnded,    // ... and returned
        Where,        // what the module is doing now, and how to repeat it
        MemoryLimit,  // the memory limit in force
        Result,       // the check's result, its last message
        Foreign,      // a line without the key: not the check's
    };
    Kind What = Kind::Foreign;
    std::string Export;                // CallStarted
    double CpuSeconds = 0;             // CallStarted: the process's CPU time then
    std::string Where;                 // Where
    std::optional<RunRepeat> Repeat;   // Where
    uint64_t Bytes = 0;                // MemoryLimit
    CheckResult Result;                // Result
    uint64_t Process = 0;              // Result: the id of the process that sent it
    std::string Text;                  // Foreign: the line as it came, cut short
};

// The validator's side: messages from the bytes of the channel as they come.
class CheckMessageReader {
  public:
    explicit CheckMessageReader(std::string key) : Key(std::move(key)) {}
    // The whole messages that the bytes complete.
    std::vector<CheckMessage> Feed(std::string_view bytes);

  private:
    CheckMessage Parse(const std::string& line) const;

    std::string Key;
    std::string Partial;
    bool Overlong = false;  // in a line too long to be a message
};

// The check's side. With a channel (from the environment), messages go
// there; without one (the check's process started by hand), to fallback.
class CheckReporter {
  public:
    explicit CheckReporter(std::ostream& fallback);

    bool HasChannel() const { return Channel.has_value(); }
    // The word of the shared page where the host keeps its last call; null
    // without a channel.
    std::atomic<uint64_t>* HostCallWord() const;
    // Notices for the module guard: CallStarted and CallEnded.
    ModuleGuard::CallNotices CallNotices();

    void Where(const std::string& where, const std::optional<RunRepeat>& repeat);
    void MemoryLimit(uint64_t bytes);
    void Result(const CheckResult& result);
    // After the result: with a channel, waits to be ended by the validator.
    void Finish();

  private:
    void Send(const char* kind, std::initializer_list<std::string_view> fields);

    std::optional<ParentChannel> Channel;
    std::ostream& Fallback;
    std::string Line;
};

// A new key for a check: random, 32 hex digits.
std::string NewCheckKey();

}  // namespace sim
