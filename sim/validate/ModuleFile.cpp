// What an ELF shared object or a PE DLL exports, imports and needs, read from the file.
#include "sim/validate/ModuleFile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/host/HostCall.h"

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

// The parts of an ELF64 little-endian file that the readers below use.
class ElfFile {
  public:
    struct Section {
        uint32_t Type = 0;
        uint64_t Offset = 0;
        uint64_t Size = 0;
        uint32_t Link = 0;
    };
    struct Symbol {
        std::string Name;
        bool Defined = false;
    };
    static constexpr uint32_t kDynamicSymbols = 11;  // SHT_DYNSYM
    static constexpr uint32_t kDynamic = 6;          // SHT_DYNAMIC

    explicit ElfFile(const FileBytes& bytes) : File(bytes) {}

    // Reads the header: false, with error, for a file that is not ELF64
    // little-endian or whose section headers lie outside it.
    bool Open(std::string& error) {
        constexpr uint64_t kSectionOffset = 0x28, kSectionEntrySize = 0x3A, kSectionCount = 0x3C;
        uint8_t elfClass = 0, order = 0;
        if (!File.Read(4, elfClass) || !File.Read(5, order) || elfClass != 2 || order != 1) {
            error = "not a 64-bit little-endian ELF file";
            return false;
        }
        if (!File.Read(kSectionOffset, Sections) || !File.Read(kSectionEntrySize, EntrySize) ||
            !File.Read(kSectionCount, Count) || EntrySize < 0x40) {
            error = "the ELF header is cut short";
            return false;
        }
        if (!File.Has(Sections, uint64_t{EntrySize} * Count)) {
            error = "the section headers lie outside the file";
            return false;
        }
        return true;
    }

    // The first section of the type, and the string table it links to.
    bool Find(uint32_t type, Section& found, Section& strings) const {
        for (uint32_t i = 0; i < Count; ++i) {
            if (SectionAt(i, found) && found.Type == type)
                return SectionAt(found.Link, strings) && File.Has(found.Offset, found.Size) &&
                       File.Has(strings.Offset, strings.Size);
        }
        return false;
    }

    // The global and weak symbols of .dynsym, defined or not; nothing, with
    // error, when the table lies outside the file.
    std::optional<std::vector<Symbol>> DynamicSymbols(std::string& error) const {
        constexpr size_t kSymbolSize = 24;
        Section table, strings;
        std::vector<Symbol> symbols;
        if (!Find(kDynamicSymbols, table, strings)) {
            if (table.Type == kDynamicSymbols) {
                error = "the dynamic symbol table lies outside the file";
                return std::nullopt;
            }
            return symbols;
        }
        const uint64_t end = table.Offset + table.Size;
        for (uint64_t at = table.Offset + kSymbolSize; at + kSymbolSize <= end; at += kSymbolSize) {
            uint32_t name = 0;
            uint8_t info = 0;
            uint16_t sectionIndex = 0;
            File.Read(at, name);
            File.Read(at + 4, info);
            File.Read(at + 6, sectionIndex);
            const int binding = info >> 4;
            const bool global = binding == 1 || binding == 2;  // GLOBAL, WEAK
            std::string text;
            if (global && File.Name(strings.Offset + name, text) && !text.empty())
                symbols.push_back({text, sectionIndex != 0});
        }
        return symbols;
    }

    // The texts of the dynamic section's entries of a tag (DT_NEEDED ...).
    std::vector<std::string> DynamicTexts(int64_t tag) const {
        constexpr size_t kEntrySize = 16;
        std::vector<std::string> texts;
        Section dynamic, strings;
        if (!Find(kDynamic, dynamic, strings))
            return texts;
        for (uint64_t at = dynamic.Offset; at + kEntrySize <= dynamic.Offset + dynamic.Size;
             at += kEntrySize) {
            int64_t entryTag = 0;
            uint64_t value = 0;
            File.Read(at, entryTag);
            File.Read(at + 8, value);
            std::string text;
            if (entryTag == tag && File.Name(strings.Offset + value, text))
                texts.push_back(text);
        }
        return texts;
    }

  private:
    bool SectionAt(uint32_t index, Section& section) const {
        const uint64_t at = Sections + uint64_t{index} * EntrySize;
        return index < Count && File.Read(at + 4, section.Type) &&
               File.Read(at + 0x18, section.Offset) && File.Read(at + 0x20, section.Size) &&
               File.Read(at + 0x28, section.Link);
    }

    const FileBytes& File;
    uint64_t Sections = 0;
    uint16_t EntrySize = 0;
    uint16_t Count = 0;
};

// The defined global and weak symbols of .dynsym.
std::optional<std::vector<std::string>> ElfExports(const FileBytes& file, std::string& error) {
    ElfFile elf(file);
    if (!elf.Open(error))
        return std::nullopt;
    const auto symbols = elf.DynamicSymbols(error);
    if (!symbols)
        return std::nullopt;
    std::vector<std::string> names;
    for (const ElfFile::Symbol& symbol : *symbols) {
        if (symbol.Defined)
            names.push_back(symbol.Name);
    }
    return names;
}

// The host functions among the undefined symbols of .dynsym.
std::optional<std::vector<std::string>> ElfHostImports(const FileBytes& file, std::string& error) {
    ElfFile elf(file);
    if (!elf.Open(error))
        return std::nullopt;
    const auto symbols = elf.DynamicSymbols(error);
    if (!symbols)
        return std::nullopt;
    std::vector<std::string> names;
    for (const ElfFile::Symbol& symbol : *symbols) {
        const auto fn = HostFnByName(symbol.Name);
        if (!symbol.Defined && fn && IsRecordedHostFunction(*fn))
            names.push_back(symbol.Name);
    }
    return names;
}

// The parts of a PE32+ file that the readers below use.
class PeFile {
  public:
    explicit PeFile(const FileBytes& bytes) : File(bytes) {}

    bool Open(std::string& error) {
        uint32_t header = 0, signature = 0;
        uint16_t magic = 0;
        if (!File.Read(0x3C, header) || !File.Read(header, signature) || signature != 0x4550 ||
            !File.Read(header + 6, SectionCount) || !File.Read(header + 20, OptionalSize) ||
            !File.Read(header + 24, magic)) {
            error = "not a PE file";
            return false;
        }
        if (magic != 0x20B) {
            error = "not a 64-bit PE file";
            return false;
        }
        Optional = header + 24;
        return true;
    }

    // The relative virtual address of a data directory (0 export, 1 import).
    bool Directory(uint32_t index, uint32_t& rva, std::string& error) const {
        if (!File.Read(Optional + 112 + 8ull * index, rva)) {
            error = "the PE header is cut short";
            return false;
        }
        return true;
    }

    // A relative virtual address as an offset in the file.
    bool OffsetOf(uint32_t rva, uint64_t& offset) const {
        const uint64_t table = Optional + OptionalSize;
        for (uint16_t i = 0; i < SectionCount; ++i) {
            const uint64_t at = table + uint64_t{i} * 40;
            uint32_t virtualSize = 0, address = 0, rawSize = 0, raw = 0;
            if (!File.Read(at + 8, virtualSize) || !File.Read(at + 12, address) ||
                !File.Read(at + 16, rawSize) || !File.Read(at + 20, raw))
                return false;
            if (rva >= address && rva - address < std::max(virtualSize, rawSize)) {
                offset = uint64_t{raw} + (rva - address);
                return true;
            }
        }
        return false;
    }

    // The zero-terminated name at a relative virtual address.
    bool NameAt(uint32_t rva, std::string& name) const {
        uint64_t offset = 0;
        return OffsetOf(rva, offset) && File.Name(offset, name);
    }

  private:
    const FileBytes& File;
    uint64_t Optional = 0;
    uint16_t SectionCount = 0;
    uint16_t OptionalSize = 0;
};

// The names of the export directory.
std::optional<std::vector<std::string>> PeExports(const FileBytes& file, std::string& error) {
    PeFile pe(file);
    uint32_t exportRva = 0;
    if (!pe.Open(error) || !pe.Directory(0, exportRva, error))
        return std::nullopt;
    if (exportRva == 0)
        return std::vector<std::string>{};
    uint64_t directory = 0, namesAt = 0;
    uint32_t nameCount = 0, namesRva = 0;
    if (!pe.OffsetOf(exportRva, directory) || !file.Read(directory + 24, nameCount) ||
        !file.Read(directory + 32, namesRva) ||
        (nameCount > 0 && !pe.OffsetOf(namesRva, namesAt))) {
        error = "the export directory lies outside the file";
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t nameRva = 0;
        std::string name;
        if (!file.Read(namesAt + 4ull * i, nameRva) || !pe.NameAt(nameRva, name)) {
            error = "an exported name lies outside the file";
            return std::nullopt;
        }
        names.push_back(name);
    }
    return names;
}

bool EndsWithExe(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string end = name.substr(name.size() - 4);
    for (char& c : end)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return end == ".exe";
}

// The names imported from a program (a .EXE) by the import directory.
std::optional<std::vector<std::string>> PeHostImports(const FileBytes& file, std::string& error) {
    PeFile pe(file);
    uint32_t importRva = 0;
    if (!pe.Open(error) || !pe.Directory(1, importRva, error))
        return std::nullopt;
    std::vector<std::string> names;
    if (importRva == 0)
        return names;
    uint64_t descriptor = 0;
    if (!pe.OffsetOf(importRva, descriptor)) {
        error = "the import directory lies outside the file";
        return std::nullopt;
    }
    constexpr uint64_t kOrdinalFlag = uint64_t{1} << 63;
    for (;; descriptor += 20) {
        uint32_t lookupRva = 0, nameRva = 0, addressRva = 0;
        if (!file.Read(descriptor, lookupRva) || !file.Read(descriptor + 12, nameRva) ||
            !file.Read(descriptor + 16, addressRva)) {
            error = "the import directory lies outside the file";
            return std::nullopt;
        }
        if (nameRva == 0)
            return names;
        std::string library;
        uint64_t thunks = 0;
        if (!pe.NameAt(nameRva, library) ||
            !pe.OffsetOf(lookupRva != 0 ? lookupRva : addressRva, thunks)) {
            error = "an import lies outside the file";
            return std::nullopt;
        }
        if (!EndsWithExe(library))
            continue;
        for (uint64_t thunk = 0; file.Read(thunks, thunk) && thunk != 0; thunks += 8) {
            std::string name;
            if ((thunk & kOrdinalFlag) != 0)
                names.push_back(library + " ordinal " + std::to_string(thunk & 0xFFFF));
            else if (pe.NameAt(static_cast<uint32_t>(thunk) + 2, name))
                names.push_back(name);
        }
    }
}

// Reads the file, then the ELF or PE reader.
template <typename ElfReader, typename PeReader>
std::optional<std::vector<std::string>> ReadNames(const std::string& path, std::string& error,
                                                  ElfReader elf, PeReader pe) {
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
        return elf(file, error);
    if (file.Read(0, dosMagic) && dosMagic == 0x5A4D)  // "MZ"
        return pe(file, error);
    error = "neither an ELF nor a PE file";
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::string>> ReadExportNames(const std::string& path,
                                                        std::string& error) {
    return ReadNames(path, error, ElfExports, PeExports);
}

std::optional<std::vector<std::string>> ReadHostImports(const std::string& path,
                                                        std::string& error) {
    auto names = ReadNames(path, error, ElfHostImports, PeHostImports);
    if (names)
        std::sort(names->begin(), names->end());
    return names;
}

NeededLibraries ReadNeededLibraries(const std::string& path) {
    constexpr int64_t kNeeded = 1, kRpath = 15, kRunpath = 29;
    NeededLibraries needed;
    std::string error;
    const std::string origin = std::filesystem::absolute(path).parent_path().string();
    const auto read = [&](const FileBytes& file, std::string& problem) {
        ElfFile elf(file);
        if (!elf.Open(problem))
            return std::optional<std::vector<std::string>>();
        needed.Names = elf.DynamicTexts(kNeeded);
        if (const auto symbols = elf.DynamicSymbols(problem)) {
            for (const ElfFile::Symbol& symbol : *symbols)
                needed.CallsAsan = needed.CallsAsan ||
                                   (!symbol.Defined && symbol.Name.rfind("__asan_", 0) == 0);
        }
        std::vector<std::string> paths = elf.DynamicTexts(kRunpath);
        if (paths.empty())
            paths = elf.DynamicTexts(kRpath);
        for (const std::string& list : paths) {
            for (size_t start = 0; start <= list.size();) {
                size_t end = list.find(':', start);
                if (end == std::string::npos)
                    end = list.size();
                std::string folder = list.substr(start, end - start);
                for (const char* name : {"$ORIGIN", "${ORIGIN}"}) {
                    if (folder.rfind(name, 0) == 0)
                        folder = origin + folder.substr(std::strlen(name));
                }
                if (!folder.empty())
                    needed.Folders.push_back(folder);
                start = end + 1;
            }
        }
        return std::optional<std::vector<std::string>>(std::vector<std::string>{});
    };
    const auto none = [](const FileBytes&, std::string&) {
        return std::optional<std::vector<std::string>>();
    };
    ReadNames(path, error, read, none);
    return needed;
}

}  // namespace sim
