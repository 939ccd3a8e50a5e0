// The scores the checks run the module on, and the selections over them.
#include "sim/validate/Scores.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "sim/score/ScoreFile.h"
#include "sim/score/ScoreGenerator.h"
#include "sim/score/Selection.h"

namespace sim {

namespace {

// A score of the checks' own, named for people and as a preset.
NamedScore Preset(std::string name, Score score, const std::string& preset) {
    return {std::move(name), std::move(score), {preset, {}, preset + ".json"}};
}

// Measures x staves cells of layers with entries each, a quarter of the
// entries with tuplets; named by its number of tuplets.
NamedScore Generated(int16_t measures, int16_t staves, int16_t layers, int32_t entries,
                     const std::string& preset) {
    GeneratorOptions options;
    options.Measures = measures;
    options.Staves = staves;
    options.Layers = layers;
    options.Entries = entries;
    GeneratedCounts counts;
    Score score = GenerateScore(options, &counts);
    return Preset("a generated score of " + std::to_string(counts.Tuplets) + " tuplets",
                  std::move(score), preset);
}

// "piece.json" is the preset "piece".
std::string SampleName(const std::string& file) {
    return file.substr(0, file.rfind(".json"));
}

}  // namespace

NamedScore EmptyScore() {
    Score score;
    score.SetMeasures(1).AddStaff(1);
    return Preset("the empty score", score, "empty");
}

NamedScore OneTupletScore() {
    GeneratorOptions options;
    options.TupletShare = 1;
    Score score = GenerateScore(options);
    // The first tuplet stays, its entry's others go.
    bool first = true;
    for (auto record = score.Records.begin(); record != score.Records.end();) {
        if (record->first.Tag == kTupletTag && !first) {
            record = score.Records.erase(record);
        } else {
            first = first && record->first.Tag != kTupletTag;
            ++record;
        }
    }
    return Preset("a score of one tuplet", score, "one-tuplet");
}

std::vector<NamedScore> Samples() {
    std::vector<NamedScore> samples;
    for (const SampleScore& sample : SampleScores())
        samples.push_back(Preset(sample.Name, ParseScore(sample.Text, sample.Name),
                                 SampleName(sample.Name)));
    return samples;
}

NamedScore LargeScore() {
    return Generated(24, 8, 4, 8, "large");
}

NamedScore MillionTupletScore() {
    return Generated(250, 50, 4, 40, "million");
}

std::vector<std::string> ScoreSource::Arguments() const {
    if (!Preset.empty())
        return {"--preset", Preset};
    char share[32];
    std::snprintf(share, sizeof share, "%g", Generated.TupletShare);
    return {"--measures", std::to_string(Generated.Measures),
            "--staves",   std::to_string(Generated.Staves),
            "--layers",   std::to_string(Generated.Layers),
            "--entries",  std::to_string(Generated.Entries),
            "--tuplet-share", share,
            "--seed",     std::to_string(Generated.Seed)};
}

std::vector<std::string> ScoreSource::Fields() const {
    char share[32];
    std::snprintf(share, sizeof share, "%.17g", Generated.TupletShare);
    return {File, Preset, std::to_string(Generated.Measures), std::to_string(Generated.Staves),
            std::to_string(Generated.Layers), std::to_string(Generated.Entries), share,
            std::to_string(Generated.Seed)};
}

std::optional<ScoreSource> ScoreSource::FromFields(const std::vector<std::string>& fields) {
    if (fields.size() != 8)
        return std::nullopt;
    ScoreSource source;
    source.File = fields[0];
    source.Preset = fields[1];
    try {
        source.Generated.Measures = static_cast<int16_t>(std::stoi(fields[2]));
        source.Generated.Staves = static_cast<int16_t>(std::stoi(fields[3]));
        source.Generated.Layers = static_cast<int16_t>(std::stoi(fields[4]));
        source.Generated.Entries = std::stoi(fields[5]);
        source.Generated.TupletShare = std::stod(fields[6]);
        source.Generated.Seed = std::stoull(fields[7]);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return source;
}

NamedScore ScoreSource::Make() const {
    if (!Preset.empty()) {
        const ScorePreset* preset = FindScorePreset(Preset);
        return preset != nullptr ? preset->Make() : NamedScore{};
    }
    return {File, GenerateScore(Generated), *this};
}

const std::vector<ScorePreset>& ScorePresets() {
    static const std::vector<ScorePreset> presets = [] {
        std::vector<ScorePreset> list = {
            {"empty", "one staff, one measure, nothing in it", EmptyScore},
            {"one-tuplet", "one entry with one tuplet, and the tuplet defaults", OneTupletScore},
            {"large", "24 measures of 8 staves, about 3,000 tuplets", LargeScore},
            {"million", "250 measures of 50 staves, about a million tuplets", MillionTupletScore},
        };
        for (const SampleScore& sample : SampleScores()) {
            const std::string file = sample.Name;
            list.push_back({SampleName(file), "the sample " + file, [file] {
                                for (NamedScore& score : Samples()) {
                                    if (score.Name == file)
                                        return score;
                                }
                                return NamedScore{};
                            }});
        }
        return list;
    }();
    return presets;
}

const ScorePreset* FindScorePreset(const std::string& name) {
    for (const ScorePreset& preset : ScorePresets()) {
        if (preset.Name == name)
            return &preset;
    }
    return nullptr;
}

std::vector<std::optional<RegionRecord>> SelectionsOf(const Score& score) {
    const auto [lowest, highest] = score.SlotRange();
    const int16_t last = score.Measures;
    const auto half = static_cast<int16_t>(std::max(1, last / 2));
    std::vector<std::optional<RegionRecord>> selections = {
        std::nullopt,
        WholeScore(score).Region,
        // From inside the first measure to inside the last, every staff.
        RegionRect(1, 256, last, 512, lowest, highest),
        // The second half of the measures, the first staff.
        RegionRect(half, 0, last, 0x7FFFFFFF, lowest, lowest),
        // A cut of one measure on the last staff.
        RegionRect(half, 100, half, 700, highest, highest),
    };
    for (auto& selection : selections) {
        if (!selection)
            continue;
        const Staff* start = score.FindStaffBySlot(selection->StartSlot);
        const Staff* end = score.FindStaffBySlot(selection->EndSlot);
        selection->StartSlotScope = start != nullptr ? start->Scope : 0;
        selection->EndSlotScope = end != nullptr ? end->Scope : 0;
    }
    return selections;
}

}  // namespace sim
