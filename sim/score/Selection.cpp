#include "sim/score/Selection.h"

#include <algorithm>
#include <cctype>
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

// What a text names; unset parts come from the whole score.
struct Parts {
    std::optional<int16_t> StartMeasure, EndMeasure, StartSlot, EndSlot;
    std::optional<int32_t> StartPos, EndPos;
    std::optional<uint16_t> StartScope, EndScope;
    bool Measures = false, Slots = false, Scopes = false;
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

    // "M" or "M:P".
    bool MeasureEnd(std::string_view quoted, std::string_view text, std::optional<int16_t>& measure,
                    std::optional<int32_t>& position) {
        const size_t colon = text.find(':');
        int16_t m = 0;
        if (!Part(quoted, text.substr(0, colon), "measure", 1, 32767, m))
            return false;
        measure = m;
        if (colon != std::string_view::npos) {
            int32_t p = 0;
            if (!Part(quoted, text.substr(colon + 1), "position", 0, kEndOfMeasure, p))
                return false;
            position = p;
        }
        return true;
    }

    bool MeasureRange(std::string_view quoted, std::string_view text, Parts& parts) {
        if (parts.Measures)
            return Fail(quoted, "measures are given twice");
        parts.Measures = true;
        const size_t dash = RangeDash(text);
        if (dash != std::string_view::npos && dash + 1 == text.size())
            return Fail(quoted, "the range has no end after \"-\"");
        if (!MeasureEnd(quoted, text.substr(0, dash), parts.StartMeasure, parts.StartPos))
            return false;
        if (dash == std::string_view::npos) {
            parts.EndMeasure = parts.StartMeasure;
        } else if (!MeasureEnd(quoted, text.substr(dash + 1), parts.EndMeasure, parts.EndPos)) {
            return false;
        }
        if (*parts.StartMeasure > *parts.EndMeasure ||
            (*parts.StartMeasure == *parts.EndMeasure &&
             parts.StartPos.value_or(0) > parts.EndPos.value_or(kEndOfMeasure))) {
            return Fail(quoted, "the range runs backwards");
        }
        return true;
    }

    bool SlotRange(std::string_view quoted, std::string_view text, Parts& parts) {
        if (parts.Slots)
            return Fail(quoted, "slots are given twice");
        parts.Slots = true;
        const size_t dash = RangeDash(text);
        if (dash != std::string_view::npos && dash + 1 == text.size())
            return Fail(quoted, "the range has no end after \"-\"");
        int16_t first = 0;
        int16_t last = 0;
        if (!Part(quoted, text.substr(0, dash), "slot", 1, 32767, first))
            return false;
        last = first;
        if (dash != std::string_view::npos &&
            !Part(quoted, text.substr(dash + 1), "slot", 1, 32767, last)) {
            return false;
        }
        if (first > last)
            return Fail(quoted, "the range runs backwards");
        parts.StartSlot = first;
        parts.EndSlot = last;
        return true;
    }

    bool Scopes(std::string_view quoted, std::string_view text, Parts& parts) {
        if (parts.Scopes)
            return Fail(quoted, "scopes are given twice");
        parts.Scopes = true;
        const size_t comma = text.find(',');
        uint16_t first = 0;
        uint16_t last = 0;
        if (!Part(quoted, text.substr(0, comma), "scope", 0, 65535, first))
            return false;
        last = first;
        if (comma != std::string_view::npos &&
            !Part(quoted, text.substr(comma + 1), "scope", 0, 65535, last)) {
            return false;
        }
        parts.StartScope = first;
        parts.EndScope = last;
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

// Measures and slots asked for that the score does not have.
void WarnOutside(const Parts& parts, const Score& score, std::vector<std::string>& warnings) {
    if (parts.Measures && *parts.EndMeasure > score.Measures) {
        const int first = std::max<int>(*parts.StartMeasure, score.Measures + 1);
        warnings.push_back(Range("measure", "measures", first, *parts.EndMeasure) +
                           (first == *parts.EndMeasure ? " is" : " are") +
                           " outside the score, which has " + std::to_string(score.Measures) +
                           (score.Measures == 1 ? " measure" : " measures"));
    }
    if (!parts.Slots)
        return;
    const int start = *parts.StartSlot;
    const int end = *parts.EndSlot;
    if (score.Staves.empty()) {
        warnings.push_back(Range("slot", "slots", start, end) +
                           " outside the score, which has no staves");
        return;
    }
    // Not a structured binding: clang 14 does not let a lambda capture one.
    const int low = score.SlotRange().first;
    const int high = score.SlotRange().second;
    const auto outside = [&](int first, int last) {
        warnings.push_back(
            Range("slot", "slots", first, last) + (first == last ? " holds" : " hold") +
            " no staff: the score's staves are in " + Range("slot", "slots", low, high));
    };
    if (start < low)
        outside(start, std::min<int>(end, low - 1));
    if (end > high)
        outside(std::max<int>(start, high + 1), end);
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
            if (word == "measure" || word == "measures") {
                ok = parser.MeasureRange(quoted, words[++i], parts);
            } else if (word == "slot" || word == "slots") {
                ok = parser.SlotRange(quoted, words[++i], parts);
            } else if (word == "scope" || word == "scopes") {
                ok = parser.Scopes(quoted, words[++i], parts);
            } else if (const size_t slash = word.find('/'); slash != std::string::npos) {
                ok = parser.MeasureRange(quoted, std::string_view(word).substr(0, slash), parts) &&
                     parser.SlotRange(quoted, std::string_view(word).substr(slash + 1), parts);
            } else {
                error = "unknown word \"" + words[i] +
                        "\" (expected measures, slots, scopes, all, none, region, or M-N/S-T)";
                return std::nullopt;
            }
            if (!ok)
                return std::nullopt;
        }
    }
    const auto [lowSlot, highSlot] = score.SlotRange();
    RegionRecord& r = selection.Region;
    r.StartMeasure = parts.StartMeasure.value_or(1);
    r.EndMeasure = parts.EndMeasure.value_or(score.Measures);
    r.StartPos = parts.StartPos.value_or(0);
    r.EndPos = parts.EndPos.value_or(kEndOfMeasure);
    r.StartSlot = parts.StartSlot.value_or(lowSlot);
    r.EndSlot = parts.EndSlot.value_or(highSlot);
    auto scopeAt = [&](int16_t slot) -> uint16_t {
        const Staff* staff = score.FindStaffBySlot(slot);
        return staff == nullptr ? 0 : staff->Scope;
    };
    r.StartSlotScope = parts.StartScope.value_or(scopeAt(r.StartSlot));
    r.EndSlotScope = parts.EndScope.value_or(scopeAt(r.EndSlot));
    WarnOutside(parts, score, selection.Warnings);
    return selection;
}

std::string FormatSelection(const Selection& selection) {
    if (!selection.Present)
        return "none";
    const RegionRecord& r = selection.Region;
    // What the other words cannot say: measures or slots below 1, negative
    // positions, ranges that run backwards.
    if (r.StartMeasure < 1 || r.EndMeasure < 1 || r.StartSlot < 1 || r.EndSlot < 1 ||
        r.StartPos < 0 || r.EndPos < 0 || r.StartMeasure > r.EndMeasure ||
        r.StartSlot > r.EndSlot || (r.StartMeasure == r.EndMeasure && r.StartPos > r.EndPos)) {
        return "region " + std::to_string(r.StartSlotScope) + "," + std::to_string(r.StartSlot) +
               "," + std::to_string(r.StartMeasure) + "," + std::to_string(r.StartPos) + "," +
               std::to_string(r.EndSlotScope) + "," + std::to_string(r.EndSlot) + "," +
               std::to_string(r.EndMeasure) + "," + std::to_string(r.EndPos);
    }
    return "measures " + std::to_string(r.StartMeasure) + ":" + std::to_string(r.StartPos) + "-" +
           std::to_string(r.EndMeasure) + ":" + std::to_string(r.EndPos) + " slots " +
           std::to_string(r.StartSlot) + "-" + std::to_string(r.EndSlot) + " scopes " +
           std::to_string(r.StartSlotScope) + "," + std::to_string(r.EndSlotScope);
}

}  // namespace sim
