// The generated scores of tests and benchmarks: their shape, their shares and
// that a seed fixes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "sim/cli/Cli.h"
#include "sim/score/ScoreFile.h"
#include "sim/score/ScoreGenerator.h"

namespace {

using sim::GeneratedCounts;
using sim::GeneratorOptions;
using sim::Score;
using sim::TupletDefinition;

GeneratorOptions Options(int16_t measures, int16_t staves, int16_t layers, int32_t entries,
                         double share = 0.25, uint64_t seed = 1) {
    GeneratorOptions options;
    options.Measures = measures;
    options.Staves = staves;
    options.Layers = layers;
    options.Entries = entries;
    options.TupletShare = share;
    options.Seed = seed;
    return options;
}

enum class Kind { Matching, PositionOnly, OtherFields };

// How a tuplet stands to the defaults, from its fields alone.
Kind KindOf(const TupletDefinition& t, const TupletDefinition& d) {
    const bool position = t.Position1 != d.Position1 || t.Position2 != d.Position2;
    const bool others = t.OptionBits != d.OptionBits || t.Flags != d.Flags ||
                        t.Value1 != d.Value1 || t.Value2 != d.Value2 || t.Value3 != d.Value3 ||
                        t.Value4 != d.Value4 || t.Value5 != d.Value5 || t.Value6 != d.Value6 ||
                        t.Value7 != d.Value7;
    if (others)
        return Kind::OtherFields;
    return position ? Kind::PositionOnly : Kind::Matching;
}

TEST(ScoreGenerator, SameSeedGivesTheSameScoreAndAnotherSeedAnother) {
    const Score a = sim::GenerateScore(Options(3, 2, 2, 5, 0.5, 7));
    const Score b = sim::GenerateScore(Options(3, 2, 2, 5, 0.5, 7));
    const Score c = sim::GenerateScore(Options(3, 2, 2, 5, 0.5, 8));
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
}

TEST(ScoreGenerator, ShapeFollowsTheOptions) {
    GeneratedCounts counts;
    const Score score = sim::GenerateScore(Options(4, 3, 2, 6), &counts);
    EXPECT_EQ(score.Measures, 4);
    EXPECT_EQ(score.LayerCount, 2);
    EXPECT_TRUE(score.HiddenLayers.empty());
    ASSERT_EQ(score.Staves.size(), 3u);
    for (int16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(score.Staves[i].Number, i + 1) << "staff in slot " << i + 1;
        EXPECT_EQ(score.Staves[i].Slot, i + 1) << "staff in slot " << i + 1;
    }
    EXPECT_EQ(score.Cells.size(), 4u * 3u * 2u);
    EXPECT_EQ(counts.Cells, 24u);
    EXPECT_EQ(counts.Entries, 24u * 6u);

    // Numbered from 1 in the order measure, staff, layer, entry.
    uint32_t expected = 0;
    for (const auto& [cell, entries] : score.Cells) {
        ASSERT_EQ(entries.size(), 6u) << "measure " << cell.Measure << " staff " << cell.Staff
                                      << " layer " << cell.Layer;
        for (size_t j = 0; j < entries.size(); ++j) {
            EXPECT_EQ(entries[j].Number, ++expected);
            EXPECT_EQ(entries[j].Position, static_cast<int32_t>(j) * sim::kGeneratedPositionStep);
            EXPECT_GE(entries[j].Notes.size(), 1u);
            EXPECT_LE(entries[j].Notes.size(), 3u);
        }
    }
    ASSERT_TRUE(score.Defaults().has_value());
    for (char a : {'1', '6', '2'}) {
        const char b = a == '1' ? '4' : a == '6' ? '9' : '3';
        EXPECT_NE(score.FindRecord(sim::PartTag(a, b), {sim::kPartOwner, 0, 0, 0}), nullptr)
            << "part record ot" << a << b;
    }
}

TEST(ScoreGenerator, TupletsAreCountedAndAttachedToFlaggedEntries) {
    GeneratedCounts counts;
    const Score score = sim::GenerateScore(Options(10, 4, 4, 25, 0.25, 3), &counts);
    const TupletDefinition defaults = *score.Defaults();
    uint64_t flagged = 0, tuplets = 0, kinds[3] = {0, 0, 0};
    for (const auto& [cell, entries] : score.Cells) {
        for (const sim::Entry& entry : entries) {
            const std::vector<uint16_t> indices = score.TupletIndices(entry.Number);
            const bool hasFlag = (entry.Flags & sim::kEntryHasTuplets) != 0;
            ASSERT_EQ(hasFlag, !indices.empty()) << "entry " << entry.Number;
            if (!hasFlag)
                continue;
            ++flagged;
            ASSERT_LE(indices.size(), 3u) << "entry " << entry.Number;
            for (size_t i = 0; i < indices.size(); ++i) {
                ASSERT_EQ(indices[i], i) << "entry " << entry.Number;
                const auto tuplet = score.Tuplet(entry.Number, indices[i]);
                ASSERT_TRUE(tuplet.has_value());
                ++kinds[static_cast<int>(KindOf(*tuplet, defaults))];
            }
            tuplets += indices.size();
        }
    }
    EXPECT_EQ(counts.EntriesWithTuplets, flagged);
    EXPECT_EQ(counts.Tuplets, tuplets);
    EXPECT_EQ(counts.Matching, kinds[0]);
    EXPECT_EQ(counts.PositionOnly, kinds[1]);
    EXPECT_EQ(counts.OtherFields, kinds[2]);

    // 4000 entries: the shares lie well within these bounds.
    const double share = static_cast<double>(flagged) / static_cast<double>(counts.Entries);
    EXPECT_NEAR(share, 0.25, 0.03);
    const double perEntry = static_cast<double>(tuplets) / static_cast<double>(flagged);
    EXPECT_NEAR(perEntry, 2.0, 0.15);
    for (uint64_t kind : kinds) {
        EXPECT_NEAR(static_cast<double>(kind) / static_cast<double>(tuplets), 1.0 / 3.0, 0.05);
    }
}

TEST(ScoreGenerator, ShareZeroGivesNoTupletAndShareOneGivesEveryEntryTuplets) {
    GeneratedCounts none;
    const Score empty = sim::GenerateScore(Options(2, 2, 2, 4, 0.0), &none);
    EXPECT_EQ(none.Tuplets, 0u);
    EXPECT_EQ(empty.Records.size(), 4u) << "only the defaults and the three part records";

    GeneratedCounts all;
    sim::GenerateScore(Options(2, 2, 2, 4, 1.0), &all);
    EXPECT_EQ(all.EntriesWithTuplets, all.Entries);
}

TEST(ScoreGenerator, OptionsOutOfRangeAreRefused) {
    const GeneratorOptions bad[] = {
        Options(0, 1, 1, 1),  Options(1, 0, 1, 1),       Options(1, 1, 0, 1),
        Options(1, 1, 21, 1), Options(1, 1, 1, -1),      Options(1, 1, 1, 1, -0.1),
        Options(1, 1, 1, 1, 1.5),
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        EXPECT_THROW(sim::GenerateScore(bad[i]), std::invalid_argument) << "case " << i;
    }
}

TEST(ScoreGenerator, GeneratedScoreSurvivesTheFileFormat) {
    const Score score = sim::GenerateScore(Options(2, 2, 2, 3, 0.5, 11));
    const Score read = sim::ParseScore(sim::FormatScore(score), "generated.json");
    EXPECT_TRUE(read == score);
}

TEST(ScoreGenerator, CommandWritesTheFileOrTheScoreItself) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "melvara-generate-test.json";
    std::filesystem::remove(path);
    const std::vector<std::string> shape = {"generate", "--measures", "2", "--staves", "3",
                                            "--layers", "2", "--entries", "4", "--seed", "5"};
    std::ostringstream out, err;
    std::vector<std::string> toFile = shape;
    toFile.insert(toFile.end(), {"--tuplet-share", "0.5", "--out", path.string()});
    ASSERT_EQ(sim::RunMain(toFile, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("12 cells, 48 entries"), std::string::npos) << out.str();
    std::string error;
    const auto written = sim::ReadScoreFile(path, error);
    ASSERT_TRUE(written.has_value()) << error;
    EXPECT_TRUE(*written == sim::GenerateScore(Options(2, 3, 2, 4, 0.5, 5)));
    std::filesystem::remove(path);

    std::ostringstream json, none;
    ASSERT_EQ(sim::RunMain(shape, json, none), 0) << none.str();
    EXPECT_TRUE(sim::ParseScore(json.str(), "stdout") == sim::GenerateScore(Options(2, 3, 2, 4, 0.25, 5)));
    EXPECT_EQ(json.str(), sim::FormatScore(sim::GenerateScore(Options(2, 3, 2, 4, 0.25, 5))))
        << "written as it is made, the same text as the score in memory";
}

TEST(ScoreGenerator, CommandRefusesAScoreTheDiskCannotHoldBeforeWritingAnything) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "melvara-generate-huge.json";
    std::ostringstream out, err;
    EXPECT_EQ(sim::RunMain({"generate", "--measures", "32767", "--staves", "32767", "--layers",
                            "4", "--entries", "1", "--tuplet-share", "1", "--out", path.string()},
                           out, err),
              1);
    EXPECT_NE(err.str().find("the score would take about 5.4 TB, but the disk of"),
              std::string::npos)
        << err.str();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ScoreGenerator, CommandRefusesMissingAndWrongOptions) {
    const std::vector<std::vector<std::string>> cases = {
        {"generate", "--measures", "2", "--staves", "3", "--layers", "2"},
        {"generate", "--measures", "0", "--staves", "3", "--layers", "2", "--entries", "1"},
        {"generate", "--measures", "2", "--staves", "3", "--layers", "21", "--entries", "1"},
        {"generate", "--measures", "2", "--staves", "3", "--layers", "2", "--entries", "1",
         "--tuplet-share", "2"},
        {"generate", "--measures", "2", "--staves", "x", "--layers", "2", "--entries", "1"},
        {"generate", "--measures", "2", "--staves", "3", "--layers", "2", "--entries", "1",
         "--colour", "red"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        std::ostringstream out, err;
        EXPECT_EQ(sim::RunMain(cases[i], out, err), 2) << "case " << i;
        EXPECT_NE(err.str().find("melvara-sim: "), std::string::npos) << "case " << i;
    }
}

}  // namespace
