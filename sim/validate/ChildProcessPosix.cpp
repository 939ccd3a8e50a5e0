// Child processes on Linux: posix_spawn, a pipe, poll and kill; the machine's memory.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "sim/validate/ChildProcess.h"

extern char** environ;

namespace sim {
namespace {

std::string ThisProgram() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

}  // namespace

ChildOutcome RunThisProgram(const std::vector<std::string>& args, double limitSeconds) {
    ChildOutcome outcome;
    const std::string program = ThisProgram();
    int pipe[2];
    if (program.empty() || pipe2(pipe, O_CLOEXEC) != 0) {
        outcome.StartError = "cannot find this program or make a pipe";
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe[1]);
    if (spawned != 0) {
        close(pipe[0]);
        outcome.StartError = std::string("cannot start ") + program + ": " + std::strerror(spawned);
        return outcome;
    }
    outcome.Started = true;

    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(limitSeconds));
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            outcome.Killed = true;
            kill(child, SIGKILL);
            break;
        }
        pollfd wait{pipe[0], POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        const ssize_t got = read(pipe[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        outcome.Output.append(buffer, static_cast<size_t>(got));
    }
    close(pipe[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        outcome.Signal = WTERMSIG(status);
    else if (WIFEXITED(status))
        outcome.ExitCode = WEXITSTATUS(status);
    return outcome;
}

uint64_t MachineMegabytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) >> 20
               : 0;
}

}  // namespace sim
