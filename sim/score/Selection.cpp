// The selection syntax read into a region record, and a region record written in it.
#include "sim/score/Selection.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <vector>

#include "sim/support/Numbers.h"

namespace sim {
namespace {

constexpr int32_t kEndOfMeasure = std::numeric_limits<int32_t>::max();

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A whole number from low to high (see Numbers.h).
template <typename T>
bool Number(std::string_view text, int64_t low, int64_t high, T& value) {
    int64_t number = 0;
    if (ReadInteger(text, low, high, number) != NumberProblem::None)
        return false;
    value = static_cast<T>(number);
    return true;
}

// The dash between the two ends of a range: not a sign in front of the
// first number, nor one in front of a position ("1:-5" is one end).
size_t RangeDash(std::string_view text) {
    size_t dash = text.find('-', 1);
    while (dash != std::string_view::npos && text[dash - 1] == ':')
        dash = text.find('-', dash + 1);
    return dash;
}

// The three kinds of range, and what their ends may be.
struct RangeKind {
    const char* Singular;
    const char* Plural;
    int64_t Low, High;
    char Separator;
    bool Positions;  // an end may name a position: "M:P"
    bool Ordered;    // the end may not come before the start
};
constexpr RangeKind kMeasureRange{"measure", "measures", 1, 32767, '-', true, true};
constexpr RangeKind kSlotRange{"slot", "slots", 1, 32767, '-', false, true};
constexpr RangeKind kScopeRange{"scope", "scopes", 0, 65535, ',', false, false};

// One end of a range as given: a number, and for measures maybe a position.
struct RangeEnd {
    std::optional<int64_t> Number;
    std::optional<int32_t> Position;
};

struct GivenRange {
    RangeEnd First, Last;
    std::string Quoted;  // as typed, for messages
    bool Given() const { return First.Number.has_value(); }
};

// What a text names; what it does not comes from the whole score.
struct Parts {
    GivenRange Measures, Slots, Scopes;
};

class Parser {
  public:
    explicit Parser(std::string& error) : Error(error) {}

    // Quoted is the text as the user gave it ("measures 1-"), for messages.
    bool Fail(std::string_view quoted, const std::string& problem) {
        Error = "\"" + std::string(quoted) + "\": " + problem;
        return false;
    }

    // One number of a range: what it is ("measure"), from low to high.
    template <typename T>
    bool Part(std::string_view quoted, std::string_view text, const char* what, int64_t low,
              int64_t high, T& value) {
        if (text.empty())
            return Fail(quoted, std::string("a ") + what + " is missing");
        if (Number(text, low, high, value))
            return true;
        return Fail(quoted, "\"" + std::string(text) + "\" is not a " + what + ": a " + what +
                                " is a whole number from " + std::to_string(low) + " to " +
                                std::to_string(high) +
                                " (decimal without leading zeros, or 0x...)");
    }

    // "N", or for measures "N:P".
    bool End(std::string_view quoted, std::string_view text, const RangeKind& kind, RangeEnd& end) {
        const size_t colon = kind.Positions ? text.find(':') : std::string_view::npos;
        int64_t number = 0;
        if (!Part(quoted, text.substr(0, colon), kind.Singular, kind.Low, kind.High, number))
            return false;
        end.Number = number;
        if (colon != std::string_view::npos) {
            int32_t position = 0;
            if (!Part(quoted, text.substr(colon + 1), "position", 0, kEndOfMeasure, position))
                return false;
            end.Position = position;
        }
        return true;
    }

    // One range of the syntax: "A", which is A to A, or "A<separator>B"
    // (measures, slots: "A-B"; scopes: "A,B"). Each end a number of the
    // range's kind, and for measures maybe ":P", a position in it.
    bool ReadRange(std::string_view quoted, std::string_view text, const RangeKind& kind,
                   GivenRange& range) {
        if (range.Given())
            return Fail(quoted, std::string(kind.Plural) + " are given twice");
        range.Quoted = quoted;
        RangeEnd& first = range.First;
        RangeEnd& last = range.Last;
        const size_t separator =
            kind.Separator == '-' ? RangeDash(text) : text.find(kind.Separator);
        if (kind.Separator == '-' && separator != std::string_view::npos &&
            separator + 1 == text.size()) {
            return Fail(quoted, "the range has no end after \"-\"");
        }
        if (!End(quoted, text.substr(0, separator), kind, first))
            return false;
        last = {first.Number, std::nullopt};
        if (separator != std::string_view::npos &&
            !End(quoted, text.substr(separator + 1), kind, last)) {
            return false;
        }
        if (kind.Ordered &&
            (*first.Number > *last.Number ||
             (*first.Number == *last.Number &&
              first.Position.value_or(0) > last.Position.value_or(kEndOfMeasure)))) {
            return Fail(quoted, "the range runs backwards");
        }
        return true;
    }

    bool Region(const std::string& text, RegionRecord& region) {
        std::vector<std::string> fields;
        std::string field;
        for (char c : text) {
            if (c == ',') {
                fields.push_back(field);
                field.clear();
            } else if (!std::isspace(static_cast<unsigned char>(c))) {
                field += c;
            }
        }
        fields.push_back(field);
        if (fields.size() != 8) {
            return Fail("region " + text, "region takes eight numbers separated by commas, found " +
                                              std::to_string(fields.size()));
        }
        // The record is packed: parse into locals, then copy.
        uint16_t startScope = 0, endScope = 0;
        int16_t startSlot = 0, startMeasure = 0, endSlot = 0, endMeasure = 0;
        int32_t startPos = 0, endPos = 0;
        constexpr int64_t kMinPos = std::numeric_limits<int32_t>::min();
        const bool ok = Number(fields[0], 0, 65535, startScope) &&
                        Number(fields[1], -32768, 32767, startSlot) &&
                        Number(fields[2], -32768, 32767, startMeasure) &&
                        Number(fields[3], kMinPos, kEndOfMeasure, startPos) &&
                        Number(fields[4], 0, 65535, endScope) &&
                        Number(fields[5], -32768, 32767, endSlot) &&
                        Number(fields[6], -32768, 32767, endMeasure) &&
                        Number(fields[7], kMinPos, kEndOfMeasure, endPos);
        if (!ok) {
            return Fail("region " + text,
                        "scopes are numbers from 0 to 65535, slots and measures from -32768 to "
                        "32767, positions from -2147483648 to 2147483647");
        }
        region.StartSlotScope = startScope;
        region.StartSlot = startSlot;
        region.StartMeasure = startMeasure;
        region.StartPos = startPos;
        region.EndSlotScope = endScope;
        region.EndSlot = endSlot;
        region.EndMeasure = endMeasure;
        region.EndPos = endPos;
        return true;
    }

  private:
    std::string& Error;
};

// "measure 4", "slots 4-9".
std::string Range(const char* singular, const char* plural, int first, int last) {
    return first == last
               ? std::string(singular) + " " + std::to_string(first)
               : std::string(plural) + " " + std::to_string(first) + "-" + std::to_string(last);
}

// Measures and slots asked for that the score does not have: a range that
// goes past the score is cut to it, as the host's own selection is, with a
// warning; one wholly outside it is refused.
bool CutToScore(Parts& parts, const Score& score, std::vector<std::string>& warnings,
                Parser& parser) {
    GivenRange& measures = parts.Measures;
    const int lastMeasure = score.Measures;
    const std::string measureCount =
        std::to_string(lastMeasure) + (lastMeasure == 1 ? " measure" : " measures");
    if (measures.Given() && *measures.First.Number > lastMeasure) {
        return parser.Fail(measures.Quoted,
                           "the score has " + measureCount + " (region passes any record)");
    }
    if (measures.Given() && *measures.Last.Number > lastMeasure) {
        const int last = static_cast<int>(*measures.Last.Number);
        warnings.push_back(Range("measure", "measures", lastMeasure + 1, last) +
                           (last == lastMeasure + 1 ? " is" : " are") +
                           " outside the score, which has " + measureCount +
                           ": the selection ends at measure " + std::to_string(lastMeasure));
        measures.Last = {lastMeasure, std::nullopt};
    }
    GivenRange& slots = parts.Slots;
    if (!slots.Given())
        return true;
    const int start = static_cast<int>(*slots.First.Number);
    const int end = static_cast<int>(*slots.Last.Number);
    if (score.Staves.empty()) {
        warnings.push_back(Range("slot", "slots", start, end) +
                           " outside the score, which has no staves");
        return true;
    }
    // Not a structured binding: clang 14 does not let a lambda capture one.
    const int low = score.SlotRange().first;
    const int high = score.SlotRange().second;
    const std::string staves = "the score's staves are in " + Range("slot", "slots", low, high);
    if (start > high || end < low) {
        return parser.Fail(slots.Quoted, Range("slot", "slots", start, end) +
                                             (start == end ? " holds" : " hold") + " no staff: " +
                                             staves + " (region passes any record)");
    }
    const auto outside = [&](int first, int last, const std::string& cut) {
        warnings.push_back(Range("slot", "slots", first, last) +
                           (first == last ? " holds" : " hold") + " no staff: " + staves +
                           "; the selection " + cut);
    };
    if (start < low) {
        outside(start, low - 1, "starts at slot " + std::to_string(low));
        slots.First.Number = low;
    }
    if (end > high) {
        outside(high + 1, end, "ends at slot " + std::to_string(high));
        slots.Last.Number = high;
    }
    return true;
}

}  // namespace

RegionRecord RegionRect(int16_t startMeasure, int32_t startPos, int16_t endMeasure, int32_t endPos,
                        int16_t startSlot, int16_t endSlot, uint16_t scope) {
    RegionRecord region{};
    region.StartSlotScope = scope;
    region.StartSlot = startSlot;
    region.StartMeasure = startMeasure;
    region.StartPos = startPos;
    region.EndSlotScope = scope;
    region.EndSlot = endSlot;
    region.EndMeasure = endMeasure;
    region.EndPos = endPos;
    return region;
}

Selection WholeScore(const Score& score) {
    std::string ignored;
    return *ParseSelection("all", score, ignored);
}

std::optional<Selection> ParseSelection(std::string_view text, const Score& score,
                                        std::string& error) {
    Parser parser(error);
    const std::vector<std::string> words = Words(text);
    Selection selection;
    Parts parts;
    const std::string first = words.empty() ? "all" : Lower(words[0]);
    if (first == "all" || first == "none") {
        if (words.size() > 1) {
            error = "\"" + first + "\" stands alone";
            return std::nullopt;
        }
        selection.Present = first == "all";
        if (!selection.Present)
            return selection;
    } else if (first == "region") {
        std::string rest;
        for (size_t i = 1; i < words.size(); ++i)
            rest += words[i];
        if (!parser.Region(rest, selection.Region))
            return std::nullopt;
        return selection;
    } else {
        for (size_t i = 0; i < words.size(); ++i) {
            const std::string word = Lower(words[i]);
            const bool takesValue = word == "measure" || word == "measures" || word == "slot" ||
                                    word == "slots" || word == "scope" || word == "scopes";
            if (takesValue && i + 1 >= words.size()) {
                error = "\"" + word + "\" needs a value";
                return std::nullopt;
            }
            bool ok = true;
            const std::string quoted = takesValue ? words[i] + " " + words[i + 1] : words[i];
            if ((word == "measure" || word == "measures") &&
                words[i + 1].find('/') == std::string::npos) {
                ok = parser.ReadRange(quoted, words[++i], kMeasureRange, parts.Measures);
            } else if (word == "measure" || word == "measures") {
                // "measure 2/1": the compact form after the word.
                const std::string_view compact = words[++i];
                const size_t slash = compact.find('/');
                ok = parser.ReadRange(quoted, compact.substr(0, slash), kMeasureRange,
                                      parts.Measures) &&
                     parser.ReadRange(quoted, compact.substr(slash + 1), kSlotRange, parts.Slots);
            } else if (word == "slot" || word == "slots") {
                ok = parser.ReadRange(quoted, words[++i], kSlotRange, parts.Slots);
            } else if (word == "scope" || word == "scopes") {
                ok = parser.ReadRange(quoted, words[++i], kScopeRange, parts.Scopes);
            } else if (const size_t slash = word.find('/'); slash != std::string::npos) {
                const std::string_view compact = word;
                ok =
                    parser.ReadRange(quoted, compact.substr(0, slash), kMeasureRange, parts.Measures) &&
                    parser.ReadRange(quoted, compact.substr(slash + 1), kSlotRange, parts.Slots);
            } else if (std::isdigit(static_cast<unsigned char>(word[0]))) {
                // "2-3": measures, as people type them first.
                ok = parser.ReadRange(quoted, word, kMeasureRange, parts.Measures);
            } else {
                error = "unknown word \"" + words[i] +
                        "\" (expected measures, slots, scopes, all, none, region, M-N or "
                        "M-N/S-T)";
                return std::nullopt;
            }
            if (!ok)
                return std::nullopt;
        }
    }
    if (!CutToScore(parts, score, selection.Warnings, parser))
        return std::nullopt;
    const auto [lowSlot, highSlot] = score.SlotRange();
    RegionRecord& r = selection.Region;
    // Every number read is inside its field's range.
    const auto field = [](const RangeEnd& end, int64_t otherwise) {
        return end.Number.value_or(otherwise);
    };
    r.StartMeasure = static_cast<int16_t>(field(parts.Measures.First, 1));
    r.EndMeasure = static_cast<int16_t>(field(parts.Measures.Last, score.Measures));
    r.StartPos = parts.Measures.First.Position.value_or(0);
    r.EndPos = parts.Measures.Last.Position.value_or(kEndOfMeasure);
    r.StartSlot = static_cast<int16_t>(field(parts.Slots.First, lowSlot));
    r.EndSlot = static_cast<int16_t>(field(parts.Slots.Last, highSlot));
    auto scopeAt = [&](int16_t slot) -> uint16_t {
        const Staff* staff = score.FindStaffBySlot(slot);
        return staff == nullptr ? 0 : staff->Scope;
    };
    r.StartSlotScope = static_cast<uint16_t>(field(parts.Scopes.First, scopeAt(r.StartSlot)));
    r.EndSlotScope = static_cast<uint16_t>(field(parts.Scopes.Last, scopeAt(r.EndSlot)));
    return selection;
}

namespace {

std::string RegionText(const RegionRecord& r) {
    return "region " + std::to_string(r.StartSlotScope) + "," + std::to_string(r.StartSlot) + "," +
           std::to_string(r.StartMeasure) + "," + std::to_string(r.StartPos) + "," +
           std::to_string(r.EndSlotScope) + "," + std::to_string(r.EndSlot) + "," +
           std::to_string(r.EndMeasure) + "," + std::to_string(r.EndPos);
}

}  // namespace

std::string FormatSelection(const Selection& selection) {
    if (!selection.Present)
        return "none";
    const RegionRecord& r = selection.Region;
    // What the other words cannot say: measures or slots below 1, negative
    // positions, ranges that run backwards.
    if (r.StartMeasure < 1 || r.EndMeasure < 1 || r.StartSlot < 1 || r.EndSlot < 1 ||
        r.StartPos < 0 || r.EndPos < 0 || r.StartMeasure > r.EndMeasure ||
        r.StartSlot > r.EndSlot || (r.StartMeasure == r.EndMeasure && r.StartPos > r.EndPos)) {
        return RegionText(r);
    }
    return "measures " + std::to_string(r.StartMeasure) + ":" + std::to_string(r.StartPos) + "-" +
           std::to_string(r.EndMeasure) + ":" + std::to_string(r.EndPos) + " slots " +
           std::to_string(r.StartSlot) + "-" + std::to_string(r.EndSlot) + " scopes " +
           std::to_string(r.StartSlotScope) + "," + std::to_string(r.EndSlotScope);
}

std::string SelectionArgument(const Selection& selection, const Score& score) {
    if (!selection.Present)
        return "none";
    const Selection whole = WholeScore(score);
    if (std::memcmp(&whole.Region, &selection.Region, sizeof whole.Region) == 0)
        return "all";
    const std::string words = FormatSelection(selection);
    std::string error;
    const std::optional<Selection> again = ParseSelection(words, score, error);
    if (again && again->Warnings.empty() &&
        std::memcmp(&again->Region, &selection.Region, sizeof selection.Region) == 0) {
        return words;
    }
    return RegionText(selection.Region);
}

}  // namespace sim
