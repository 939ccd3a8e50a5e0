// Score files read and written whole, with the file and place of any problem.
#include "sim/score/ScoreFile.h"

#include <algorithm>
#include <vector>

#include "sim/score/ScoreWriter.h"
#include "sim/support/AtomicFile.h"

namespace sim {
namespace {

std::string Describe(const std::string& file, int line, const std::string& pointer,
                     const std::string& problem) {
    std::string text = file;
    if (line > 0)
        text += ":" + std::to_string(line);
    text += ": ";
    if (!pointer.empty())
        text += pointer + ": ";
    return text + problem;
}

}  // namespace

ScoreFileError::ScoreFileError(std::string file, int line, std::string pointer, std::string problem)
    : std::runtime_error(Describe(file, line, pointer, problem)),
      File(std::move(file)),
      Line(line),
      Pointer(std::move(pointer)),
      Problem(std::move(problem)) {}

void WriteScore(const std::function<void(std::string_view)>& sink, const Score& score) {
    ScoreWriter writer(sink);
    writer.Begin(score);
    // Cells by measure, then slot, then layer: the order of the score.
    std::vector<int16_t> slotOf(65536);
    for (size_t i = 0; i < slotOf.size(); ++i)
        slotOf[i] = static_cast<int16_t>(static_cast<uint16_t>(i));
    for (auto it = score.Staves.rbegin(); it != score.Staves.rend(); ++it)
        slotOf[static_cast<uint16_t>(it->Number)] = it->Slot;
    const auto slot = [&](const CellKey& cell) { return slotOf[static_cast<uint16_t>(cell.Staff)]; };
    std::vector<const std::pair<const CellKey, std::vector<Entry>>*> cells;
    cells.reserve(score.Cells.size());
    std::vector<uint32_t> entryNumbers;
    for (const auto& cell : score.Cells) {
        cells.push_back(&cell);
        for (const Entry& entry : cell.second)
            entryNumbers.push_back(entry.Number);
    }
    std::stable_sort(cells.begin(), cells.end(), [&](const auto* a, const auto* b) {
        return std::tuple(a->first.Measure, slot(a->first), a->first.Layer) <
               std::tuple(b->first.Measure, slot(b->first), b->first.Layer);
    });
    for (const auto* cell : cells)
        writer.Cell(cell->first, cell->second, score.Records);
    // The defaults and the tuplets of the entries are written already.
    std::sort(entryNumbers.begin(), entryNumbers.end());
    const RecordKey defaults{kTupletDefaultsTag, kTupletDefaultsKeys};
    writer.End(score, [&](const RecordKey& key) {
        if (key == defaults)
            return false;
        return key.Tag != kTupletTag || key.Words[3] != 0 ||
               !std::binary_search(entryNumbers.begin(), entryNumbers.end(),
                                   EntryNumberOf(key.Words));
    });
}

std::string FormatScore(const Score& score) {
    std::string text;
    WriteScore([&text](std::string_view piece) { text += piece; }, score);
    return text;
}

std::optional<Score> ReadScoreFile(const std::filesystem::path& path, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text, error))
        return std::nullopt;
    try {
        return ParseScore(text, path.string());
    } catch (const ScoreFileError& e) {
        error = e.what();
        return std::nullopt;
    }
}

bool WriteScoreFile(const Score& score, const std::filesystem::path& path, std::string& error) {
    AtomicFile file;
    if (!file.Open(path, error))
        return false;
    WriteScore([&file](std::string_view piece) { file.Write(piece); }, score);
    return file.Commit(error);
}

}  // namespace sim
