// Writing score files as a stream, holding no more than one cell at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/score/Score.h"

namespace sim {

// Writes a score file as a stream, in the layout people read and edit: the
// score's own values, staves and tuplet defaults; then cell after cell, each
// entry with its tuplets; then every other record. It holds no more than one
// cell's text, so a score of any size can be written as it is made.
//
// A value goes on one line when it holds only numbers, strings and lists of
// them and fits in 100 columns; otherwise one item per line. Staves, cells
// and records are listed one per line.
class ScoreWriter {
  public:
    // Takes the text in pieces of up to about 64 KiB.
    using Sink = std::function<void(std::string_view)>;

    explicit ScoreWriter(Sink sink);
    ScoreWriter(const ScoreWriter&) = delete;
    ScoreWriter& operator=(const ScoreWriter&) = delete;

    // Everything before the cells: the score's values, staves and defaults.
    void Begin(const Score& score);
    // One cell: its entries, each with the tuplet records of its number
    // (key word 4 zero) found in records.
    void Cell(const CellKey& cell, const std::vector<Entry>& entries,
              const std::map<RecordKey, Bytes>& records);
    // The records for which listed answers true, and the end of the file.
    void End(const Score& score, const std::function<bool(const RecordKey&)>& listed);

  private:
    // An object of numbers, strings and lists of them, filled for one
    // object at a time; its buffers are kept from one object to the next.
    struct FlatField {
        std::string_view Key;
        std::string Text;                // a scalar, as JSON
        std::vector<std::string> Items;  // a list of scalars
        size_t ItemCount = 0;
        bool List = false;
    };

    std::string& Scalar(std::string_view key);
    // A list of count items, to be filled in.
    std::vector<std::string>& List(std::string_view key, size_t count);
    void Block(const Bytes& bytes);
    void Notes(const Entry& entry);
    void WriteFlat(size_t indent, size_t column);
    void WriteList(const FlatField& field, size_t indent, size_t column);
    void Flush();

    Sink Out;
    std::string Buffer;
    std::vector<FlatField> Fields;
    size_t FieldCount = 0;
    std::string Line;
    bool AnyCell = false;
};

// Bytes as hex digits, a space after every two bytes: "0102 0304 05".
std::string HexBytesText(const uint8_t* bytes, size_t size);

}  // namespace sim
