// MelvaraExtensionInvoke with any selection record (or none), any menu index
// and any host version, over a score made from the input, against the
// simulated host.
//
// The selection's measure and slot spans are bounded (at most eight each) so
// that one input stays quick; every other field is taken as it comes.
//
// Properties: Invoke answers 1; every frame is released exactly once and
// none is written into; the module calls the host only as the host expects;
// the boxes are those the command may show; no record is created, deleted
// or left partly written: Compare changes nothing, Reset changes only the
// tuplets that the walk reaches (each into exactly the defaults applied to
// it), Change changes only the defaults (into exactly the region's one
// tuplet copied into them, with the position as answered, and only when
// the region holds no other tuplet record, whatever its size).

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/data/TupletDefinition.h"
#include "framework/data/TupletRules.h"
#include "contract/MelvaraRegion.h"
#include "fuzz/FuzzHost.h"
#include "fuzz/FuzzScore.h"
#include "plugin/MelvaraExtension.h"

namespace {

constexpr int kMaxSpan = 7;

TupletDefinition Block(const sim::Bytes& bytes) {
    TupletDefinition block{};
    std::memcpy(block.Bytes, bytes.data(), TupletDefinition::kSize);
    return block;
}

sim::Bytes Applied(const sim::Bytes& source, const sim::Bytes& target, bool withPosition) {
    TupletDefinition result = Block(target);
    CopyTupletDefinition(Block(source), result, withPosition);
    return sim::Bytes(result.Bytes, result.Bytes + TupletDefinition::kSize);
}

RegionRecord PickRegion(FuzzedDataProvider& data) {
    RegionRecord region{};
    const std::vector<uint8_t> raw = data.ConsumeBytes<uint8_t>(sizeof region);
    if (!raw.empty()) std::memcpy(&region, raw.data(), raw.size());
    if (data.ConsumeBool()) {
        // Mostly a region of the score.
        region.StartMeasure = data.ConsumeIntegralInRange<int16_t>(0, 5);
        region.StartSlot = data.ConsumeIntegralInRange<int16_t>(0, 7);
        region.StartSlotScope = data.ConsumeIntegralInRange<uint16_t>(0, 1);
        region.EndSlotScope = region.StartSlotScope;
        region.EndMeasure = static_cast<int16_t>(region.StartMeasure + data.ConsumeIntegralInRange(-1, 4));
        region.EndSlot = static_cast<int16_t>(region.StartSlot + data.ConsumeIntegralInRange(-1, 6));
    }
    auto bound = [](int16_t first, int16_t& last) {
        if (last > first && last - first > kMaxSpan) last = static_cast<int16_t>(first + kMaxSpan);
    };
    bound(region.StartMeasure, region.EndMeasure);
    bound(region.StartSlot, region.EndSlot);
    return region;
}

void CheckBoxes(const sim::Host& host, int mode) {
    const auto& boxes = host.Boxes().List();
    switch (mode) {
        case 0:  // reset: silent, unless the defaults cannot be loaded
            fuzz::Check(boxes.empty() || (boxes.size() == 1 && boxes[0].CaptionUtf8() == "Error"),
                        "Reset showed a box other than the defaults alert");
            break;
        case 1:  // change
            fuzz::Check(boxes.size() <= 2, "Change showed more than two boxes");
            break;
        default:
            fuzz::Check(boxes.size() == 1, "Compare did not show exactly one box");
    }
    for (const auto& box : boxes) fuzz::Check(box.HostWindow, "a box was shown over another window");
}

void CheckRecords(const sim::Score& before, const sim::Score& after, const RegionRecord* region,
                  int mode, bool answeredYes) {
    fuzz::Check(before.Cells == after.Cells && before.Staves == after.Staves,
                "the score's entries changed");
    fuzz::Check(before.Records.size() == after.Records.size(), "a record was created or deleted");
    const std::set<sim::RecordKey> reached =
        region != nullptr ? fuzz::RegionTuplets(before, *region) : std::set<sim::RecordKey>{};
    const sim::Bytes* defaults = before.FindRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys);
    for (const auto& [key, bytes] : before.Records) {
        auto found = after.Records.find(key);
        fuzz::Check(found != after.Records.end(), "a record was deleted");
        const sim::Bytes& now = found->second;
        if (now == bytes) continue;
        if (mode == 0 && key.Tag == sim::kTupletTag) {
            fuzz::Check(reached.count(key) != 0, "Reset changed a tuplet outside the region");
            fuzz::Check(defaults != nullptr && defaults->size() == TupletDefinition::kSize,
                        "Reset wrote a tuplet from defaults that were not whole");
            fuzz::Check(bytes.size() == TupletDefinition::kSize, "Reset wrote a tuplet that was not whole");
            fuzz::Check(now == Applied(*defaults, bytes, true), "Reset wrote a tuplet partly");
            continue;
        }
        if (mode == 1 && key.Tag == sim::kTupletDefaultsTag && key.Words == sim::kTupletDefaultsKeys) {
            fuzz::Check(reached.size() == 1, "Change changed the defaults without exactly one tuplet");
            fuzz::Check(fuzz::RegionTuplets(before, *region, true).size() == 1,
                        "Change changed the defaults beside a tuplet record of another size");
            const sim::Bytes& tuplet = before.Records.at(*reached.begin());
            fuzz::Check(tuplet.size() == TupletDefinition::kSize, "Change wrote defaults from a tuplet that was not whole");
            fuzz::Check(bytes.size() == TupletDefinition::kSize, "Change wrote into defaults that were not whole");
            fuzz::Check(now == Applied(tuplet, bytes, answeredYes), "Change wrote the defaults partly");
            continue;
        }
        fuzz::Fail(mode == 2 ? "Compare changed a record" : "a record outside the command's reach changed");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const sim::Score before = fuzz::GenerateScore(data);
    const int16_t index = data.ConsumeBool() ? data.ConsumeIntegral<int16_t>()
                                             : data.ConsumeIntegralInRange<int16_t>(0, 2);
    const int mode = index == 0 ? 0 : index == 2 ? 1 : 2;
    const uint32_t hostVersion = data.ConsumeBool() ? data.ConsumeIntegral<uint32_t>() : 0x19000000;
    const bool withRecord = data.ConsumeIntegralInRange(0, 15) != 0;
    RegionRecord region = PickRegion(data);
    const bool answeredYes = data.ConsumeBool();

    sim::Host host(before);
    host.Log().SetRecordCalls(false);
    host.Boxes().ScriptAnswers({answeredYes ? sim::kIdYes : sim::kIdNo});
    {
        fuzz::HostBinding binding(host, hostVersion);
        MelvaraExtensionVersion(hostVersion);
        fuzz::Check(MelvaraExtensionInvoke(host.Window(), index, withRecord ? &region : nullptr) == 1,
                    "Invoke did not answer 1");
    }
    host.ReportFramesStillHeld();
    fuzz::Check(host.Frames().Errors().empty(),
                "a frame was released twice, never, or was never handed out");
    std::string warning;
    if (fuzz::HasModuleWarnings(host, &warning)) fuzz::Fail("the host warned: " + warning);
    CheckBoxes(host, mode);
    // Without a record the region is all zero: measure 0, which no score has.
    RegionRecord zero{};
    CheckRecords(before, host.GetScore(), withRecord ? &region : &zero, mode,
                 answeredYes && host.Boxes().List().size() == 1);
    return 0;
}
