#include "sim/score/ScoreFile.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>

#include "sim/score/AtomicFile.h"
#include "sim/score/JsonLocator.h"

namespace sim {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr const char* kFormat = "melvara-sim score 1";
// Inline containers up to this width; wider ones get one item per line.
constexpr size_t kLineWidth = 100;

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

std::string Hex(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "-12", "0x1F", "-0x10": decimal or hex text of an integer.
std::optional<int64_t> ParseIntegerText(std::string_view text) {
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return std::nullopt;
        if (value > (std::numeric_limits<uint64_t>::max() - static_cast<unsigned>(digit)) / base) {
            return std::nullopt;
        }
        value = value * base + static_cast<unsigned>(digit);
    }
    if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return std::nullopt;
    const auto magnitude = static_cast<int64_t>(value);
    return negative ? -magnitude : magnitude;
}

std::string Dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// ---------------------------------------------------------------------------
// Reading

class Reader {
  public:
    Reader(std::string file, const JsonLocator& locator)
        : File(std::move(file)), Locator(locator) {}

    Score Read(const Json& root);

  private:
    [[noreturn]] void Fail(const std::string& pointer, const std::string& problem) const {
        throw ScoreFileError(File, Locator.LineOf(pointer), pointer, problem);
    }

    static std::string Found(const Json& value) {
        std::string text = Dump(value);
        if (text.size() > 40)
            text = text.substr(0, 37) + "...";
        return text;
    }

    void Object(const Json& value, const std::string& pointer,
                std::initializer_list<const char*> allowed) const {
        if (!value.is_object())
            Fail(pointer, "expected an object, found " + Found(value));
        for (const auto& item : value.items()) {
            const bool known = std::any_of(allowed.begin(), allowed.end(),
                                           [&](const char* name) { return item.key() == name; });
            if (known)
                continue;
            std::string names;
            for (const char* name : allowed)
                names += std::string(names.empty() ? "" : ", ") + name;
            Fail(pointer + "/" + JsonLocator::EscapeKey(item.key()),
                 "unknown field \"" + item.key() + "\" (expected " + names + ")");
        }
    }

    const Json& Array(const Json& value, const std::string& pointer) const {
        if (!value.is_array())
            Fail(pointer, "expected an array, found " + Found(value));
        return value;
    }

    std::string String(const Json& value, const std::string& pointer) const {
        if (!value.is_string())
            Fail(pointer, "expected a string, found " + Found(value));
        return value.get<std::string>();
    }

    int64_t Integer(const Json& value, const std::string& pointer, int64_t low,
                    int64_t high) const {
        std::optional<int64_t> number;
        if (value.is_number_unsigned()) {
            const auto raw = value.get<uint64_t>();
            if (raw <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                number = static_cast<int64_t>(raw);
            }
        } else if (value.is_number_integer()) {
            number = value.get<int64_t>();
        } else if (value.is_string()) {
            number = ParseIntegerText(value.get<std::string>());
            if (!number)
                Fail(pointer, "not a decimal or \"0x...\" hex number: " + Found(value));
        } else {
            Fail(pointer,
                 "expected an integer (decimal, or a \"0x...\" hex string), found " + Found(value));
        }
        if (!number || *number < low || *number > high) {
            Fail(pointer, "expected a number from " + std::to_string(low) + " to " +
                              std::to_string(high) + ", found " + Found(value));
        }
        return *number;
    }

    template <typename T>
    T Field(const Json& object, const char* name, const std::string& pointer, int64_t low,
            int64_t high, T fallback) const {
        auto found = object.find(name);
        if (found == object.end())
            return fallback;
        return static_cast<T>(Integer(*found, pointer + "/" + name, low, high));
    }

    template <typename T>
    T Required(const Json& object, const char* name, const std::string& pointer, int64_t low,
               int64_t high) const {
        if (!object.contains(name))
            Fail(pointer, "missing field \"" + std::string(name) + "\"");
        return Field<T>(object, name, pointer, low, high, T{});
    }

    uint16_t Word(const Json& value, const std::string& pointer) const {
        return static_cast<uint16_t>(Integer(value, pointer, -32768, 65535));
    }

    Bytes HexBytes(const Json& value, const std::string& pointer) const;
    Bytes Words(const Json& value, const std::string& pointer) const;
    Bytes Block(const Json& object, const std::string& pointer, bool withIndex) const;
    void Layers(const Json& value, Score& score) const;
    void Staves(const Json& value, Score& score) const;
    void Cells(const Json& value, Score& score);
    void Entry(const Json& value, const std::string& pointer, const CellKey& cell, Score& score);
    void Records(const Json& value, Score& score);
    void AddRecord(Score& score, uint32_t tag, const Keys& keys, Bytes bytes,
                   const std::string& pointer);

    const std::string File;
    const JsonLocator& Locator;
    std::map<RecordKey, std::string> RecordOrigins;
    std::map<uint32_t, std::string> EntryOrigins;
    std::map<CellKey, std::string> CellOrigins;
};

Bytes Reader::HexBytes(const Json& value, const std::string& pointer) const {
    const std::string text = String(value, pointer);
    Bytes bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        const int digit = HexDigit(c);
        if (digit < 0)
            Fail(pointer, "expected hex digits, found '" + std::string(1, c) + "'");
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0)
        Fail(pointer, "odd number of hex digits: every byte needs two");
    return bytes;
}

Bytes Reader::Words(const Json& value, const std::string& pointer) const {
    Bytes bytes;
    size_t i = 0;
    for (const Json& word : Array(value, pointer)) {
        const uint16_t w = Word(word, pointer + "/" + std::to_string(i++));
        bytes.push_back(static_cast<uint8_t>(w));
        bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    return bytes;
}

// A tuplet definition block: named fields, or raw "bytes" or "words".
Bytes Reader::Block(const Json& object, const std::string& pointer, bool withIndex) const {
    std::vector<const char*> allowed = {"HeadWords", "bytes", "words"};
    for (const TupletWord& field : TupletFields())
        allowed.push_back(field.Name);
    if (withIndex)
        allowed.push_back("index");
    if (!object.is_object())
        Fail(pointer, "expected an object, found " + Found(object));
    for (const auto& item : object.items()) {
        if (std::find_if(allowed.begin(), allowed.end(),
                         [&](const char* name) { return item.key() == name; }) != allowed.end()) {
            continue;
        }
        Fail(pointer + "/" + JsonLocator::EscapeKey(item.key()),
             "unknown field \"" + item.key() +
                 "\" (expected HeadWords, OptionBits, Position1, Position2, Value1, Value2, "
                 "Flags, Value3 ... Value7" +
                 (withIndex ? ", index" : "") + ", or bytes or words alone)");
    }
    const bool raw = object.contains("bytes") || object.contains("words");
    if (raw) {
        for (const auto& item : object.items()) {
            const std::string& key = item.key();
            if (key == "index" || key == "bytes" || key == "words")
                continue;
            Fail(pointer + "/" + key, "\"" + key + "\" cannot be given together with raw bytes");
        }
        if (object.contains("bytes") && object.contains("words")) {
            Fail(pointer, "give either \"bytes\" or \"words\", not both");
        }
        return object.contains("bytes") ? HexBytes(object["bytes"], pointer + "/bytes")
                                        : Words(object["words"], pointer + "/words");
    }
    Bytes block(TupletDefinition::kSize, 0);
    if (auto head = object.find("HeadWords"); head != object.end()) {
        const std::string at = pointer + "/HeadWords";
        if (!head->is_array() || head->size() != 4) {
            Fail(at, "expected an array of four words, found " + Found(*head));
        }
        for (size_t i = 0; i < 4; ++i) {
            SetWordAt(block, 2 * i, Word((*head)[i], at + "/" + std::to_string(i)));
        }
    }
    for (const TupletWord& field : TupletFields()) {
        if (auto found = object.find(field.Name); found != object.end()) {
            SetWordAt(block, field.Offset, Word(*found, pointer + "/" + field.Name));
        }
    }
    return block;
}

void Reader::AddRecord(Score& score, uint32_t tag, const Keys& keys, Bytes bytes,
                       const std::string& pointer) {
    const RecordKey key{tag, keys};
    auto [origin, fresh] = RecordOrigins.emplace(key, pointer);
    if (!fresh) {
        Fail(pointer, "record " + TagLabel(tag) + " " + KeysText(keys) +
                          " is given twice (also at " + origin->second + ")");
    }
    score.Records[key] = std::move(bytes);
}

void Reader::Layers(const Json& value, Score& score) const {
    Object(value, "/layers", {"count", "hidden"});
    score.LayerCount = Field<int16_t>(value, "count", "/layers", 0, 32767, 4);
    if (auto hidden = value.find("hidden"); hidden != value.end()) {
        size_t i = 0;
        for (const Json& layer : Array(*hidden, "/layers/hidden")) {
            const std::string at = "/layers/hidden/" + std::to_string(i++);
            if (score.LayerCount == 0)
                Fail(at, "the score has no layers");
            const auto number = static_cast<int16_t>(Integer(layer, at, 1, score.LayerCount));
            if (!score.HiddenLayers.insert(static_cast<int16_t>(number - 1)).second) {
                Fail(at, "layer " + std::to_string(number) + " is listed twice");
            }
        }
    }
}

void Reader::Staves(const Json& value, Score& score) const {
    size_t i = 0;
    for (const Json& staff : Array(value, "/staves")) {
        const std::string at = "/staves/" + std::to_string(i++);
        Object(staff, at, {"slot", "staff", "scope"});
        Staff s;
        s.Slot = Required<int16_t>(staff, "slot", at, 1, 32767);
        s.Number = Required<int16_t>(staff, "staff", at, 1, 32767);
        s.Scope = Field<uint16_t>(staff, "scope", at, 0, 65535, 0);
        if (score.FindStaffBySlot(s.Slot) != nullptr) {
            Fail(at + "/slot", "slot " + std::to_string(s.Slot) + " is given twice");
        }
        if (score.FindStaff(s.Number) != nullptr) {
            Fail(at + "/staff", "staff " + std::to_string(s.Number) + " is given twice");
        }
        score.Staves.push_back(s);
    }
    std::sort(score.Staves.begin(), score.Staves.end(),
              [](const Staff& a, const Staff& b) { return a.Slot < b.Slot; });
}

void Reader::Entry(const Json& value, const std::string& at, const CellKey& cell, Score& score) {
    Object(value, at, {"entry", "position", "flags", "notes", "tuplets"});
    sim::Entry entry;
    entry.Number = Required<uint32_t>(value, "entry", at, 0, 0xFFFFFFFF);
    auto [origin, fresh] = EntryOrigins.emplace(entry.Number, at);
    if (!fresh) {
        Fail(at + "/entry", "entry number " + std::to_string(entry.Number) +
                                " is used twice (also at " + origin->second + ")");
    }
    entry.Position = Field<int32_t>(value, "position", at, std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int32_t>::max(), 0);
    const bool hasTuplets =
        value.contains("tuplets") && value["tuplets"].is_array() && !value["tuplets"].empty();
    entry.Flags =
        Field<uint32_t>(value, "flags", at, 0, 0xFFFFFFFF, hasTuplets ? kEntryHasTuplets : 0);
    if (auto notes = value.find("notes"); notes != value.end()) {
        const std::string notesAt = at + "/notes";
        if (notes->is_array()) {
            if (notes->size() > kMaxNotesPerEntry) {
                Fail(notesAt, "an entry record holds at most 12 notes, found " +
                                  std::to_string(notes->size()));
            }
            size_t n = 0;
            for (const Json& note : *notes) {
                const std::string noteAt = notesAt + "/" + std::to_string(n++);
                const Bytes bytes = HexBytes(note, noteAt);
                if (bytes.size() != 10) {
                    Fail(noteAt,
                         "a note block has 10 bytes, found " + std::to_string(bytes.size()));
                }
                NoteBlock block{};
                std::copy(bytes.begin(), bytes.end(), block.begin());
                entry.Notes.push_back(block);
            }
        } else {
            entry.Notes.resize(static_cast<size_t>(Integer(*notes, notesAt, 0, kMaxNotesPerEntry)));
        }
    }
    if (auto tuplets = value.find("tuplets"); tuplets != value.end()) {
        int next = 0;
        size_t i = 0;
        for (const Json& tuplet : Array(*tuplets, at + "/tuplets")) {
            const std::string tupletAt = at + "/tuplets/" + std::to_string(i++);
            Bytes block = Block(tuplet, tupletAt, true);
            uint16_t index = static_cast<uint16_t>(next);
            if (tuplet.contains("index")) {
                index =
                    static_cast<uint16_t>(Integer(tuplet["index"], tupletAt + "/index", 0, 65535));
            } else if (next > 65535) {
                Fail(tupletAt, "no index left after 65535");
            }
            next = index + 1;
            AddRecord(score, kTupletTag, TupletKeys(entry.Number, index), std::move(block),
                      tupletAt);
        }
    }
    score.Cells[cell].push_back(std::move(entry));
}

void Reader::Cells(const Json& value, Score& score) {
    size_t i = 0;
    for (const Json& cell : Array(value, "/cells")) {
        const std::string at = "/cells/" + std::to_string(i++);
        Object(cell, at, {"measure", "staff", "layer", "entries"});
        CellKey key;
        key.Staff = Required<int16_t>(cell, "staff", at, 1, 32767);
        if (score.FindStaff(key.Staff) == nullptr) {
            Fail(at + "/staff", "no staff " + std::to_string(key.Staff) + " in \"staves\"");
        }
        if (score.Measures < 1)
            Fail(at, "the score has no measures");
        key.Measure = Required<int16_t>(cell, "measure", at, 1, score.Measures);
        if (score.LayerCount < 1)
            Fail(at, "the score has no layers");
        key.Layer =
            static_cast<int16_t>(Required<int16_t>(cell, "layer", at, 1, score.LayerCount) - 1);
        auto [origin, fresh] = CellOrigins.emplace(key, at);
        if (!fresh) {
            Fail(at, "staff " + std::to_string(key.Staff) + ", measure " +
                         std::to_string(key.Measure) + ", layer " + std::to_string(key.Layer + 1) +
                         " is given twice (also at " + origin->second + ")");
        }
        score.Cells[key];
        if (auto entries = cell.find("entries"); entries != cell.end()) {
            size_t e = 0;
            for (const Json& entry : Array(*entries, at + "/entries")) {
                Entry(entry, at + "/entries/" + std::to_string(e++), key, score);
            }
        }
    }
}

void Reader::Records(const Json& value, Score& score) {
    size_t i = 0;
    for (const Json& record : Array(value, "/records")) {
        const std::string at = "/records/" + std::to_string(i++);
        Object(record, at, {"tag", "keys", "bytes", "words"});
        if (!record.contains("tag"))
            Fail(at, "missing field \"tag\"");
        const std::string tagText = String(record["tag"], at + "/tag");
        const std::optional<uint32_t> tag = ParseTag(tagText);
        if (!tag) {
            Fail(at + "/tag", "expected four characters or \"0x\" and eight hex digits, found \"" +
                                  tagText + "\"");
        }
        if (!record.contains("keys"))
            Fail(at, "missing field \"keys\"");
        const Json& keyWords = record["keys"];
        if (!keyWords.is_array() || keyWords.size() != 4) {
            Fail(at + "/keys", "expected an array of four key words, found " + Found(keyWords));
        }
        Keys keys{};
        for (size_t k = 0; k < 4; ++k) {
            keys[k] = static_cast<uint16_t>(
                Integer(keyWords[k], at + "/keys/" + std::to_string(k), 0, 65535));
        }
        const bool bytes = record.contains("bytes");
        const bool words = record.contains("words");
        if (bytes == words)
            Fail(at, "give the record's contents as \"bytes\" or as \"words\"");
        AddRecord(score, *tag, keys,
                  bytes ? HexBytes(record["bytes"], at + "/bytes")
                        : Words(record["words"], at + "/words"),
                  at);
    }
}

Score Reader::Read(const Json& root) {
    Object(root, "",
           {"format", "description", "document", "measures", "layers", "staves", "defaults",
            "cells", "records"});
    Score score;
    if (auto format = root.find("format"); format != root.end()) {
        if (String(*format, "/format") != kFormat) {
            Fail("/format", "expected \"" + std::string(kFormat) + "\", found " + Found(*format));
        }
    }
    if (auto description = root.find("description"); description != root.end()) {
        score.Description = String(*description, "/description");
    }
    score.Document = Field<int16_t>(root, "document", "", -32768, 32767, 1);
    score.Measures = Field<int16_t>(root, "measures", "", 0, 32767, 1);
    if (auto layers = root.find("layers"); layers != root.end())
        Layers(*layers, score);
    if (auto staves = root.find("staves"); staves != root.end())
        Staves(*staves, score);
    if (auto defaults = root.find("defaults"); defaults != root.end()) {
        AddRecord(score, kTupletDefaultsTag, kTupletDefaultsKeys,
                  Block(*defaults, "/defaults", false), "/defaults");
    }
    if (auto cells = root.find("cells"); cells != root.end())
        Cells(*cells, score);
    if (auto records = root.find("records"); records != root.end())
        Records(*records, score);
    return score;
}

// ---------------------------------------------------------------------------
// Writing

OrderedJson Number16(uint16_t value, bool hex) {
    return hex ? OrderedJson(Hex(value, 4)) : OrderedJson(value);
}

OrderedJson KeysJson(const Keys& keys) {
    OrderedJson words = OrderedJson::array();
    for (uint16_t word : keys)
        words.push_back(Number16(word, word >= 0x8000));
    return words;
}

std::string HexText(const uint8_t* bytes, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        if (i > 0 && i % 2 == 0)
            text += ' ';
        text += pair;
    }
    return text;
}

// Bytes of a record as "words" when there is an even number of them.
void PutContents(OrderedJson& object, const Bytes& bytes) {
    if (bytes.size() % 2 != 0) {
        object["bytes"] = HexText(bytes.data(), bytes.size());
        return;
    }
    OrderedJson words = OrderedJson::array();
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const auto word = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
        words.push_back(Number16(word, word >= 0x8000));
    }
    object["words"] = words;
}

void PutBlock(OrderedJson& object, const Bytes& bytes) {
    if (bytes.size() != TupletDefinition::kSize) {
        object["bytes"] = HexText(bytes.data(), bytes.size());
        return;
    }
    OrderedJson head = OrderedJson::array();
    for (size_t i = 0; i < 4; ++i)
        head.push_back(WordAt(bytes, 2 * i));
    object["HeadWords"] = head;
    for (const TupletWord& field : TupletFields()) {
        object[field.Name] = Number16(WordAt(bytes, field.Offset), field.Hex);
    }
}

bool AllZero(const NoteBlock& block) {
    return std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0; });
}

OrderedJson EntryJson(const Score& score, const Entry& entry, std::set<RecordKey>& written) {
    OrderedJson object;
    object["entry"] = entry.Number;
    object["position"] = entry.Position;
    object["flags"] = Hex(entry.Flags, 8);
    if (std::all_of(entry.Notes.begin(), entry.Notes.end(), AllZero)) {
        object["notes"] = entry.Notes.size();
    } else {
        OrderedJson notes = OrderedJson::array();
        for (const NoteBlock& note : entry.Notes)
            notes.push_back(HexText(note.data(), note.size()));
        object["notes"] = notes;
    }
    OrderedJson tuplets = OrderedJson::array();
    for (uint16_t index : score.TupletIndices(entry.Number)) {
        const RecordKey key{kTupletTag, TupletKeys(entry.Number, index)};
        OrderedJson tuplet;
        tuplet["index"] = index;
        PutBlock(tuplet, score.Records.at(key));
        tuplets.push_back(tuplet);
        written.insert(key);
    }
    if (!tuplets.empty())
        object["tuplets"] = tuplets;
    return object;
}

OrderedJson ToJson(const Score& score) {
    OrderedJson root;
    std::set<RecordKey> written;
    root["format"] = kFormat;
    root["description"] = score.Description;
    root["document"] = score.Document;
    root["measures"] = score.Measures;
    OrderedJson layers;
    layers["count"] = score.LayerCount;
    OrderedJson hidden = OrderedJson::array();
    for (int16_t layer : score.HiddenLayers)
        hidden.push_back(layer + 1);
    layers["hidden"] = hidden;
    root["layers"] = layers;
    OrderedJson staves = OrderedJson::array();
    for (const Staff& staff : score.Staves) {
        OrderedJson s;
        s["slot"] = staff.Slot;
        s["staff"] = staff.Number;
        s["scope"] = staff.Scope;
        staves.push_back(s);
    }
    root["staves"] = staves;
    const RecordKey defaultsKey{kTupletDefaultsTag, kTupletDefaultsKeys};
    if (auto defaults = score.Records.find(defaultsKey); defaults != score.Records.end()) {
        OrderedJson block = OrderedJson::object();
        PutBlock(block, defaults->second);
        root["defaults"] = block;
        written.insert(defaultsKey);
    }
    // Cells by measure, then slot, then layer: the order of the score.
    std::vector<const std::pair<const CellKey, std::vector<Entry>>*> cells;
    for (const auto& cell : score.Cells)
        cells.push_back(&cell);
    auto slotOf = [&](int16_t staff) {
        const Staff* s = score.FindStaff(staff);
        return s == nullptr ? staff : s->Slot;
    };
    std::stable_sort(cells.begin(), cells.end(), [&](const auto* a, const auto* b) {
        return std::tuple(a->first.Measure, slotOf(a->first.Staff), a->first.Layer) <
               std::tuple(b->first.Measure, slotOf(b->first.Staff), b->first.Layer);
    });
    OrderedJson cellsJson = OrderedJson::array();
    for (const auto* cell : cells) {
        OrderedJson c;
        c["measure"] = cell->first.Measure;
        c["staff"] = cell->first.Staff;
        c["layer"] = cell->first.Layer + 1;
        OrderedJson entries = OrderedJson::array();
        for (const Entry& entry : cell->second)
            entries.push_back(EntryJson(score, entry, written));
        c["entries"] = entries;
        cellsJson.push_back(c);
    }
    root["cells"] = cellsJson;
    OrderedJson records = OrderedJson::array();
    for (const auto& [key, bytes] : score.Records) {
        if (written.count(key) != 0)
            continue;
        OrderedJson record;
        record["tag"] = TagText(key.Tag);
        record["keys"] = KeysJson(key.Words);
        PutContents(record, bytes);
        records.push_back(record);
    }
    root["records"] = records;
    return root;
}

std::string Scalar(const OrderedJson& value) {
    return value.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

// The value on one line, items separated by ", ".
std::string Inline(const OrderedJson& value) {
    if (value.is_array()) {
        std::string text = "[";
        for (size_t i = 0; i < value.size(); ++i)
            text += (i ? ", " : "") + Inline(value[i]);
        return text + "]";
    }
    if (value.is_object()) {
        std::string text = "{";
        bool first = true;
        for (const auto& item : value.items()) {
            text +=
                (first ? "" : ", ") + Scalar(OrderedJson(item.key())) + ": " + Inline(item.value());
            first = false;
        }
        return text + "}";
    }
    return Scalar(value);
}

// Scalars and containers of scalars may go on one line.
bool Flat(const OrderedJson& value, int depth = 0) {
    if (!value.is_structured())
        return true;
    if (depth >= 2)
        return false;
    for (const auto& item : value) {
        if (!Flat(item, depth + 1))
            return false;
    }
    return true;
}

void Emit(std::string& out, const OrderedJson& value, size_t indent, size_t column) {
    if (!value.is_structured()) {
        out += Scalar(value);
        return;
    }
    const std::string line = Inline(value);
    if (value.empty() || (Flat(value) && column + line.size() + 1 <= kLineWidth)) {
        out += line;
        return;
    }
    const std::string pad(indent + 2, ' ');
    out += value.is_array() ? "[\n" : "{\n";
    size_t i = 0;
    for (const auto& item : value.items()) {
        out += pad;
        size_t at = pad.size();
        if (value.is_object()) {
            const std::string key = Scalar(OrderedJson(item.key())) + ": ";
            out += key;
            at += key.size();
        }
        Emit(out, item.value(), indent + 2, at);
        out += ++i < value.size() ? ",\n" : "\n";
    }
    out += std::string(indent, ' ') + (value.is_array() ? "]" : "}");
}

}  // namespace

ScoreFileError::ScoreFileError(std::string file, int line, std::string pointer, std::string problem)
    : std::runtime_error(Describe(file, line, pointer, problem)),
      File(std::move(file)),
      Line(line),
      Pointer(std::move(pointer)),
      Problem(std::move(problem)) {}

Score ParseScore(std::string_view text, const std::string& fileName) {
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error& e) {
        const auto [line, column] = LineAndColumn(text, e.byte == 0 ? 0 : e.byte - 1);
        std::string problem = e.what();
        // "[json.exception.parse_error.101] parse error at line 3, column 5: syntax error ..."
        if (auto colon = problem.find(": "); colon != std::string::npos) {
            problem = problem.substr(colon + 2);
        }
        throw ScoreFileError(fileName, line, "",
                             "not valid JSON (column " + std::to_string(column) + "): " + problem);
    }
    const JsonLocator locator(text);
    return Reader(fileName, locator).Read(root);
}

std::string FormatScore(const Score& score) {
    std::string out;
    Emit(out, ToJson(score), 0, 0);
    out += "\n";
    return out;
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
    return WriteFileAtomically(path, FormatScore(score), error);
}

}  // namespace sim
