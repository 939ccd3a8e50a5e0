// The system's part of AtomicFile on Linux: file descriptors, rename, stop signals' handlers.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "sim/support/AtomicFile.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

// The handlers may use only what is safe in a signal handler: the path is
// kept in a plain buffer, and removing a file is one system call.
volatile std::sig_atomic_t Pending = 0;
char PendingPath[4096];
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction PreviousActions[std::size(kStopSignals)];
bool Installed[std::size(kStopSignals)];

void RemovePendingOnStop(int signal) {
    if (Pending != 0)
        unlink(PendingPath);
    Pending = 0;
    // End as the signal would have ended the program without us.
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        if (kStopSignals[i] == signal)
            sigaction(signal, &PreviousActions[i], nullptr);
    }
    raise(signal);
}

}  // namespace

void AtomicFile::Arm(const fs::path& temporary) {
    const std::string& text = temporary.native();
    if (text.size() >= sizeof PendingPath)
        return;
    std::memcpy(PendingPath, text.c_str(), text.size() + 1);
    Pending = 1;
    struct sigaction action {};
    action.sa_handler = RemovePendingOnStop;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], nullptr, &PreviousActions[i]);
        // A signal the program was started to ignore stays ignored.
        Installed[i] = PreviousActions[i].sa_handler != SIG_IGN;
        if (Installed[i])
            sigaction(kStopSignals[i], &action, nullptr);
    }
}

void AtomicFile::Disarm() {
    if (Pending == 0)
        return;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        if (Installed[i])
            sigaction(kStopSignals[i], &PreviousActions[i], nullptr);
        Installed[i] = false;
    }
    Pending = 0;
}

std::string AtomicFile::SystemError() {
    return std::strerror(errno);
}

intptr_t AtomicFile::CreateTemporary(const fs::path& temporary, const fs::path& target) {
    struct stat existing {};
    const bool replacing = stat(target.c_str(), &existing) == 0;
    const int descriptor =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
    if (descriptor < 0 || !replacing)
        return descriptor;
    if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
        // Only allowed to root (or to a member of the group); the mode is
        // what matters most.
        const int ignored = fchown(descriptor, existing.st_uid, existing.st_gid);
        (void)ignored;
    }
    fchmod(descriptor, existing.st_mode & 07777);
    return descriptor;
}

bool AtomicFile::WriteAll(intptr_t handle, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(static_cast<int>(handle), data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool AtomicFile::CloseTemporary(intptr_t handle) {
    return close(static_cast<int>(handle)) == 0;
}

bool AtomicFile::MoveOver(const fs::path& from, const fs::path& to, std::string& reason) {
    if (rename(from.c_str(), to.c_str()) == 0)
        return true;
    reason = SystemError();
    return false;
}

int AtomicFile::DescriptorOf(const fs::path& path) {
    const std::string& text = path.native();
    if (text == "/dev/stdout")
        return STDOUT_FILENO;
    if (text == "/dev/stderr")
        return STDERR_FILENO;
    for (const char* folder : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t length = std::strlen(folder);
        if (text.compare(0, length, folder) != 0 || text.size() == length ||
            text.size() > length + 6 ||
            text.find_first_not_of("0123456789", length) != std::string::npos) {
            continue;
        }
        return std::atoi(text.c_str() + length);
    }
    return -1;
}

intptr_t AtomicFile::OpenStream(Kind kind, int descriptor, const fs::path& pipe,
                                std::string& reason) {
    if (kind == Kind::Descriptor) {
        const int copy = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            reason = SystemError();
        return copy;
    }
    // Without a reader, open would wait for one for ever.
    const int opened = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0) {
        reason = errno == ENXIO ? "it is a named pipe that no program reads" : SystemError();
        return kNoHandle;
    }
    if (fcntl(opened, F_SETFL, fcntl(opened, F_GETFL) & ~O_NONBLOCK) != 0) {
        reason = SystemError();
        close(opened);
        return kNoHandle;
    }
    return opened;
}

bool AtomicFile::ReadPipe(const fs::path& path, std::string& content, size_t limit,
                          std::string& error) {
    // Opened without waiting: a pipe that no program writes to reads as empty.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0 ||
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = "cannot read " + path.string() + ": " + SystemError();
        if (descriptor >= 0)
            close(descriptor);
        return false;
    }
    content.clear();
    char chunk[1 << 16];
    for (;;) {
        const ssize_t got = read(descriptor, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = "cannot read " + path.string() + ": " + SystemError();
        if (got <= 0)
            break;
        if (content.size() + static_cast<size_t>(got) > limit) {
            error = "cannot read " + path.string() + ": the pipe gives more than " +
                    std::to_string(limit >> 20) + " MB";
            break;
        }
        content.append(chunk, static_cast<size_t>(got));
    }
    close(descriptor);
    if (error.empty() && content.empty())
        error = "cannot read " + path.string() + ": it is a pipe that nothing was written to";
    return error.empty();
}

bool AtomicFile::IsDevice(const fs::path&) {
    return false;  // the file's status says it
}

bool AtomicFile::MayWrite(const fs::path& path) {
    return access(path.c_str(), W_OK) == 0;
}

bool AtomicFile::MayCreateIn(const fs::path& folder) {
    return access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace sim
