// Level 4 of melvara-sim validate: stress.
//
// The module loaded and unloaded many times, many commands in one load, and a
// score of a million tuplets, with the time per command.
#include <algorithm>
#include <chrono>

#include "sim/module/Menu.h"
#include "sim/score/Selection.h"
#include "sim/validate/Checks.h"
#include "sim/validate/Invocation.h"
#include "sim/validate/ProcessWatch.h"
#include "sim/validate/Scores.h"

namespace sim::checks {
namespace {

constexpr int kLoads = 100;
constexpr int kCommands = 1000;
// What the check of a million tuplets needs, the score and its index
// (about 720 MB) and room for the module, in megabytes.
constexpr uint64_t kMillionTupletsMegabytes = 768;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g ms", seconds * 1000);
    return text;
}

}  // namespace

CheckResult Reload(CheckContext& context) {
    const NamedScore score = OneTupletScore();
    const RegionRecord whole = WholeScore(score.Document).Region;
    std::vector<MenuEntry> first;
    const auto start = std::chrono::steady_clock::now();
    for (int load = 1; load <= kLoads; ++load) {
        if (auto skip = context.LoadModule())
            return load == 1 ? *skip : Failed("load " + std::to_string(load) + ": " + skip->Reason);
        const std::vector<MenuEntry> menu = ReadMenu(context.Module(), kValidateHostVersion);
        if (load == 1) {
            first = menu;
        } else if (const auto change = MenuDifference(first, menu)) {
            return Failed("load " + std::to_string(load) +
                          " offers another menu than the first: " + *change);
        }
        if (!menu.empty()) {
            Invocation run = CommandOn(score, menu.front().Index, whole);
            run.Where = "load " + std::to_string(load) + ", " + run.Where;
            run.Repeatable = false;
            run.Timed = true;
            if (auto failure = Invoke(context, run).Failure)
                return *failure;
        }
        context.SetWhere("load " + std::to_string(load) + ", MelvaraExtensionTerminate");
        context.Module().Terminate();
        if (auto stray = StrayCallFailure(context.Where()))
            return *stray;
        context.SetWhere("load " + std::to_string(load) + ", unloading");
        context.Module().Unload();
    }
    return Passed("loaded, used and unloaded " + std::to_string(kLoads) + " times, " +
                  Milliseconds(SecondsSince(start) / kLoads) + " each");
}

CheckResult ManyCommands(CheckContext& context) {
    std::vector<int16_t> indexes;
    if (auto skip = context.LoadForCommands(indexes))
        return *skip;
    const NamedScore score = Samples().front();
    const auto selections = SelectionsOf(score.Document);
    const std::vector<MenuEntry> menu = ReadMenu(context.Module(), kValidateHostVersion);
    CommandWatch watch;
    double seconds = 0;
    for (int i = 0; i < kCommands; ++i) {
        Invocation run = CommandOn(score, indexes[static_cast<size_t>(i) % indexes.size()],
                                   selections[static_cast<size_t>(i / 3) % selections.size()]);
        run.Where = "command " + std::to_string(i + 1) + ", " + run.Where;
        run.Repeatable = false;
        run.Timed = true;
        const InvocationResult result = Invoke(context, run);
        if (result.Failure)
            return *result.Failure;
        watch.Note();
        seconds += result.Seconds;
    }
    const std::string where = std::to_string(kCommands) + " commands in one load";
    if (const auto growth = watch.Growth())
        context.NoteWarning(Warned(*growth, where));
    context.SetWhere("reading the menu again after " + where);
    if (const auto change = MenuDifference(menu, ReadMenu(context.Module(), kValidateHostVersion)))
        return Failed("the menu changed within one load: " + *change, where);
    return Passed(std::to_string(kCommands) + " commands in one load, " +
                  Milliseconds(seconds / kCommands) + " each");
}

CheckResult MillionTuplets(CheckContext& context) {
    const uint64_t limit = context.Options().MemoryLimitMegabytes;
    if (limit != 0 && limit < kMillionTupletsMegabytes) {
        return Skipped("a million tuplets need " + std::to_string(kMillionTupletsMegabytes) +
                       " MB, more than the limit of a check (" + std::to_string(limit) +
                       " MB; --memory-limit sets it)");
    }
    std::vector<int16_t> indexes;
    if (auto skip = context.LoadForCommands(indexes))
        return *skip;
    context.SetWhere("building the score");
    const NamedScore score = MillionTupletScore();
    const RegionRecord whole = WholeScore(score.Document).Region;
    std::string times;
    for (int16_t index : indexes) {
        Invocation run = CommandOn(score, index, whole);
        run.Large = true;
        run.Timed = true;
        const InvocationResult result = Invoke(context, run);
        if (result.Failure)
            return *result.Failure;
        char text[64];
        std::snprintf(text, sizeof text, "%sindex %d %.2f s", times.empty() ? "" : ", ", index,
                      result.Seconds);
        times += text;
    }
    return Passed(score.Name + ", whole score: " + times);
}

}  // namespace sim::checks
