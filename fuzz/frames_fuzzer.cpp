// Layer frames and entry records read in place, with any counts, flags,
// positions and note counts the host may hand out.
//
// MX_LoadTGF and MX_FreeTGF are replaced: each frame is laid out from the
// input in memory of exactly the size its entry count claims (a negative
// count gets no records), so that a read beyond it is caught. The layer
// count, the shown layers and the region come from the input too; slots are
// staff numbers. A command runs over the region through Invoke, against
// tuplet records held by the simulated host.
//
// Properties: every frame handed out is released exactly once, never while
// the module still reads it (released frames are poisoned), never written
// into, and never together with the frames of another cell; a tuplet is
// saved only when its entry lies in the region, in a shown layer, with its
// tuplet flag set; Compare saves nothing; only Change saves the defaults;
// nothing is created or deleted.

#include <fuzzer/FuzzedDataProvider.h>
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/core/ByteOrder.h"
#include "contract/MelvaraRegion.h"
#include "fuzz/FuzzHost.h"
#include "fuzz/FuzzScore.h"
#include "plugin/MelvaraExtension.h"

namespace {

constexpr size_t kHeaderBytes = 24;
constexpr size_t kEntryBytes = 146;
constexpr uint32_t kHasTuplets = 0x80000;
constexpr int kFrameLayers = 20;

struct HandFrame {
    std::unique_ptr<uint8_t[]> Header;
    std::unique_ptr<uint8_t[]> Records;
    size_t RecordBytes = 0;
    std::vector<uint8_t> Original;
    int16_t Slot = 0;
    int16_t Measure = 0;
    int Released = 0;

    std::vector<uint8_t> Snapshot() const {
        std::vector<uint8_t> bytes(Header.get(), Header.get() + kHeaderBytes);
        if (RecordBytes > 0) bytes.insert(bytes.end(), Records.get(), Records.get() + RecordBytes);
        return bytes;
    }
};

struct Run {
    FuzzedDataProvider* Data = nullptr;
    int16_t LayerCount = 4;
    uint32_t ShownMask = 0;
    RegionRecord Region{};
    int Mode = 0;  // menu index
    std::vector<std::unique_ptr<HandFrame>> Frames;
    std::set<uint32_t> InRegion;  // entry numbers whose tuplets may be saved
};
Run* run = nullptr;

bool Shown(int16_t layer) { return layer >= 0 && ((run->ShownMask >> (layer & 31)) & 1) != 0; }

int32_t PickPosition(FuzzedDataProvider& data) {
    static constexpr int32_t kNear[] = {-1, 0, 1, 127, 128, 129, 255, 256, 257, INT32_MIN, INT32_MAX};
    if (data.ConsumeBool()) return data.ConsumeIntegral<int32_t>();
    return kNear[data.ConsumeIntegralInRange<size_t>(0, std::size(kNear) - 1)];
}

int16_t GetMaxLayers(uint32_t) { return run->LayerCount; }
int16_t GetShowLayer(int16_t layer, uint32_t) { return Shown(layer) ? 1 : 0; }
int16_t SlotToInst(int16_t slot, uint16_t, uint32_t) { return slot; }
int16_t InstToSlot(int16_t staff, int16_t, uint32_t) { return staff; }

void* LoadTGF(void* none, int16_t slot, int16_t measure, int16_t layer, int16_t, uint32_t version) {
    fuzz::Check(none == nullptr && version == 0x19000000, "MX_LoadTGF called with wrong arguments");
    fuzz::Check(layer >= 0 && layer < std::min<int>(run->LayerCount, kFrameLayers),
                "MX_LoadTGF asked for a layer beyond the host's count");
    for (const auto& held : run->Frames) {
        if (held->Released == 0 && (held->Slot != slot || held->Measure != measure)) {
            fuzz::Fail("the frames of two cells were held at once");
        }
    }
    FuzzedDataProvider& data = *run->Data;
    if (data.ConsumeIntegralInRange(0, 15) == 0) return nullptr;  // refused

    const uint8_t countShape = data.ConsumeIntegral<uint8_t>();
    int16_t count;
    if (countShape < 200) {
        count = static_cast<int16_t>(countShape % 6);
    } else if (countShape < 240) {
        count = static_cast<int16_t>(-1 - countShape % 3);
    } else {
        count = static_cast<int16_t>(data.ConsumeIntegralInRange<int>(-32768, 600));
    }

    auto frame = std::make_unique<HandFrame>();
    frame->Slot = slot;
    frame->Measure = measure;
    frame->Header = std::make_unique<uint8_t[]>(kHeaderBytes);
    uint8_t* header = frame->Header.get();
    std::memset(header, 0xA5, kHeaderBytes);
    WriteLE16(header + 0, data.ConsumeIntegral<uint16_t>());  // slot scope: any
    WriteLE16(header + 2, data.ConsumeBool() ? static_cast<uint16_t>(slot) : data.ConsumeIntegral<uint16_t>());
    WriteLE16(header + 6, static_cast<uint16_t>(measure));
    WriteLE16(header + 22, static_cast<uint16_t>(count));

    const bool inRegion = measure >= run->Region.StartMeasure && measure <= run->Region.EndMeasure &&
                          slot >= run->Region.StartSlot && slot <= run->Region.EndSlot && Shown(layer);
    if (count > 0) {
        frame->RecordBytes = kEntryBytes * static_cast<size_t>(count);
        frame->Records = std::make_unique<uint8_t[]>(frame->RecordBytes);
        for (int j = 0; j < count; ++j) {
            uint8_t* record = frame->Records.get() + kEntryBytes * static_cast<size_t>(j);
            const uint8_t shape = data.ConsumeIntegral<uint8_t>();
            std::memset(record, shape, kEntryBytes);
            const uint32_t number = (shape & 1) != 0 ? data.ConsumeIntegral<uint32_t>()
                                                     : data.ConsumeIntegralInRange<uint32_t>(0, 15);
            uint32_t flags = data.ConsumeIntegral<uint32_t>();
            if ((shape & 2) != 0) flags |= kHasTuplets;
            const int16_t notes = (shape & 4) != 0 ? data.ConsumeIntegral<int16_t>()
                                                   : data.ConsumeIntegralInRange<int16_t>(0, 13);
            const int32_t position = PickPosition(data);
            WriteLE32(record + 0, number);
            WriteLE32(record + 8, flags);
            WriteLE16(record + 14, static_cast<uint16_t>(notes));
            WriteLE32(record + 136, static_cast<uint32_t>(position));
            if (inRegion && (flags & kHasTuplets) != 0 &&
                (measure != run->Region.StartMeasure || position >= run->Region.StartPos) &&
                (measure != run->Region.EndMeasure || position <= run->Region.EndPos)) {
                run->InRegion.insert(number);
            }
        }
    }
    WritePointer(header + 14, frame->Records.get());
    frame->Original = frame->Snapshot();
    void* handle = header;
    run->Frames.push_back(std::move(frame));
    return handle;
}

void FreeTGF(void* handle, uint32_t) {
    for (auto& frame : run->Frames) {
        if (frame->Header.get() != handle) continue;
        fuzz::Check(frame->Released == 0, "a frame was released twice");
        fuzz::Check(frame->Snapshot() == frame->Original, "the module wrote into a frame");
        ++frame->Released;
        ASAN_POISON_MEMORY_REGION(frame->Header.get(), kHeaderBytes);
        if (frame->RecordBytes > 0) ASAN_POISON_MEMORY_REGION(frame->Records.get(), frame->RecordBytes);
        return;
    }
    fuzz::Fail("a handle the host never handed out was released");
}

RegionRecord PickRegion(FuzzedDataProvider& data) {
    RegionRecord region{};
    auto pick = [&data](int16_t low, int16_t high, int16_t& first, int16_t& last) {
        first = data.ConsumeBool() ? data.ConsumeIntegral<int16_t>()
                                   : data.ConsumeIntegralInRange<int16_t>(low, high);
        const int span = data.ConsumeIntegralInRange(-1, 3);
        last = static_cast<int16_t>(std::clamp<int>(first + span, INT16_MIN, INT16_MAX));
    };
    pick(-1, 4, region.StartMeasure, region.EndMeasure);
    pick(-1, 4, region.StartSlot, region.EndSlot);
    region.StartSlotScope = data.ConsumeIntegral<uint16_t>();
    region.EndSlotScope = data.ConsumeIntegral<uint16_t>();
    region.StartPos = PickPosition(data);
    region.EndPos = PickPosition(data);
    return region;
}

void WatchRecordCalls(const sim::HostCall& call) {
    using sim::HostFn;
    if (call.Function == HostFn::CreateKData) fuzz::Fail("a command created a record");
    if (call.Function == HostFn::DeleteKData) fuzz::Fail("a command deleted a record");
    if (call.Function != HostFn::SaveKData) return;
    switch (run->Mode) {
        case 0:  // reset
            fuzz::Check(call.Tag == sim::kTupletTag, "Reset saved something other than a tuplet");
            fuzz::Check(run->InRegion.count(sim::EntryNumberOf(call.KeysIn)) != 0,
                        "Reset saved a tuplet outside the region");
            break;
        case 2:  // change
            fuzz::Check(call.Tag != sim::kTupletTag, "Change saved a tuplet");
            break;
        default:
            fuzz::Fail("Compare saved a record");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    Run state;
    state.Data = &data;
    run = &state;

    sim::Host host(fuzz::TupletScore(data.ConsumeIntegral<uint16_t>()));
    host.Log().SetRecordCalls(false);
    host.Log().OnCall = WatchRecordCalls;
    state.Mode = data.ConsumeIntegralInRange(0, 2);
    state.LayerCount = data.ConsumeBool() ? data.ConsumeIntegral<int16_t>()
                                          : data.ConsumeIntegralInRange<int16_t>(0, 5);
    state.ShownMask = data.ConsumeIntegral<uint32_t>();
    state.Region = PickRegion(data);
    host.Boxes().ScriptAnswers({data.ConsumeBool() ? sim::kIdYes : sim::kIdNo});
    {
        fuzz::HostBinding binding(host);
        binding.Replace("MX_GetMaxLayers", reinterpret_cast<void*>(&GetMaxLayers));
        binding.Replace("MX_GetShowLayer", reinterpret_cast<void*>(&GetShowLayer));
        binding.Replace("MX_SlotToInst", reinterpret_cast<void*>(&SlotToInst));
        binding.Replace("MX_InstToSlot", reinterpret_cast<void*>(&InstToSlot));
        binding.Replace("MX_LoadTGF", reinterpret_cast<void*>(&LoadTGF));
        binding.Replace("MX_FreeTGF", reinterpret_cast<void*>(&FreeTGF));
        RegionRecord region = state.Region;
        fuzz::Check(MelvaraExtensionInvoke(host.Window(), static_cast<int16_t>(state.Mode), &region) == 1,
                    "Invoke did not answer 1");
    }
    for (auto& frame : state.Frames) {
        fuzz::Check(frame->Released == 1, "a frame was never released");
        ASAN_UNPOISON_MEMORY_REGION(frame->Header.get(), kHeaderBytes);
        if (frame->RecordBytes > 0) ASAN_UNPOISON_MEMORY_REGION(frame->Records.get(), frame->RecordBytes);
    }
    run = nullptr;
    return 0;
}
