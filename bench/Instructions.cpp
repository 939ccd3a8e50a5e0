// One command, module or floor, run a few times in process on a generated
// score, for callgrind (bench/own_instructions.sh): every run is one call of
// MeasuredRun, so that `--toggle-collect=MeasuredRun --dump-after=MeasuredRun`
// gives one profile per run, the first one cold (the simulated host's first
// loads of each record), the others warm. Module and floor are bound to the
// host alike (bench/BenchPlatform.h). After the runs, uncounted, it prints
// what one run goes through.
//
//   melvara_instructions --command reset|compare|change --side module|floor
//                        [--measures M] [--runs N]
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/BenchPlatform.h"
#include "bench/BenchScores.h"
#include "bench/Floor.h"
#include "framework/host/HostFunctions.h"
#include "plugin/MelvaraExtension.h"
#include "sim/host/Host.h"
#include "sim/host/HostExports.h"

namespace {

struct Options {
    int16_t MenuIndex = -1;  // 0 reset, 1 compare, 2 change
    bool Module = true;
    int16_t Measures = 25;
    int Runs = 2;
};

benchfloor::FloorCounts RunFloor(int16_t menuIndex, const benchfloor::HostFunctions& host,
                                 void* window, const RegionRecord& region) {
    switch (menuIndex) {
        case 0:
            return benchfloor::Reset(host, window, region);
        case 1:
            return benchfloor::Compare(host, window, region);
        default:
            return benchfloor::Change(host, window, region);
    }
}

// The only code callgrind counts.
extern "C" __attribute__((noinline)) void MeasuredRun(const Options& options,
                                                      const benchfloor::HostFunctions& floor,
                                                      void* window, const RegionRecord& region) {
    if (options.Module) {
        RegionRecord record = region;
        MelvaraExtensionInvoke(window, options.MenuIndex, &record);
    } else {
        RunFloor(options.MenuIndex, floor, window, region);
    }
}

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--command") {
            if (value == "reset")
                options.MenuIndex = 0;
            if (value == "compare")
                options.MenuIndex = 1;
            if (value == "change")
                options.MenuIndex = 2;
        } else if (option == "--side" && (value == "module" || value == "floor")) {
            options.Module = value == "module";
        } else if (option == "--measures") {
            options.Measures = static_cast<int16_t>(std::atoi(value.c_str()));
        } else if (option == "--runs") {
            options.Runs = std::atoi(value.c_str());
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.MenuIndex >= 0 && options.Measures > 0 && options.Runs > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s --command reset|compare|change --side module|floor [--measures M] "
                     "[--runs N]\n",
                     argv[0]);
        return 2;
    }
    // Change needs a region of exactly one tuplet: it then walks every entry twice.
    const auto kind = options.MenuIndex == 2 ? benchscores::ScoreKind::OneTuplet
                                             : benchscores::ScoreKind::Tuplets;
    sim::Host host(benchscores::MakeScore(options.Measures, kind));
    host.Log().SetRecordCalls(false);
    host.IndexScore();
    sim::CurrentHostScope scope(host);
    host::ForgetBinding();
    benchfloor::HostFunctions floor;
    if (!floor.Find(&benchplatform::FindHostFunction))
        return 1;
    MelvaraExtensionVersion(0x19000000);
    const RegionRecord region = benchscores::RegionOf(options.Measures, benchscores::kStaves);

    for (int run = 0; run < options.Runs; ++run)
        MeasuredRun(options, floor, host.Window(), region);

    const uint64_t callsBefore = host.Log().CallCount();
    const benchfloor::FloorCounts counts =
        RunFloor(options.MenuIndex, floor, host.Window(), region);
    std::printf("cells %" PRId64 " entries %" PRId64 " tuplets %" PRId64 " calls %" PRIu64 "\n",
                counts.Cells, counts.Entries, counts.Tuplets, host.Log().CallCount() - callsBefore);
    return 0;
}
