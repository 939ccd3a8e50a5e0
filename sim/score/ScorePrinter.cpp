// Printing a score for people to read.
#include "sim/score/ScorePrinter.h"

#include <algorithm>
#include <map>

#include "sim/support/Text.h"

namespace sim {
namespace {

std::string WordText(uint16_t word) {
    return word >= 0x8000 ? Hex(word, 4) : std::to_string(word);
}

std::string RawText(const Bytes& bytes) {
    if (bytes.empty())
        return "no bytes";
    std::string text;
    if (bytes.size() % 2 == 0) {
        text = "words";
        for (size_t i = 0; i < bytes.size(); i += 2)
            text += " " + WordText(WordAt(bytes, i));
        return text;
    }
    text = "bytes";
    for (uint8_t b : bytes)
        text += " " + Hex(b, 2).substr(2);
    return text;
}

// "Position2, Value1": the named fields in which a block differs from the defaults.
std::string Unlike(const Bytes& block, const Bytes& defaults) {
    std::string names;
    for (const TupletWord& field : TupletFields()) {
        if (WordAt(block, field.Offset) != WordAt(defaults, field.Offset)) {
            names += (names.empty() ? "" : ", ") + std::string(field.Name);
        }
    }
    return names;
}

// Breaks a text into lines of at most width characters, at spaces.
std::string Wrap(const std::string& text, size_t width) {
    std::string out;
    size_t column = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        if (column > 0 && column + 1 + word.size() > width) {
            out += "\n";
            column = 0;
        } else if (column > 0) {
            out += " ";
            ++column;
        }
        out += word;
        column += word.size();
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string DefinitionText(const Bytes& block, const std::string& breakBeforeFlags) {
    if (block.size() != TupletDefinition::kSize) {
        return std::to_string(block.size()) + (block.size() == 1 ? " byte" : " bytes") +
               ", not a definition block: " + RawText(block);
    }
    std::string text = "HeadWords";
    for (size_t i = 0; i < 4; ++i)
        text += " " + std::to_string(WordAt(block, 2 * i));
    for (const TupletWord& field : TupletFields()) {
        const uint16_t word = WordAt(block, field.Offset);
        text += std::string(field.Offset == 18 ? "," + breakBeforeFlags : ", ") + field.Name + " " +
                (field.Hex ? Hex(word, 4) : std::to_string(word));
    }
    return text;
}

void PrintScore(std::ostream& out, const Score& score) {
    if (!score.Description.empty())
        out << Wrap(score.Description, 100) << "\n\n";
    // Layers as the host counts them, from 0 (the file counts from 1).
    out << "Document " << score.Document << ", " << score.Measures
        << (score.Measures == 1 ? " measure, " : " measures, ") << score.LayerCount
        << (score.LayerCount == 1 ? " layer (0)" : " layers (0 to ")
        << (score.LayerCount == 1 ? "" : std::to_string(score.LayerCount - 1) + ")");
    if (score.HiddenLayers.empty()) {
        out << ", all shown\n";
    } else {
        std::string hidden;
        for (int16_t layer : score.HiddenLayers) {
            hidden += (hidden.empty() ? "" : ", ") + std::to_string(layer);
        }
        out << ", hidden: " << hidden << "\n";
    }

    out << "\nStaves\n";
    if (score.Staves.empty())
        out << "  none\n";
    for (const Staff& staff : score.Staves) {
        out << "  slot " << staff.Slot << ": staff " << staff.Number << ", scope " << staff.Scope
            << "\n";
    }

    const Bytes* defaults = score.FindRecord(kTupletDefaultsTag, kTupletDefaultsKeys);
    const bool comparable = defaults != nullptr && defaults->size() == TupletDefinition::kSize;
    out << "\nDefault Tuplet Definition ('pfTP' {1,0,0,0})\n  "
        << (defaults == nullptr ? "none" : DefinitionText(*defaults, "\n  ")) << "\n";

    std::map<int16_t, int16_t> slots;
    for (auto staff = score.Staves.rbegin(); staff != score.Staves.rend(); ++staff)
        slots[staff->Number] = staff->Slot;
    auto slotOf = [&](int16_t staff) {
        auto found = slots.find(staff);
        return found == slots.end() ? staff : found->second;
    };
    std::vector<const std::pair<const CellKey, std::vector<Entry>>*> cells;
    std::vector<uint32_t> entryNumbers;
    for (const auto& cell : score.Cells) {
        if (!cell.second.empty())
            cells.push_back(&cell);
        for (const Entry& entry : cell.second)
            entryNumbers.push_back(entry.Number);
    }
    std::sort(entryNumbers.begin(), entryNumbers.end());
    const auto hasEntry = [&](uint32_t number) {
        return std::binary_search(entryNumbers.begin(), entryNumbers.end(), number);
    };
    std::stable_sort(cells.begin(), cells.end(), [&](const auto* a, const auto* b) {
        return std::tuple(a->first.Measure, slotOf(a->first.Staff), a->first.Layer) <
               std::tuple(b->first.Measure, slotOf(b->first.Staff), b->first.Layer);
    });
    int16_t measure = 0;
    if (cells.empty())
        out << "\nNo note entries\n";
    for (const auto* cell : cells) {
        const CellKey& key = cell->first;
        if (key.Measure != measure) {
            measure = key.Measure;
            out << "\nMeasure " << measure << "\n";
        }
        out << "  staff " << key.Staff << " (slot " << slotOf(key.Staff) << "), layer "
            << key.Layer << (score.IsLayerShown(key.Layer) ? "" : " (hidden)") << "\n";
        for (const Entry& entry : cell->second) {
            const std::vector<uint16_t> indices = score.TupletIndices(entry.Number);
            const bool flagged = (entry.Flags & kEntryHasTuplets) != 0;
            out << "    entry " << entry.Number << " at " << entry.Position << ", flags "
                << Hex(entry.Flags, 8) << ", " << entry.Notes.size()
                << (entry.Notes.size() == 1 ? " note" : " notes");
            if (flagged && indices.empty())
                out << "; tuplet flag set but no tuplet records";
            if (!flagged && !indices.empty())
                out << "; tuplet flag clear, so its tuplets are not visited";
            out << "\n";
            for (uint16_t index : indices) {
                const RecordKey recordKey{kTupletTag, TupletKeys(entry.Number, index)};
                const Bytes& block = score.Records.at(recordKey);
                const std::string indent(16 + std::to_string(index).size(), ' ');
                out << "      tuplet " << index << ": " << DefinitionText(block, "\n" + indent)
                    << "\n";
                if (comparable && block.size() == TupletDefinition::kSize) {
                    const std::string unlike = Unlike(block, *defaults);
                    out << indent
                        << (unlike.empty() ? "fields as the defaults"
                                           : "unlike the defaults in " + unlike)
                        << "\n";
                }
            }
        }
    }

    bool header = false;
    // Those not shown above: the defaults and the tuplets of the entries.
    for (const auto& [key, bytes] : score.Records) {
        if (defaults != nullptr && key.Tag == kTupletDefaultsTag && key.Words == kTupletDefaultsKeys)
            continue;
        if (key.Tag == kTupletTag && key.Words[3] == 0 && hasEntry(EntryNumberOf(key.Words)))
            continue;
        if (!header)
            out << "\nOther records\n";
        header = true;
        out << "  " << TagLabel(key.Tag) << " " << KeysText(key.Words) << ": " << RawText(bytes);
        if (key.Tag == kTupletTag && !hasEntry(EntryNumberOf(key.Words))) {
            out << "  (no entry " << EntryNumberOf(key.Words) << ")";
        }
        out << "\n";
    }
}

}  // namespace sim
