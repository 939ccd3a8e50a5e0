// Level 1 of melvara-sim validate: the exports and the menu.
//
// The exports, the version and the word Init sets, the menu records at several
// host versions, GetMenuStatus and Terminate.
#include <cstring>
#include <map>

#include "sim/host/GuardedMemory.h"
#include "sim/host/HostBuffer.h"
#include "sim/module/Menu.h"
#include "sim/support/Text.h"
#include "sim/validate/Checks.h"
#include "sim/validate/Invocation.h"
#include "sim/validate/ModuleFile.h"
#include "sim/validate/ProcessWatch.h"

namespace sim::checks {
namespace {

// Below, at and above the version that hosts have gated commands on, the
// host of today, and versions with the top bits set.
constexpr uint32_t kHostVersions[] = {0x10000000, 0x10FFFFFF, 0x11000000,
                                      0x19000000, 0x80000000, 0xFFFFFFFF};
constexpr uint8_t kFill = GuardedMemory::kFenceFill;
constexpr size_t kTextBytes = 64;   // 8-bit fields
constexpr size_t kTextUnits = 128;  // UTF-16 fields
// A text this long may have been cut by its field.
constexpr size_t kCutLength = 63;

// A menu record as the host hands it in: filled with a pattern, in fenced
// host memory.
template <typename Record>
HostBuffer PatternRecord() {
    Record pattern;
    std::memset(&pattern, kFill, sizeof pattern);
    return HostBuffer::ForRecord(pattern);
}

bool Untouched(const HostBuffer& record) {
    for (size_t i = 0; i < record.Size(); ++i) {
        if (record.Data()[i] != kFill)
            return false;
    }
    return true;
}

// An overrun of the buffer's fences ends the check's process as the
// export's fault, which groups the same fault of other checks under it.
// Without a guard, it is what is wrong.
std::optional<std::string> Overrun(const HostBuffer& buffer, const char* exportName) {
    CheckFences(buffer, exportName);
    return buffer.Breach();
}

struct Field {
    const char* Name;
    size_t Offset;
};
constexpr Field kFields[] = {{"Title", 0}, {"Description", 1}, {"ShortName", 2}};

std::string NarrowText(const MenuItemRecord& item, size_t field) {
    const char* texts[] = {item.Title, item.Description, item.ShortName};
    return FieldText(texts[field], kTextBytes);
}

const char16_t* WideField(const MenuItemRecordW& item, size_t field) {
    const char16_t* texts[] = {item.Title, item.Description, item.ShortName};
    return texts[field];
}

// What is wrong with a filled record, if anything.
std::optional<std::string> RecordProblem(const MenuItemRecord& item) {
    if (item.ItemFlag != 1)
        return "set ItemFlag to " + std::to_string(item.ItemFlag) + ", not 1";
    if (item.Title[0] == 0)
        return "left the Title empty";
    return std::nullopt;
}

std::optional<std::string> RecordProblem(const MenuItemRecordW& item) {
    if (item.ItemFlag != 1)
        return "set ItemFlag to " + std::to_string(item.ItemFlag) + ", not 1";
    for (const Field& field : kFields) {
        const char16_t* text = WideField(item, field.Offset);
        if (std::char_traits<char16_t>::find(text, kTextUnits, 0) == nullptr) {
            return std::string("left the ") + field.Name + " without a zero unit in its " +
                   std::to_string(kTextUnits) + " units";
        }
    }
    if (item.Title[0] == 0)
        return "left the Title empty";
    return std::nullopt;
}

// Every record one enumeration export fills from index 0 until it answers 0.
template <typename Record>
struct Listing {
    std::vector<Record> Items;
    std::optional<CheckResult> Problem;
};

template <typename Record, typename Enumerate>
Listing<Record> List(const char* exportName, uint32_t version, Enumerate enumerate) {
    Listing<Record> listing;
    for (int16_t index = 0;; ++index) {
        const std::string call = std::string(exportName) + "(index " + std::to_string(index) +
                                 ") at host version " + Hex(version, 8);
        if (index == kMaxMenuCommands) {
            listing.Problem = Failed(std::string(exportName) + " answers every index up to " +
                                         std::to_string(kMaxMenuCommands - 1) +
                                         "; a host enumerates until it answers 0",
                                     {}, call);
            return listing;
        }
        const HostBuffer record = PatternRecord<Record>();
        const int16_t answer = enumerate(index, record.As<Record>());
        std::optional<std::string> problem = Overrun(record, exportName);
        if (!problem && answer == 0 && !Untouched(record))
            problem = "answered 0 and still wrote into the record";
        if (!problem && answer != 0)
            problem = RecordProblem(record.Copy<Record>());
        if (problem) {
            listing.Problem = Failed(std::string(exportName) + " " + *problem, {}, call);
            return listing;
        }
        if (answer == 0)
            return listing;
        listing.Items.push_back(record.Copy<Record>());
    }
}

bool IsAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// The two records of one command agree when their texts are the same, or
// one is the other cut by its field.
std::optional<std::string> Disagreement(const MenuItemRecord& narrow, const MenuItemRecordW& wide) {
    for (const Field& field : kFields) {
        const std::string a = NarrowText(narrow, field.Offset);
        const std::string b = FieldText(WideField(wide, field.Offset), kTextUnits);
        if (!IsAscii(a) || a == b)
            continue;
        const std::string& shorter = a.size() < b.size() ? a : b;
        const std::string& longer = a.size() < b.size() ? b : a;
        if (shorter.size() >= kCutLength && longer.compare(0, shorter.size(), shorter) == 0)
            continue;
        return std::string("the 8-bit ") + field.Name + " \"" + a + "\" and the UTF-16 " +
               field.Name + " \"" + b + "\" differ";
    }
    return std::nullopt;
}

template <typename Record>
bool SameRecords(const std::vector<Record>& a, const std::vector<Record>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Record)) == 0);
}

}  // namespace

CheckResult Exports(CheckContext& context) {
    const std::string& path = context.Options().ModulePath;
    std::vector<std::string> missing;
    std::string error;
    context.SetWhere("loading " + path);
    const ProcessSettings before = ProcessSettings::Read();
    if (!context.Module().Load(path, error, &missing))
        return Failed(error);
    if (auto stray = StrayCallFailure(context.Where()))
        return *stray;
    // A module built to flush denormals to zero, for one, sets that as it loads.
    if (const auto change = SettingsChange(before, ProcessSettings::Read())) {
        context.NoteWarning(Warned(
            "loading the module left process-wide settings changed: " + *change, context.Where()));
    }
    std::string readError;
    const auto names = ReadExportNames(path, readError);
    if (!names)
        return Passed("the seven exports (the export table could not be read: " + readError + ")");
    std::vector<std::string> extra;
    for (const std::string& name : *names) {
        bool known = false;
        for (const char* contract : LoadedModule::ExportNames())
            known = known || name == contract;
        if (!known)
            extra.push_back(name);
    }
    if (extra.empty())
        return Passed("the seven exports, nothing else");
    std::string text = "the seven exports; also " + std::to_string(extra.size()) +
                       (extra.size() == 1 ? " other: " : " others: ");
    constexpr size_t kNamed = 8;
    for (size_t i = 0; i < extra.size() && i < kNamed; ++i)
        text += (i == 0 ? "" : ", ") + extra[i];
    if (extra.size() > kNamed)
        text += " ...";
    return Passed(text);
}

std::string DirectLinkReason(const std::vector<std::string>& functions) {
    std::string names;
    for (const std::string& name : functions)
        names += (names.empty() ? "" : ", ") + name;
    return "the module links to " + names +
           " directly: a host without " + (functions.size() == 1 ? "it" : "one of them") +
           " cannot load it at all; find the host functions by name at run time";
}

CheckResult Imports(CheckContext& context) {
    const std::string& path = context.Options().ModulePath;
    std::string error;
    const auto imports = ReadHostImports(path, error);
    if (!imports)
        return Skipped("the module's imports could not be read: " + error);
    if (!imports->empty()) {
        context.SetWhere("loading " + path);
        return Failed(DirectLinkReason(*imports), context.Where());
    }
    return Passed("links to no host function: finds them by name");
}

CheckResult Version(CheckContext& context) {
    if (auto skip = context.LoadModule())
        return *skip;
    context.SetWhere("MelvaraExtensionVersion");
    for (uint32_t version : kHostVersions) {
        const uint32_t answer = context.Module().Version(version);
        if (answer != version) {
            return Failed("MelvaraExtensionVersion answered " + Hex(answer, 8) +
                              ", not the version it was given",
                          {}, "MelvaraExtensionVersion(" + Hex(version, 8) + ")");
        }
    }
    return Passed("answers each of " + std::to_string(std::size(kHostVersions)) +
                  " host versions with itself");
}

CheckResult Init(CheckContext& context) {
    if (auto skip = context.LoadModule())
        return *skip;
    context.Module().Version(kValidateHostVersion);
    context.SetWhere("MelvaraExtensionInit");
    for (uint32_t word : {0x0u, 0x6u, 0xFFFFFFFEu, 0x80000000u}) {
        const std::string call = "MelvaraExtensionInit(null, word " + Hex(word, 8) + ")";
        const HostBuffer fenced = InitWord(word);
        const int answer = context.Module().Init(nullptr, fenced.As<uint32_t>());
        if (const auto overrun = Overrun(fenced, "MelvaraExtensionInit"))
            return Failed("MelvaraExtensionInit " + *overrun, {}, call);
        const auto left = fenced.Copy<uint32_t>();
        if (left != (word | 1)) {
            return Failed("MelvaraExtensionInit left the word " + Hex(left, 8) + ", not " +
                              Hex(word | 1, 8) + ": it sets bit 0 and keeps the others",
                          {}, call);
        }
        if (answer == 0)
            return Failed("MelvaraExtensionInit answered 0: the host would not use the module", {},
                          call);
    }
    return Passed("sets bit 0 of the word and keeps the others");
}

CheckResult Enumerate(CheckContext& context) {
    if (auto skip = context.LoadModule())
        return *skip;
    LoadedModule& module = context.Module();
    const auto narrow = [&module](int16_t index, MenuItemRecord* item) {
        return module.Enumerate(nullptr, index, item);
    };
    const auto wide = [&module](int16_t index, MenuItemRecordW* item) {
        return module.EnumerateUtf16(nullptr, index, item);
    };
    std::map<size_t, std::string> versionsByCount;
    for (uint32_t version : kHostVersions) {
        context.SetWhere("enumerating at host version " + Hex(version, 8));
        module.Version(version);
        uint32_t word = 0;
        module.Init(nullptr, &word);
        const auto first = List<MenuItemRecord>("MelvaraExtensionEnumerate", version, narrow);
        if (first.Problem)
            return *first.Problem;
        const auto firstWide =
            List<MenuItemRecordW>("MelvaraExtensionEnumerate_UTF16", version, wide);
        if (firstWide.Problem)
            return *firstWide.Problem;
        const std::string at = " at host version " + Hex(version, 8);
        if (first.Items.size() != firstWide.Items.size()) {
            return Failed("MelvaraExtensionEnumerate offers " + std::to_string(first.Items.size()) +
                          " commands" + at + ", MelvaraExtensionEnumerate_UTF16 " +
                          std::to_string(firstWide.Items.size()));
        }
        for (size_t i = 0; i < first.Items.size(); ++i) {
            if (const auto problem = Disagreement(first.Items[i], firstWide.Items[i]))
                return Failed("index " + std::to_string(i) + at + ": " + *problem);
        }
        const auto second = List<MenuItemRecord>("MelvaraExtensionEnumerate", version, narrow);
        const auto secondWide =
            List<MenuItemRecordW>("MelvaraExtensionEnumerate_UTF16", version, wide);
        if (second.Problem || secondWide.Problem || !SameRecords(first.Items, second.Items) ||
            !SameRecords(firstWide.Items, secondWide.Items)) {
            return Failed("a second enumeration" + at + " gave other answers");
        }
        std::string& versions = versionsByCount[first.Items.size()];
        versions += (versions.empty() ? "" : ", ") + Hex(version, 8);
    }
    std::string summary;
    for (const auto& [count, versions] : versionsByCount) {
        summary += (summary.empty() ? "" : "; ") + std::to_string(count) +
                   (count == 1 ? " command" : " commands") + " at " + versions;
    }
    return Passed(summary + "; both records agree, each text inside its field");
}

CheckResult MenuStatus(CheckContext& context) {
    if (auto skip = context.LoadModule())
        return *skip;
    const size_t commands = context.MenuIndexes().size();
    context.SetWhere("MelvaraExtensionGetMenuStatus");
    const int first = context.Module().GetMenuStatus(nullptr);
    const int second = context.Module().GetMenuStatus(nullptr);
    if (first != second) {
        return Failed("MelvaraExtensionGetMenuStatus answered " + std::to_string(first) +
                      ", then " + std::to_string(second));
    }
    if (first == 0 && commands != 0) {
        return Failed("MelvaraExtensionGetMenuStatus answered 0 while the menu offers " +
                          std::to_string(commands) + (commands == 1 ? " command" : " commands") +
                          ": the host takes it that they cannot be picked",
                      {}, "MelvaraExtensionGetMenuStatus(null)");
    }
    return Passed("answers " + std::to_string(first));
}

CheckResult Terminate(CheckContext& context) {
    if (auto skip = context.LoadModule())
        return *skip;
    const std::vector<MenuEntry> before = ReadMenu(context.Module(), kValidateHostVersion);
    context.SetWhere("MelvaraExtensionTerminate");
    context.Module().Terminate();
    if (auto stray = StrayCallFailure(context.Where()))
        return *stray;
    context.SetWhere("unloading and loading the module again");
    context.Module().Unload();
    if (auto skip = context.LoadModule())
        return Failed("loaded again after Terminate, " + skip->Reason);
    const std::vector<MenuEntry> after = ReadMenu(context.Module(), kValidateHostVersion);
    bool same = before.size() == after.size();
    for (size_t i = 0; same && i < before.size(); ++i) {
        same = std::memcmp(&before[i].Narrow, &after[i].Narrow, sizeof before[i].Narrow) == 0 &&
               std::memcmp(&before[i].Wide, &after[i].Wide, sizeof before[i].Wide) == 0;
    }
    if (!same)
        return Failed("loaded again after Terminate, the module offers another menu");
    context.SetWhere("MelvaraExtensionTerminate, after loading again");
    context.Module().Terminate();
    if (auto stray = StrayCallFailure(context.Where()))
        return *stray;
    return Passed("returns; loaded again, the module offers the same menu");
}

}  // namespace sim::checks
