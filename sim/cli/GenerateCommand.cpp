#include "sim/cli/GenerateCommand.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "sim/cli/Cli.h"
#include "sim/score/AtomicFile.h"
#include "sim/score/ScoreFile.h"

namespace sim {

const char* const kGenerateHelp =
    R"(usage: melvara-sim generate --measures M --staves S --layers L --entries E
                            [--tuplet-share P] [--seed N] [--out FILE]

Writes a score of M measures x S staves x L layers with E note entries in
each layer of each cell, for tests and benchmarks of any size. A share P of
the entries carries 1 to 3 tuplets; a third of the tuplets equal the
defaults, a third differ only in their position, a third in other fields.
The same seed gives the same score. Without --out the score goes to
standard output; with it, a line of counts does.

Options
  --measures M           1 to 32767
  --staves S             1 to 32767 (staves 1 to S in slots 1 to S)
  --layers L             1 to 20
  --entries E            0 to 32767 per layer of each cell
  --tuplet-share P       0 to 1 (default 0.25)
  --seed N               0 to 9223372036854775807 (default 1)
  --out FILE             write the score to FILE (atomically; FILE must be a
                         regular file that may be written, or not exist yet)
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
    parser.Text("--out", options.OutPath);
    const ParseResult result = parser.Parse(args, error);
    if (result != ParseResult::Ok)
        return result;
    score.Seed = static_cast<uint64_t>(seed);
    if (score.Measures == 0 || score.Staves == 0 || score.Layers == 0 || score.Entries < 0) {
        error = "generate needs --measures, --staves, --layers and --entries";
        return ParseResult::Error;
    }
    return ParseResult::Ok;
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
        err << "melvara-sim: " << error << "\n";
        return kExitFailure;
    }
    GeneratedCounts counts;
    Score score;
    try {
        score = GenerateScore(options.Score, &counts);
    } catch (const std::invalid_argument& problem) {
        err << "melvara-sim: generate: " << problem.what() << "\n";
        return kExitUsage;
    }
    if (options.OutPath.empty()) {
        out << FormatScore(score);
        return kExitOk;
    }
    if (!WriteScoreFile(score, options.OutPath, error)) {
        err << "melvara-sim: " << error << "\n";
        return kExitFailure;
    }
    out << options.OutPath << ": " << counts.Cells << " cells, " << counts.Entries << " entries, "
        << counts.EntriesWithTuplets << " with tuplets, " << counts.Tuplets << " tuplets ("
        << counts.Matching << " equal to the defaults, " << counts.PositionOnly
        << " different only in position, " << counts.OtherFields << " in other fields)\n";
    return kExitOk;
}

}  // namespace sim
