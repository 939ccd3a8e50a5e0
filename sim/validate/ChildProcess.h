// Running this program again as a child process: its output kept within bounds, a channel of its
// own for messages, and everything it starts ended with it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The first and the last bytes of a stream, and a count of those between,
// so that a process that prints without end takes no more memory than this.
class BoundedOutput {
  public:
    explicit BoundedOutput(size_t keep) : Keep(keep) {}
    void Append(std::string_view bytes);
    // The first and the last bytes kept, with a line between them saying how
    // many were left out, if any.
    std::string Text() const;
    uint64_t Total() const { return Seen; }
    uint64_t Dropped() const;

  private:
    size_t Keep;
    std::string Head;
    std::string Tail;  // a ring of Keep bytes once full, its oldest byte at TailStart
    size_t TailStart = 0;
    uint64_t Seen = 0;
};

// What a process uses: CPU time, and the memory it holds (private and shared).
struct ProcessUsage {
    bool Known = false;
    double CpuSeconds = 0;
    uint64_t HeldBytes = 0;
};

// A process of this program, started again with other arguments. Its
// standard input is empty, its standard output and error go into one pipe
// that the parent reads as they come (never waiting for its end: a process
// the child started may hold it open). With a channel, the child also gets a
// pipe of its own for messages to the parent and a page of memory that both
// see (TakeParentChannel, in the child).
//
// Everything the child starts stays contained: on Linux this program and
// the child are child subreapers, so that orphans are not lost to init; on
// Windows the child runs in a job object that ends all of it when closed.
// EndAll ends the child and all its descendants, and the destructor does
// when nothing else did.
class ChildProcess {
  public:
    struct Setup {
        std::vector<std::string> Args;
        bool Channel = false;
        std::string ChannelKey;  // handed to the child with its channel
    };

    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False, with error set, when the process cannot be started.
    bool Start(const Setup& setup, std::string& error);

    // Waits at most seconds until the child writes something or ends, and
    // appends to output and messages what it wrote meanwhile (a bounded
    // amount per call).
    void Wait(double seconds, std::string& output, std::string& messages);
    bool Ended() const;
    int ExitCode() const;  // once ended, when not by a signal
    int Signal() const;    // the signal that ended it, else 0 (not on Windows)
    // How it ended: "exit status 0", "signal 11", "exit status 0xC0000005".
    std::string HowEnded() const;

    // Its CPU time and memory now; Known false when it has ended.
    ProcessUsage Usage() const;
    // The page both see, in the parent (zeroed at the start); null without a
    // channel.
    const void* SharedPage() const;
    // The child's process id.
    uint64_t Id() const;

    // Ends the child and every process it started: each one stopped first,
    // so that none starts another meanwhile, then killed, and reaped within
    // a bound. Answers the processes other than the child that were still
    // running, each as its command line (its program on Windows).
    std::vector<std::string> EndAll();

  private:
    struct State;
    std::unique_ptr<State> My;
};

// The size of the shared page.
constexpr size_t kSharedPageSize = 4096;

// In a child started with a channel: its channel, its shared page and the
// key the parent gave it. The environment holds them no longer afterwards.
// Nothing when this process has none.
struct ParentChannel {
    intptr_t Channel = -1;  // a file descriptor, or a HANDLE on Windows
    void* Page = nullptr;
    std::string Key;
};
std::optional<ParentChannel> TakeParentChannel();
// Writes all bytes to the channel; false when it cannot.
bool WriteToParent(const ParentChannel& channel, std::string_view bytes);
// This process's id.
uint64_t ThisProcessId();
// Makes this process the one that inherits the orphans among its
// descendants (Linux; on Windows a job object keeps them).
void ReapDescendants();
// After its last message: waits until the parent ends this process, so that
// what the module started is still found below it.
[[noreturn]] void AwaitEnd();

// How a child process of this program ended, for RunThisProgram.
struct ChildOutcome {
    bool Started = false;
    std::string StartError;  // why it did not start
    bool Killed = false;     // ended by the parent when its time was up
    int Signal = 0;          // the signal that ended it (not on Windows)
    int ExitCode = 0;
    std::string Output;  // its standard output and error, together (the first
                         // and the last megabyte)
    std::vector<std::string> LeftRunning;  // processes it started that were still running
};

// Runs this same program again with the arguments, its output captured, and
// ends it, with everything it started, when it takes longer than
// limitSeconds; processes it left running when it ended are ended too.
ChildOutcome RunThisProgram(const std::vector<std::string>& args, double limitSeconds);

// The machine's physical memory in megabytes; 0 when it cannot be told.
uint64_t MachineMegabytes();

}  // namespace sim
