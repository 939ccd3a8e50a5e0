#include "sim/cli/GenerateCommand.h"

#include <cstdlib>
#include <stdexcept>

#include "sim/cli/RunCommand.h"
#include "sim/score/ScoreFile.h"

namespace sim {
namespace {

bool ParseInteger(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const long long number = std::strtoll(text.c_str(), &end, 0);
    if (*end != 0 || number < low || number > high)
        return false;
    value = number;
    return true;
}

bool ParseShare(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (*end != 0 || !(number >= 0.0 && number <= 1.0))
        return false;
    value = number;
    return true;
}

}  // namespace

std::optional<GenerateOptions> ParseGenerateOptions(const std::vector<std::string>& args,
                                                    std::string& error) {
    GenerateOptions options;
    bool measures = false, staves = false, layers = false, entries = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            error = option + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        long long number = 0;
        const auto integer = [&](long long low, long long high) {
            if (ParseInteger(value, low, high, number))
                return true;
            error = option + ": a number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not " + value;
            return false;
        };
        if (option == "--measures") {
            if (!integer(1, 32767))
                return std::nullopt;
            options.Score.Measures = static_cast<int16_t>(number);
            measures = true;
        } else if (option == "--staves") {
            if (!integer(1, 32767))
                return std::nullopt;
            options.Score.Staves = static_cast<int16_t>(number);
            staves = true;
        } else if (option == "--layers") {
            if (!integer(1, 20))
                return std::nullopt;
            options.Score.Layers = static_cast<int16_t>(number);
            layers = true;
        } else if (option == "--entries") {
            if (!integer(0, 32767))
                return std::nullopt;
            options.Score.Entries = static_cast<int32_t>(number);
            entries = true;
        } else if (option == "--tuplet-share") {
            if (!ParseShare(value, options.Score.TupletShare)) {
                error = "--tuplet-share: a number from 0 to 1, not " + value;
                return std::nullopt;
            }
        } else if (option == "--seed") {
            if (!integer(0, 0x7FFFFFFFFFFFFFFFll))
                return std::nullopt;
            options.Score.Seed = static_cast<uint64_t>(number);
        } else if (option == "--out") {
            options.OutPath = value;
        } else {
            error = "generate: unknown option " + option;
            return std::nullopt;
        }
    }
    if (!measures || !staves || !layers || !entries) {
        error = "generate needs --measures, --staves, --layers and --entries";
        return std::nullopt;
    }
    return options;
}

int GenerateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string error;
    const std::optional<GenerateOptions> options = ParseGenerateOptions(args, error);
    if (!options) {
        err << "melvara-sim: " << error
            << "\n(melvara-sim --help lists the commands and options)\n";
        return kExitUsage;
    }
    GeneratedCounts counts;
    Score score;
    try {
        score = GenerateScore(options->Score, &counts);
    } catch (const std::invalid_argument& problem) {
        err << "melvara-sim: generate: " << problem.what() << "\n";
        return kExitUsage;
    }
    if (options->OutPath.empty()) {
        out << FormatScore(score);
        return kExitOk;
    }
    if (!WriteScoreFile(score, options->OutPath, error)) {
        err << "melvara-sim: " << error << "\n";
        return kExitFailure;
    }
    out << options->OutPath << ": " << counts.Cells << " cells, " << counts.Entries
        << " entries, " << counts.EntriesWithTuplets << " with tuplets, " << counts.Tuplets
        << " tuplets (" << counts.Matching << " equal to the defaults, " << counts.PositionOnly
        << " different only in position, " << counts.OtherFields << " in other fields)\n";
    return kExitOk;
}

}  // namespace sim
