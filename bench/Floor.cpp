#include "bench/Floor.h"

#include <cstring>

#include "framework/core/ByteOrder.h"
#include "platform/Platform.h"

namespace benchfloor {
namespace {

constexpr uint32_t kVersion = 0x19000000;
constexpr uint32_t kTupletTag = 0x45035450;
constexpr uint32_t kDefaultsTag = 0x70665450;  // 'pfTP'
constexpr uint32_t kHasTuplets = 0x80000;
constexpr uint16_t kNoIndex = 0xFFFF;
constexpr int kMaxLayers = 20;
constexpr uint32_t kDefinitionBytes = 30;
constexpr uint32_t kPartBytes = 12;

// Layer frame and entry record, as the host lays them out.
constexpr int kFrameScope = 0;
constexpr int kFrameSlot = 2;
constexpr int kFrameEntries = 14;
constexpr int kFrameEntryCount = 22;
constexpr int kEntryBytes = 146;
constexpr int kEntryFlags = 8;
constexpr int kEntryPos = 136;

constexpr unsigned kBoxOk = 0x0;
constexpr unsigned kBoxYesNo = 0x4;
constexpr unsigned kBoxStop = 0x10;

const uint8_t* At(const void* base, int offset) { return static_cast<const uint8_t*>(base) + offset; }
int16_t FrameEntryCount(const void* frame) {
    return static_cast<int16_t>(ReadLE16(At(frame, kFrameEntryCount)));
}
const uint8_t* FrameEntries(const void* frame) {
    return static_cast<const uint8_t*>(ReadPointer(At(frame, kFrameEntries)));
}

int LayerCount(const HostFunctions& host) {
    const int count = host.GetMaxLayers(kVersion);
    return count < kMaxLayers ? count : kMaxLayers;
}

void FreeFrames(const HostFunctions& host, void* (&frames)[kMaxLayers]) {
    int i = 0;
    for (; i < LayerCount(host); ++i) {
        if (frames[i] != nullptr) host.FreeTGF(frames[i], kVersion);
        frames[i] = nullptr;
    }
    for (; i < kMaxLayers; ++i) {
        if (frames[i] != nullptr) host.FreeTGF(frames[i], kVersion);
        frames[i] = nullptr;
    }
}

void Box(void* window, const char16_t* text, const char16_t* caption, unsigned style) {
    platform::IsWindow(window);
    platform::MessageBoxW(window, text, caption, style);
}

// One cell: its frames, the staff of each entry, the tuplets of the entries
// inside the region, each handed to visit(keys, data, loadedDocument), which
// answers false to stop the walk.
template <typename Visit>
bool Cell(const HostFunctions& host, const RegionRecord& region, int32_t measure, int32_t staff,
          Visit& visit, FloorCounts& counts) {
    void* frames[kMaxLayers] = {};
    FreeFrames(host, frames);  // loading starts by releasing what the cell holds
    bool loaded = true;
    for (int i = 0; i < LayerCount(host); ++i) {
        if (host.GetShowLayer(static_cast<int16_t>(i), kVersion) == 0) continue;
        const int16_t slot = host.InstToSlot(static_cast<int16_t>(staff), 0, kVersion);
        frames[i] = host.LoadTGF(nullptr, slot, static_cast<int16_t>(measure), static_cast<int16_t>(i), 1,
                                 kVersion);
        if (frames[i] == nullptr) {
            FreeFrames(host, frames);
            loaded = false;
            break;
        }
    }
    if (loaded) {
        for (int layer = 0; layer < LayerCount(host); ++layer) {
            const void* frame = frames[layer];
            if (frame == nullptr) continue;
            for (int j = 0; j < FrameEntryCount(frame); ++j) {
                host.SlotToInst(static_cast<int16_t>(ReadLE16(At(frame, kFrameSlot))),
                                ReadLE16(At(frame, kFrameScope)), kVersion);
            }
        }
    }

    bool goOn = true;
    int16_t loadedDocument = 0;
    uint16_t keys[4] = {0, 0, 0, 0};
    uint8_t data[kDefinitionBytes] = {};
    for (int layer = 0; goOn && layer < kMaxLayers; ++layer) {
        const void* frame = frames[layer];
        if (frame == nullptr) continue;
        const uint8_t* records = FrameEntries(frame);
        for (int j = 0; goOn && j < FrameEntryCount(frame); ++j) {
            const uint8_t* record = records + kEntryBytes * j;
            ++counts.Entries;
            const auto position = static_cast<int32_t>(ReadLE32(record + kEntryPos));
            if (measure == region.StartMeasure && region.StartPos > position) continue;
            if (measure == region.EndMeasure && region.EndPos < position) continue;
            if ((ReadLE32(record + kEntryFlags) & kHasTuplets) == 0) continue;
            const uint32_t number = ReadLE32(record);
            keys[0] = static_cast<uint16_t>(number);
            keys[1] = static_cast<uint16_t>(number >> 16);
            keys[2] = 0;
            uint32_t count = kDefinitionBytes;
            if (host.LoadKData(kTupletTag, keys, data, &count, kVersion) == 0) continue;
            loadedDocument = host.GetCurrentKovrinDocument(kVersion);
            for (;;) {
                ++counts.Tuplets;
                if (!visit(keys, data, loadedDocument)) {
                    goOn = false;
                    break;
                }
                if (keys[2] == kNoIndex) break;
                ++keys[2];
                count = kDefinitionBytes;
                if (host.LoadKData(kTupletTag, keys, data, &count, kVersion) == 0) {
                    --keys[2];
                    break;
                }
                loadedDocument = host.GetCurrentKovrinDocument(kVersion);
            }
        }
    }
    FreeFrames(host, frames);
    return goOn;
}

template <typename Visit>
void Walk(const HostFunctions& host, const RegionRecord& region, Visit visit, FloorCounts& counts) {
    const int32_t first = region.StartMeasure;
    if (first > region.EndMeasure) return;
    for (int32_t measure = first; measure <= region.EndMeasure; ++measure) {
        for (int32_t slot = region.StartSlot; slot <= region.EndSlot; ++slot) {
            const int32_t staff = host.SlotToInst(static_cast<int16_t>(slot), region.StartSlotScope, kVersion);
            ++counts.Cells;
            if (!Cell(host, region, measure, staff, visit, counts)) return;
        }
    }
}

// The Default Tuplet Definition and the three part records of its
// supplement: 'ot14' words 4 and 5, 'ot69' word 0, 'ot23' word 5.
struct Defaults {
    uint16_t Keys[4] = {1, 0, 0, 0};
    uint8_t Data[kDefinitionBytes] = {};
    uint32_t Size = 0;
    int16_t Document = 0;

    struct Part {
        uint32_t Tag;
        int Words[2];  // the part's words in the supplement; -1 for none
        uint16_t Supplement[2] = {0, 0};
    };
    Part Parts[3] = {{0x6F743134, {4, 5}}, {0x6F743639, {0, -1}}, {0x6F743233, {5, -1}}};
    bool SupplementLoaded = true;

    static bool LoadPart(const HostFunctions& host, uint32_t tag, uint8_t (&bytes)[kPartBytes]) {
        uint16_t keys[4] = {0xFFFE, 0, 0, 0};
        uint32_t count = kPartBytes;
        std::memset(bytes, 0, sizeof bytes);
        return host.LoadKData(tag, keys, bytes, &count, kVersion) != 0;
    }

    bool Load(const HostFunctions& host) {
        uint32_t count = kDefinitionBytes;
        if (host.LoadKData(kDefaultsTag, Keys, Data, &count, kVersion) == 0) return false;
        Size = count < kDefinitionBytes ? count : kDefinitionBytes;
        Document = host.GetCurrentKovrinDocument(kVersion);
        for (Part& part : Parts) {
            uint8_t bytes[kPartBytes];
            if (!LoadPart(host, part.Tag, bytes)) SupplementLoaded = false;
            for (int k = 0; k < 2; ++k) {
                if (part.Words[k] >= 0) part.Supplement[k] = ReadLE16(bytes + 2 * part.Words[k]);
            }
        }
        return true;
    }

    // Stores the main block, then each part record whose words the
    // supplement would change.
    void Save(const HostFunctions& host) {
        if (Size == 0) return;
        if (Document != 0 && host.GetCurrentKovrinDocument(kVersion) != Document) return;
        if (host.SaveKData(kDefaultsTag, Keys, Data, Size, kVersion) == 0) return;
        if (!SupplementLoaded) return;
        for (const Part& part : Parts) {
            uint8_t bytes[kPartBytes];
            const bool loaded = LoadPart(host, part.Tag, bytes);
            bool changed = false;
            for (int k = 0; k < 2; ++k) {
                if (part.Words[k] < 0) continue;
                uint8_t* word = bytes + 2 * part.Words[k];
                if (ReadLE16(word) == part.Supplement[k]) continue;
                WriteLE16(word, part.Supplement[k]);
                changed = true;
            }
            uint16_t keys[4] = {0xFFFE, 0, 0, 0};
            if (changed && loaded) host.SaveKData(part.Tag, keys, bytes, kPartBytes, kVersion);
        }
    }
};

// Invoke's start: the region's document, then the defaults. False when the
// defaults do not load (the command then only says so).
bool Start(const HostFunctions& host, void* window, Defaults& defaults) {
    host.GetCurrentKovrinDocument(kVersion);
    if (defaults.Load(host)) return true;
    Box(window, u"The Default Tuplet Definition could not be loaded. The command was not carried out.",
        u"Error", kBoxOk | kBoxStop);
    return false;
}

}  // namespace

bool HostFunctions::Find(void* (*find)(const char* name)) {
    const auto get = [find](auto& fn, const char* name) {
        void* address = find(name);
        static_assert(sizeof fn == sizeof address);
        std::memcpy(&fn, &address, sizeof fn);
        return address != nullptr;
    };
    bool all = true;
    all &= get(LoadKData, "MX_LoadKData");
    all &= get(SaveKData, "MX_SaveKData");
    all &= get(GetCurrentKovrinDocument, "MX_GetCurrentKovrinDocument");
    all &= get(LoadTGF, "MX_LoadTGF");
    all &= get(FreeTGF, "MX_FreeTGF");
    all &= get(SlotToInst, "MX_SlotToInst");
    all &= get(InstToSlot, "MX_InstToSlot");
    all &= get(GetShowLayer, "MX_GetShowLayer");
    all &= get(GetMaxLayers, "MX_GetMaxLayers");
    return all;
}

FloorCounts Reset(const HostFunctions& host, void* window, const RegionRecord& region) {
    FloorCounts counts;
    Defaults defaults;
    if (!Start(host, window, defaults)) return counts;
    Walk(
        host, region,
        [&host](uint16_t* keys, uint8_t* data, int16_t loadedDocument) {
            if (loadedDocument != 0 && host.GetCurrentKovrinDocument(kVersion) != loadedDocument) return true;
            host.SaveKData(kTupletTag, keys, data, kDefinitionBytes, kVersion);
            return true;
        },
        counts);
    return counts;
}

FloorCounts Compare(const HostFunctions& host, void* window, const RegionRecord& region) {
    FloorCounts counts;
    Defaults defaults;
    if (!Start(host, window, defaults)) return counts;
    Walk(host, region, [](uint16_t*, uint8_t*, int16_t) { return true; }, counts);
    Box(window,
        u"Tuplets in region: 0\n\nTuplets different than the Default Tuplet Definition: 0\n\nTuplets "
        u"different than the Defaults (excluding position): 0",
        u"Tuplet Compare Info", kBoxOk);
    return counts;
}

FloorCounts Change(const HostFunctions& host, void* window, const RegionRecord& region) {
    FloorCounts counts;
    Defaults defaults;
    if (!Start(host, window, defaults)) return counts;
    int tuplets = 0;
    Walk(host, region, [&tuplets](uint16_t*, uint8_t*, int16_t) { return ++tuplets <= 1; }, counts);
    if (tuplets != 1) {
        Box(window,
            u"There must be exactly one tuplet in the selected region to be able to copy it to the "
            u"Default Tuplet Definition.",
            u"Too Few/Many Tuplets", kBoxOk | kBoxStop);
        return counts;
    }
    Box(window, u"Do you want to copy the tuplet's position to the Default Tuplet Definition as well?",
        u"Copy Position?", kBoxYesNo);
    Walk(
        host, region,
        [&host, &defaults](uint16_t*, uint8_t*, int16_t) {
            defaults.Save(host);
            return true;
        },
        counts);
    return counts;
}

}  // namespace benchfloor
