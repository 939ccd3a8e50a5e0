// The export names of an ELF shared object or a PE DLL, read from the file.
#include "sim/validate/ExportTable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace sim {
namespace {

// Little-endian reads that fail past the end of the file.
class FileBytes {
  public:
    explicit FileBytes(std::vector<uint8_t> bytes) : Data(std::move(bytes)) {}

    bool Has(uint64_t offset, uint64_t size) const {
        return offset <= Data.size() && size <= Data.size() - offset;
    }
    template <typename T>
    bool Read(uint64_t offset, T& value) const {
        if (!Has(offset, sizeof value))
            return false;
        std::memcpy(&value, Data.data() + offset, sizeof value);
        return true;
    }
    // A zero-terminated name inside the file.
    bool Name(uint64_t offset, std::string& name) const {
        if (offset >= Data.size())
            return false;
        const auto* start = reinterpret_cast<const char*>(Data.data() + offset);
        const size_t length = strnlen(start, Data.size() - offset);
        if (offset + length == Data.size())
            return false;
        name.assign(start, length);
        return true;
    }
    size_t Size() const { return Data.size(); }

  private:
    std::vector<uint8_t> Data;
};

// ELF64, little-endian: the defined global and weak symbols of .dynsym.
std::optional<std::vector<std::string>> ElfExports(const FileBytes& file, std::string& error) {
    constexpr uint64_t kSectionOffset = 0x28, kSectionEntrySize = 0x3A, kSectionCount = 0x3C;
    constexpr uint32_t kDynamicSymbols = 11;  // SHT_DYNSYM
    constexpr size_t kSymbolSize = 24;
    uint64_t sections = 0;
    uint16_t entrySize = 0, count = 0;
    uint8_t elfClass = 0, order = 0;
    if (!file.Read(4, elfClass) || !file.Read(5, order) || elfClass != 2 || order != 1) {
        error = "not a 64-bit little-endian ELF file";
        return std::nullopt;
    }
    if (!file.Read(kSectionOffset, sections) || !file.Read(kSectionEntrySize, entrySize) ||
        !file.Read(kSectionCount, count) || entrySize < 0x40) {
        error = "the ELF header is cut short";
        return std::nullopt;
    }
    if (!file.Has(sections, uint64_t{entrySize} * count)) {
        error = "the section headers lie outside the file";
        return std::nullopt;
    }
    auto section = [&](uint32_t index, uint32_t& type, uint64_t& offset, uint64_t& size,
                       uint32_t& link) {
        const uint64_t at = sections + uint64_t{index} * entrySize;
        return file.Read(at + 4, type) && file.Read(at + 0x18, offset) &&
               file.Read(at + 0x20, size) && file.Read(at + 0x28, link);
    };
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t type = 0, link = 0, stringsType = 0, unused = 0;
        uint64_t offset = 0, size = 0, strings = 0, stringsSize = 0;
        if (!section(i, type, offset, size, link) || type != kDynamicSymbols)
            continue;
        if (!section(link, stringsType, strings, stringsSize, unused) || !file.Has(offset, size) ||
            !file.Has(strings, stringsSize)) {
            error = "the dynamic symbol table lies outside the file";
            return std::nullopt;
        }
        std::vector<std::string> names;
        for (uint64_t at = offset + kSymbolSize; at + kSymbolSize <= offset + size;
             at += kSymbolSize) {
            uint32_t name = 0;
            uint8_t info = 0;
            uint16_t sectionIndex = 0;
            file.Read(at, name);
            file.Read(at + 4, info);
            file.Read(at + 6, sectionIndex);
            const int binding = info >> 4;
            const bool global = binding == 1 || binding == 2;  // GLOBAL, WEAK
            std::string text;
            if (global && sectionIndex != 0 && file.Name(strings + name, text) && !text.empty())
                names.push_back(text);
        }
        return names;
    }
    return std::vector<std::string>{};
}

// PE32+: the names of the export directory.
std::optional<std::vector<std::string>> PeExports(const FileBytes& file, std::string& error) {
    uint32_t header = 0, signature = 0;
    uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    if (!file.Read(0x3C, header) || !file.Read(header, signature) || signature != 0x4550 ||
        !file.Read(header + 6, sectionCount) || !file.Read(header + 20, optionalSize) ||
        !file.Read(header + 24, magic)) {
        error = "not a PE file";
        return std::nullopt;
    }
    if (magic != 0x20B) {
        error = "not a 64-bit PE file";
        return std::nullopt;
    }
    const uint64_t optional = header + 24;
    uint32_t exportRva = 0;
    if (!file.Read(optional + 112, exportRva)) {
        error = "the PE header is cut short";
        return std::nullopt;
    }
    if (exportRva == 0)
        return std::vector<std::string>{};
    const uint64_t table = optional + optionalSize;
    // A relative virtual address as an offset in the file.
    auto offsetOf = [&](uint32_t rva, uint64_t& offset) {
        for (uint16_t i = 0; i < sectionCount; ++i) {
            const uint64_t at = table + uint64_t{i} * 40;
            uint32_t virtualSize = 0, address = 0, rawSize = 0, raw = 0;
            if (!file.Read(at + 8, virtualSize) || !file.Read(at + 12, address) ||
                !file.Read(at + 16, rawSize) || !file.Read(at + 20, raw))
                return false;
            if (rva >= address && rva - address < std::max(virtualSize, rawSize)) {
                offset = uint64_t{raw} + (rva - address);
                return true;
            }
        }
        return false;
    };
    uint64_t directory = 0, namesAt = 0;
    uint32_t nameCount = 0, namesRva = 0;
    if (!offsetOf(exportRva, directory) || !file.Read(directory + 24, nameCount) ||
        !file.Read(directory + 32, namesRva) || (nameCount > 0 && !offsetOf(namesRva, namesAt))) {
        error = "the export directory lies outside the file";
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t nameRva = 0;
        uint64_t nameAt = 0;
        std::string name;
        if (!file.Read(namesAt + 4ull * i, nameRva) || !offsetOf(nameRva, nameAt) ||
            !file.Name(nameAt, name)) {
            error = "an exported name lies outside the file";
            return std::nullopt;
        }
        names.push_back(name);
    }
    return names;
}

}  // namespace

std::optional<std::vector<std::string>> ReadExportNames(const std::string& path,
                                                        std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    const FileBytes file{
        std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
    uint32_t magic = 0;
    uint16_t dosMagic = 0;
    if (file.Read(0, magic) && magic == 0x464C457F)  // "\x7FELF"
        return ElfExports(file, error);
    if (file.Read(0, dosMagic) && dosMagic == 0x5A4D)  // "MZ"
        return PeExports(file, error);
    error = "neither an ELF nor a PE file";
    return std::nullopt;
}

}  // namespace sim
