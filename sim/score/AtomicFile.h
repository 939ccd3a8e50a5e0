#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sim {

// Writes content to a temporary file beside path and renames it over path,
// so that readers see the old file or the new one, never a part. An existing
// file is replaced, on Windows too. On failure path is untouched, the
// temporary file is removed, and error says why.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error);

// The whole file; on failure returns false and sets error.
bool ReadWholeFile(const std::filesystem::path& path, std::string& content, std::string& error);

}  // namespace sim
