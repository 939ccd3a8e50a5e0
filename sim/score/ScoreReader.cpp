// Reading score files into a score.
//
// Reading score files: one pass over the text with the pull parser, straight
// into the score, every problem named with its line and JSON pointer.
#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <map>
#include <optional>

#include "sim/score/ScoreFile.h"
#include "sim/support/JsonQuote.h"
#include "sim/support/JsonReader.h"
#include "sim/support/Numbers.h"

namespace sim {
namespace {

using Type = JsonReader::Type;

constexpr size_t kMaxFields = 16;

// A JSON integer token ("-12"); nothing when it does not fit 64 bits.
std::optional<int64_t> ParseIntegerToken(std::string_view token) {
    const bool negative = !token.empty() && token[0] == '-';
    if (negative)
        token.remove_prefix(1);
    uint64_t value = 0;
    for (char c : token) {
        const auto digit = static_cast<unsigned>(c - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + negative;
    if (value > limit)
        return std::nullopt;
    return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

// At most max bytes of a text for a message.
std::string Cut(std::string_view text, size_t max = 40) {
    if (text.size() <= max)
        return std::string(text);
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end)) + "...";
}

std::string EscapeKey(std::string_view key) {
    std::string escaped;
    for (char c : key) {
        if (c == '~') {
            escaped += "~0";
        } else if (c == '/') {
            escaped += "~1";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string Join(std::span<const std::string_view> names) {
    std::string text;
    for (std::string_view name : names)
        text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

// Where something was first given, for "given twice (also at ...)": kept
// for every entry and record, so a few numbers rather than a pointer's text.
struct Origin {
    enum class Kind : uint8_t { Defaults, Record, Cell, Entry, Tuplet };
    Kind What = Kind::Defaults;
    int Line = 0;
    uint32_t Cell = 0;   // or the record's place in "records"
    uint32_t Entry = 0;
    uint32_t Item = 0;   // the tuplet's place in "tuplets"

    std::string Pointer() const {
        switch (What) {
            case Kind::Defaults:
                return "/defaults";
            case Kind::Record:
                return "/records/" + std::to_string(Cell);
            case Kind::Cell:
                return "/cells/" + std::to_string(Cell);
            case Kind::Entry:
                return "/cells/" + std::to_string(Cell) + "/entries/" + std::to_string(Entry);
            case Kind::Tuplet:
                return "/cells/" + std::to_string(Cell) + "/entries/" + std::to_string(Entry) +
                       "/tuplets/" + std::to_string(Item);
        }
        return "";
    }
    std::string Text() const { return Pointer() + ", line " + std::to_string(Line); }
};

constexpr std::string_view kRootFields[] = {"format",   "description", "document",
                                            "measures", "layers",      "staves",
                                            "defaults", "cells",       "records"};
enum RootField { kFormatField, kDescription, kDocument, kMeasures, kLayers, kStaves, kDefaults,
                 kCells, kRecords };

// The fields of a tuplet definition block: the head words, the eleven named
// words in the order of TupletFields(), raw contents, and a tuplet's index.
constexpr std::string_view kBlockFields[] = {
    "HeadWords", "OptionBits", "Position1", "Position2", "Value1", "Value2", "Flags",
    "Value3",    "Value4",     "Value5",    "Value6",    "Value7", "bytes",  "words", "index"};
constexpr size_t kHeadWordsField = 0;
constexpr size_t kFirstNamedWord = 1;
constexpr size_t kNamedWords = 11;
constexpr size_t kBytesField = 12;
constexpr size_t kWordsField = 13;
constexpr size_t kIndexField = 14;

// What an object held: the line of its brace and of each field given (0 for
// none), in the order of the names it was read with.
struct Fields {
    int Line = 0;
    std::array<int, kMaxFields> Lines{};
    bool Has(size_t field) const { return Lines[field] != 0; }
};

class Reader {
  public:
    Reader(std::string_view text, const std::string& file) : Json(text), File(file) {}

    Score Read();

  private:
    // --- Places and errors -------------------------------------------------

    struct Segment {
        std::string_view Key;  // empty for an array item
        size_t Index = 0;
    };

    // Steps into a member or an item for as long as it lives.
    class Step {
      public:
        Step(Reader& reader, std::string_view key) : Owner(reader) { Owner.Path.push_back({key, 0}); }
        Step(Reader& reader, size_t index) : Owner(reader) { Owner.Path.push_back({{}, index}); }
        ~Step() { Owner.Path.pop_back(); }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

      private:
        Reader& Owner;
    };

    std::string Pointer() const {
        std::string pointer;
        for (const Segment& segment : Path) {
            pointer += '/';
            pointer += segment.Key.empty() ? std::to_string(segment.Index) : EscapeKey(segment.Key);
        }
        return pointer;
    }

    [[noreturn]] void Throw(int line, const std::string& pointer, const std::string& problem) const {
        throw ScoreFileError(File, line, pointer, problem);
    }
    // At the current place.
    [[noreturn]] void Fail(int line, const std::string& problem) const {
        Throw(line, Pointer(), problem);
    }
    // At a member of the current object.
    [[noreturn]] void FailAt(std::string_view member, int line, const std::string& problem) const {
        Throw(line, Pointer() + "/" + EscapeKey(member), problem);
    }

    // --- Values ------------------------------------------------------------

    // The next value must be of this type.
    int Expect(Type type, const char* what) {
        const int line = (Json.Peek(), Json.Line());
        if (Json.Peek() != type)
            Fail(line, std::string("expected ") + what + ", found " + Json.Preview());
        return line;
    }

    // An object's fields, each read by field(index in names, line). Unknown
    // and repeated names are refused.
    template <typename ReadField>
    Fields Object(std::span<const std::string_view> names, const std::string& expected,
                  ReadField&& field) {
        Fields fields;
        fields.Line = Expect(Type::Object, "an object");
        Json.BeginObject();
        std::string_view key;
        for (bool first = true; Json.NextKey(first, key); first = false) {
            const auto found = std::find(names.begin(), names.end(), key);
            Json.Peek();
            const int line = Json.Line();
            if (found == names.end()) {
                const std::string name(key);
                FailAt(name, line,
                       "unknown field " + JsonQuote(name) + " (expected " +
                           (expected.empty() ? Join(names) : expected) + ")");
            }
            const auto index = static_cast<size_t>(found - names.begin());
            if (fields.Has(index)) {
                FailAt(*found, line,
                       JsonQuote(*found) + " is given twice (first at line " +
                           std::to_string(fields.Lines[index]) + ")");
            }
            fields.Lines[index] = line;
            Step step(*this, *found);
            field(index, line);
        }
        return fields;
    }

    // Each item of an array, read by item(index, line).
    template <typename ReadItem>
    int Array(ReadItem&& item) {
        const int line = Expect(Type::Array, "an array");
        Json.BeginArray();
        size_t index = 0;
        for (bool first = true; Json.NextItem(first); first = false) {
            Json.Peek();
            const int at = Json.Line();
            Step step(*this, index);
            item(index++, at);
        }
        return line;
    }

    std::string_view String() {
        Expect(Type::String, "a string");
        return Json.ReadString();
    }

    int64_t Integer(int64_t low, int64_t high) {
        const int line = (Json.Peek(), Json.Line());
        std::optional<int64_t> number;
        std::string found;
        switch (Json.Peek()) {
            case Type::Number: {
                bool integral = false;
                const std::string_view token = Json.ReadNumber(integral);
                found = Cut(token);
                if (!integral) {
                    Fail(line, "expected an integer (decimal, or a \"0x...\" hex string), found " +
                                   found);
                }
                number = ParseIntegerToken(token);
                break;
            }
            case Type::String: {
                const std::string_view text = Json.ReadString();
                found = JsonQuote(Cut(text));
                int64_t value = 0;
                switch (ReadInteger(text, std::numeric_limits<int64_t>::min(),
                                    std::numeric_limits<int64_t>::max(), value)) {
                    case NumberProblem::None:
                        number = value;
                        break;
                    case NumberProblem::Malformed:
                        Fail(line, "not a decimal or \"0x...\" hex number: " + found);
                    case NumberProblem::LeadingZero:
                        Fail(line, found + " starts with 0, which leaves octal or decimal open: "
                                           "write it in decimal without leading zeros, or as "
                                           "0x and hex digits");
                    case NumberProblem::OutOfRange:
                        break;
                }
                break;
            }
            default:
                Fail(line, "expected an integer (decimal, or a \"0x...\" hex string), found " +
                               Json.Preview());
        }
        if (!number || *number < low || *number > high) {
            Fail(line, "expected a number from " + std::to_string(low) + " to " +
                           std::to_string(high) + ", found " + found);
        }
        return *number;
    }

    uint16_t Word() { return static_cast<uint16_t>(Integer(-32768, 65535)); }

    Bytes HexBytes() {
        const int line = Expect(Type::String, "a string of hex digits");
        const std::string_view text = Json.ReadString();
        Bytes bytes;
        bytes.reserve(text.size() / 2);
        int high = -1;
        for (char c : text) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
                continue;
            const int digit = HexDigit(c);
            if (digit < 0)
                Fail(line, "expected hex digits, found " + JsonQuote(std::string_view(&c, 1)));
            if (high < 0) {
                high = digit;
            } else {
                bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
                high = -1;
            }
        }
        if (high >= 0)
            Fail(line, "odd number of hex digits: every byte needs two");
        return bytes;
    }

    Bytes Words() {
        Bytes bytes;
        Array([&](size_t, int) {
            const uint16_t word = Word();
            bytes.push_back(static_cast<uint8_t>(word));
            bytes.push_back(static_cast<uint8_t>(word >> 8));
        });
        return bytes;
    }

    // An array of exactly count words.
    template <size_t N>
    std::array<uint16_t, N> FixedWords(const char* what) {
        const JsonReader::Mark start = Json.Here();
        std::array<uint16_t, N> words{};
        size_t count = 0;
        const auto wrong = [&] {
            Json.Seek(start);
            const int line = (Json.Peek(), Json.Line());
            Fail(line, std::string("expected an array of ") + what + ", found " + Json.Preview());
        };
        if (Json.Peek() != Type::Array)
            wrong();
        Array([&](size_t, int) {
            if (count == N)
                wrong();
            words[count++] = Word();
        });
        if (count != N)
            wrong();
        return words;
    }

    // --- The parts of a score ---------------------------------------------

    Bytes Block(bool tuplet, std::optional<uint16_t>* index);
    void Layers();
    void Staves();
    void Cells();
    void Cell(size_t index, int line);
    void Entry(size_t cell, size_t index, std::vector<sim::Entry>& entries);
    void Records();
    void AddRecord(const RecordKey& key, Bytes bytes, const Origin& origin);
    void StoreRecords();
    void CheckEntryNumbers() const;

    template <typename Key>
    static const Origin& FirstOrigin(const std::vector<std::pair<Key, Origin>>& places,
                                     const Key& key) {
        return std::find_if(places.begin(), places.end(),
                            [&](const auto& place) { return place.first == key; })
            ->second;
    }

    JsonReader Json;
    const std::string& File;
    std::vector<Segment> Path;
    Score Result;
    std::array<bool, 32768> StaffNumbers{};
    std::array<bool, 32768> Slots{};
    // Where each record, entry and cell was given, in file order: looked
    // through only to report one given twice. Lists rather than hash maps,
    // which on a million records cost more than the rest of the reading.
    struct Record {
        RecordKey Key;
        Origin Place;
        Bytes Contents;
    };
    // Stored in the score once all are read, in key order: the keys of
    // tuplet records of entries numbered in order are not in order (the low
    // word of the entry number comes first), and a tree built in key order
    // costs a fraction of one built at random.
    std::vector<Record> Given;
    std::vector<std::pair<uint32_t, Origin>> EntryPlaces;
    bool EntriesAscending = true;  // then no number can be given twice
    std::vector<std::pair<CellKey, Origin>> CellPlaces;
};

// A tuplet definition block: the named fields, or raw "bytes" or "words"
// alone; a tuplet's also its "index".
Bytes Reader::Block(bool tuplet, std::optional<uint16_t>* index) {
    const std::span<const std::string_view> names(kBlockFields, tuplet ? 15 : 14);
    const std::string expected =
        std::string("HeadWords, OptionBits, Position1, Position2, Value1, Value2, Flags, Value3 "
                    "... Value7") +
        (tuplet ? ", index" : "") + ", or bytes or words alone";
    Bytes named(TupletDefinition::kSize, 0);
    Bytes raw;
    size_t firstNamed = 0;  // the first named field given, in file order
    const Fields fields = Object(names, expected, [&](size_t field, int) {
        if (field == kIndexField) {
            *index = static_cast<uint16_t>(Integer(0, 65535));
        } else if (field == kBytesField) {
            raw = HexBytes();
        } else if (field == kWordsField) {
            raw = Words();
        } else {
            if (firstNamed == 0)
                firstNamed = field + 1;
            if (field == kHeadWordsField) {
                const auto head = FixedWords<4>("four words");
                for (size_t i = 0; i < 4; ++i)
                    SetWordAt(named, 2 * i, head[i]);
            } else {
                SetWordAt(named, TupletFields()[field - kFirstNamedWord].Offset, Word());
            }
        }
    });
    if (fields.Has(kBytesField) && fields.Has(kWordsField))
        Fail(fields.Line, "give either \"bytes\" or \"words\", not both");
    if (fields.Has(kBytesField) || fields.Has(kWordsField)) {
        if (firstNamed != 0) {
            const std::string_view name = kBlockFields[firstNamed - 1];
            FailAt(name, fields.Lines[firstNamed - 1],
                   JsonQuote(name) + " cannot be given together with raw bytes");
        }
        return raw;
    }
    std::vector<std::string_view> missing;
    for (size_t field = kFirstNamedWord; field < kFirstNamedWord + kNamedWords; ++field) {
        if (!fields.Has(field))
            missing.push_back(kBlockFields[field]);
    }
    if (missing.size() == kNamedWords) {
        Fail(fields.Line, std::string("no fields given: a tuplet definition needs OptionBits, "
                                      "Position1, Position2, Value1, Value2, Flags, Value3 ... "
                                      "Value7 (HeadWords may be left out: 0, 0, 0, 0), or "
                                      "\"bytes\" or \"words\" alone"));
    }
    if (!missing.empty()) {
        std::string list;
        for (std::string_view name : missing)
            list += (list.empty() ? "" : ", ") + JsonQuote(name);
        Fail(fields.Line, (missing.size() == 1 ? "missing field " : "missing fields ") + list +
                              " (every field but HeadWords must be given)");
    }
    return named;
}

void Reader::AddRecord(const RecordKey& key, Bytes bytes, const Origin& origin) {
    Given.push_back({key, origin, std::move(bytes)});
}

// Records given twice are found here: of those, the one given second that
// stands first in the file is reported.
void Reader::StoreRecords() {
    std::vector<uint32_t> order(Given.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<uint32_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return Given[a].Key < Given[b].Key; });
    std::optional<std::pair<uint32_t, uint32_t>> twice;
    for (size_t k = 1; k < order.size(); ++k) {
        if (Given[order[k]].Key == Given[order[k - 1]].Key &&
            (!twice || order[k] < twice->second)) {
            twice = {order[k - 1], order[k]};
        }
    }
    if (twice) {
        const Record& first = Given[twice->first];
        const Record& second = Given[twice->second];
        Throw(second.Place.Line, second.Place.Pointer(),
              "record " + TagLabel(second.Key.Tag) + " " + KeysText(second.Key.Words) +
                  " is given twice (also at " + first.Place.Text() + ")");
    }
    for (uint32_t index : order) {
        Result.Records.emplace_hint(Result.Records.end(), Given[index].Key,
                                    std::move(Given[index].Contents));
    }
    Given = {};
}

// Entry numbers given twice, found once every entry is read: the second
// time one is given, counted in the order of the file.
void Reader::CheckEntryNumbers() const {
    if (EntriesAscending)
        return;
    std::vector<size_t> order(EntryPlaces.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return EntryPlaces[a].first < EntryPlaces[b].first;
    });
    std::optional<std::pair<size_t, size_t>> twice;  // first and second, by place in the file
    for (size_t k = 1; k < order.size(); ++k) {
        if (EntryPlaces[order[k]].first == EntryPlaces[order[k - 1]].first &&
            (!twice || order[k] < twice->second)) {
            twice = {order[k - 1], order[k]};
        }
    }
    if (!twice)
        return;
    const auto& [number, second] = EntryPlaces[twice->second];
    Throw(second.Line, second.Pointer() + "/entry",
          "entry number " + std::to_string(number) + " is used twice (also at " +
              EntryPlaces[twice->first].second.Text() + ")");
}

void Reader::Layers() {
    struct Hidden {
        int64_t Layer;
        int Line;
    };
    std::vector<Hidden> hidden;
    constexpr std::string_view names[] = {"count", "hidden"};
    Object(names, "", [&](size_t field, int) {
        if (field == 0) {
            Result.LayerCount = static_cast<int16_t>(Integer(0, 32767));
        } else {
            Array([&](size_t, int line) {
                hidden.push_back({Integer(std::numeric_limits<int64_t>::min(),
                                          std::numeric_limits<int64_t>::max()),
                                  line});
            });
        }
    });
    // Checked once the count is known, wherever it stands.
    for (size_t i = 0; i < hidden.size(); ++i) {
        const std::string at = Pointer() + "/hidden/" + std::to_string(i);
        if (Result.LayerCount == 0)
            Throw(hidden[i].Line, at, "the score has no layers");
        if (hidden[i].Layer < 1 || hidden[i].Layer > Result.LayerCount) {
            Throw(hidden[i].Line, at,
                  "expected a number from 1 to " + std::to_string(Result.LayerCount) + ", found " +
                      std::to_string(hidden[i].Layer));
        }
        if (!Result.HiddenLayers.insert(static_cast<int16_t>(hidden[i].Layer - 1)).second) {
            Throw(hidden[i].Line, at,
                  "layer " + std::to_string(hidden[i].Layer) + " is listed twice");
        }
    }
}

void Reader::Staves() {
    constexpr std::string_view names[] = {"slot", "staff", "scope"};
    Array([&](size_t, int) {
        Staff staff;
        const Fields fields = Object(names, "", [&](size_t field, int) {
            if (field == 0)
                staff.Slot = static_cast<int16_t>(Integer(1, 32767));
            else if (field == 1)
                staff.Number = static_cast<int16_t>(Integer(1, 32767));
            else
                staff.Scope = static_cast<uint16_t>(Integer(0, 65535));
        });
        for (size_t field : {0, 1}) {
            if (!fields.Has(field))
                Fail(fields.Line, "missing field " + JsonQuote(names[field]));
        }
        if (Slots[static_cast<size_t>(staff.Slot)]) {
            FailAt("slot", fields.Lines[0],
                   "slot " + std::to_string(staff.Slot) + " is given twice");
        }
        if (StaffNumbers[static_cast<size_t>(staff.Number)]) {
            FailAt("staff", fields.Lines[1],
                   "staff " + std::to_string(staff.Number) + " is given twice");
        }
        Slots[static_cast<size_t>(staff.Slot)] = true;
        StaffNumbers[static_cast<size_t>(staff.Number)] = true;
        Result.Staves.push_back(staff);
    });
    std::stable_sort(Result.Staves.begin(), Result.Staves.end(),
                     [](const Staff& a, const Staff& b) { return a.Slot < b.Slot; });
}

void Reader::Entry(size_t cell, size_t index, std::vector<sim::Entry>& entries) {
    struct Tuplet {
        std::optional<uint16_t> Index;
        Bytes Block;
        int Line;
    };
    constexpr std::string_view names[] = {"entry", "position", "flags", "notes", "tuplets"};
    sim::Entry entry;
    std::optional<uint32_t> flags;
    std::vector<Tuplet> tuplets;
    const Fields fields = Object(names, "", [&](size_t field, int) {
        switch (field) {
            case 0:
                entry.Number = static_cast<uint32_t>(Integer(0, 0xFFFFFFFF));
                break;
            case 1:
                entry.Position = static_cast<int32_t>(Integer(std::numeric_limits<int32_t>::min(),
                                                              std::numeric_limits<int32_t>::max()));
                break;
            case 2:
                flags = static_cast<uint32_t>(Integer(0, 0xFFFFFFFF));
                break;
            case 3:
                if (Json.Peek() != Type::Array) {
                    entry.Notes.resize(static_cast<size_t>(Integer(0, kMaxNotesPerEntry)));
                    break;
                }
                Array([&](size_t, int at) {
                    if (entry.Notes.size() == kMaxNotesPerEntry) {
                        Fail(at, "an entry record holds at most " +
                                     std::to_string(kMaxNotesPerEntry) + " notes");
                    }
                    const Bytes bytes = HexBytes();
                    if (bytes.size() != std::tuple_size_v<NoteBlock>) {
                        Fail(at, "a note block has 10 bytes, found " + std::to_string(bytes.size()));
                    }
                    NoteBlock& note = entry.Notes.emplace_back();
                    std::copy(bytes.begin(), bytes.end(), note.begin());
                });
                break;
            default:
                Array([&](size_t, int at) {
                    Tuplet& tuplet = tuplets.emplace_back();
                    tuplet.Line = at;
                    tuplet.Block = Block(true, &tuplet.Index);
                });
        }
    });
    if (!fields.Has(0))
        Fail(fields.Line, "missing field \"entry\"");
    const Origin origin{Origin::Kind::Entry, fields.Lines[0], static_cast<uint32_t>(cell),
                        static_cast<uint32_t>(index), 0};
    if (!EntryPlaces.empty() && entry.Number <= EntryPlaces.back().first)
        EntriesAscending = false;
    EntryPlaces.emplace_back(entry.Number, origin);
    // The tuplets' keys need the entry number, which may follow them.
    int next = 0;
    for (size_t i = 0; i < tuplets.size(); ++i) {
        Tuplet& tuplet = tuplets[i];
        const Origin at{Origin::Kind::Tuplet, tuplet.Line, static_cast<uint32_t>(cell),
                        static_cast<uint32_t>(index), static_cast<uint32_t>(i)};
        if (!tuplet.Index && next > 65535)
            Throw(at.Line, at.Pointer(), "no index left after 65535");
        const auto key = static_cast<uint16_t>(tuplet.Index.value_or(static_cast<uint16_t>(next)));
        next = key + 1;
        AddRecord(RecordKey{kTupletTag, TupletKeys(entry.Number, key)}, std::move(tuplet.Block),
                  at);
    }
    entry.Flags = flags.value_or(tuplets.empty() ? 0 : kEntryHasTuplets);
    entries.push_back(std::move(entry));
}

void Reader::Cell(size_t index, int) {
    constexpr std::string_view names[] = {"measure", "staff", "layer", "entries"};
    std::array<int64_t, 3> place{};
    std::vector<sim::Entry> entries;
    const Fields fields = Object(names, "", [&](size_t field, int) {
        if (field < 3) {
            place[field] = Integer(1, 32767);
            return;
        }
        Array([&](size_t entry, int) { Entry(index, entry, entries); });
    });
    for (size_t field : {0, 1, 2}) {
        if (!fields.Has(field))
            Fail(fields.Line, "missing field " + JsonQuote(names[field]));
    }
    CellKey key;
    key.Staff = static_cast<int16_t>(place[1]);
    if (!StaffNumbers[static_cast<size_t>(key.Staff)]) {
        FailAt("staff", fields.Lines[1],
               "no staff " + std::to_string(key.Staff) + " in \"staves\"");
    }
    // The measure and the layer, within the score's.
    const auto within = [&](size_t field, int64_t count, const char* none) {
        if (count < 1)
            Fail(fields.Line, none);
        if (place[field] > count) {
            FailAt(names[field], fields.Lines[field],
                   "expected a number from 1 to " + std::to_string(count) + ", found " +
                       std::to_string(place[field]));
        }
    };
    within(0, Result.Measures, "the score has no measures");
    key.Measure = static_cast<int16_t>(place[0]);
    within(2, Result.LayerCount, "the score has no layers");
    key.Layer = static_cast<int16_t>(place[2] - 1);
    const Origin origin{Origin::Kind::Cell, fields.Line, static_cast<uint32_t>(index), 0, 0};
    const size_t before = Result.Cells.size();
    Result.Cells.emplace_hint(Result.Cells.end(), key, std::move(entries));
    if (Result.Cells.size() == before) {
        Fail(fields.Line, "staff " + std::to_string(key.Staff) + ", measure " +
                              std::to_string(key.Measure) + ", layer " +
                              std::to_string(key.Layer + 1) + " is given twice (also at " +
                              FirstOrigin(CellPlaces, key).Text() + ")");
    }
    CellPlaces.emplace_back(key, origin);
}

void Reader::Cells() {
    Array([&](size_t index, int line) { Cell(index, line); });
}

void Reader::Records() {
    constexpr std::string_view names[] = {"tag", "keys", "bytes", "words"};
    Array([&](size_t index, int) {
        uint32_t tag = 0;
        Keys keys{};
        Bytes contents;
        const Fields fields = Object(names, "", [&](size_t field, int line) {
            if (field == 0) {
                const std::string_view text = String();
                const std::optional<uint32_t> parsed = ParseTag(text);
                if (!parsed) {
                    Fail(line, "expected four characters or \"0x\" and eight hex digits, found " +
                                   JsonQuote(Cut(text)));
                }
                tag = *parsed;
            } else if (field == 1) {
                const auto words = FixedWords<4>("four key words");
                for (size_t k = 0; k < 4; ++k)
                    keys[k] = words[k];
            } else {
                contents = field == 2 ? HexBytes() : Words();
            }
        });
        if (!fields.Has(0))
            Fail(fields.Line, "missing field \"tag\"");
        if (!fields.Has(1))
            Fail(fields.Line, "missing field \"keys\"");
        if (fields.Has(2) == fields.Has(3))
            Fail(fields.Line, "give the record's contents as \"bytes\" or as \"words\"");
        AddRecord(RecordKey{tag, keys}, std::move(contents),
                  Origin{Origin::Kind::Record, fields.Line, static_cast<uint32_t>(index), 0, 0});
    });
}

Score Reader::Read() {
    // Cells are read once the measures, layers and staves are known; before
    // them in the file they are passed over and read at the end.
    std::optional<JsonReader::Mark> cells;
    std::array<bool, std::size(kRootFields)> seen{};
    const Fields fields = Object(kRootFields, "", [&](size_t field, int line) {
        seen[field] = true;
        switch (field) {
            case kFormatField:
                if (const std::string_view format = String(); format != kScoreFormat) {
                    Fail(line, "expected \"" + std::string(kScoreFormat) + "\", found " +
                                   JsonQuote(Cut(format)));
                }
                break;
            case kDescription:
                Result.Description = std::string(String());
                break;
            case kDocument:
                Result.Document = static_cast<int16_t>(Integer(-32768, 32767));
                break;
            case kMeasures:
                Result.Measures = static_cast<int16_t>(Integer(0, 32767));
                break;
            case kLayers:
                Layers();
                break;
            case kStaves:
                Staves();
                break;
            case kDefaults: {
                Bytes block = Block(false, nullptr);
                AddRecord(RecordKey{kTupletDefaultsTag, kTupletDefaultsKeys}, std::move(block),
                          Origin{Origin::Kind::Defaults, line, 0, 0, 0});
                break;
            }
            case kCells:
                if (seen[kMeasures] && seen[kLayers] && seen[kStaves]) {
                    Cells();
                } else {
                    cells = Json.Here();
                    Json.Skip();
                }
                break;
            case kRecords:
                Records();
                break;
        }
    });
    Json.End();
    if (!fields.Has(kMeasures))
        Fail(fields.Line, "missing field \"measures\" (the number of measures in the score)");
    if (cells) {
        Json.Seek(*cells);
        Step step(*this, kRootFields[kCells]);
        Cells();
    }
    CheckEntryNumbers();
    StoreRecords();
    return std::move(Result);
}

}  // namespace

Score ParseScore(std::string_view text, const std::string& fileName) {
    try {
        return Reader(text, fileName).Read();
    } catch (const JsonSyntaxError& e) {
        throw ScoreFileError(fileName, e.Line, "",
                             "not valid JSON (column " + std::to_string(e.Column) + "): " + e.what());
    }
}

}  // namespace sim
