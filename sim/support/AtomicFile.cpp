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

bool AtomicFile::IsStandardOutput(const fs::path& path) {
    return path == "-" || DescriptorOf(path) == 1;
}

bool AtomicFile::Resolve(const fs::path& path, fs::path& target, std::string& error) {
    Kind kind = Kind::Replace;
    int descriptor = -1;
    return Classify(path, target, kind, descriptor, error);
}

bool AtomicFile::Classify(const fs::path& path, fs::path& target, Kind& kind, int& descriptor,
                          std::string& error) {
    const auto fail = [&](const std::string& reason) {
        error = "cannot write " + path.string() + ": " + reason;
        return false;
    };
    if (path.empty())
        return fail("no file name");
    if (path == "-") {
        target = path;
        kind = Kind::Descriptor;
        descriptor = 1;
        return true;
    }
    std::error_code code;
    fs::path current = path;
    for (int links = 0;; ++links) {
        // /dev/stdout leads to /proc/self/fd/1, which leads nowhere to be named.
        descriptor = DescriptorOf(current);
        if (descriptor >= 0) {
            target = current;
            kind = Kind::Descriptor;
            return true;
        }
        if (!fs::is_symlink(fs::symlink_status(current, code)))
            break;
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
    if (status.type() == fs::file_type::fifo) {
        target = current;
        kind = Kind::Pipe;
        return true;
    }
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
    kind = Kind::Replace;
    return true;
}

bool AtomicFile::Open(const fs::path& path, std::string& error) {
    Discard();
    Shown = path;
    WriteError.clear();
    if (!Classify(path, Target, Writing, Stream, error))
        return false;
    if (Writing != Kind::Replace) {
        std::string reason;
        Handle = OpenStream(Writing, Stream, Target, reason);
        if (Handle == kNoHandle) {
            error = "cannot write " + Shown.string() + ": " + reason;
            return false;
        }
        return true;
    }
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
    } else if (Writing != Kind::Replace) {
        return true;
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
    const fs::file_status status = fs::status(path, code);
    const auto refuse = [&](const char* what) {
        error = "cannot read " + path.string() + ": it is " + what + ", not a file to read";
        return false;
    };
    switch (status.type()) {
        case fs::file_type::directory:
            return refuse("a directory");
        case fs::file_type::block:
        case fs::file_type::character:
            return refuse("a device");
        case fs::file_type::socket:
            return refuse("a socket");
        case fs::file_type::fifo:
            return AtomicFile::ReadPipe(path, content, kPipeReadLimit, error);
        default:
            if (AtomicFile::IsDevice(path))
                return refuse("a device");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    // In one piece when the size is known.
    content.clear();
    const uintmax_t size = fs::is_regular_file(status) ? fs::file_size(path, code) : 0;
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
