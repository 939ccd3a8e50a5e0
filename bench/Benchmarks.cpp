// The three commands against the floor of their host calls, on generated
// scores up to 1,000 measures x 50 staves x 4 layers; the module's heap per
// command; time per tuplet as the score grows. The module is bound in
// process to the simulated host (bench/BenchPlatform.h); the floor is
// bench/Floor.h. Figures are medians over the repetitions, in CPU time.
#include <benchmark/benchmark.h>

#include <cinttypes>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchPlatform.h"
#include "bench/BenchScores.h"
#include "bench/Floor.h"
#include "bench/HeapCounter.h"
#include "framework/host/HostFunctions.h"
#include "plugin/MelvaraExtension.h"
#include "sim/host/Host.h"
#include "sim/host/HostExports.h"

namespace {

// --- Scores -----------------------------------------------------------------

using benchscores::kStaves;
using benchscores::ScoreKind;
constexpr int16_t kLargeMeasures = 1000;

struct ScoreKey {
    int16_t Measures;
    ScoreKind Kind;
    auto operator<=>(const ScoreKey&) const = default;
};

// One simulated host per score, made when a benchmark first needs it and
// kept to the end, so that benchmarks of different scores may run in any
// order (--benchmark_enable_random_interleaving): the Reset snapshots point
// into their host's score. The host of the running benchmark is current.
struct World {
    std::unique_ptr<sim::Host> Host;
    benchfloor::HostFunctions Floor;
};

std::map<ScoreKey, World>& Worlds() {
    static std::map<ScoreKey, World> worlds;
    return worlds;
}

World*& CurrentWorld() {
    static World* current = nullptr;
    return current;
}

World& Current() { return *CurrentWorld(); }

sim::Host& HostFor(const ScoreKey& key) {
    World& world = Worlds()[key];
    if (!world.Host) {
        world.Host = std::make_unique<sim::Host>(benchscores::MakeScore(key.Measures, key.Kind));
        world.Host->Log().SetRecordCalls(false);
        world.Host->IndexScore();
    }
    if (CurrentWorld() != &world) {
        CurrentWorld() = &world;
        sim::SetCurrentHost(world.Host.get());
        host::ForgetBinding();
        world.Floor.Find(&benchplatform::FindHostFunction);
    }
    return *world.Host;
}

// --- Regions ------------------------------------------------------------------

struct RegionShape {
    const char* Label;
    int16_t Measures;  // from measure 1
    int16_t Slots;     // from slot 1
};

// From one cell to the whole large score.
const RegionShape kRegions[] = {
    {"1 cell", 1, 1},
    {"10 cells", 1, 10},
    {"1 measure", 1, kStaves},
    {"100 measures", 100, kStaves},
    {"whole score", kLargeMeasures, kStaves},
};

using benchscores::RegionOf;

// The tuplet records of a region with their bytes, to undo a Reset.
struct Snapshot {
    std::vector<std::pair<sim::Bytes*, sim::Bytes>> Records;

    void Take(sim::Score& score, const RegionRecord& region) {
        Records.clear();
        for (auto& [cell, entries] : score.Cells) {
            if (cell.Measure < region.StartMeasure || cell.Measure > region.EndMeasure) continue;
            if (cell.Staff < region.StartSlot || cell.Staff > region.EndSlot) continue;
            for (const sim::Entry& entry : entries) {
                for (uint16_t index : score.TupletIndices(entry.Number)) {
                    sim::Bytes* bytes = score.FindRecord(sim::kTupletTag, sim::TupletKeys(entry.Number, index));
                    Records.emplace_back(bytes, *bytes);
                }
            }
        }
    }
    void Restore() const {
        for (const auto& [bytes, original] : Records) *bytes = original;
    }
};

// --- Commands -------------------------------------------------------------------

enum class Command { Reset, Compare, Change };
constexpr Command kCommands[] = {Command::Reset, Command::Compare, Command::Change};

const char* NameOf(Command command) {
    switch (command) {
        case Command::Reset:
            return "Reset";
        case Command::Compare:
            return "Compare";
        case Command::Change:
            return "Change";
    }
    return "";
}

int16_t MenuIndexOf(Command command) { return static_cast<int16_t>(command); }

ScoreKind KindFor(Command command) {
    return command == Command::Change ? ScoreKind::OneTuplet : ScoreKind::Tuplets;
}

void RunModule(Command command, sim::Host& host, const RegionRecord& region) {
    RegionRecord record = region;
    MelvaraExtensionInvoke(host.Window(), MenuIndexOf(command), &record);
}

benchfloor::FloorCounts RunFloor(Command command, sim::Host& host, const RegionRecord& region) {
    const benchfloor::HostFunctions& functions = Current().Floor;
    switch (command) {
        case Command::Reset:
            return benchfloor::Reset(functions, host.Window(), region);
        case Command::Compare:
            return benchfloor::Compare(functions, host.Window(), region);
        case Command::Change:
            return benchfloor::Change(functions, host.Window(), region);
    }
    return {};
}

// What a region holds, as the floor's Compare walk counts it.
benchfloor::FloorCounts Measure(sim::Host& host, const RegionRecord& region) {
    return benchfloor::Compare(Current().Floor, host.Window(), region);
}

// --- Results ----------------------------------------------------------------------

struct Row {
    std::string Command;
    std::string Region;
    bool Module;
    int64_t Cells = 0;
    int64_t Entries = 0;
    int64_t Tuplets = 0;
    double CallsPerIteration = 0;
    double Nanoseconds = 0;  // median CPU time per iteration
};

std::map<std::string, Row>& Rows() {
    static std::map<std::string, Row> rows;
    return rows;
}

// Prints as the console reporter does, and keeps the medians (or the single
// run without repetitions) for the tables at the end.
class Reporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (run.error_occurred || !(median || single)) continue;
            auto found = Rows().find(run.run_name.function_name);
            if (found == Rows().end()) continue;
            const double toNanoseconds = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            found->second.Nanoseconds = run.GetAdjustedCPUTime() * toNanoseconds;
        }
    }
};

std::string Name(const std::string& group, Command command, bool module, const std::string& region) {
    return group + "/" + NameOf(command) + "/" + (module ? "module" : "floor") + "/" + region;
}

void Register(const std::string& group, Command command, const ScoreKey& key, const RegionRecord& region,
              const std::string& label) {
    for (bool module : {true, false}) {
        const std::string name = Name(group, command, module, label);
        Rows()[name] = Row{NameOf(command), label, module};
        benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
            sim::Host& host = HostFor(key);
            MelvaraExtensionVersion(0x19000000);
            // Google Benchmark calls this several times per repetition:
            // the region is measured and its tuplets kept once.
            static std::map<std::string, std::pair<benchfloor::FloorCounts, Snapshot>> prepared;
            auto found = prepared.find(name);
            if (found == prepared.end()) {
                std::pair<benchfloor::FloorCounts, Snapshot> entry{Measure(host, region), {}};
                if (command == Command::Reset) entry.second.Take(host.GetScore(), region);
                found = prepared.emplace(name, std::move(entry)).first;
            }
            const benchfloor::FloorCounts counts = found->second.first;
            const Snapshot& snapshot = found->second.second;
            const uint64_t callsBefore = host.Log().CallCount();
            for (auto _ : state) {
                if (command == Command::Reset) {
                    state.PauseTiming();
                    snapshot.Restore();
                    state.ResumeTiming();
                }
                if (module) {
                    RunModule(command, host, region);
                } else {
                    benchmark::DoNotOptimize(RunFloor(command, host, region));
                }
            }
            const double calls = static_cast<double>(host.Log().CallCount() - callsBefore) /
                                 static_cast<double>(state.iterations());
            if (command == Command::Reset) snapshot.Restore();
            // Change walks the whole region for its one tuplet: its rate is
            // in entries.
            const int64_t items = command == Command::Change ? counts.Entries : counts.Tuplets;
            state.counters["items/s"] =
                benchmark::Counter(static_cast<double>(items), benchmark::Counter::kIsIterationInvariantRate);
            state.counters["calls/item"] = items > 0 ? calls / static_cast<double>(items) : 0.0;
            Row& row = Rows()[name];
            row.Cells = counts.Cells;
            row.Entries = counts.Entries;
            row.Tuplets = counts.Tuplets;
            row.CallsPerIteration = calls;
        })->Unit(benchmark::kMillisecond)->MinTime(0.2);
    }
}

// The growth scores: about 1,000 to 1,000,000 tuplets.
constexpr int16_t kGrowthMeasures[] = {3, 25, 250, 2500};

void RegisterAll() {
    for (Command command : kCommands) {
        const ScoreKey key{kLargeMeasures, KindFor(command)};
        for (const RegionShape& shape : kRegions) {
            Register("commands", command, key, RegionOf(shape.Measures, shape.Slots), shape.Label);
        }
    }
    for (int16_t measures : kGrowthMeasures) {
        const ScoreKey key{measures, ScoreKind::Tuplets};
        for (Command command : {Command::Compare, Command::Reset}) {
            Register("growth", command, key, RegionOf(measures, kStaves),
                     std::to_string(measures) + " measures");
        }
    }
}

// --- Tables ---------------------------------------------------------------------------

const Row* Find(const std::string& group, Command command, bool module, const std::string& region) {
    auto found = Rows().find(Name(group, command, module, region));
    return found == Rows().end() || found->second.Nanoseconds == 0 ? nullptr : &found->second;
}

void PrintCommandTable() {
    std::printf("\nModule against the floor of its host calls (median CPU time per run)\n");
    std::printf("%-8s %-13s %7s %8s %8s %12s %12s %7s %14s %11s\n", "command", "region", "cells",
                "entries", "tuplets", "module ms", "floor ms", "ratio", "items/s", "calls/item");
    for (Command command : kCommands) {
        for (const RegionShape& shape : kRegions) {
            const Row* module = Find("commands", command, true, shape.Label);
            const Row* floor = Find("commands", command, false, shape.Label);
            if (module == nullptr || floor == nullptr) continue;
            const int64_t items = command == Command::Change ? module->Entries : module->Tuplets;
            std::printf("%-8s %-13s %7" PRId64 " %8" PRId64 " %8" PRId64 " %12.4f %12.4f %7.3f %14.0f %11.2f\n",
                        NameOf(command), shape.Label, module->Cells, module->Entries, module->Tuplets,
                        module->Nanoseconds / 1e6, floor->Nanoseconds / 1e6,
                        module->Nanoseconds / floor->Nanoseconds,
                        static_cast<double>(items) / (module->Nanoseconds / 1e9),
                        items > 0 ? module->CallsPerIteration / static_cast<double>(items) : 0.0);
        }
    }
    std::printf("(items: tuplets; for Change, which walks the region for its one tuplet, entries)\n");
}

void PrintGrowthTable() {
    std::printf("\nTime per tuplet as the score grows (whole score, 50 staves x 4 layers x 4 entries)\n");
    std::printf("%-8s %9s %9s %16s %16s %7s\n", "command", "measures", "tuplets", "module ns/tuplet",
                "floor ns/tuplet", "ratio");
    for (Command command : {Command::Compare, Command::Reset}) {
        for (int16_t measures : kGrowthMeasures) {
            const std::string label = std::to_string(measures) + " measures";
            const Row* module = Find("growth", command, true, label);
            const Row* floor = Find("growth", command, false, label);
            if (module == nullptr || floor == nullptr || module->Tuplets == 0) continue;
            const auto tuplets = static_cast<double>(module->Tuplets);
            std::printf("%-8s %9d %9" PRId64 " %16.1f %16.1f %7.3f\n", NameOf(command), measures,
                        module->Tuplets, module->Nanoseconds / tuplets, floor->Nanoseconds / tuplets,
                        module->Nanoseconds / floor->Nanoseconds);
        }
    }
}

// The heap of one run of each command, module and host apart, over 10 cells
// and over the whole large score, and over one cell of 2,000 entries.
void PrintHeapTable() {
    std::printf("\nHeap of one command (bytes live at the peak, from the start of the command)\n");
    if (!heapcounter::Available()) {
        std::printf("(not counted: built under sanitizers)\n");
        return;
    }
    std::printf("%-8s %-13s %9s %14s %14s %14s %13s\n", "command", "region", "tuplets", "module peak",
                "module blocks", "floor peak", "host peak");
    struct HeapRegion {
        const char* Label;
        ScoreKey Key;
        RegionRecord Region;
    };
    for (Command command : kCommands) {
        const ScoreKey large{kLargeMeasures, KindFor(command)};
        std::vector<HeapRegion> regions = {
            {kRegions[1].Label, large, RegionOf(kRegions[1].Measures, kRegions[1].Slots)},
            {kRegions[4].Label, large, RegionOf(kRegions[4].Measures, kRegions[4].Slots)}};
        // Change's count stops at the second tuplet of a cell so full.
        if (command != Command::Change) {
            regions.push_back({"2,000 entries", ScoreKey{1, ScoreKind::LargeCell}, RegionOf(1, 1)});
        }
        int64_t peaks[2] = {0, 0};
        for (size_t i = 0; i < regions.size(); ++i) {
            sim::Host& host = HostFor(regions[i].Key);
            MelvaraExtensionVersion(0x19000000);
            const RegionRecord& region = regions[i].Region;
            Snapshot snapshot;
            if (command == Command::Reset) snapshot.Take(host.GetScore(), region);
            const int64_t tuplets = Measure(host, region).Tuplets;

            benchplatform::SetTrackHostCalls(true);
            host::ForgetBinding();
            Current().Floor.Find(&benchplatform::FindHostFunction);
            heapcounter::Start();
            RunModule(command, host, region);
            const heapcounter::Figures module = heapcounter::Stop();
            heapcounter::Start();
            RunFloor(command, host, region);
            const heapcounter::Figures floor = heapcounter::Stop();
            benchplatform::SetTrackHostCalls(false);
            host::ForgetBinding();
            Current().Floor.Find(&benchplatform::FindHostFunction);
            if (command == Command::Reset) snapshot.Restore();

            if (i < 2) peaks[i] = module.ModulePeak;
            std::printf("%-8s %-13s %9" PRId64 " %14" PRId64 " %14" PRId64 " %14" PRId64 " %13" PRId64 "\n",
                        NameOf(command), regions[i].Label, tuplets, module.ModulePeak, module.ModuleAllocations,
                        floor.ModulePeak, module.HostPeak);
        }
        const int64_t difference = peaks[1] - peaks[0];
        std::printf("%-8s module peak, whole score less 10 cells: %" PRId64 " bytes (%s 64 KiB)\n",
                    NameOf(command), difference, difference < 64 * 1024 && difference > -64 * 1024 ? "under" : "NOT under");
    }
}

}  // namespace

// --no-heap leaves out the heap table (and the large scores it needs).
int main(int argc, char** argv) {
    bool heap = true;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--no-heap") {
            heap = false;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RegisterAll();
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintCommandTable();
    PrintGrowthTable();
    if (heap) PrintHeapTable();
    benchmark::Shutdown();
    return 0;
}
