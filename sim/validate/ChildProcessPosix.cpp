// Child processes on Linux: posix_spawn, pipes polled with a pidfd, a shared memfd page, the
// process tree read from /proc and ended as a whole; the machine's memory.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "sim/validate/ChildProcess.h"

extern char** environ;

namespace sim {
namespace {

// The environment variable that gives a child its channel:
// "CHANNEL:PAGE:KEY", the first two descriptors.
constexpr const char* kChannelVariable = "MELVARA_SIM_CHANNEL";
// The environment variable that marks a child and what it starts, so that
// an orphan is ended with the tree it came from: "PID.N", this program's
// process and the child's number. Not secret: a process that changes it is
// ended with another child's tree, or with the first that ends.
constexpr const char* kTreeVariable = "MELVARA_SIM_TREE";
// The descriptors the child finds them under (0 to 2 are the standard ones).
constexpr int kChildChannel = 3;
constexpr int kChildPage = 4;
// Descriptors meant for the child are moved to this or above first, clear
// of the numbers they take in the child.
constexpr int kAboveChildDescriptors = 10;
// What one Wait reads from each pipe at most.
constexpr size_t kReadPerWait = size_t{256} << 10;
// Without a pidfd, how often a wait looks whether the child has ended.
constexpr int kEndPollMilliseconds = 50;
// Rounds of looking for new processes in a tree being stopped, at most.
constexpr int kStopRounds = 100;
// How often, and how many times at most, a process sent SIGSTOP is looked
// at until it has stopped.
constexpr double kStopLookSeconds = 0.0002;
constexpr int kStopLooks = 5000;
// How long the processes of an ended tree may take to be reaped.
constexpr double kReapSeconds = 5;
// A command line is cut to this many bytes.
constexpr size_t kCommandLineBytes = 200;
// After its last message, how long a child waits to be ended at most.
constexpr int kAwaitEndSeconds = 3600;

// The children started and not yet reaped, so that orphans (processes this
// subreaper adopted) are told apart from them. Held while a child is
// started and while a tree is ended.
std::mutex RegistryLock;
std::set<pid_t> LiveChildren;
// The marks of the children whose trees are not yet ended.
std::set<std::string> LiveTrees;
uint64_t TreesStarted = 0;

struct ProcessEntry {
    pid_t Parent = 0;
    char State = '?';
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether the process is ending: its memory is gone, and with it its
// environment and command line, which no running process is without.
bool Ending(pid_t pid) {
    const std::string folder = "/proc/" + std::to_string(pid);
    return ReadFile(folder + "/environ").empty() && ReadFile(folder + "/cmdline").empty();
}

// The mark of the tree a process came from, from its environment; empty
// when it has none.
std::string TreeOf(pid_t pid) {
    const std::string environment = ReadFile("/proc/" + std::to_string(pid) + "/environ");
    const std::string name = std::string(kTreeVariable) + "=";
    for (size_t at = 0; at < environment.size();) {
        size_t end = environment.find('\0', at);
        if (end == std::string::npos)
            end = environment.size();
        if (environment.compare(at, name.size(), name) == 0)
            return environment.substr(at + name.size(), end - at - name.size());
        at = end + 1;
    }
    return {};
}

// Every process of the machine, by its /proc/PID/stat.
std::map<pid_t, ProcessEntry> ScanProcesses() {
    std::map<pid_t, ProcessEntry> processes;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return processes;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != 0)
            continue;
        const std::string stat = ReadFile(std::string("/proc/") + entry->d_name + "/stat");
        // "PID (COMMAND) STATE PPID ...": the command may hold anything.
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size())
            continue;
        ProcessEntry process;
        process.State = stat[close + 2];
        process.Parent = static_cast<pid_t>(std::strtol(stat.c_str() + close + 4, nullptr, 10));
        processes[static_cast<pid_t>(pid)] = process;
    }
    closedir(proc);
    return processes;
}

std::string CommandLine(pid_t pid) {
    std::string line = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    while (!line.empty() && line.back() == '\0')
        line.pop_back();
    std::replace(line.begin(), line.end(), '\0', ' ');
    if (line.empty()) {
        line = ReadFile("/proc/" + std::to_string(pid) + "/comm");
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        line = "[" + line + "]";
    }
    if (line.size() > kCommandLineBytes) {
        line.resize(kCommandLineBytes);
        line += "...";
    }
    return line;
}

// A number from /proc/PID/status: "RssAnon:    1234 kB".
uint64_t StatusKilobytes(const std::string& status, const char* field) {
    const size_t at = status.find(field);
    return at == std::string::npos ? 0
                                   : std::strtoull(status.c_str() + at + std::strlen(field), nullptr, 10);
}

std::string ThisProgram() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

void Close(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void SleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Waits, within a bound, until the process has stopped (or ended).
void AwaitStop(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    for (int look = 0; look < kStopLooks; ++look) {
        const std::string stat = ReadFile(path);
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size() ||
            std::strchr("TtZX", stat[close + 2]) != nullptr)
            return;
        SleepSeconds(kStopLookSeconds);
    }
}

}  // namespace

struct ChildProcess::State {
    pid_t Pid = 0;
    int PidFd = -1;
    int Output = -1;   // read ends
    int Channel = -1;
    void* Page = nullptr;
    bool Reaped = false;
    int Status = 0;
    bool Finished = false;  // EndAll done
    std::string Tree;       // the mark of its tree

    // Reaps the child if it has ended.
    void TryReap() {
        if (Pid <= 0 || Reaped)
            return;
        int status = 0;
        const pid_t done = waitpid(Pid, &status, WNOHANG);
        if (done != Pid && !(done < 0 && errno == ECHILD))
            return;
        Reaped = true;
        Status = done == Pid ? status : 0;
        Close(PidFd);
        const std::lock_guard<std::mutex> hold(RegistryLock);
        LiveChildren.erase(Pid);
    }
};

ChildProcess::ChildProcess() : My(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    if (My->Pid > 0 && !My->Finished)
        EndAll();
    Close(My->Output);
    Close(My->Channel);
    Close(My->PidFd);
    if (My->Page != nullptr)
        munmap(My->Page, kSharedPageSize);
}

bool ChildProcess::Start(const Setup& setup, std::string& error) {
    static std::once_flag reaper;
    std::call_once(reaper, [] { prctl(PR_SET_CHILD_SUBREAPER, 1); });
    const std::string program = ThisProgram();
    if (program.empty()) {
        error = "cannot find this program (/proc/self/exe)";
        return false;
    }
    // The child's ends, moved clear of the numbers they take in the child.
    int output[2] = {-1, -1};
    int channel[2] = {-1, -1};
    int page = -1;
    const auto high = [](int& fd) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, kAboveChildDescriptors);
        close(fd);
        fd = moved;
        return moved >= 0;
    };
    bool made = pipe2(output, O_CLOEXEC) == 0 && high(output[1]);
    if (made && setup.Channel) {
        page = static_cast<int>(syscall(SYS_memfd_create, "melvara-sim-page", MFD_CLOEXEC));
        made = pipe2(channel, O_CLOEXEC) == 0 && high(channel[1]) && page >= 0 && high(page) &&
               ftruncate(page, kSharedPageSize) == 0;
        if (made) {
            void* mapped =
                mmap(nullptr, kSharedPageSize, PROT_READ | PROT_WRITE, MAP_SHARED, page, 0);
            made = mapped != MAP_FAILED;
            My->Page = made ? mapped : nullptr;
        }
    }
    const auto closeAll = [&] {
        for (int* fd : {&output[0], &output[1], &channel[0], &channel[1], &page})
            Close(*fd);
    };
    if (!made) {
        error = std::string("cannot make a pipe or shared page: ") + std::strerror(errno);
        closeAll();
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, kChannelVariable, std::strlen(kChannelVariable)) != 0 &&
            std::strncmp(*variable, kTreeVariable, std::strlen(kTreeVariable)) != 0) {
            environment.emplace_back(*variable);
        }
    }
    if (setup.Channel) {
        posix_spawn_file_actions_adddup2(&actions, channel[1], kChildChannel);
        posix_spawn_file_actions_adddup2(&actions, page, kChildPage);
        environment.push_back(std::string(kChannelVariable) + "=" + std::to_string(kChildChannel) +
                              ":" + std::to_string(kChildPage) + ":" + setup.ChannelKey);
    }
    {
        const std::lock_guard<std::mutex> hold(RegistryLock);
        My->Tree = std::to_string(getpid()) + "." + std::to_string(++TreesStarted);
    }
    environment.push_back(std::string(kTreeVariable) + "=" + My->Tree);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : setup.Args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    int spawned = 0;
    {
        // Registered before another thread could take it for an orphan.
        const std::lock_guard<std::mutex> hold(RegistryLock);
        spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
        if (spawned == 0) {
            LiveChildren.insert(pid);
            LiveTrees.insert(My->Tree);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    Close(output[1]);
    Close(channel[1]);
    Close(page);
    if (spawned != 0) {
        closeAll();
        error = "cannot start " + program + ": " + std::strerror(spawned);
        return false;
    }
    // Read as far as they hold, never waiting on them but in poll.
    for (const int fd : {output[0], channel[0]}) {
        if (fd >= 0)
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    My->Pid = pid;
    My->Output = output[0];
    My->Channel = channel[0];
    My->PidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    return true;
}

void ChildProcess::Wait(double seconds, std::string& output, std::string& messages) {
    State& my = *My;
    pollfd fds[3];
    std::pair<int*, std::string*> readers[2];
    nfds_t count = 0;
    for (auto [fd, into] : {std::pair{&my.Output, &output}, std::pair{&my.Channel, &messages}}) {
        if (*fd >= 0) {
            readers[count] = {fd, into};
            fds[count++] = pollfd{*fd, POLLIN, 0};
        }
    }
    const nfds_t pipes = count;
    if (my.PidFd >= 0)
        fds[count++] = pollfd{my.PidFd, POLLIN, 0};
    int milliseconds = static_cast<int>(std::max(0.0, seconds) * 1000);
    if (my.PidFd < 0 && !my.Reaped)
        milliseconds = std::min(milliseconds, kEndPollMilliseconds);
    if (poll(fds, count, milliseconds) < 0) {
        for (pollfd& fd : fds)
            fd.revents = 0;
    }
    char buffer[65536];
    for (nfds_t i = 0; i < pipes; ++i) {
        auto [fd, into] = readers[i];
        for (size_t taken = 0; fds[i].revents != 0 && *fd >= 0 && taken < kReadPerWait;) {
            const ssize_t got = read(*fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                break;  // nothing more for now
            if (got == 0) {
                Close(*fd);  // its end: every writer has closed it
                break;
            }
            into->append(buffer, static_cast<size_t>(got));
            taken += static_cast<size_t>(got);
        }
    }
    if (my.PidFd < 0 || fds[count - 1].revents != 0)
        my.TryReap();
}

bool ChildProcess::Ended() const {
    return My->Reaped;
}

int ChildProcess::ExitCode() const {
    return My->Reaped && WIFEXITED(My->Status) ? WEXITSTATUS(My->Status) : 0;
}

int ChildProcess::Signal() const {
    return My->Reaped && WIFSIGNALED(My->Status) ? WTERMSIG(My->Status) : 0;
}

ProcessUsage ChildProcess::Usage() const {
    ProcessUsage usage;
    if (My->Pid <= 0 || My->Reaped)
        return usage;
    const std::string folder = "/proc/" + std::to_string(My->Pid);
    const std::string stat = ReadFile(folder + "/stat");
    const std::string status = ReadFile(folder + "/status");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || status.empty())
        return usage;
    // After the command: state, then fields 4 to 13, then utime and stime.
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 13 && fields >> field; ++i) {
    }
    fields >> user >> system;
    usage.Known = true;
    usage.CpuSeconds =
        static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
    usage.HeldBytes =
        (StatusKilobytes(status, "RssAnon:") + StatusKilobytes(status, "RssShmem:")) * 1024;
    return usage;
}

const void* ChildProcess::SharedPage() const {
    return My->Page;
}

uint64_t ChildProcess::Id() const {
    return static_cast<uint64_t>(My->Pid);
}

uint64_t ThisProcessId() {
    return static_cast<uint64_t>(getpid());
}

std::vector<std::string> ChildProcess::EndAll() {
    State& my = *My;
    std::vector<std::string> running;
    if (my.Pid <= 0 || my.Finished)
        return running;
    my.Finished = true;
    const pid_t self = getpid();
    std::map<pid_t, bool> stopped;  // each process of the tree, and whether it was running
    {
        const std::lock_guard<std::mutex> hold(RegistryLock);
        // The child first: once it has stopped, it starts no process while
        // its tree is read.
        if (!my.Reaped) {
            kill(my.Pid, SIGSTOP);
            AwaitStop(my.Pid);
            stopped[my.Pid] = true;
        }
        // The tree of the child, and the orphans of this program that came
        // from it: those that lost their parent in the tree, and those of no
        // other tree not yet ended. Read again while it shows processes not
        // yet stopped, which may have started others meanwhile.
        for (int round = 0; round < kStopRounds; ++round) {
            const std::map<pid_t, ProcessEntry> processes = ScanProcesses();
            std::set<pid_t> tree;
            if (!my.Reaped)
                tree.insert(my.Pid);
            for (const auto& [pid, entry] : processes) {
                if (entry.Parent != self || LiveChildren.count(pid) != 0)
                    continue;
                if (stopped.count(pid) != 0) {
                    tree.insert(pid);
                    continue;
                }
                // One ending (killed with another tree, say) is no one's.
                const std::string from = TreeOf(pid);
                if ((from == my.Tree || LiveTrees.count(from) == 0) && !Ending(pid))
                    tree.insert(pid);
            }
            for (size_t size = 0; size != tree.size();) {
                size = tree.size();
                for (const auto& [pid, entry] : processes) {
                    if (tree.count(entry.Parent) != 0)
                        tree.insert(pid);
                }
            }
            bool found = false;
            for (const pid_t pid : tree) {
                if (stopped.count(pid) != 0)
                    continue;
                found = true;
                const auto entry = processes.find(pid);
                const bool alive = entry == processes.end() || entry->second.State != 'Z';
                kill(pid, SIGSTOP);
                stopped[pid] = alive;
                if (alive)
                    running.push_back(CommandLine(pid));
            }
            if (!found)
                break;
        }
        for (const auto& [pid, alive] : stopped)
            kill(pid, SIGKILL);
    }
    // Reaped within a bound: this program's own children, and those that
    // come to it as their parents die.
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(kReapSeconds));
    if (!my.Reaped && my.PidFd >= 0) {
        pollfd ended{my.PidFd, POLLIN, 0};
        poll(&ended, 1, static_cast<int>(kReapSeconds * 1000));
    }
    std::set<pid_t> left;
    for (const auto& [pid, alive] : stopped) {
        if (pid != my.Pid)
            left.insert(pid);
    }
    for (;;) {
        my.TryReap();
        for (auto pid = left.begin(); pid != left.end();) {
            int status = 0;
            const pid_t done = waitpid(*pid, &status, WNOHANG);
            const bool gone = done == *pid || (done < 0 && errno == ECHILD &&
                                               access(("/proc/" + std::to_string(*pid)).c_str(),
                                                      F_OK) != 0);
            pid = gone ? left.erase(pid) : std::next(pid);
        }
        if ((my.Reaped && left.empty()) || std::chrono::steady_clock::now() >= until)
            break;
        SleepSeconds(0.001);
    }
    // Only now: until they are gone, the processes killed here are this
    // tree's, not orphans for the next tree ended to count.
    {
        const std::lock_guard<std::mutex> hold(RegistryLock);
        LiveTrees.erase(my.Tree);
    }
    return running;
}

std::optional<ParentChannel> TakeParentChannel() {
    const size_t nameLength = std::strlen(kChannelVariable);
    for (char** variable = environ; *variable != nullptr; ++variable) {
        char* text = *variable;
        if (std::strncmp(text, kChannelVariable, nameLength) != 0 || text[nameLength] != '=')
            continue;
        ParentChannel channel;
        char* end = nullptr;
        channel.Channel = std::strtol(text + nameLength + 1, &end, 10);
        const int page = *end == ':' ? static_cast<int>(std::strtol(end + 1, &end, 10)) : -1;
        if (*end == ':')
            channel.Key = end + 1;
        // Gone from the memory that /proc/self/environ shows, too.
        std::memset(text + nameLength + 1, 0, std::strlen(text + nameLength + 1));
        unsetenv(kChannelVariable);
        if (page < 0 || channel.Channel < 0 || channel.Key.empty())
            return std::nullopt;
        void* mapped = mmap(nullptr, kSharedPageSize, PROT_READ | PROT_WRITE, MAP_SHARED, page, 0);
        close(page);
        channel.Page = mapped == MAP_FAILED ? nullptr : mapped;
        // Not for the programs the module may run.
        fcntl(static_cast<int>(channel.Channel), F_SETFD, FD_CLOEXEC);
        return channel;
    }
    return std::nullopt;
}

bool WriteToParent(const ParentChannel& channel, std::string_view bytes) {
    const int fd = static_cast<int>(channel.Channel);
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

void ReapDescendants() {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    // Not left behind when the program that started it is killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

void AwaitEnd() {
    for (int second = 0; second < kAwaitEndSeconds; ++second)
        sleep(1);
    _exit(0);
}

uint64_t MachineMegabytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) >> 20
               : 0;
}

}  // namespace sim
