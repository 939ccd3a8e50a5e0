#include "sim/score/ScoreDiff.h"

#include <cstdio>
#include <set>

namespace sim {
namespace {

constexpr const char* kNone = "(none)";

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string HexBytes(const Bytes& bytes) {
    if (bytes.empty())
        return "(empty)";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        if (i > 0 && i % 2 == 0)
            text += ' ';
        text += pair;
    }
    return text;
}

std::string LayerList(const std::set<int16_t>& layers) {
    if (layers.empty())
        return "none";
    std::string text;
    for (int16_t layer : layers)
        text += (text.empty() ? "" : ",") + std::to_string(layer + 1);
    return text;
}

std::string NotesText(const std::vector<NoteBlock>& notes) {
    std::string text = std::to_string(notes.size());
    for (const NoteBlock& note : notes) {
        text += " [" + HexBytes(Bytes(note.begin(), note.end())) + "]";
    }
    return text;
}

class Differ {
  public:
    Differ(const Score& before, const Score& after) : Before(before), After(after) {}

    std::vector<ScoreChange> Run() {
        ScoreLevel();
        Staves();
        Entries();
        Records();
        return Changes;
    }

  private:
    void Add(ScoreChange::Kind kind, std::string where, std::string field, std::string oldValue,
             std::string newValue) {
        ScoreChange change;
        change.What = kind;
        change.Where = std::move(where);
        change.Field = std::move(field);
        change.Old = std::move(oldValue);
        change.New = std::move(newValue);
        Changes.push_back(std::move(change));
    }

    template <typename T>
    void Compare(ScoreChange::Kind kind, const std::string& where, const char* field,
                 const T& oldValue, const T& newValue, std::string (*text)(const T&)) {
        if (oldValue != newValue)
            Add(kind, where, field, text(oldValue), text(newValue));
    }

    void ScoreLevel() {
        const auto kind = ScoreChange::Kind::Score;
        if (Before.Description != After.Description) {
            Add(kind, "score", "description", Before.Description, After.Description);
        }
        auto number = [](const int16_t& v) { return std::to_string(v); };
        Compare<int16_t>(kind, "score", "document", Before.Document, After.Document, number);
        Compare<int16_t>(kind, "score", "measures", Before.Measures, After.Measures, number);
        Compare<int16_t>(kind, "score", "layers", Before.LayerCount, After.LayerCount, number);
        Compare<std::set<int16_t>>(kind, "score", "hidden layers", Before.HiddenLayers,
                                   After.HiddenLayers, LayerList);
    }

    void Staves() {
        std::set<int16_t> numbers;
        for (const Staff& s : Before.Staves)
            numbers.insert(s.Number);
        for (const Staff& s : After.Staves)
            numbers.insert(s.Number);
        const auto kind = ScoreChange::Kind::Staff;
        for (int16_t number : numbers) {
            const Staff* old = Before.FindStaff(number);
            const Staff* now = After.FindStaff(number);
            const std::string where = "staff " + std::to_string(number);
            auto text = [](const Staff& s) {
                return "slot " + std::to_string(s.Slot) + ", scope " + std::to_string(s.Scope);
            };
            if (old == nullptr || now == nullptr) {
                Add(kind, where, "staff", old ? text(*old) : kNone, now ? text(*now) : kNone);
                continue;
            }
            if (old->Slot != now->Slot) {
                Add(kind, where, "slot", std::to_string(old->Slot), std::to_string(now->Slot));
            }
            if (old->Scope != now->Scope) {
                Add(kind, where, "scope", std::to_string(old->Scope), std::to_string(now->Scope));
            }
        }
    }

    static std::string CellText(const CellKey& cell) {
        return "staff " + std::to_string(cell.Staff) + ", measure " + std::to_string(cell.Measure) +
               ", layer " + std::to_string(cell.Layer + 1);
    }

    void Entries() {
        std::map<uint32_t, std::pair<CellKey, size_t>> oldPlaces;
        std::map<uint32_t, std::pair<CellKey, size_t>> newPlaces;
        std::set<uint32_t> numbers;
        for (const auto& [cell, entries] : Before.Cells) {
            for (size_t i = 0; i < entries.size(); ++i) {
                oldPlaces[entries[i].Number] = {cell, i};
                numbers.insert(entries[i].Number);
            }
        }
        for (const auto& [cell, entries] : After.Cells) {
            for (size_t i = 0; i < entries.size(); ++i) {
                newPlaces[entries[i].Number] = {cell, i};
                numbers.insert(entries[i].Number);
            }
        }
        const auto kind = ScoreChange::Kind::Entry;
        for (uint32_t number : numbers) {
            const std::string where = "entry " + std::to_string(number);
            auto old = oldPlaces.find(number);
            auto now = newPlaces.find(number);
            if (old == oldPlaces.end() || now == newPlaces.end()) {
                Add(kind, where, "entry",
                    old == oldPlaces.end() ? kNone : CellText(old->second.first),
                    now == newPlaces.end() ? kNone : CellText(now->second.first));
                continue;
            }
            const auto& [oldCell, oldIndex] = old->second;
            const auto& [newCell, newIndex] = now->second;
            if (oldCell != newCell || oldIndex != newIndex) {
                Add(kind, where, "place",
                    CellText(oldCell) + ", item " + std::to_string(oldIndex + 1),
                    CellText(newCell) + ", item " + std::to_string(newIndex + 1));
            }
            const Entry& a = Before.Cells.at(oldCell)[oldIndex];
            const Entry& b = After.Cells.at(newCell)[newIndex];
            if (a.Flags != b.Flags)
                Add(kind, where, "flags", Hex(a.Flags, 8), Hex(b.Flags, 8));
            if (a.Position != b.Position) {
                Add(kind, where, "position", std::to_string(a.Position),
                    std::to_string(b.Position));
            }
            if (a.Notes != b.Notes)
                Add(kind, where, "notes", NotesText(a.Notes), NotesText(b.Notes));
        }
    }

    std::string TupletPlace(uint32_t entry, uint16_t index, uint16_t fourth) const {
        CellKey cell;
        std::string place;
        if (After.FindEntry(entry, &cell) != nullptr || Before.FindEntry(entry, &cell) != nullptr) {
            place = "tuplet at " + CellText(cell) + ", entry " + std::to_string(entry);
        } else {
            place = "tuplet of entry " + std::to_string(entry) + " (no such entry)";
        }
        place += ", index " + std::to_string(index);
        if (fourth != 0)
            place += ", key word 4 " + std::to_string(fourth);
        return place;
    }

    void Records() {
        std::set<RecordKey> keys;
        for (const auto& [key, bytes] : Before.Records)
            keys.insert(key);
        for (const auto& [key, bytes] : After.Records)
            keys.insert(key);
        for (const RecordKey& key : keys) {
            const Bytes* old = Before.FindRecord(key.Tag, key.Words);
            const Bytes* now = After.FindRecord(key.Tag, key.Words);
            if (old != nullptr && now != nullptr && *old == *now)
                continue;

            ScoreChange::Kind kind = ScoreChange::Kind::Record;
            std::string where = "record " + TagLabel(key.Tag) + " " + KeysText(key.Words);
            bool named = false;
            if (key.Tag == kTupletTag) {
                kind = ScoreChange::Kind::Tuplet;
                where = TupletPlace(EntryNumberOf(key.Words), key.Words[2], key.Words[3]);
                named = true;
            } else if (key.Tag == kTupletDefaultsTag && key.Words == kTupletDefaultsKeys) {
                kind = ScoreChange::Kind::Defaults;
                where = "defaults";
                named = true;
            }
            const size_t first = Changes.size();
            if (old == nullptr || now == nullptr) {
                Add(kind, where, "record", old ? HexBytes(*old) : kNone,
                    now ? HexBytes(*now) : kNone);
            } else if (old->size() != now->size()) {
                Add(kind, where, "bytes", HexBytes(*old), HexBytes(*now));
            } else if (named && old->size() == TupletDefinition::kSize) {
                for (const TupletWord& word : TupletWords()) {
                    const uint16_t a = WordAt(*old, word.Offset);
                    const uint16_t b = WordAt(*now, word.Offset);
                    if (a == b)
                        continue;
                    Add(kind, where, word.Name, word.Hex ? Hex(a, 4) : std::to_string(a),
                        word.Hex ? Hex(b, 4) : std::to_string(b));
                }
            } else if (old->size() % 2 == 0) {
                for (size_t i = 0; i < old->size(); i += 2) {
                    const uint16_t a = WordAt(*old, i);
                    const uint16_t b = WordAt(*now, i);
                    if (a != b)
                        Add(kind, where, "word " + std::to_string(i / 2), Hex(a, 4), Hex(b, 4));
                }
            } else {
                for (size_t i = 0; i < old->size(); ++i) {
                    if ((*old)[i] == (*now)[i])
                        continue;
                    Add(kind, where, "byte " + std::to_string(i), Hex((*old)[i], 2),
                        Hex((*now)[i], 2));
                }
            }
            for (size_t i = first; i < Changes.size(); ++i) {
                if (kind == ScoreChange::Kind::Tuplet) {
                    Changes[i].EntryNumber = EntryNumberOf(key.Words);
                    Changes[i].Index = key.Words[2];
                }
            }
        }
    }

    const Score& Before;
    const Score& After;
    std::vector<ScoreChange> Changes;
};

}  // namespace

std::string ScoreChange::Describe() const {
    if (Field == "record") {
        if (Old == kNone)
            return Where + ": created, " + New;
        if (New == kNone)
            return Where + ": deleted, was " + Old;
    }
    if (Field == "staff" || Field == "entry") {
        if (Old == kNone)
            return Where + ": added at " + New;
        if (New == kNone)
            return Where + ": removed from " + Old;
    }
    return Where + ": " + Field + " " + Old + " -> " + New;
}

std::vector<ScoreChange> DiffScores(const Score& before, const Score& after) {
    return Differ(before, after).Run();
}

}  // namespace sim
