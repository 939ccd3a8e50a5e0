// Generating a score of any size from a seed.
#include "sim/score/ScoreGenerator.h"

#include <stdexcept>
#include <string>

#include "sim/support/Random.h"

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

ScoreGenerator::ScoreGenerator(const GeneratorOptions& options) : Options(options) {
    Check(options.Measures >= 1, "the measure count must be 1 to 32767");
    Check(options.Staves >= 1, "the staff count must be 1 to 32767");
    Check(options.Layers >= 1 && options.Layers <= 20, "the layer count must be 1 to 20");
    Check(options.Entries >= 0 && options.Entries <= 32767,
          "the entries per layer must be 0 to 32767");
    Check(options.TupletShare >= 0.0 && options.TupletShare <= 1.0,
          "the tuplet share must be 0 to 1");
    Check(EntryCount() <= 0xFFFFFFFFull, "more entries than 32-bit entry numbers can number");

    Random random(options.Seed);
    Start.Description = "Generated: " + std::to_string(options.Measures) + " measures, " +
                        std::to_string(options.Staves) + " staves, " +
                        std::to_string(options.Layers) + " layers, " +
                        std::to_string(options.Entries) + " entries per layer, tuplet share " +
                        std::to_string(options.TupletShare) + ", seed " +
                        std::to_string(options.Seed) + ".";
    Start.Measures = options.Measures;
    Start.LayerCount = options.Layers;
    Start.Staves.reserve(static_cast<size_t>(options.Staves));
    // An int counter: an int16_t one would wrap after 32767 and never end.
    for (int staff = 1; staff <= options.Staves; ++staff) {
        const auto number = static_cast<int16_t>(staff);
        Start.Staves.push_back(Staff{number, number, 0});
    }

    Defaults = MakeDefaults(random);
    Start.SetDefaults(Defaults);
    Start.SetPartRecord('1', '4', 0, {0, 0, 0, 0, random.Word(), random.Word()});
    Start.SetPartRecord('6', '9', 0, {random.Word(), 0, 0, 0, 0, 0});
    Start.SetPartRecord('2', '3', 0, {0, 0, 0, 0, 0, random.Word()});
    State = random.Save();
}

uint64_t ScoreGenerator::EntryCount() const {
    return static_cast<uint64_t>(Options.Measures) * static_cast<uint64_t>(Options.Staves) *
           static_cast<uint64_t>(Options.Layers) * static_cast<uint64_t>(Options.Entries);
}

bool ScoreGenerator::NextCell(CellKey& cell, std::vector<Entry>& entries,
                              std::map<RecordKey, Bytes>& tuplets) {
    if (Options.Entries == 0 || Next.Measure > Options.Measures || Next.Measure < 1)
        return false;
    cell = Next;
    entries.clear();
    tuplets.clear();
    Random random(State);
    entries.reserve(static_cast<size_t>(Options.Entries));
    for (int32_t j = 0; j < Options.Entries; ++j) {
        Entry entry;
        entry.Number = ++Number;
        entry.Position = j * kGeneratedPositionStep;
        entry.Notes.resize(1 + random.Below(3));
        for (NoteBlock& note : entry.Notes) {
            note.fill(0);
            note[0] = static_cast<uint8_t>(random.Below(128));
        }
        if (random.Chance(Options.TupletShare)) {
            entry.Flags = kEntryHasTuplets;
            const auto count = static_cast<uint16_t>(1 + random.Below(3));
            for (uint16_t index = 0; index < count; ++index) {
                tuplets.emplace_hint(tuplets.end(),
                                     RecordKey{kTupletTag, TupletKeys(entry.Number, index)},
                                     MakeTuplet(Defaults, random, Totals).ToBytes());
            }
            ++Totals.EntriesWithTuplets;
            Totals.Tuplets += count;
        }
        entries.push_back(std::move(entry));
    }
    ++Totals.Cells;
    Totals.Entries = Number;
    State = random.Save();
    // Cells go layer by layer, then staff by staff, then measure by measure.
    if (++Next.Layer == Options.Layers) {
        Next.Layer = 0;
        if (Next.Staff == Options.Staves) {
            Next.Staff = 1;
            // Past 32767 the measure wraps below 1, which ends the cells.
            Next.Measure = static_cast<int16_t>(static_cast<uint16_t>(Next.Measure) + 1);
        } else {
            ++Next.Staff;
        }
    }
    return true;
}

Score GenerateScore(const GeneratorOptions& options, GeneratedCounts* countsOut) {
    ScoreGenerator generator(options);
    Score score = generator.Head();
    CellKey cell;
    std::vector<Entry> entries;
    std::map<RecordKey, Bytes> tuplets;
    while (generator.NextCell(cell, entries, tuplets)) {
        // Cells and tuplets come in key order: each goes in at the end.
        score.Cells.emplace_hint(score.Cells.end(), cell, std::move(entries));
        for (auto& [key, bytes] : tuplets)
            score.Records.emplace_hint(score.Records.end(), key, std::move(bytes));
        entries = {};
    }
    if (countsOut != nullptr)
        *countsOut = generator.Counts();
    return score;
}

}  // namespace sim
