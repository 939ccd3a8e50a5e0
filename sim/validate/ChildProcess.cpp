// The parts of child processes common to both systems: bounded output, and running this program
// again to its end.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "sim/support/ExceptionStatus.h"
#include "sim/validate/ChildProcess.h"

namespace sim {
namespace {

// Of RunThisProgram's output, the first and last bytes kept.
constexpr size_t kRunOutputKept = size_t{1} << 20;
// How long RunThisProgram waits at a time before it looks at the clock.
constexpr double kRunWaitSeconds = 0.5;
// Reads of what is left in the pipe after the end, at most.
constexpr int kRunDrainReads = 64;

}  // namespace

void BoundedOutput::Append(std::string_view bytes) {
    Seen += bytes.size();
    const size_t toHead = std::min(bytes.size(), Keep - Head.size());
    Head.append(bytes.substr(0, toHead));
    bytes.remove_prefix(toHead);
    if (bytes.size() >= Keep) {
        Tail.assign(bytes.substr(bytes.size() - Keep));
        TailStart = 0;
        return;
    }
    const size_t room = std::min(bytes.size(), Keep - Tail.size());
    Tail.append(bytes.substr(0, room));
    bytes.remove_prefix(room);
    // The tail is full: the oldest bytes are overwritten.
    while (!bytes.empty()) {
        const size_t piece = std::min(bytes.size(), Keep - TailStart);
        Tail.replace(TailStart, piece, bytes.data(), piece);
        TailStart = (TailStart + piece) % Keep;
        bytes.remove_prefix(piece);
    }
}

uint64_t BoundedOutput::Dropped() const {
    return Seen - Head.size() - Tail.size();
}

std::string BoundedOutput::Text() const {
    std::string text = Head;
    if (const uint64_t dropped = Dropped(); dropped != 0)
        text += "\n[... " + std::to_string(dropped) + " bytes left out ...]\n";
    text.append(Tail, TailStart, std::string::npos);
    text.append(Tail, 0, TailStart);
    return text;
}

std::string ChildProcess::HowEnded() const {
    if (Signal() != 0)
        return "signal " + std::to_string(Signal());
    // A Windows crash status by its name: "exception 0xC0000409 (stack
    // buffer overrun)".
    const auto code = static_cast<uint32_t>(ExitCode());
    if (IsCrashStatus(code))
        return DescribeExceptionStatus(code);
    return "exit status " + std::to_string(ExitCode());
}

ChildOutcome RunThisProgram(const std::vector<std::string>& args, double limitSeconds) {
    ChildOutcome outcome;
    ChildProcess child;
    ChildProcess::Setup setup;
    setup.Args = args;
    if (!child.Start(setup, outcome.StartError))
        return outcome;
    outcome.Started = true;
    BoundedOutput output(kRunOutputKept);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(limitSeconds));
    std::string bytes, messages;
    while (!child.Ended()) {
        const double left =
            std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            outcome.Killed = true;
            break;
        }
        bytes.clear();
        child.Wait(std::min(left, kRunWaitSeconds), bytes, messages);
        output.Append(bytes);
    }
    outcome.LeftRunning = child.EndAll();
    // What it wrote before it ended and is still in the pipe.
    for (int read = 0; read < kRunDrainReads; ++read) {
        bytes.clear();
        child.Wait(0, bytes, messages);
        if (bytes.empty())
            break;
        output.Append(bytes);
    }
    outcome.Output = output.Text();
    outcome.Signal = child.Signal();
    outcome.ExitCode = child.ExitCode();
    return outcome;
}

}  // namespace sim
