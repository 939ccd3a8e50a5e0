// Keyed record traffic with a host that answers anything: loads that fail,
// or succeed with more or fewer bytes than were asked for, saves, creations
// and deletions that fail at any call, MX_NextKData and MX_CreateKData
// answers with any keys, and another current document now and then.
//
// The record functions are replaced by ones that take every answer from the
// input and check every buffer they are handed against the count that comes
// with it. The input is a sequence of operations on a tuplet record (attached
// to an entry or not), a second tuplet and the tuplet defaults, and of whole
// commands over a small score whose frames the simulated host hands out.
//
// Properties: no read or write beyond a buffer, no leak; DataSize never
// exceeds the record's buffer; a record without data saves nothing; a record
// loaded from another document than the current one is not saved; a part
// record that failed to load is never saved, nor any part of a supplement
// that did not load whole; Compare saves, creates and deletes nothing; Reset
// saves only tuplets, each under the keys it was loaded with; Change saves
// no tuplet.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "framework/core/ByteOrder.h"
#include "framework/data/MCTuplet.h"
#include "framework/data/MCTupletPrefs.h"
#include "framework/music/MCNoteEntry.h"
#include "contract/MelvaraRegion.h"
#include "fuzz/FuzzHost.h"
#include "fuzz/FuzzScore.h"
#include "plugin/MelvaraExtension.h"

namespace {

constexpr uint32_t kPartTagMask = 0xFFFF0000;
constexpr uint32_t kPartTagBase = 0x6F740000;
constexpr int kMaxOperations = 48;

bool IsPart(uint32_t tag) { return (tag & kPartTagMask) == kPartTagBase; }
bool IsSupplementPart(uint32_t tag) {
    return tag == sim::PartTag('1', '4') || tag == sim::PartTag('6', '9') || tag == sim::PartTag('2', '3');
}

struct Traffic {
    FuzzedDataProvider* Data = nullptr;
    // Outcome of the last load of each record, by tag and keys.
    std::map<sim::RecordKey, bool> Loaded;
    // Keys of the last tuplet record that loaded.
    std::optional<sim::Keys> LastTuplet;
    size_t Saves = 0, PartSaves = 0, TupletSaves = 0, DefaultsSaves = 0, Creates = 0, Deletes = 0;
    bool SupplementFailed = false;  // a supplement part failed to load in this operation
    bool InReset = false;           // a Reset command runs
    int16_t LastDocument = 0;       // the last answer of MX_GetCurrentKovrinDocument
    std::vector<uint8_t> Sink;
};
Traffic* traffic = nullptr;

sim::Keys KeysOf(const uint16_t* keys) {
    sim::Keys words{};
    std::memcpy(words.data(), keys, sizeof words);
    return words;
}

// Reads every byte the module claims to hand over.
void Consume(const void* buffer, uint32_t count) {
    if (count == 0) return;
    fuzz::Check(buffer != nullptr, "a record call handed a count without a buffer");
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    traffic->Sink.assign(bytes, bytes + count);
}

int16_t Success(FuzzedDataProvider& data) {
    const auto result = data.ConsumeIntegral<int16_t>();
    return result != 0 ? result : 1;
}

int16_t LoadKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count, uint32_t version) {
    fuzz::Check(keys != nullptr && count != nullptr, "MX_LoadKData without keys or count");
    fuzz::Check(version == 0x19000000, "MX_LoadKData with another version argument");
    FuzzedDataProvider& data = *traffic->Data;
    const sim::RecordKey key{tag, KeysOf(keys)};
    const uint32_t capacity = *count;
    const int action = data.ConsumeIntegralInRange(0, 5);
    if (action == 0 || action == 1) {
        // Failed; the second kind leaves bytes behind all the same.
        if (action == 1 && buffer != nullptr && capacity > 0) {
            std::vector<uint8_t> junk = data.ConsumeBytes<uint8_t>(capacity);
            if (!junk.empty()) std::memcpy(buffer, junk.data(), junk.size());
        }
        traffic->Loaded[key] = false;
        if (IsSupplementPart(tag)) traffic->SupplementFailed = true;
        return 0;
    }
    uint32_t size = capacity;
    if (action == 3) size = data.ConsumeIntegralInRange<uint32_t>(0, capacity);
    if (action == 4) size = capacity + data.ConsumeIntegralInRange<uint32_t>(1, 64);
    if (action == 5) size = data.ConsumeIntegral<uint32_t>();
    if (buffer != nullptr) {
        const uint32_t written = std::min(size, capacity);
        std::vector<uint8_t> bytes = data.ConsumeBytes<uint8_t>(written);
        bytes.resize(written, 0);
        if (written > 0) std::memcpy(buffer, bytes.data(), written);
    }
    *count = size;
    traffic->Loaded[key] = true;
    if (tag == sim::kTupletTag) traffic->LastTuplet = key.Words;
    return Success(data);
}

int16_t SaveKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count, uint32_t version) {
    fuzz::Check(keys != nullptr, "MX_SaveKData without keys");
    fuzz::Check(version == 0x19000000, "MX_SaveKData with another version argument");
    Consume(buffer, count);
    const sim::RecordKey key{tag, KeysOf(keys)};
    ++traffic->Saves;
    if (IsPart(tag)) {
        ++traffic->PartSaves;
        auto loaded = traffic->Loaded.find(key);
        fuzz::Check(loaded != traffic->Loaded.end() && loaded->second,
                    "a part record that failed to load was saved");
    }
    if (tag == sim::kTupletTag) {
        ++traffic->TupletSaves;
        if (traffic->InReset) {
            fuzz::Check(traffic->LastTuplet == key.Words, "Reset saved a tuplet under keys it did not load");
        }
    }
    if (tag == sim::kTupletDefaultsTag) ++traffic->DefaultsSaves;
    return traffic->Data->ConsumeBool() ? Success(*traffic->Data) : 0;
}

int16_t CreateKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count, uint32_t) {
    fuzz::Check(keys != nullptr && keys[2] == 0xFFFF, "MX_CreateKData without an unset index");
    (void)tag;
    Consume(buffer, count);
    ++traffic->Creates;
    FuzzedDataProvider& data = *traffic->Data;
    if (!data.ConsumeBool()) return 0;
    if (data.ConsumeBool()) keys[2] = data.ConsumeIntegral<uint16_t>();
    if (data.ConsumeIntegralInRange(0, 3) == 0) keys[0] = data.ConsumeIntegral<uint16_t>();
    return Success(data);
}

int16_t DeleteKData(uint32_t, uint16_t keys[4], uint32_t) {
    fuzz::Check(keys != nullptr, "MX_DeleteKData without keys");
    ++traffic->Deletes;
    return traffic->Data->ConsumeBool() ? 1 : 0;
}

int16_t NextKData(uint32_t, uint16_t keys[4], void* buffer, uint32_t* count, uint32_t) {
    fuzz::Check(keys != nullptr && buffer == nullptr && count == nullptr,
                "MX_NextKData with a buffer or a count, or without keys");
    FuzzedDataProvider& data = *traffic->Data;
    switch (data.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return 0;
        case 1:  // the next index of the same entry
            ++keys[2];
            break;
        case 2:  // the same keys again
            break;
        default:
            for (int i = 0; i < 4; ++i) keys[i] = data.ConsumeIntegral<uint16_t>();
    }
    return Success(data);
}

int16_t GetCurrentKovrinDocument(uint32_t) {
    FuzzedDataProvider& data = *traffic->Data;
    traffic->LastDocument = data.ConsumeIntegralInRange(0, 7) == 0 ? data.ConsumeIntegral<int16_t>() : 1;
    return traffic->LastDocument;
}

// Two staves, two measures, entries 1 to 6 with the tuplet flag set (the
// hostile host answers for their records).
sim::Score CommandScore() {
    sim::Score score;
    score.AddStaff(1, 1).AddStaff(2, 2).SetMeasures(2).SetLayers(2);
    for (int16_t measure = 1; measure <= 2; ++measure) {
        for (int16_t staff = 1; staff <= 2; ++staff) {
            score.AddEntry(staff, measure, static_cast<int16_t>(measure - 1), 0, {sim::TupletDefinition{}});
        }
    }
    score.AddEntry(1, 1, 1, 256, {sim::TupletDefinition{}, sim::TupletDefinition{}});
    score.AddEntry(2, 2, 0, 512, {sim::TupletDefinition{}});
    return score;
}

void RunCommand(sim::Host& host, FuzzedDataProvider& data) {
    const int index = data.ConsumeIntegralInRange(0, 2);
    RegionRecord region{};
    region.StartSlot = 1;
    region.EndSlot = data.ConsumeIntegralInRange<int16_t>(1, 2);
    region.StartMeasure = data.ConsumeIntegralInRange<int16_t>(1, 2);
    region.EndMeasure = 2;
    region.EndPos = data.ConsumeIntegral<int32_t>();
    host.Boxes().ScriptAnswers({data.ConsumeBool() ? sim::kIdYes : sim::kIdNo});
    const size_t boxes = host.Boxes().List().size();
    Traffic before = *traffic;
    traffic->LastTuplet.reset();
    traffic->InReset = index == 0;
    fuzz::Check(MelvaraExtensionInvoke(host.Window(), static_cast<int16_t>(index), &region) == 1,
                "Invoke did not answer 1");
    traffic->InReset = false;
    const size_t shown = host.Boxes().List().size() - boxes;
    fuzz::Check(traffic->Creates == before.Creates && traffic->Deletes == before.Deletes,
                "a command created or deleted a record");
    switch (index) {
        case 0:
            fuzz::Check(traffic->Saves == traffic->TupletSaves - before.TupletSaves + before.Saves,
                        "Reset saved something other than a tuplet");
            fuzz::Check(shown <= 1, "Reset showed more than one box");
            break;
        case 1:
            fuzz::Check(traffic->Saves == before.Saves, "Compare saved a record");
            fuzz::Check(shown == 1, "Compare did not show exactly one box");
            break;
        default:
            fuzz::Check(traffic->TupletSaves == before.TupletSaves, "Change saved a tuplet");
            fuzz::Check(shown <= 2, "Change showed more than two boxes");
    }
}

void SaveTupletWatched(MCTuplet& tuplet, bool& saved) {
    const int64_t size = tuplet.GetDataSize();
    const int16_t document = tuplet.GetLoadedDocument();
    const size_t saves = traffic->Saves;
    const sim::Keys keys = KeysOf(tuplet.GetKeys());
    saved = tuplet.Save();
    const bool called = traffic->Saves != saves;
    if (size == 0) fuzz::Check(!called, "a tuplet without data was saved");
    if (called) fuzz::Check(KeysOf(tuplet.GetKeys()) == keys, "Save changed the keys");
    if (document != 0 && traffic->LastDocument != document) {
        fuzz::Check(!called, "a tuplet was saved into another document");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const sim::Score score = CommandScore();
    FuzzedDataProvider data(bytes, size);
    Traffic state;
    state.Data = &data;
    traffic = &state;

    sim::Host host(score);
    host.Log().SetRecordCalls(false);
    fuzz::HostBinding binding(host);
    binding.Replace("MX_LoadKData", reinterpret_cast<void*>(&LoadKData));
    binding.Replace("MX_SaveKData", reinterpret_cast<void*>(&SaveKData));
    binding.Replace("MX_CreateKData", reinterpret_cast<void*>(&CreateKData));
    binding.Replace("MX_DeleteKData", reinterpret_cast<void*>(&DeleteKData));
    binding.Replace("MX_NextKData", reinterpret_cast<void*>(&NextKData));
    binding.Replace("MX_GetCurrentKovrinDocument", reinterpret_cast<void*>(&GetCurrentKovrinDocument));

    uint8_t entryRecord[146] = {};
    WriteLE32(entryRecord, data.ConsumeIntegralInRange<uint32_t>(0, 3));
    MCNoteEntry entry(entryRecord, nullptr, 1, 1, nullptr);
    {
        MCTuplet tuplet;
        MCTuplet other;
        MCTupletPrefs defaults;
        bool supplementWhole = false;  // the defaults' last successful Load had every part
        bool ignored = false;
        for (int op = 0; op < kMaxOperations && data.remaining_bytes() > 0; ++op) {
            state.SupplementFailed = false;
            switch (data.ConsumeIntegralInRange(0, 16)) {
                case 0:
                    tuplet.Load(data.ConsumeIntegralInRange<uint32_t>(0, 3), data.ConsumeIntegralInRange<uint16_t>(0, 3));
                    break;
                case 1:
                    tuplet.LoadFirst();
                    break;
                case 2:
                    tuplet.LoadNext();
                    break;
                case 3: {
                    const size_t loads = state.Loaded.size();
                    const bool empty = tuplet.GetDataSize() == 0;
                    const bool reloaded = tuplet.Reload();
                    if (empty) fuzz::Check(!reloaded && loads == state.Loaded.size(), "Reload without data loaded");
                    break;
                }
                case 4:
                    SaveTupletWatched(tuplet, ignored);
                    break;
                case 5:
                    tuplet.SaveNew();
                    break;
                case 6:
                    tuplet.LastIndex();
                    break;
                case 7:
                    tuplet.DeleteData();
                    break;
                case 8:
                    tuplet.SetNoteEntry(data.ConsumeBool() ? &entry : nullptr);
                    break;
                case 9:
                    if (data.ConsumeBool()) {
                        tuplet.CopyDataFrom(other);
                    } else {
                        other.CopyDataFrom(tuplet);
                    }
                    break;
                case 10:
                    other.Load(data.ConsumeIntegralInRange<uint32_t>(0, 3), 0);
                    break;
                case 11: {
                    const bool loaded = defaults.Load(data.ConsumeBool() ? 1 : data.ConsumeIntegral<uint16_t>());
                    if (loaded) supplementWhole = !state.SupplementFailed;
                    break;
                }
                case 12: {
                    const size_t saves = state.Saves;
                    const size_t partSaves = state.PartSaves;
                    const bool empty = defaults.GetDataSize() == 0;
                    defaults.Save();
                    if (empty) fuzz::Check(saves == state.Saves, "defaults without data were saved");
                    if (!supplementWhole) {
                        fuzz::Check(partSaves == state.PartSaves, "a supplement that did not load whole was saved");
                    }
                    break;
                }
                case 13: {
                    const bool loaded = defaults.Reload();
                    if (loaded) supplementWhole = !state.SupplementFailed;
                    break;
                }
                case 14:
                    defaults.LoadNext();
                    break;
                case 15:
                    if (data.ConsumeBool()) {
                        defaults.CopyToTuplet(&tuplet);
                    } else {
                        defaults.CopyFromTuplet(&tuplet, data.ConsumeBool());
                    }
                    break;
                default:
                    RunCommand(host, data);
            }
            for (const __MCBaseData* record : {static_cast<const __MCBaseData*>(&tuplet),
                                               static_cast<const __MCBaseData*>(&other),
                                               static_cast<const __MCBaseData*>(&defaults)}) {
                fuzz::Check(record->GetDataSize() >= 0 && record->GetDataSize() <= 30,
                            "DataSize beyond the record's buffer");
            }
        }
    }
    host.ReportFramesStillHeld();
    fuzz::Check(host.Frames().Errors().empty(), "a frame was mishandled");
    traffic = nullptr;
    return 0;
}
