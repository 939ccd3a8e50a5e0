// melvara-sim help score: the score file format for people.
#pragma once

namespace sim {

// melvara-sim help score: the score file format, which fields a file must
// give and what the others default to.
extern const char* const kScoreFileHelp;

}  // namespace sim
