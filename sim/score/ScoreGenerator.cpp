#include "sim/score/ScoreGenerator.h"

#include <stdexcept>
#include <string>

#include "sim/score/Random.h"

namespace sim {
namespace {

void Check(bool ok, const std::string& problem) {
    if (!ok)
        throw std::invalid_argument(problem);
}

TupletDefinition MakeDefaults(Random& random) {
    TupletDefinition d;
    d.OptionBits = 0x0005;
    d.Position1 = 0;
    d.Position2 = 0x0040;
    d.Flags = 0x0211;  // SelectorA 1, SelectorB 0x10, bit 9
    for (uint16_t* value : {&d.Value1, &d.Value2, &d.Value3, &d.Value4, &d.Value5, &d.Value6,
                            &d.Value7}) {
        *value = random.Word();
    }
    return d;
}

// A tuplet of one of the three kinds; counts it.
TupletDefinition MakeTuplet(const TupletDefinition& defaults, Random& random,
                            GeneratedCounts& counts) {
    TupletDefinition t = defaults;
    for (uint16_t& word : t.HeadWords)
        word = random.Word();
    const auto shift = [&random] { return static_cast<uint16_t>(1 + random.Below(100)); };
    switch (random.Below(3)) {
        case 0:
            ++counts.Matching;
            break;
        case 1:
            t.Position1 = static_cast<uint16_t>(t.Position1 + shift());
            ++counts.PositionOnly;
            break;
        default: {
            uint16_t* values[] = {&t.Value1, &t.Value2, &t.Value3, &t.Value4,
                                  &t.Value5, &t.Value6, &t.Value7};
            uint16_t* value = values[random.Below(7)];
            *value = static_cast<uint16_t>(*value + shift());
            if (random.Chance(0.5))
                t.Position2 = static_cast<uint16_t>(t.Position2 + shift());
            ++counts.OtherFields;
            break;
        }
    }
    return t;
}

}  // namespace

Score GenerateScore(const GeneratorOptions& options, GeneratedCounts* countsOut) {
    Check(options.Measures >= 1, "the measure count must be 1 to 32767");
    Check(options.Staves >= 1, "the staff count must be 1 to 32767");
    Check(options.Layers >= 1 && options.Layers <= 20, "the layer count must be 1 to 20");
    Check(options.Entries >= 0 && options.Entries <= 32767,
          "the entries per layer must be 0 to 32767");
    Check(options.TupletShare >= 0.0 && options.TupletShare <= 1.0,
          "the tuplet share must be 0 to 1");
    const uint64_t total = static_cast<uint64_t>(options.Measures) *
                           static_cast<uint64_t>(options.Staves) *
                           static_cast<uint64_t>(options.Layers) *
                           static_cast<uint64_t>(options.Entries);
    Check(total <= 0xFFFFFFFFull, "more entries than 32-bit entry numbers can number");

    Random random(options.Seed);
    GeneratedCounts counts;
    Score score;
    score.Description = "Generated: " + std::to_string(options.Measures) + " measures, " +
                        std::to_string(options.Staves) + " staves, " +
                        std::to_string(options.Layers) + " layers, " +
                        std::to_string(options.Entries) + " entries per layer, tuplet share " +
                        std::to_string(options.TupletShare) + ", seed " +
                        std::to_string(options.Seed) + ".";
    score.Measures = options.Measures;
    score.LayerCount = options.Layers;
    score.Staves.reserve(static_cast<size_t>(options.Staves));
    for (int16_t staff = 1; staff <= options.Staves; ++staff)
        score.Staves.push_back(Staff{staff, staff, 0});

    const TupletDefinition defaults = MakeDefaults(random);
    score.SetDefaults(defaults);
    score.SetPartRecord('1', '4', 0, {0, 0, 0, 0, random.Word(), random.Word()});
    score.SetPartRecord('6', '9', 0, {random.Word(), 0, 0, 0, 0, 0});
    score.SetPartRecord('2', '3', 0, {0, 0, 0, 0, 0, random.Word()});

    uint32_t number = 0;
    if (options.Entries > 0) {
        for (int16_t measure = 1; measure <= options.Measures; ++measure) {
            for (int16_t staff = 1; staff <= options.Staves; ++staff) {
                for (int16_t layer = 0; layer < options.Layers; ++layer) {
                    // Cells come in key order: each goes in at the end.
                    auto cell = score.Cells.emplace_hint(score.Cells.end(),
                                                         CellKey{measure, staff, layer},
                                                         std::vector<Entry>{});
                    std::vector<Entry>& entries = cell->second;
                    entries.reserve(static_cast<size_t>(options.Entries));
                    for (int32_t j = 0; j < options.Entries; ++j) {
                        Entry entry;
                        entry.Number = ++number;
                        entry.Position = j * kGeneratedPositionStep;
                        entry.Notes.resize(1 + random.Below(3));
                        for (NoteBlock& note : entry.Notes) {
                            note.fill(0);
                            note[0] = static_cast<uint8_t>(random.Below(128));
                        }
                        if (random.Chance(options.TupletShare)) {
                            entry.Flags = kEntryHasTuplets;
                            const uint16_t tuplets = static_cast<uint16_t>(1 + random.Below(3));
                            for (uint16_t index = 0; index < tuplets; ++index) {
                                score.SetTuplet(entry.Number, index,
                                                MakeTuplet(defaults, random, counts));
                            }
                            ++counts.EntriesWithTuplets;
                            counts.Tuplets += tuplets;
                        }
                        entries.push_back(std::move(entry));
                    }
                    ++counts.Cells;
                }
            }
        }
    }
    counts.Entries = number;
    if (countsOut != nullptr)
        *countsOut = counts;
    return score;
}

}  // namespace sim
