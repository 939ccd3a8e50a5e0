// Level 3 of melvara-sim validate: a hostile host.
//
// Every host call of each command made to fail in turn, each host function
// missing, and the odd answers a real host can give. The module must not crash
// or hang, must keep its frames balanced and must write nothing from a record
// that did not load.
#include <algorithm>

#include "sim/module/ExportHiding.h"
#include "sim/score/Selection.h"
#include "sim/validate/Checks.h"
#include "sim/validate/Invocation.h"
#include "sim/validate/Scores.h"

namespace sim::checks {
namespace {

// Runs with a failing call, over all commands.
constexpr size_t kFailingCallBudget = 300;
constexpr const char* kMissingPrefix = "hostile-missing-";

// Up to budget call numbers from 1 to count, spread evenly, the first and
// the last among them.
std::vector<uint64_t> Spread(uint64_t count, size_t budget) {
    std::vector<uint64_t> numbers;
    if (count <= budget || budget < 2) {
        for (uint64_t n = 1; n <= count; ++n)
            numbers.push_back(n);
        return numbers;
    }
    for (size_t i = 0; i < budget; ++i)
        numbers.push_back(1 + (count - 1) * i / (budget - 1));
    return numbers;
}

// A host that answers oddly: what it does to the score, and to itself.
struct OddHost {
    std::string What;
    std::function<void(Score&)> Shape;
    std::function<void(Host&)> Controls;
    bool LastMeasures = false;  // select the last measures, not the whole score
};

void ResizeRecords(Score& score, const std::function<size_t(size_t)>& size) {
    for (auto& [key, bytes] : score.Records)
        bytes.resize(size(bytes.size()), 0x5A);
}

// 32 layers, the ones after the first twenty holding copies of the first
// layer's entries.
void ManyLayers(Score& score) {
    constexpr int16_t kLayers = 32;
    std::vector<std::pair<CellKey, Entry>> copies;
    for (const auto& [cell, entries] : score.Cells) {
        if (cell.Layer != 0)
            continue;
        for (int16_t layer = 20; layer < kLayers; ++layer) {
            for (const Entry& entry : entries) {
                Entry copy = entry;
                copy.Number = 0;
                copies.push_back({CellKey{cell.Measure, cell.Staff, layer}, copy});
            }
        }
    }
    score.LayerCount = kLayers;
    for (auto& [cell, entry] : copies)
        score.AddEntry(cell, entry);
}

// The staves keep their order, in the highest slots there are.
void HighSlots(Score& score) {
    const auto count = static_cast<int16_t>(score.Staves.size());
    for (int16_t i = 0; i < count; ++i)
        score.Staves[static_cast<size_t>(i)].Slot = static_cast<int16_t>(32767 - (count - 1) + i);
}

std::function<void(Host&)> Answer(HostFn fn, int16_t value) {
    return [fn, value](Host& host) { host.SetAnswer(fn, value); };
}

std::vector<OddHost> OddHosts() {
    using F = HostFn;
    return {
        {"every record cut to half its size",
         [](Score& s) { ResizeRecords(s, [](size_t n) { return n / 2; }); },
         {}},
        {"every record 16 bytes longer",
         [](Score& s) { ResizeRecords(s, [](size_t n) { return n + 16; }); },
         {}},
        {"every record empty", [](Score& s) { ResizeRecords(s, [](size_t) { return 0; }); }, {}},
        {"32 layers, with entries after the twentieth", ManyLayers, {}},
        {"32767 measures, the last 8 selected", [](Score& s) { s.Measures = 32767; }, {}, true},
        {"staves in the slots up to 32767", HighSlots, {}},
        {"MX_GetMaxLayers answering 32767", {}, Answer(F::GetMaxLayers, 32767)},
        {"MX_GetMaxLayers answering -1", {}, Answer(F::GetMaxLayers, -1)},
        {"MX_GetMaxLayers answering 0", {}, Answer(F::GetMaxLayers, 0)},
        {"MX_GetShowLayer answering -1", {}, Answer(F::GetShowLayer, -1)},
        {"MX_SlotToInst answering 32767", {}, Answer(F::SlotToInst, 32767)},
        {"MX_SlotToInst answering -32768", {}, Answer(F::SlotToInst, -32768)},
        {"MX_InstToSlot answering 32767", {}, Answer(F::InstToSlot, 32767)},
        {"MX_InstToSlot answering -1", {}, Answer(F::InstToSlot, -1)},
        {"MX_GetCurrentKovrinDocument answering -1", {}, Answer(F::GetCurrentKovrinDocument, -1)},
        {"frames counting -1 entries", {}, [](Host& h) { h.Frames().SetCounts(-1, std::nullopt); }},
        {"frames counting -32768 entries",
         {},
         [](Host& h) { h.Frames().SetCounts(-32768, std::nullopt); }},
        {"entry records counting -1 notes",
         {},
         [](Host& h) { h.Frames().SetCounts(std::nullopt, -1); }},
        {"entry records counting -32768 notes",
         {},
         [](Host& h) { h.Frames().SetCounts(std::nullopt, -32768); }},
        {"MX_CreateKData leaving the new index unset",
         {},
         [](Host& h) { h.SetCreateLeavesIndexUnset(true); }},
    };
}

}  // namespace

CheckResult FailingCalls(CheckContext& context) {
    std::vector<int16_t> indexes;
    if (auto skip = context.LoadForCommands(indexes))
        return *skip;
    const NamedScore score = Samples().front();
    const RegionRecord whole = WholeScore(score.Document).Region;
    size_t runs = 0;
    uint64_t calls = 0;
    for (int16_t index : indexes) {
        Invocation run = CommandOn(score, index, whole);
        const InvocationResult normal = Invoke(context, run);
        if (normal.Failure)
            return *normal.Failure;
        calls += normal.Calls;
        const std::string where = run.Where;
        for (uint64_t number : Spread(normal.Calls, kFailingCallBudget / indexes.size())) {
            run.Where = where + ", host call #" + std::to_string(number) + " made to fail";
            run.Controls = [number](Host& host) { host.Failures().FailCall(number); };
            const InvocationResult result = Invoke(context, run);
            if (result.Failure)
                return *result.Failure;
            ++runs;
        }
    }
    return Passed(std::to_string(runs) + " runs, each with one of the " + std::to_string(calls) +
                  " host calls of the commands failing");
}

CheckResult OddAnswers(CheckContext& context) {
    std::vector<int16_t> indexes;
    if (auto skip = context.LoadForCommands(indexes))
        return *skip;
    const NamedScore base = Samples().front();
    const std::vector<OddHost> hosts = OddHosts();
    size_t runs = 0;
    for (const OddHost& odd : hosts) {
        NamedScore score = base;
        if (odd.Shape)
            odd.Shape(score.Document);
        RegionRecord whole = WholeScore(score.Document).Region;
        if (odd.LastMeasures)
            whole.StartMeasure = static_cast<int16_t>(score.Document.Measures - 7);
        for (int16_t index : indexes) {
            Invocation run = CommandOn(score, index, whole);
            run.Where += ", " + odd.What;
            run.Controls = odd.Controls;
            const InvocationResult result = Invoke(context, run);
            if (result.Failure)
                return *result.Failure;
            ++runs;
        }
    }
    return Passed(std::to_string(runs) + " runs over " + std::to_string(hosts.size()) +
                  " kinds of odd answers");
}

CheckResult MissingFunction(CheckContext& context) {
    const std::string& check = context.Options().Check;
    const std::string name =
        check.substr(std::min(check.size(), std::string(kMissingPrefix).size()));
    const std::optional<HostFn> fn = HostFnByName(name);
    if (!fn)
        return Skipped("no host function " + name);
    std::string error;
    if (!HideHostExport(name.c_str(), error))
        return Skipped("cannot take " + name + " away: " + error);
    std::vector<int16_t> indexes;
    if (auto skip = context.LoadForCommands(indexes))
        return *skip;
    size_t runs = 0;
    for (const NamedScore& score : {Samples().front(), OneTupletScore()}) {
        const std::optional<RegionRecord> selections[] = {WholeScore(score.Document).Region,
                                                          std::nullopt};
        for (int16_t index : indexes) {
            for (const auto& selection : selections) {
                Invocation run = CommandOn(score, index, selection);
                run.Where += ", without " + name;
                run.Controls = [fn](Host& host) {
                    host.Failures().SetFunctionMode(*fn, FunctionMode::Missing);
                };
                const InvocationResult result = Invoke(context, run);
                if (result.Failure)
                    return *result.Failure;
                ++runs;
            }
        }
    }
    return Passed(std::to_string(runs) + " runs without " + name);
}

std::string MissingCheckName(HostFn fn) {
    return kMissingPrefix + std::string(HostFnName(fn));
}

}  // namespace sim::checks
