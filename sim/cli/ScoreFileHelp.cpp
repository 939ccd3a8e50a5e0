// melvara-sim help score: the score file format for people.
#include "sim/cli/ScoreFileHelp.h"

namespace sim {

const char* const kScoreFileHelp = R"(Score files

A score is a JSON object (format "melvara-sim score 1"), meant to be read
and edited by people. "generate --preset piece" writes one to start from
(the presets: piece, single, empty, one-tuplet, large, million; the kit
ships the first two in samples/), and "generate --measures M ..." one of
any size. Numbers are JSON integers, or strings of decimal digits or of 0x
and hex digits. Unknown fields and a field given twice in one object are
refused; a file that cannot be read is reported with its name, line, JSON
path and what is wrong.

Field (default when left out; "required" when it may not be)
  format           "melvara-sim score 1" (may be left out)
  description      any text ("")
  document         the document id (1)
  measures         the number of measures, required
  layers           {"count": layers (4), "hidden": layer numbers from 1 ([])}
  staves           the staves ([]), each {"slot" S, "staff" N, "scope" X}:
                   slot and staff required, scope (0)
  defaults         the Default Tuplet Definition, record 'pfTP' {1,0,0,0}, a
                   definition block (none: the score has no such record)
  cells            the note entries ([]), each
                   {"measure", "staff", "layer", "entries"}: measure, staff
                   (a staff number) and layer (from 1) required; entries ([])
  records          any other record ([]), each {"tag", "keys", "bytes" or
                   "words"}, all required: tag four characters or "0x" and
                   eight hex digits, keys four words
Entry (in "entries")
  entry            the entry number, required; no number is used twice
  position         its position in the measure (0)
  flags            entry flags (0x00080000, the tuplet bit, when it has
                   tuplets; else 0)
  notes            a count of notes, or a list of 10-byte blocks in hex (0)
  tuplets          its tuplet records ([]), each a definition block with
                   "index" (one more than the previous tuplet's, from 0)
Definition block (tuplets and "defaults")
  OptionBits, Position1, Position2, Value1, Value2, Flags, Value3, Value4,
  Value5, Value6, Value7 required, HeadWords ([0,0,0,0]); or "bytes" (hex)
  or "words" alone instead.

Records the host serves from a score (contract/MelvaraRecords.h)
  tuplet records   tag 0x45035450, keys {entry number low word, entry
                   number high word, index, 0}; written inside their entry
  'pfTP' {1,0,0,0} the Default Tuplet Definition ("defaults")
  any other        in "records": part records ('ot' and two characters,
                   keys {0xFFFE, index, 0, 0}, six words) and any tag
)";

}  // namespace sim
