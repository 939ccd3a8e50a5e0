// The runs of each level of regress, made alike for both builds, and how each is named.
#include "sim/regress/Matrix.h"

#include <algorithm>
#include <cstring>

#include "sim/host/MessageBoxRecord.h"
#include "sim/score/Selection.h"
#include "sim/support/JsonQuote.h"
#include "sim/support/Random.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

// Host versions of level 2: today's, the first that offers more commands,
// and an older one.
constexpr uint32_t kHostVersions[] = {kTodaysHostVersion, 0x11000000, 0x10000000};
// Runs with a failing call, over all commands and hostile scores.
constexpr size_t kFailingCallBudget = 1000;
// Scripted answers: enough for every box of a command.
constexpr size_t kScriptedAnswers = 8;
// Scores generated from the seed at level 2.
constexpr int kGeneratedScores = 2;
// The odd host that selects the last measures, and how many.
constexpr int16_t kLastMeasures = 8;

HostControls Resized(RecordResize::Kind how, uint32_t bytes) {
    HostControls controls;
    controls.RecordSizes = RecordResize{how, bytes};
    return controls;
}

HostControls Answering(HostFn fn, int16_t value) {
    HostControls controls;
    controls.Returns = {{fn, value}};
    return controls;
}

HostControls Failing(HostFn fn) {
    HostControls controls;
    controls.FailingFunctions = {fn};
    return controls;
}

// Up to budget call numbers from 1 to count, spread evenly, the first and
// the last among them.
std::vector<uint64_t> Spread(uint64_t count, size_t budget) {
    std::vector<uint64_t> numbers;
    if (count <= budget) {
        for (uint64_t n = 1; n <= count; ++n)
            numbers.push_back(n);
        return numbers;
    }
    for (size_t i = 0; i < budget; ++i)
        numbers.push_back(budget == 1 ? 1 : 1 + (count - 1) * i / (budget - 1));
    return numbers;
}

NamedScore GeneratedScore(Random& random, int number) {
    GeneratorOptions options;
    options.Measures = static_cast<int16_t>(2 + random.Below(5));
    options.Staves = static_cast<int16_t>(1 + random.Below(3));
    options.Layers = static_cast<int16_t>(1 + random.Below(4));
    options.Entries = static_cast<int32_t>(1 + random.Below(8));
    options.TupletShare = 0.25 * (1 + random.Below(4));
    options.Seed = 1 + random.Below(1000000);
    const std::string file = "generated-" + std::to_string(number) + ".json";
    return {file, GenerateScore(options), {"", options, file}};
}

std::string SelectionWords(const std::optional<RegionRecord>& selection, const Score& held) {
    if (!selection)
        return "no selection";
    const Selection whole = WholeScore(held);
    if (std::memcmp(&whole.Region, &*selection, sizeof whole.Region) == 0)
        return "whole score";
    Selection cut;
    cut.Region = *selection;
    return "selection " + FormatSelection(cut);
}

}  // namespace

const std::vector<OddHost>& OddHosts() {
    static const std::vector<OddHost> hosts = [] {
        using F = HostFn;
        HostControls layers, measures, slots, hidden0, hidden1, document, entries, notes, unset;
        layers.Layers = 22;
        measures.Measures = 32767;
        slots.HighSlots = true;
        hidden0.HiddenLayers = {0};
        hidden1.HiddenLayers = {1};
        document.Document = 2;
        entries.FrameEntries = -1;
        notes.EntryNotes = -1;
        unset.CreateLeavesIndexUnset = true;
        return std::vector<OddHost>{
            {"every record cut to half its size", Resized(RecordResize::Kind::Half, 0)},
            {"every record 16 bytes longer", Resized(RecordResize::Kind::Longer, 16)},
            {"every record empty", Resized(RecordResize::Kind::Exactly, 0)},
            {"22 layers, with entries after the twentieth", layers},
            {"32767 measures, the last 8 selected", measures, true},
            {"staves in the slots up to 32767", slots},
            {"layer 0 hidden", hidden0},
            {"layer 1 hidden", hidden1},
            {"MX_GetMaxLayers answering 0", Answering(F::GetMaxLayers, 0)},
            {"MX_GetMaxLayers answering 32767", Answering(F::GetMaxLayers, 32767)},
            {"MX_GetShowLayer answering 0", Answering(F::GetShowLayer, 0)},
            {"MX_SlotToInst answering -32768", Answering(F::SlotToInst, -32768)},
            {"MX_InstToSlot answering -1", Answering(F::InstToSlot, -1)},
            {"MX_GetCurrentKovrinDocument answering -1",
             Answering(F::GetCurrentKovrinDocument, -1)},
            {"document 2 current", document},
            {"frames counting -1 entries", entries},
            {"entry records counting -1 notes", notes},
            {"MX_CreateKData leaving the new index unset", unset},
            {"every MessageBoxW failing", Failing(F::MessageBoxW)},
            {"every MX_SaveKData failing", Failing(F::SaveKData)},
            {"every MX_LoadTGF failing", Failing(F::LoadTGF)},
        };
    }();
    return hosts;
}

HostControls ControlsOf(const ControlChoice& choice) {
    HostControls controls;
    switch (choice.What) {
        case ControlChoice::Kind::None:
            break;
        case ControlChoice::Kind::FailingCall:
            controls.FailingCalls = {choice.Value};
            break;
        case ControlChoice::Kind::OddHost:
            if (choice.Value < OddHosts().size())
                controls = OddHosts()[choice.Value].Controls;
            break;
        case ControlChoice::Kind::Missing:
            if (choice.Value < MELVARA_HOST_FUNCTION_COUNT)
                controls.MissingFunctions = {static_cast<HostFn>(choice.Value)};
            break;
    }
    return controls;
}

std::vector<CommandPair> PairCommands(const std::vector<MenuTitle>& oldMenu,
                                      const std::vector<MenuTitle>& newMenu) {
    std::vector<CommandPair> pairs;
    std::vector<bool> newTaken(newMenu.size(), false);
    std::vector<bool> oldPaired(oldMenu.size(), false);
    // By title first, in the old menu's order.
    for (size_t i = 0; i < oldMenu.size(); ++i) {
        for (size_t j = 0; j < newMenu.size(); ++j) {
            if (!newTaken[j] && newMenu[j].Title == oldMenu[i].Title) {
                newTaken[j] = oldPaired[i] = true;
                pairs.push_back({oldMenu[i].Index, newMenu[j].Index, oldMenu[i].Title});
                break;
            }
        }
    }
    // A command renamed keeps its index.
    for (size_t i = 0; i < oldMenu.size(); ++i) {
        if (oldPaired[i])
            continue;
        for (size_t j = 0; j < newMenu.size(); ++j) {
            if (!newTaken[j] && newMenu[j].Index == oldMenu[i].Index) {
                newTaken[j] = oldPaired[i] = true;
                pairs.push_back({oldMenu[i].Index, newMenu[j].Index, oldMenu[i].Title});
                break;
            }
        }
        if (!oldPaired[i])
            pairs.push_back({oldMenu[i].Index, std::nullopt, oldMenu[i].Title});
    }
    for (size_t j = 0; j < newMenu.size(); ++j) {
        if (!newTaken[j])
            pairs.push_back({std::nullopt, newMenu[j].Index, newMenu[j].Title});
    }
    // In the order of the menus, old index first.
    std::stable_sort(pairs.begin(), pairs.end(), [](const CommandPair& a, const CommandPair& b) {
        const int16_t left = a.Old.value_or(a.New.value_or(0));
        const int16_t right = b.Old.value_or(b.New.value_or(0));
        return left < right;
    });
    return pairs;
}

Matrix::Matrix(int level, uint64_t seed) : Level(level) {
    AllScores = Samples();
    Random random(seed);
    if (level >= 2) {
        AllScores.push_back(EmptyScore());
        AllScores.push_back(OneTupletScore());
        for (int i = 1; i <= kGeneratedScores; ++i)
            AllScores.push_back(GeneratedScore(random, i));
    }
    Large = AllScores.size();
    AllScores.push_back(sim::LargeScore());
    if (level >= 2)
        Versions.assign(std::begin(kHostVersions), std::end(kHostVersions));
    else
        Versions = {kTodaysHostVersion};
}

std::vector<ScoreSource> Matrix::Sources() const {
    std::vector<ScoreSource> sources;
    for (const NamedScore& score : AllScores)
        sources.push_back(score.Source);
    return sources;
}

bool Matrix::Hostile(size_t score) const {
    // The small scores with tuplets and defaults: the samples, the
    // one-tuplet score and the generated ones.
    return Level >= 3 && score != Large && AllScores[score].Source.Preset != "empty";
}

std::vector<PlannedRun> Matrix::MenuRuns() const {
    std::vector<PlannedRun> runs;
    for (const uint32_t version : Versions) {
        PlannedRun run;
        run.What = PlannedRun::Kind::Menu;
        run.HostVersion = version;
        runs.push_back(run);
    }
    return runs;
}

std::vector<PlannedRun> Matrix::BaseRuns(
    const std::map<uint32_t, std::vector<CommandPair>>& commands) const {
    std::vector<PlannedRun> runs;
    for (const uint32_t version : Versions) {
        const auto found = commands.find(version);
        if (found == commands.end())
            continue;
        for (size_t score = 0; score < AllScores.size(); ++score) {
            // The large score is timed at level 1, not run.
            if (Level < 2 && score == Large)
                continue;
            const Score& document = AllScores[score].Document;
            std::vector<std::optional<RegionRecord>> selections = {WholeScore(document).Region};
            if (Level >= 2) {
                // On a small score some cuts are the whole score: each region once.
                selections.clear();
                for (const auto& selection : SelectionsOf(document)) {
                    const auto same = [&](const std::optional<RegionRecord>& other) {
                        return selection.has_value() == other.has_value() &&
                               (!selection ||
                                std::memcmp(&*selection, &*other, sizeof *selection) == 0);
                    };
                    if (std::none_of(selections.begin(), selections.end(), same))
                        selections.push_back(selection);
                }
            }
            for (const CommandPair& command : found->second) {
                for (const auto& selection : selections) {
                    PlannedRun run;
                    run.Score = score;
                    run.HostVersion = version;
                    run.OldIndex = command.Old;
                    run.NewIndex = command.New;
                    run.Title = command.Title;
                    run.Selection = selection;
                    runs.push_back(run);
                }
            }
        }
    }
    return runs;
}

std::vector<PlannedRun> Matrix::DerivedRuns(const std::vector<PlannedRun>& base,
                                            const std::vector<const RunResult*>& oldResults,
                                            const std::vector<const RunResult*>& newResults) const {
    std::vector<PlannedRun> runs;
    if (Level < 2)
        return runs;
    const auto offered = [&](size_t i) {
        return (oldResults[i] != nullptr ? oldResults[i]->Offered : 0u) |
               (newResults[i] != nullptr ? newResults[i]->Offered : 0u);
    };
    // Each box answered the other way: No, or Cancel, where one offered it.
    for (size_t i = 0; i < base.size(); ++i) {
        for (const int answer : {kIdNo, kIdCancel}) {
            if ((offered(i) & (1u << answer)) == 0)
                continue;
            PlannedRun run = base[i];
            run.Answers.assign(kScriptedAnswers, answer);
            runs.push_back(run);
        }
    }
    if (Level < 3)
        return runs;
    // The hostile host, on the small scores at today's host version, over
    // the whole score and no selection.
    std::vector<size_t> hostile;
    for (size_t i = 0; i < base.size(); ++i) {
        const PlannedRun& run = base[i];
        const RegionRecord whole = WholeScore(AllScores[run.Score].Document).Region;
        if (run.HostVersion == kTodaysHostVersion && Hostile(run.Score) && run.Selection &&
            std::memcmp(&*run.Selection, &whole, sizeof whole) == 0) {
            hostile.push_back(i);
        }
    }
    for (const size_t i : hostile) {
        for (size_t odd = 0; odd < OddHosts().size(); ++odd) {
            Score held = AllScores[base[i].Score].Document;
            OddHosts()[odd].Controls.ApplyTo(held);
            RegionRecord whole = WholeScore(held).Region;
            if (OddHosts()[odd].LastMeasures)
                whole.StartMeasure = static_cast<int16_t>(held.Measures - kLastMeasures + 1);
            for (const bool selected : {true, false}) {
                PlannedRun run = base[i];
                run.Control = {ControlChoice::Kind::OddHost, odd};
                run.Selection = selected ? std::optional<RegionRecord>(whole) : std::nullopt;
                runs.push_back(run);
            }
        }
    }
    for (const size_t i : hostile) {
        for (size_t fn = 0; fn < MELVARA_HOST_FUNCTION_COUNT; ++fn) {
            for (const bool selected : {true, false}) {
                PlannedRun run = base[i];
                run.Control = {ControlChoice::Kind::Missing, fn};
                if (!selected)
                    run.Selection.reset();
                runs.push_back(run);
            }
        }
    }
    const size_t budget = hostile.empty() ? 0 : kFailingCallBudget / hostile.size();
    for (const size_t i : hostile) {
        const uint64_t calls = std::max(oldResults[i] != nullptr ? oldResults[i]->Calls : 0,
                                        newResults[i] != nullptr ? newResults[i]->Calls : 0);
        for (const uint64_t number : Spread(calls, budget)) {
            PlannedRun run = base[i];
            run.Control = {ControlChoice::Kind::FailingCall, number};
            runs.push_back(run);
        }
    }
    return runs;
}

std::string Matrix::Describe(const PlannedRun& run) const {
    if (run.What == PlannedRun::Kind::Menu)
        return "the menu at host version " + Hex(run.HostVersion, 8);
    const NamedScore& score = AllScores[run.Score];
    std::string command = run.Title.empty() ? std::string() : JsonQuote(run.Title);
    if (command.empty()) {
        const std::optional<int16_t>& index = run.OldIndex ? run.OldIndex : run.NewIndex;
        command = "menu index " + std::to_string(index.value_or(0));
    }
    Score held = score.Document;
    const HostControls controls = ControlsOf(run.Control);
    controls.ApplyTo(held);
    std::string text = command + " on " + score.Name + ", " + SelectionWords(run.Selection, held);
    if (run.HostVersion != kTodaysHostVersion)
        text += ", host version " + Hex(run.HostVersion, 8);
    if (!run.Answers.empty()) {
        const bool alike = std::all_of(run.Answers.begin(), run.Answers.end(),
                                       [&](int answer) { return answer == run.Answers[0]; });
        text += ", answering " + (alike ? AnswerName(run.Answers[0]) : std::string("as scripted"));
    }
    switch (run.Control.What) {
        case ControlChoice::Kind::None:
            break;
        case ControlChoice::Kind::FailingCall:
            text += ", host call #" + std::to_string(run.Control.Value) + " made to fail";
            break;
        case ControlChoice::Kind::OddHost:
            text += ", " + OddHosts()[run.Control.Value].What;
            break;
        case ControlChoice::Kind::Missing:
            text += ", without " + std::string(HostFnName(static_cast<HostFn>(run.Control.Value)));
            break;
    }
    return text;
}

}  // namespace sim
