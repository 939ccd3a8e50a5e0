// melvara-sim generate: its options, its help, and the score it writes.
#include "sim/cli/GenerateCommand.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "sim/cli/Activity.h"
#include "sim/cli/Cli.h"
#include "sim/score/ScoreFile.h"
#include "sim/score/ScoreWriter.h"
#include "sim/support/AtomicFile.h"
#include "sim/validate/Scores.h"
#include "sim/support/ProgramName.h"

namespace sim {

const char* const kGenerateHelp =
    R"(usage: melvara-sim generate --measures M --staves S --layers L --entries E
                            [--tuplet-share P] [--seed N] [--out FILE]
       melvara-sim generate --preset NAME [--out FILE]

Writes a score of M measures x S staves x L layers with E note entries in
each layer of each cell, for tests and benchmarks of any size. A share P of
the entries carries 1 to 3 tuplets; a third of the tuplets equal the
defaults, a third differ only in their position, a third in other fields.
The same seed gives the same score. Without --out (or with --out -) the
score goes to standard output; with a file, a line of counts does.

With --preset, writes one of the scores melvara-sim validate runs modules
on, as its failures name them:
  empty                  one staff, one measure, nothing in it
  one-tuplet             one entry with one tuplet, and the tuplet defaults
  large                  24 measures of 8 staves, about 3,000 tuplets
  million                250 measures of 50 staves, about a million tuplets
  piece, single          the samples

Options
  --measures M           1 to 32767
  --staves S             1 to 32767 (staves 1 to S in slots 1 to S)
  --layers L             1 to 20
  --entries E            0 to 32767 per layer of each cell
  --tuplet-share P       0 to 1 (default 0.25)
  --seed N               0 to 9223372036854775807 (default 1)
  --preset NAME          a score of the validator's (above), instead
  --out FILE             write the score to FILE (atomically; FILE must be a
                         regular file that may be written, or not exist yet,
                         or a pipe); - is standard output
Numbers are decimal, or 0x and hex digits; a leading 0 is refused.

Exit status: 0 written; 1 file not written; 2 usage error.
)";

namespace {

// "0.25", "1", ".5": a plain decimal fraction from 0 to 1.
bool ParseShare(const std::string& text, double& value) {
    const bool plain =
        !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos &&
        text.find_first_of("0123456789") != std::string::npos && text.find('.') == text.rfind('.');
    if (!plain)
        return false;
    const double number = std::strtod(text.c_str(), nullptr);
    if (!(number >= 0.0 && number <= 1.0))
        return false;
    value = number;
    return true;
}

}  // namespace

ParseResult ParseGenerateOptions(const std::vector<std::string>& args, GenerateOptions& options,
                                 std::string& error) {
    GeneratorOptions& score = options.Score;
    // Zero: not given.
    score.Measures = score.Staves = score.Layers = 0;
    score.Entries = -1;
    int64_t seed = static_cast<int64_t>(score.Seed);
    OptionParser parser("generate");
    parser.Number<int16_t>("--measures", score.Measures, 1, 32767);
    parser.Number<int16_t>("--staves", score.Staves, 1, 32767);
    parser.Number<int16_t>("--layers", score.Layers, 1, 20);
    parser.Number<int32_t>("--entries", score.Entries, 0, 32767);
    parser.Value("--tuplet-share", [&](const std::string& value, std::string& problem) {
        if (ParseShare(value, score.TupletShare))
            return true;
        problem = "--tuplet-share: a number from 0 to 1 such as 0.25, not \"" + value + "\"";
        return false;
    });
    parser.Number<int64_t>("--seed", seed, 0, INT64_MAX);
    parser.Value("--preset", [&](const std::string& value, std::string& problem) {
        if (FindScorePreset(value) != nullptr) {
            options.Preset = value;
            return true;
        }
        problem = "--preset: no score \"" + value + "\"; the presets are";
        for (const ScorePreset& preset : ScorePresets())
            problem += (preset.Name == ScorePresets().front().Name ? " " : ", ") + preset.Name;
        return false;
    });
    parser.Text("--out", options.OutPath);
    const ParseResult result = parser.Parse(args, error);
    if (result != ParseResult::Ok)
        return result;
    if (options.OutPath == "-")
        options.OutPath.clear();
    score.Seed = static_cast<uint64_t>(seed);
    if (!options.Preset.empty()) {
        for (const std::string name :
             {"--measures", "--staves", "--layers", "--entries", "--tuplet-share", "--seed"}) {
            for (const std::string& arg : args) {
                if (arg == name || arg.rfind(name + "=", 0) == 0) {
                    error = "--preset is a whole score: give it without " + name;
                    return ParseResult::Error;
                }
            }
        }
        return ParseResult::Ok;
    }
    if (score.Measures == 0 || score.Staves == 0 || score.Layers == 0 || score.Entries < 0) {
        error = "generate needs --measures, --staves, --layers and --entries, or --preset NAME";
        return ParseResult::Error;
    }
    return ParseResult::Ok;
}

namespace {

// About how many bytes the score file will take: a cell's lines, an entry's
// (with its notes), a tuplet's. Measured on generated scores; within a few
// per cent from a thousand to a million tuplets.
uint64_t EstimatedFileSize(const GeneratorOptions& options, uint64_t entries) {
    const uint64_t cells = options.Entries == 0 ? 0 : entries / static_cast<uint64_t>(options.Entries);
    const double tuplets = 2.0 * options.TupletShare * static_cast<double>(entries);
    return 3000 + 91 * cells + 205 * entries + static_cast<uint64_t>(480 * tuplets);
}

std::string SizeText(double bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
    size_t unit = 0;
    while (bytes >= 1000 && unit + 1 < std::size(units)) {
        bytes /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes,
                  unit == 0 && bytes == 1 ? "byte" : units[unit]);
    return text;
}

}  // namespace

namespace {

int WritePreset(const GenerateOptions& options, std::ostream& out, std::ostream& err) {
    const ScorePreset& preset = *FindScorePreset(options.Preset);
    SetActivity("building the score");
    const NamedScore score = preset.Make();
    std::string error;
    if (options.OutPath.empty()) {
        WriteScore([&](std::string_view piece) {
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        }, score.Document);
        out.flush();
        return kExitOk;
    }
    SetActivity("writing", options.OutPath);
    if (!WriteScoreFile(score.Document, options.OutPath, error)) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    out << options.OutPath << ": " << preset.About << "\n";
    return kExitOk;
}

}  // namespace

int WriteGeneratedScore(const GenerateOptions& options, std::ostream& out, std::ostream& err) {
    if (!options.Preset.empty())
        return WritePreset(options, out, err);
    SetActivity("generating the score");
    std::optional<ScoreGenerator> generator;
    try {
        generator.emplace(options.Score);
    } catch (const std::invalid_argument& problem) {
        err << ProgramName() << ": generate: " << problem.what() << "\n";
        return kExitUsage;
    }
    // The score is written as it is made, a cell at a time: only the disk
    // limits its size, so the disk is asked first.
    if (!options.OutPath.empty()) {
        const uint64_t needed = EstimatedFileSize(options.Score, generator->EntryCount());
        std::error_code code;
        const std::filesystem::path folder =
            std::filesystem::absolute(options.OutPath, code).parent_path();
        const std::filesystem::space_info space = std::filesystem::space(folder, code);
        if (!code && needed > space.available) {
            err << ProgramName() << ": generate: the score would take about " << SizeText(needed)
                << ", but the disk of " << options.OutPath << " has "
                << SizeText(static_cast<double>(space.available)) << " free\n";
            return kExitFailure;
        }
    }
    AtomicFile file;
    std::string error;
    if (!options.OutPath.empty() && !file.Open(options.OutPath, error)) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    ScoreWriter writer([&](std::string_view piece) {
        if (options.OutPath.empty())
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        else
            file.Write(piece);
    });
    writer.Begin(generator->Head());
    CellKey cell;
    std::vector<Entry> entries;
    std::map<RecordKey, Bytes> tuplets;
    while (generator->NextCell(cell, entries, tuplets))
        writer.Cell(cell, entries, tuplets);
    const RecordKey defaults{kTupletDefaultsTag, kTupletDefaultsKeys};
    writer.End(generator->Head(), [&](const RecordKey& key) { return key != defaults; });
    if (options.OutPath.empty()) {
        out.flush();
        return kExitOk;
    }
    SetActivity("writing", options.OutPath);
    if (!file.Commit(error)) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    const GeneratedCounts& counts = generator->Counts();
    out << options.OutPath << ": " << counts.Cells << " cells, " << counts.Entries
        << " entries, " << counts.EntriesWithTuplets << " with tuplets, " << counts.Tuplets
        << " tuplets (" << counts.Matching << " equal to the defaults, " << counts.PositionOnly
        << " different only in position, " << counts.OtherFields << " in other fields)\n";
    return kExitOk;
}

int GenerateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    GenerateOptions options;
    std::string error;
    if (const auto status = ReportParse(ParseGenerateOptions(args, options, error), "generate",
                                        kGenerateHelp, error, out, err)) {
        return *status;
    }
    std::filesystem::path target;
    if (!options.OutPath.empty() && !AtomicFile::Resolve(options.OutPath, target, error)) {
        err << ProgramName() << ": " << error << "\n";
        return kExitFailure;
    }
    return WriteGeneratedScore(options, out, err);
}

}  // namespace sim
