// Comparing two scores field by field.
#include "sim/score/ScoreDiff.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "sim/support/Text.h"

namespace sim {
namespace {

constexpr const char* kNone = "(none)";

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
        text += (text.empty() ? "" : ",") + std::to_string(layer);
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
               ", layer " + std::to_string(cell.Layer);
    }

    // Where each entry lies, by number; of numbers given twice the last.
    struct Place {
        uint32_t Number = 0;
        const CellKey* Cell = nullptr;
        size_t Index = 0;
    };

    static std::vector<Place> Places(const Score& score) {
        std::vector<Place> places;
        size_t count = 0;
        for (const auto& cell : score.Cells)
            count += cell.second.size();
        places.reserve(count);
        for (const auto& [cell, entries] : score.Cells) {
            for (size_t i = 0; i < entries.size(); ++i)
                places.push_back({entries[i].Number, &cell, i});
        }
        const auto byNumber = [](const Place& a, const Place& b) { return a.Number < b.Number; };
        if (!std::is_sorted(places.begin(), places.end(), byNumber))
            std::stable_sort(places.begin(), places.end(), byNumber);
        std::vector<Place> unique;
        unique.reserve(places.size());
        for (size_t i = 0; i < places.size(); ++i) {
            if (i + 1 == places.size() || places[i + 1].Number != places[i].Number)
                unique.push_back(places[i]);
        }
        return unique;
    }

    static const Place* Find(const std::vector<Place>& places, uint32_t number) {
        auto found = std::lower_bound(
            places.begin(), places.end(), number,
            [](const Place& place, uint32_t value) { return place.Number < value; });
        return found != places.end() && found->Number == number ? &*found : nullptr;
    }

    void Entries() {
        OldPlaces = Places(Before);
        NewPlaces = Places(After);
        const auto kind = ScoreChange::Kind::Entry;
        size_t i = 0;
        size_t j = 0;
        while (i < OldPlaces.size() || j < NewPlaces.size()) {
            const Place* old = i < OldPlaces.size() ? &OldPlaces[i] : nullptr;
            const Place* now = j < NewPlaces.size() ? &NewPlaces[j] : nullptr;
            if (old != nullptr && now != nullptr && old->Number != now->Number) {
                if (old->Number < now->Number)
                    now = nullptr;
                else
                    old = nullptr;
            }
            i += old != nullptr;
            j += now != nullptr;
            const uint32_t number = old != nullptr ? old->Number : now->Number;
            const std::string where = "entry " + std::to_string(number);
            if (old == nullptr || now == nullptr) {
                Add(kind, where, "entry", old == nullptr ? kNone : CellText(*old->Cell),
                    now == nullptr ? kNone : CellText(*now->Cell));
                continue;
            }
            if (*old->Cell != *now->Cell || old->Index != now->Index) {
                Add(kind, where, "place",
                    CellText(*old->Cell) + ", item " + std::to_string(old->Index + 1),
                    CellText(*now->Cell) + ", item " + std::to_string(now->Index + 1));
            }
            const Entry& a = Before.Cells.at(*old->Cell)[old->Index];
            const Entry& b = After.Cells.at(*now->Cell)[now->Index];
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
        const Place* place = Find(NewPlaces, entry);
        if (place == nullptr)
            place = Find(OldPlaces, entry);
        std::string text =
            place != nullptr
                ? "tuplet at " + CellText(*place->Cell) + ", entry " + std::to_string(entry)
                : "tuplet of entry " + std::to_string(entry) + " (no such entry)";
        text += ", index " + std::to_string(index);
        if (fourth != 0)
            text += ", key word 4 " + std::to_string(fourth);
        return text;
    }

    void Records() {
        // Both maps in key order, side by side.
        auto left = Before.Records.begin();
        auto right = After.Records.begin();
        while (left != Before.Records.end() || right != After.Records.end()) {
            const bool hasOld = left != Before.Records.end() &&
                                (right == After.Records.end() || left->first <= right->first);
            const bool hasNew = right != After.Records.end() &&
                                (left == Before.Records.end() || right->first <= left->first);
            const RecordKey key = hasOld ? left->first : right->first;
            const Bytes* old = hasOld ? &(left++)->second : nullptr;
            const Bytes* now = hasNew ? &(right++)->second : nullptr;
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
    std::vector<Place> OldPlaces;
    std::vector<Place> NewPlaces;
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
