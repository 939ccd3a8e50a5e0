#include "sim/support/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sim {
namespace {

namespace fs = std::filesystem;

// Symbolic links followed before giving up, as the system does.
constexpr int kMaxLinks = 40;
// Writes are gathered up to this size.
constexpr size_t kBufferSize = 64 * 1024;

// A name beside the target that no other writer picks.
fs::path TemporaryBeside(const fs::path& path) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp-%08x%04x%04x", random(),
                  static_cast<unsigned>(now) & 0xFFFF, counter++ & 0xFFFF);
    fs::path temporary = path;
    temporary += suffix;
    return temporary;
}

// --- Removing the temporary file when the program is stopped ---------------
//
// The handlers may use only what is safe in a signal handler: the path is
// kept in a plain buffer, and removing a file is one system call.

volatile std::sig_atomic_t Pending = 0;

#if defined(_WIN32)

wchar_t PendingPath[32768];

// Ctrl+C, Ctrl+Break, closing the console: runs on a thread of its own while
// the file is open, which FILE_SHARE_DELETE allows to delete.
BOOL WINAPI RemovePendingOnStop(DWORD) {
    if (Pending != 0)
        DeleteFileW(PendingPath);
    return FALSE;  // the next handler ends the program
}

void Arm(const fs::path& temporary) {
    const std::wstring text = temporary.wstring();
    if (text.size() >= sizeof PendingPath / sizeof PendingPath[0])
        return;
    std::wmemcpy(PendingPath, text.c_str(), text.size() + 1);
    Pending = 1;
    SetConsoleCtrlHandler(RemovePendingOnStop, TRUE);
}

void Disarm() {
    if (Pending == 0)
        return;
    Pending = 0;
    SetConsoleCtrlHandler(RemovePendingOnStop, FALSE);
}

#else

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

void Arm(const fs::path& temporary) {
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

void Disarm() {
    if (Pending == 0)
        return;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        if (Installed[i])
            sigaction(kStopSignals[i], &PreviousActions[i], nullptr);
        Installed[i] = false;
    }
    Pending = 0;
}

#endif

// --- The temporary file ------------------------------------------------------

constexpr intptr_t kNoHandle = -1;

std::string SystemError() {
#if defined(_WIN32)
    return "error " + std::to_string(GetLastError());
#else
    return std::strerror(errno);
#endif
}

// Creates the temporary file: with the target's mode and owner when the
// target exists.
intptr_t CreateTemporary(const fs::path& temporary, const fs::path& target) {
#if defined(_WIN32)
    (void)target;
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<intptr_t>(file);
#else
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
#endif
}

bool WriteAll(intptr_t handle, const char* data, size_t size) {
    while (size > 0) {
#if defined(_WIN32)
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle), data, chunk, &written, nullptr))
            return false;
#else
        const ssize_t written = write(static_cast<int>(handle), data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
#endif
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool CloseTemporary(intptr_t handle) {
#if defined(_WIN32)
    return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
#else
    return close(static_cast<int>(handle)) == 0;
#endif
}

// Renames from over to, replacing an existing file.
bool ReplaceFile(const fs::path& from, const fs::path& to, std::string& reason) {
#if defined(_WIN32)
    // std::filesystem::rename does not replace an existing file with every
    // Windows runtime; MoveFileExW does.
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    reason = SystemError();
    return false;
#else
    if (rename(from.c_str(), to.c_str()) == 0)
        return true;
    reason = SystemError();
    return false;
#endif
}

#if defined(_WIN32)
// NUL, CON, COM1 ... (in any folder) and the devices that a Unix path names
// under Wine are not files, whatever the runtime's status says of them.
bool IsWindowsDevice(const fs::path& path) {
    HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(handle);
    ::CloseHandle(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}
#endif

// Why a file that exists may not be replaced; empty when it may.
std::string Unwritable(const fs::path& path, const fs::file_status& status) {
    switch (status.type()) {
        case fs::file_type::regular:
            break;
        case fs::file_type::directory:
            return "is a directory";
        case fs::file_type::block:
        case fs::file_type::character:
            return "is a device, not a regular file";
        case fs::file_type::fifo:
            return "is a named pipe, not a regular file";
        case fs::file_type::socket:
            return "is a socket, not a regular file";
        default:
            return "is not a regular file";
    }
    constexpr fs::perms kWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & kWrite) == fs::perms::none)
        return "is read-only";
#if !defined(_WIN32)
    if (access(path.c_str(), W_OK) != 0)
        return "may not be written: " + SystemError();
#else
    (void)path;
#endif
    return "";
}

}  // namespace

// --- AtomicFile ---------------------------------------------------------------

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Resolve(const fs::path& path, fs::path& target, std::string& error) {
    const auto fail = [&](const std::string& reason) {
        error = "cannot write " + path.string() + ": " + reason;
        return false;
    };
    if (path.empty())
        return fail("no file name");
    std::error_code code;
    fs::path current = path;
    for (int links = 0; fs::is_symlink(fs::symlink_status(current, code)); ++links) {
        if (links == kMaxLinks)
            return fail("too many levels of symbolic links");
        const fs::path next = fs::read_symlink(current, code);
        if (code)
            return fail(code.message());
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    const std::string subject = current == path ? "it" : current.string() + " (its link target)";
    const fs::file_status status = fs::status(current, code);
#if defined(_WIN32)
    if (IsWindowsDevice(current))
        return fail(subject + " is a device, not a regular file");
#endif
    if (fs::exists(status)) {
        if (const std::string reason = Unwritable(current, status); !reason.empty())
            return fail(subject + " " + reason);
    } else if (code && code != std::errc::no_such_file_or_directory) {
        return fail(code.message());
    }
    // The temporary file goes into the same folder.
    const fs::path folder = current.has_parent_path() ? current.parent_path() : fs::path(".");
    const fs::file_status folderStatus = fs::status(folder, code);
    if (!fs::exists(folderStatus))
        return fail("there is no folder " + folder.string());
    if (!fs::is_directory(folderStatus))
        return fail(folder.string() + " is not a folder");
#if !defined(_WIN32)
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return fail("cannot create files in " + folder.string() + ": " + SystemError());
#endif
    target = current;
    return true;
}

bool AtomicFile::Open(const fs::path& path, std::string& error) {
    Discard();
    Shown = path;
    WriteError.clear();
    if (!Resolve(path, Target, error))
        return false;
    Temporary = TemporaryBeside(Target);
    Arm(Temporary);
    Handle = CreateTemporary(Temporary, Target);
    if (Handle == kNoHandle) {
        error = "cannot write " + Shown.string() + ": " + SystemError();
        Disarm();
        return false;
    }
    return true;
}

bool AtomicFile::Flush() {
    if (Handle == kNoHandle || !WriteError.empty())
        return false;
    if (!WriteAll(Handle, Buffer.data(), Buffer.size()))
        WriteError = SystemError();
    Buffer.clear();
    return WriteError.empty();
}

void AtomicFile::Write(std::string_view content) {
    if (Buffer.size() + content.size() <= kBufferSize) {
        Buffer.append(content);
        return;
    }
    if (Flush() && !WriteAll(Handle, content.data(), content.size()))
        WriteError = SystemError();
}

bool AtomicFile::Commit(std::string& error) {
    if (Handle == kNoHandle) {
        error = "cannot write " + Shown.string() + ": not open";
        return false;
    }
    Flush();
    const bool closed = CloseTemporary(Handle);
    Handle = kNoHandle;
    if (WriteError.empty() && !closed)
        WriteError = SystemError();
    std::string reason;
    if (!WriteError.empty()) {
        error = "cannot write " + Shown.string() + ": " + WriteError;
    } else if (!ReplaceFile(Temporary, Target, reason)) {
        error = "cannot replace " + Shown.string() + ": " + reason;
    } else {
        Temporary.clear();
        Disarm();
        return true;
    }
    Discard();
    return false;
}

void AtomicFile::Discard() {
    if (Handle != kNoHandle)
        CloseTemporary(Handle);
    Handle = kNoHandle;
    Buffer.clear();
    if (!Temporary.empty()) {
        std::error_code ignored;
        fs::remove(Temporary, ignored);
        Temporary.clear();
    }
    Disarm();
}

bool WriteFileAtomically(const fs::path& path, std::string_view content, std::string& error) {
    AtomicFile file;
    if (!file.Open(path, error))
        return false;
    file.Write(content);
    return file.Commit(error);
}

bool ReadWholeFile(const fs::path& path, std::string& content, std::string& error) {
    std::error_code code;
    if (fs::is_directory(path, code)) {
        error = "cannot read " + path.string() + ": it is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    // In one piece when the size is known; a pipe or a device is read to its end.
    content.clear();
    const uintmax_t size = std::filesystem::is_regular_file(path, code)
                               ? std::filesystem::file_size(path, code)
                               : 0;
    if (!code && size > 0) {
        content.resize(static_cast<size_t>(size));
        in.read(content.data(), static_cast<std::streamsize>(size));
        content.resize(static_cast<size_t>(in.gcount()));
    }
    if (!in.eof()) {
        char chunk[1 << 16];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            content.append(chunk, static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        error = "cannot read " + path.string();
        return false;
    }
    return true;
}

}  // namespace sim
