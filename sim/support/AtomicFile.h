// A file written whole or not at all, replacing the old one only when complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace sim {

// A file written whole or not at all. The content goes to a temporary file
// beside the target, which replaces the target only on Commit, so that
// readers see the old file or the new one, never a part.
//
// Only a regular file that may be written is ever replaced: a symbolic link
// is followed to its target (the link stays), and devices, directories,
// sockets and read-only files are refused. A replaced file keeps its mode
// (and, where allowed, its owner). While the temporary file exists, SIGINT,
// SIGTERM and SIGHUP (Ctrl+C and closing the console on Windows) remove it
// before the program ends as the signal says.
//
// What cannot be replaced is written as it comes instead: "-" (standard
// output), and on Linux a named pipe and the program's own descriptors
// (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N), whatever they are.
class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    // Removes the temporary file unless committed.
    ~AtomicFile();

    // The file that writing to path replaces: path itself, or the target of
    // the symbolic link(s) it names (or the pipe or descriptor written as it
    // comes). False, with error, when that is not a regular file that may be
    // written, or cannot be created in its folder. Checks only: nothing is
    // created.
    static bool Resolve(const std::filesystem::path& path, std::filesystem::path& target,
                        std::string& error);

    // Resolves path and creates the temporary file. One AtomicFile at a time
    // may be open in a program.
    bool Open(const std::filesystem::path& path, std::string& error);
    // Appends to the temporary file (buffered); errors surface in Commit.
    void Write(std::string_view content);
    // Replaces the target with what was written. On failure the target is
    // untouched, the temporary file removed and error says why.
    bool Commit(std::string& error);
    // Removes the temporary file; the target is untouched.
    void Discard();

    // Whether path means standard output: "-", or a name of its descriptor.
    static bool IsStandardOutput(const std::filesystem::path& path);

  private:
    static constexpr intptr_t kNoHandle = -1;
    // How Open writes: through a temporary file, or straight into a
    // descriptor of this program (kind Descriptor, number in Stream) or a
    // named pipe.
    enum class Kind : uint8_t { Replace, Descriptor, Pipe };

    bool Flush();
    // Resolve, also saying how the target is written.
    static bool Classify(const std::filesystem::path& path, std::filesystem::path& target,
                         Kind& kind, int& descriptor, std::string& error);

    // The system's part: AtomicFilePosix.cpp, AtomicFileWindows.cpp.
    // While armed, a stop signal (a console event on Windows) removes the
    // temporary file before the program ends.
    static void Arm(const std::filesystem::path& temporary);
    static void Disarm();
    // Creates the temporary file: with the target's mode and owner when the
    // target exists. kNoHandle when it cannot.
    static intptr_t CreateTemporary(const std::filesystem::path& temporary,
                                    const std::filesystem::path& target);
    static bool WriteAll(intptr_t handle, const char* data, size_t size);
    static bool CloseTemporary(intptr_t handle);
    // Renames from over to, replacing an existing file.
    static bool MoveOver(const std::filesystem::path& from, const std::filesystem::path& to,
                         std::string& reason);
    // The last system call's error, as text.
    static std::string SystemError();
    // The descriptor a path names (/dev/stdout, /dev/fd/3 ...), or -1.
    static int DescriptorOf(const std::filesystem::path& path);
    // Opens what is written as it comes: a copy of the descriptor, or the
    // pipe, without waiting for a reader. kNoHandle, with reason, when it
    // cannot.
    static intptr_t OpenStream(Kind kind, int descriptor, const std::filesystem::path& pipe,
                               std::string& reason);
    // Reads a named pipe, at most limit bytes, without waiting for a writer
    // that never comes.
    static bool ReadPipe(const std::filesystem::path& path, std::string& content, size_t limit,
                         std::string& error);
    friend bool ReadWholeFile(const std::filesystem::path& path, std::string& content,
                              std::string& error);
    // Whether the path names a device that the runtime's status may call a
    // file; whether the system lets this program write the file, and create
    // files in the folder (the last two set SystemError when not).
    static bool IsDevice(const std::filesystem::path& path);
    static bool MayWrite(const std::filesystem::path& path);
    static bool MayCreateIn(const std::filesystem::path& folder);

    std::filesystem::path Shown;   // the path as given, for messages
    std::filesystem::path Target;  // where the content goes
    Kind Writing = Kind::Replace;
    int Stream = -1;  // the descriptor, for Kind::Descriptor
    std::filesystem::path Temporary;
    intptr_t Handle = -1;  // the open temporary file: a descriptor, or a Windows handle
    std::string Buffer;
    std::string WriteError;  // the first write that failed
};

// Writes content to path with an AtomicFile.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error);

// The most read from a pipe: a score larger than any generated one.
constexpr size_t kPipeReadLimit = size_t{1} << 30;

// The whole file; on failure returns false and sets error. A named pipe is
// read up to kPipeReadLimit, and only while a program writes to it; a
// device, a socket or a directory is refused.
bool ReadWholeFile(const std::filesystem::path& path, std::string& content, std::string& error);

}  // namespace sim
