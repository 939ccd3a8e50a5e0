#include "sim/cli/GenerateCommand.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "sim/cli/Activity.h"
#include "sim/cli/RunCommand.h"
#include "sim/score/AtomicFile.h"
#include "sim/score/ScoreFile.h"
#include "sim/score/ScoreWriter.h"

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
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

}  // namespace

int WriteGeneratedScore(const GenerateOptions& options, std::ostream& out, std::ostream& err) {
    SetActivity("generating the score");
    std::optional<ScoreGenerator> generator;
    try {
        generator.emplace(options.Score);
    } catch (const std::invalid_argument& problem) {
        err << "melvara-sim: generate: " << problem.what() << "\n";
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
            err << "melvara-sim: generate: the score would take about " << SizeText(needed)
                << ", but the disk of " << options.OutPath << " has "
                << SizeText(static_cast<double>(space.available)) << " free\n";
            return kExitFailure;
        }
    }
    AtomicFile file;
    std::string error;
    if (!options.OutPath.empty() && !file.Open(options.OutPath, error)) {
        err << "melvara-sim: " << error << "\n";
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
        err << "melvara-sim: " << error << "\n";
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
    std::string error;
    const std::optional<GenerateOptions> options = ParseGenerateOptions(args, error);
    if (!options) {
        err << "melvara-sim: " << error
            << "\n(melvara-sim --help lists the commands and options)\n";
        return kExitUsage;
    }
    return WriteGeneratedScore(*options, out, err);
}

}  // namespace sim
