// What the tests of the simulated host share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/host/Host.h"

namespace simtest {

// The version argument of every host call.
constexpr uint32_t V = sim::kCallVersion;

// A file's bytes, or "" when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace simtest
