// Score files: reading and writing them, and the errors that name the file and place.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sim/score/Score.h"

namespace sim {

// The "format" of score files.
inline constexpr std::string_view kScoreFormat = "melvara-sim score 1";

// A score file that cannot be read: which file, where (JSON pointer and
// line, 0 when unknown) and what is wrong. what() gives all of it as
// "file:line: /pointer: problem".
class ScoreFileError : public std::runtime_error {
  public:
    ScoreFileError(std::string file, int line, std::string pointer, std::string problem);

    const std::string File;
    const int Line;
    const std::string Pointer;
    const std::string Problem;
};

// Reads a score from JSON text. Throws ScoreFileError for text that is not
// JSON or not a valid score; nothing is returned then.
//
// Required: "measures"; in each staff "slot" and "staff"; in each cell
// "measure", "staff" and "layer"; in each entry "entry"; in each record
// "tag", "keys" and "bytes" or "words"; in the defaults and each tuplet
// every named field but HeadWords, or "bytes" or "words" alone. Everything
// else has a default (see the README). A name given twice in one object is
// refused.
Score ParseScore(std::string_view text, const std::string& fileName);

// The score as JSON text in the file format: tuplets nested in their entries,
// the tuplet defaults and the definition blocks with named fields.
std::string FormatScore(const Score& score);
// The same text in pieces, as it is made.
void WriteScore(const std::function<void(std::string_view)>& sink, const Score& score);

// Reads a score file; on failure returns nothing and sets error.
std::optional<Score> ReadScoreFile(const std::filesystem::path& path, std::string& error);

// Writes a score file atomically (a temporary file renamed over the target);
// on failure the target is left as it was and error is set.
bool WriteScoreFile(const Score& score, const std::filesystem::path& path, std::string& error);

}  // namespace sim
