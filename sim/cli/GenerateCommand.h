// melvara-sim generate: a score of any size, from a seed.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "sim/cli/OptionParser.h"
#include "sim/score/ScoreGenerator.h"

namespace sim {

// The options of `generate`, from the arguments after the command name.
struct GenerateOptions {
    GeneratorOptions Score;
    std::string Preset;   // one of the validator's scores (ScorePresets), instead
    std::string OutPath;  // empty or "-": the score goes to standard output
};

// melvara-sim generate --help.
extern const char* const kGenerateHelp;

// Reads generate's arguments into options; error describes a usage error.
ParseResult ParseGenerateOptions(const std::vector<std::string>& args, GenerateOptions& options,
                                 std::string& error);

// Writes the score of the options as it is made, a cell at a time, to the
// file (and a line of counts to out) or, without a file, to out; memory
// stays that of one cell. Checks first that the disk has room for it. A
// preset is written whole.
int WriteGeneratedScore(const GenerateOptions& options, std::ostream& out, std::ostream& err);

// melvara-sim generate: writes the generated score to the file (and a line
// of counts to out) or, without --out, the score itself to out. Returns the
// exit status.
int GenerateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sim
