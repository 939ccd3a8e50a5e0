// A file written whole or not at all: the checks, the buffer and the commit.
#include "sim/support/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

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

// Why a file that exists may not be replaced, as far as its status says;
// empty when it may.
std::string Unwritable(const fs::file_status& status) {
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
    if (IsDevice(current))
        return fail(subject + " is a device, not a regular file");
    if (fs::exists(status)) {
        if (const std::string reason = Unwritable(status); !reason.empty())
            return fail(subject + " " + reason);
        if (!MayWrite(current))
            return fail(subject + " may not be written: " + SystemError());
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
    if (!MayCreateIn(folder))
        return fail("cannot create files in " + folder.string() + ": " + SystemError());
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
    } else if (!MoveOver(Temporary, Target, reason)) {
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
