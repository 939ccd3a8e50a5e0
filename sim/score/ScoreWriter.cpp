// Writing score files as a stream, in the layout people read and edit.
#include "sim/score/ScoreWriter.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "sim/score/ScoreFile.h"
#include "sim/support/JsonQuote.h"

namespace sim {
namespace {

// Inline values end before this column.
constexpr size_t kLineWidth = 100;
// The buffer goes out when it reaches this size.
constexpr size_t kFlushSize = 1 << 16;

template <typename T>
void AppendNumber(std::string& out, T value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

template <typename T>
std::string NumberText(T value) {
    std::string text;
    AppendNumber(text, value);
    return text;
}

void AppendHex(std::string& out, uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\"0x";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0xF];
    out += '"';
}

// A word as the file writes it: bit fields (and words of 0x8000 and above
// in keys) in hex, the rest in decimal.
void AppendWord(std::string& out, uint16_t word, bool hex) {
    if (hex)
        AppendHex(out, word, 4);
    else
        AppendNumber(out, word);
}

}  // namespace

std::string HexBytesText(const uint8_t* bytes, size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 5 / 2);
    for (size_t i = 0; i < size; ++i) {
        if (i > 0 && i % 2 == 0)
            text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

ScoreWriter::ScoreWriter(Sink sink) : Out(std::move(sink)) {
    Buffer.reserve(2 * kFlushSize);
}

void ScoreWriter::Flush() {
    if (!Buffer.empty())
        Out(Buffer);
    Buffer.clear();
}

std::string& ScoreWriter::Scalar(std::string_view key) {
    if (FieldCount == Fields.size())
        Fields.emplace_back();
    FlatField& field = Fields[FieldCount++];
    field.Key = key;
    field.List = false;
    field.Text.clear();
    return field.Text;
}

std::vector<std::string>& ScoreWriter::List(std::string_view key, size_t count) {
    if (FieldCount == Fields.size())
        Fields.emplace_back();
    FlatField& field = Fields[FieldCount++];
    field.Key = key;
    field.List = true;
    field.ItemCount = count;
    if (field.Items.size() < count)
        field.Items.resize(count);
    for (size_t i = 0; i < count; ++i)
        field.Items[i].clear();
    return field.Items;
}

void ScoreWriter::WriteList(const FlatField& field, size_t indent, size_t column) {
    Line.assign("[");
    for (size_t i = 0; i < field.ItemCount; ++i) {
        if (i > 0)
            Line += ", ";
        Line += field.Items[i];
    }
    Line += ']';
    if (field.ItemCount == 0 || column + Line.size() + 1 <= kLineWidth) {
        Buffer += Line;
        return;
    }
    Buffer += "[\n";
    for (size_t i = 0; i < field.ItemCount; ++i) {
        Buffer.append(indent + 2, ' ');
        Buffer += field.Items[i];
        Buffer += i + 1 < field.ItemCount ? ",\n" : "\n";
    }
    Buffer.append(indent, ' ');
    Buffer += ']';
}

// The object filled in since the last one, at a column of the current line.
void ScoreWriter::WriteFlat(size_t indent, size_t column) {
    Line.assign("{");
    for (size_t i = 0; i < FieldCount; ++i) {
        const FlatField& field = Fields[i];
        if (i > 0)
            Line += ", ";
        AppendJsonQuoted(Line, field.Key);
        Line += ": ";
        if (!field.List) {
            Line += field.Text;
            continue;
        }
        Line += '[';
        for (size_t k = 0; k < field.ItemCount; ++k) {
            if (k > 0)
                Line += ", ";
            Line += field.Items[k];
        }
        Line += ']';
    }
    Line += '}';
    if (FieldCount == 0 || column + Line.size() + 1 <= kLineWidth) {
        Buffer += Line;
        FieldCount = 0;
        return;
    }
    Buffer += "{\n";
    for (size_t i = 0; i < FieldCount; ++i) {
        const FlatField& field = Fields[i];
        Buffer.append(indent + 2, ' ');
        const size_t start = Buffer.size();
        AppendJsonQuoted(Buffer, field.Key);
        Buffer += ": ";
        if (field.List)
            WriteList(field, indent + 2, indent + 2 + Buffer.size() - start);
        else
            Buffer += field.Text;
        Buffer += i + 1 < FieldCount ? ",\n" : "\n";
    }
    Buffer.append(indent, ' ');
    Buffer += '}';
    FieldCount = 0;
}

// A tuplet definition block's fields: the named words of a 30-byte block,
// else its bytes.
void ScoreWriter::Block(const Bytes& bytes) {
    if (bytes.size() != TupletDefinition::kSize) {
        Scalar("bytes") = JsonQuote(HexBytesText(bytes.data(), bytes.size()));
        return;
    }
    std::vector<std::string>& head = List("HeadWords", 4);
    for (size_t i = 0; i < 4; ++i)
        AppendNumber(head[i], WordAt(bytes, 2 * i));
    for (const TupletWord& field : TupletFields())
        AppendWord(Scalar(field.Name), WordAt(bytes, field.Offset), field.Hex);
}

// The notes of an entry: a count when every block is zero, else the blocks.
void ScoreWriter::Notes(const Entry& entry) {
    const bool zero = std::all_of(entry.Notes.begin(), entry.Notes.end(), [](const NoteBlock& n) {
        return std::all_of(n.begin(), n.end(), [](uint8_t b) { return b == 0; });
    });
    if (zero) {
        AppendNumber(Scalar("notes"), entry.Notes.size());
        return;
    }
    std::vector<std::string>& notes = List("notes", entry.Notes.size());
    for (size_t i = 0; i < entry.Notes.size(); ++i)
        AppendJsonQuoted(notes[i], HexBytesText(entry.Notes[i].data(), entry.Notes[i].size()));
}

void ScoreWriter::Begin(const Score& score) {
    Buffer += "{\n  \"format\": ";
    AppendJsonQuoted(Buffer, kScoreFormat);
    Buffer += ",\n  \"description\": ";
    AppendJsonQuoted(Buffer, score.Description);
    Buffer += ",\n  \"document\": ";
    AppendNumber(Buffer, score.Document);
    Buffer += ",\n  \"measures\": ";
    AppendNumber(Buffer, score.Measures);
    Buffer += ",\n  \"layers\": ";
    AppendNumber(Scalar("count"), score.LayerCount);
    std::vector<std::string>& hidden = List("hidden", score.HiddenLayers.size());
    size_t i = 0;
    for (int16_t layer : score.HiddenLayers)
        AppendNumber(hidden[i++], layer + 1);
    WriteFlat(2, 12);
    Buffer += ",\n  \"staves\": [";
    for (size_t s = 0; s < score.Staves.size(); ++s) {
        const Staff& staff = score.Staves[s];
        Buffer += s == 0 ? "\n    " : ",\n    ";
        AppendNumber(Scalar("slot"), staff.Slot);
        AppendNumber(Scalar("staff"), staff.Number);
        AppendNumber(Scalar("scope"), staff.Scope);
        WriteFlat(4, 4);
    }
    Buffer += score.Staves.empty() ? "]" : "\n  ]";
    if (const Bytes* defaults = score.FindRecord(kTupletDefaultsTag, kTupletDefaultsKeys)) {
        Buffer += ",\n  \"defaults\": ";
        Block(*defaults);
        WriteFlat(2, 14);
    }
    Buffer += ",\n  \"cells\": [";
    AnyCell = false;
    Flush();
}

void ScoreWriter::Cell(const CellKey& cell, const std::vector<Entry>& entries,
                       const std::map<RecordKey, Bytes>& records) {
    Buffer += AnyCell ? ",\n    " : "\n    ";
    AnyCell = true;
    AppendNumber(Scalar("measure"), cell.Measure);
    AppendNumber(Scalar("staff"), cell.Staff);
    AppendNumber(Scalar("layer"), cell.Layer + 1);
    if (entries.empty()) {
        List("entries", 0);
        WriteFlat(4, 4);
        return;
    }
    Buffer += "{\n      \"measure\": ";
    Buffer += Fields[0].Text;
    Buffer += ",\n      \"staff\": ";
    Buffer += Fields[1].Text;
    Buffer += ",\n      \"layer\": ";
    Buffer += Fields[2].Text;
    Buffer += ",\n      \"entries\": [\n";
    FieldCount = 0;
    for (size_t e = 0; e < entries.size(); ++e) {
        const Entry& entry = entries[e];
        Buffer += "        ";
        AppendNumber(Scalar("entry"), entry.Number);
        AppendNumber(Scalar("position"), entry.Position);
        AppendHex(Scalar("flags"), entry.Flags, 8);
        Notes(entry);
        auto tuplet = records.lower_bound(RecordKey{kTupletTag, TupletKeys(entry.Number, 0)});
        const auto ofEntry = [&] {
            return tuplet != records.end() && tuplet->first.Tag == kTupletTag &&
                   EntryNumberOf(tuplet->first.Words) == entry.Number;
        };
        while (ofEntry() && tuplet->first.Words[3] != 0)
            ++tuplet;
        if (!ofEntry()) {
            WriteFlat(8, 8);
        } else {
            Buffer += "{\n";
            for (size_t i = 0; i < FieldCount; ++i) {
                const FlatField& field = Fields[i];
                Buffer += "          ";
                AppendJsonQuoted(Buffer, field.Key);
                Buffer += ": ";
                if (field.List)
                    WriteList(field, 10, 14 + field.Key.size());
                else
                    Buffer += field.Text;
                Buffer += ",\n";
            }
            FieldCount = 0;
            Buffer += "          \"tuplets\": [";
            bool first = true;
            for (; ofEntry(); ++tuplet) {
                if (tuplet->first.Words[3] != 0)
                    continue;
                Buffer += first ? "\n            " : ",\n            ";
                first = false;
                AppendNumber(Scalar("index"), tuplet->first.Words[2]);
                Block(tuplet->second);
                WriteFlat(12, 12);
            }
            Buffer += "\n          ]\n        }";
        }
        Buffer += e + 1 < entries.size() ? ",\n" : "\n";
        if (Buffer.size() >= kFlushSize)
            Flush();
    }
    Buffer += "      ]\n    }";
    if (Buffer.size() >= kFlushSize)
        Flush();
}

void ScoreWriter::End(const Score& score, const std::function<bool(const RecordKey&)>& listed) {
    Buffer += AnyCell ? "\n  ],\n  \"records\": [" : "],\n  \"records\": [";
    bool first = true;
    for (const auto& [key, bytes] : score.Records) {
        if (!listed(key))
            continue;
        Buffer += first ? "\n    " : ",\n    ";
        first = false;
        Scalar("tag") = JsonQuote(TagText(key.Tag));
        std::vector<std::string>& keys = List("keys", 4);
        for (size_t k = 0; k < 4; ++k)
            AppendWord(keys[k], key.Words[k], key.Words[k] >= 0x8000);
        if (bytes.size() % 2 != 0) {
            Scalar("bytes") = JsonQuote(HexBytesText(bytes.data(), bytes.size()));
        } else {
            std::vector<std::string>& words = List("words", bytes.size() / 2);
            for (size_t i = 0; i < bytes.size(); i += 2) {
                const uint16_t word = WordAt(bytes, i);
                AppendWord(words[i / 2], word, word >= 0x8000);
            }
        }
        WriteFlat(4, 4);
        if (Buffer.size() >= kFlushSize)
            Flush();
    }
    Buffer += first ? "]\n}\n" : "\n  ]\n}\n";
    Flush();
}

}  // namespace sim
