// Level 3 of melvara-sim validate: a hostile host.
//
// Every host call of each command made to fail in turn, each host function
// missing, and the odd answers a real host can give. The module must not crash
// or hang, must keep its frames balanced and must write nothing from a record
// that did not load.
#include <algorithm>

#include "sim/module/ExportHiding.h"
#include "sim/score/Selection.h"
#include "sim/validate/ModuleFile.h"
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

// A host that answers oddly: what it does, and to the selection.
struct OddHost {
    std::string What;
    HostControls Controls;
    bool LastMeasures = false;  // select the last measures, not the whole score
};

std::vector<OddHost> OddHosts() {
    using F = HostFn;
    const auto resized = [](RecordResize::Kind how, uint32_t bytes) {
        HostControls controls;
        controls.RecordSizes = RecordResize{how, bytes};
        return controls;
    };
    const auto answering = [](HostFn fn, int16_t value) {
        HostControls controls;
        controls.Returns = {{fn, value}};
        return controls;
    };
    HostControls layers, measures, slots, entries, entries2, notes, notes2, unset;
    layers.Layers = 32;
    measures.Measures = 32767;
    slots.HighSlots = true;
    entries.FrameEntries = -1;
    entries2.FrameEntries = -32768;
    notes.EntryNotes = -1;
    notes2.EntryNotes = -32768;
    unset.CreateLeavesIndexUnset = true;
    return {
        {"every record cut to half its size", resized(RecordResize::Kind::Half, 0)},
        {"every record 16 bytes longer", resized(RecordResize::Kind::Longer, 16)},
        {"every record empty", resized(RecordResize::Kind::Exactly, 0)},
        {"32 layers, with entries after the twentieth", layers},
        {"32767 measures, the last 8 selected", measures, true},
        {"staves in the slots up to 32767", slots},
        {"MX_GetMaxLayers answering 32767", answering(F::GetMaxLayers, 32767)},
        {"MX_GetMaxLayers answering -1", answering(F::GetMaxLayers, -1)},
        {"MX_GetMaxLayers answering 0", answering(F::GetMaxLayers, 0)},
        {"MX_GetShowLayer answering -1", answering(F::GetShowLayer, -1)},
        {"MX_SlotToInst answering 32767", answering(F::SlotToInst, 32767)},
        {"MX_SlotToInst answering -32768", answering(F::SlotToInst, -32768)},
        {"MX_InstToSlot answering 32767", answering(F::InstToSlot, 32767)},
        {"MX_InstToSlot answering -1", answering(F::InstToSlot, -1)},
        {"MX_GetCurrentKovrinDocument answering -1",
         answering(F::GetCurrentKovrinDocument, -1)},
        {"frames counting -1 entries", entries},
        {"frames counting -32768 entries", entries2},
        {"entry records counting -1 notes", notes},
        {"entry records counting -32768 notes", notes2},
        {"MX_CreateKData leaving the new index unset", unset},
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
            run.Controls.FailingCalls = {number};
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
        // The region as the host holds the score.
        Score held = base.Document;
        odd.Controls.ApplyTo(held);
        RegionRecord whole = WholeScore(held).Region;
        if (odd.LastMeasures)
            whole.StartMeasure = static_cast<int16_t>(held.Measures - 7);
        for (int16_t index : indexes) {
            Invocation run = CommandOn(base, index, whole);
            run.Where = DescribeRun(index, base.Name, whole, held) + ", " + odd.What;
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
    // A module linked to the function cannot be loaded by a host without it.
    const auto imports = ReadHostImports(context.Options().ModulePath, error);
    if (imports && std::find(imports->begin(), imports->end(), name) != imports->end()) {
        context.SetWhere("loading " + context.Options().ModulePath);
        return Failed(DirectLinkReason(*imports), context.Where());
    }
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
                run.Controls.MissingFunctions = {*fn};
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
