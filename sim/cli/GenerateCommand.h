#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/score/ScoreGenerator.h"

namespace sim {

// The options of `generate`, from the arguments after the command name.
struct GenerateOptions {
    GeneratorOptions Score;
    std::string OutPath;  // empty: the score goes to standard output
};

// Returns nothing and sets error for a usage error.
std::optional<GenerateOptions> ParseGenerateOptions(const std::vector<std::string>& args,
                                                    std::string& error);

// Writes the score of the options as it is made, a cell at a time, to the
// file (and a line of counts to out) or, without a file, to out; memory
// stays that of one cell. Checks first that the disk has room for it.
int WriteGeneratedScore(const GenerateOptions& options, std::ostream& out, std::ostream& err);

// melvara-sim generate: writes the generated score to the file (and a line
// of counts to out) or, without --out, the score itself to out. Returns the
// exit status.
int GenerateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sim
