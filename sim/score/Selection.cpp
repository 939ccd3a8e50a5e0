#include "sim/score/Selection.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <vector>

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

// A whole number from low to high; negative numbers only when low allows.
template <typename T>
bool Number(std::string_view text, int64_t low, int64_t high, T& value) {
    int64_t number = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (status != std::errc() || end != text.data() + text.size() || text.empty())
        return false;
    if (number < low || number > high)
        return false;
    value = static_cast<T>(number);
    return true;
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

    bool Fail(const std::string& problem) {
        Error = problem;
        return false;
    }

    // "M" or "M:P".
    bool MeasureEnd(std::string_view text, std::optional<int16_t>& measure,
                    std::optional<int32_t>& position) {
        const size_t colon = text.find(':');
        int16_t m = 0;
        if (!Number(text.substr(0, colon), 0, 32767, m)) {
            return Fail("\"" + std::string(text) + "\": a measure is a number from 0 to 32767");
        }
        measure = m;
        if (colon != std::string_view::npos) {
            int32_t p = 0;
            if (!Number(text.substr(colon + 1), 0, kEndOfMeasure, p)) {
                return Fail("\"" + std::string(text) +
                            "\": a position is a number from 0 to 2147483647");
            }
            position = p;
        }
        return true;
    }

    bool MeasureRange(std::string_view text, Parts& parts) {
        if (parts.Measures)
            return Fail("measures are given twice");
        parts.Measures = true;
        const size_t dash = text.find('-');
        if (!MeasureEnd(text.substr(0, dash), parts.StartMeasure, parts.StartPos))
            return false;
        if (dash == std::string_view::npos) {
            parts.EndMeasure = parts.StartMeasure;
            return true;
        }
        return MeasureEnd(text.substr(dash + 1), parts.EndMeasure, parts.EndPos);
    }

    bool SlotRange(std::string_view text, Parts& parts) {
        if (parts.Slots)
            return Fail("slots are given twice");
        parts.Slots = true;
        const size_t dash = text.find('-');
        int16_t first = 0;
        int16_t last = 0;
        if (!Number(text.substr(0, dash), 0, 32767, first) ||
            (dash != std::string_view::npos && !Number(text.substr(dash + 1), 0, 32767, last))) {
            return Fail("\"" + std::string(text) +
                        "\": slots are S or S-T, numbers from 0 to 32767");
        }
        parts.StartSlot = first;
        parts.EndSlot = dash == std::string_view::npos ? first : last;
        return true;
    }

    bool Scopes(std::string_view text, Parts& parts) {
        if (parts.Scopes)
            return Fail("scopes are given twice");
        parts.Scopes = true;
        const size_t comma = text.find(',');
        uint16_t first = 0;
        uint16_t last = 0;
        if (!Number(text.substr(0, comma), 0, 65535, first) ||
            (comma != std::string_view::npos && !Number(text.substr(comma + 1), 0, 65535, last))) {
            return Fail("\"" + std::string(text) +
                        "\": scopes are X or X,Y, numbers from 0 to 65535");
        }
        parts.StartScope = first;
        parts.EndScope = comma == std::string_view::npos ? first : last;
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
            return Fail("region takes eight numbers separated by commas, found " +
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
            return Fail("region fields: scope 0-65535, slot and measure 16-bit, position 32-bit");
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
            if (word == "measure" || word == "measures") {
                ok = parser.MeasureRange(words[++i], parts);
            } else if (word == "slot" || word == "slots") {
                ok = parser.SlotRange(words[++i], parts);
            } else if (word == "scope" || word == "scopes") {
                ok = parser.Scopes(words[++i], parts);
            } else if (const size_t slash = word.find('/'); slash != std::string::npos) {
                ok = parser.MeasureRange(std::string_view(word).substr(0, slash), parts) &&
                     parser.SlotRange(std::string_view(word).substr(slash + 1), parts);
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
    return selection;
}

std::string FormatSelection(const Selection& selection) {
    if (!selection.Present)
        return "none";
    const RegionRecord& r = selection.Region;
    if (r.StartMeasure < 0 || r.EndMeasure < 0 || r.StartSlot < 0 || r.EndSlot < 0 ||
        r.StartPos < 0 || r.EndPos < 0) {
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
