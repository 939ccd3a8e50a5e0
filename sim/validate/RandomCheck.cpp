// Level 5 of melvara-sim validate: randomised runs.
//
// Runs of the module's commands on generated scores with any selection and
// hostile answers drawn from the seed, until the time budget is spent. Run i of
// seed S is the same on every machine, so a failure names both and --seed S
// repeats it.
#include <chrono>

#include "sim/score/ScoreGenerator.h"
#include "sim/score/Selection.h"
#include "sim/support/Random.h"
#include "sim/validate/Checks.h"
#include "sim/validate/Invocation.h"

namespace sim::checks {
namespace {

// Values that make the odd answers.
constexpr int16_t kOddValues[] = {-32768, -2, -1, 0, 1, 2, 4, 20, 21, 255, 32767};
constexpr HostFn kAnswering[] = {HostFn::GetMaxLayers, HostFn::GetShowLayer, HostFn::SlotToInst,
                                 HostFn::InstToSlot, HostFn::GetCurrentKovrinDocument};
constexpr int kAnswers[] = {kIdOk, kIdCancel, kIdYes, kIdNo};

int16_t OddValue(Random& random) {
    if (random.Chance(0.3))
        return static_cast<int16_t>(random.Word());
    return kOddValues[random.Below(std::size(kOddValues))];
}

int32_t Position(Random& random) {
    switch (random.Below(4)) {
        case 0:
            return 0;
        case 1:
            return static_cast<int32_t>(random.Below(8) * 256);
        case 2:
            return 0x7FFFFFFF;
        default:
            return static_cast<int32_t>(random.Next());
    }
}

// A region near the score, often inside it, sometimes reversed or outside.
RegionRecord AnyRegion(Random& random, const Score& score) {
    const auto near = [&random](int last) {
        return static_cast<int16_t>(
            static_cast<int>(random.Below(static_cast<uint32_t>(last) + 3)) - 1);
    };
    const int16_t measures = score.Measures;
    const int16_t slots = score.SlotRange().second;
    RegionRecord region = RegionRect(near(measures), Position(random), near(measures),
                                     Position(random), near(slots), near(slots));
    if (random.Chance(0.2)) {
        region.StartSlotScope = random.Word();
        region.EndSlotScope = random.Word();
    }
    return region;
}

struct RandomRun {
    NamedScore Document;
    Invocation Run;
};

// "1 measure", "3 staves".
std::string Count(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

RandomRun MakeRun(uint64_t seed, const std::vector<int16_t>& indexes) {
    Random random(seed);
    GeneratorOptions options;
    options.Measures = static_cast<int16_t>(1 + random.Below(5));
    options.Staves = static_cast<int16_t>(1 + random.Below(4));
    options.Layers = static_cast<int16_t>(1 + random.Below(6));
    options.Entries = static_cast<int32_t>(random.Below(6));
    options.TupletShare = random.Below(5) / 4.0;
    // Within the seeds melvara-sim generate takes.
    options.Seed = random.Next() >> 1;
    RandomRun made{{"", GenerateScore(options), {"", options, ""}}, {}};
    const Score& score = made.Document.Document;
    std::string what = "a generated score of " + Count(options.Measures, "measure", "measures") +
                       ", " + Count(options.Staves, "staff", "staves") + ", " +
                       Count(options.Layers, "layer", "layers");
    HostControls& controls = made.Run.Controls;
    if (random.Chance(0.25)) {
        const uint32_t kind = random.Below(3);
        controls.RecordSizes = kind == 0   ? RecordResize{RecordResize::Kind::Half, 0}
                               : kind == 1 ? RecordResize{RecordResize::Kind::Longer, 8}
                                           : RecordResize{RecordResize::Kind::Exactly,
                                                          random.Below(64)};
        what += ", records of other sizes";
    }
    if (random.Chance(0.2)) {
        controls.HiddenLayers = {
            static_cast<int16_t>(random.Below(static_cast<uint32_t>(score.LayerCount)))};
        what += ", a hidden layer";
    }

    Invocation& run = made.Run;
    run.MenuIndex = indexes[random.Below(static_cast<uint32_t>(indexes.size()))];
    const uint32_t selection = random.Below(8);
    if (selection == 1)
        run.Selection = WholeScore(score).Region;
    else if (selection > 1)
        run.Selection = AnyRegion(random, score);
    for (uint32_t n = random.Below(4); n > 0; --n)
        run.Answers.push_back(kAnswers[random.Below(std::size(kAnswers))]);

    if (random.Chance(0.4)) {
        const uint64_t call = 1 + random.Below(200);
        controls.FailingCalls = {call};
        what += ", host call #" + std::to_string(call) + " failing";
    }
    if (random.Chance(0.2)) {
        const auto fn = static_cast<HostFn>(random.Below(kHostFnCount));
        controls.FailingFunctions = {fn};
        what += std::string(", every ") + HostFnName(fn) + " failing";
    }
    if (random.Chance(0.3)) {
        const HostFn fn = kAnswering[random.Below(std::size(kAnswering))];
        const int16_t value = OddValue(random);
        controls.Returns = {{fn, value}};
        what += std::string(", ") + HostFnName(fn) + " answering " + std::to_string(value);
    }
    if (random.Chance(0.15)) {
        const auto entries = static_cast<int16_t>(-1 - random.Below(32768));
        const auto notes = static_cast<int16_t>(-1 - random.Below(32768));
        controls.FrameEntries = entries;
        if (random.Chance(0.5))
            controls.EntryNotes = notes;
        what += ", frames counting " + std::to_string(entries) + " entries";
    }
    run.Where = DescribeRun(run.MenuIndex, what, run.Selection, score);
    return made;
}

}  // namespace

CheckResult RandomHostile(CheckContext& context) {
    std::vector<int16_t> indexes;
    if (auto skip = context.LoadForCommands(indexes))
        return *skip;
    const uint64_t seed = context.Options().Seed;
    const double budget = context.Options().BudgetSeconds;
    const std::string about = "seed " + std::to_string(seed) + " (budget " +
                              std::to_string(static_cast<int>(budget)) + " s)";
    const auto start = std::chrono::steady_clock::now();
    uint64_t runs = 0;
    while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
           budget) {
        // Each run from its own seed, so that run i does not depend on the others.
        RandomRun made = MakeRun(Random(seed + runs).Next(), indexes);
        made.Run.Document = &made.Document.Document;
        made.Run.Source = made.Document.Source;
        made.Run.Source.File = "seed-" + std::to_string(seed) + "-run-" +
                               std::to_string(runs + 1) + ".json";
        made.Run.Where = "run " + std::to_string(runs + 1) + " of " + about + ": " + made.Run.Where;
        const InvocationResult result = Invoke(context, made.Run);
        if (result.Failure)
            return *result.Failure;
        ++runs;
    }
    return Passed(std::to_string(runs) + " randomised runs of " + about);
}

}  // namespace sim::checks
