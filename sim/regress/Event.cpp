// Events on one line and back, and the first difference between two of them.
#include "sim/regress/Event.h"

#include <algorithm>

#include "sim/support/Quoting.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";
// Bytes shown around a difference.
constexpr size_t kBytesShown = 8;

std::string HexBytes(const std::string& bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kHexDigits[byte >> 4];
        hex += kHexDigits[byte & 0x0F];
    }
    return hex;
}

std::optional<std::string> FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const auto digit = [](char c) -> int {
            const char* found = std::find(kHexDigits, kHexDigits + 16, c);
            return found == kHexDigits + 16 ? -1 : static_cast<int>(found - kHexDigits);
        };
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

std::string ByteText(char byte) {
    return Hex(static_cast<unsigned char>(byte), 2);
}

}  // namespace

std::string Event::Canonical() const {
    std::string line = EscapedField(Kind);
    for (const auto& [name, value] : Fields)
        line += "\t" + EscapedField(name) + "=" + EscapedField(value);
    if (!BytesLabel.empty() || !Bytes.empty())
        line += "\t" + EscapedField(BytesLabel) + "=" + HexBytes(Bytes);
    return line;
}

std::string Event::Serialize() const {
    std::string line = EscapedField(Kind) + "\t" + EscapedField(Text) + "\t" +
                       EscapedField(BytesLabel) + "\t" + HexBytes(Bytes);
    for (const auto& [name, value] : Fields)
        line += "\t" + EscapedField(name) + "\t" + EscapedField(value);
    return line;
}

std::optional<Event> Event::Parse(const std::string& line) {
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        parts.push_back(UnescapedField(line.substr(start, tab - start)));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    if (parts.size() < 4 || parts.size() % 2 != 0)
        return std::nullopt;
    Event event;
    event.Kind = parts[0];
    event.Text = parts[1];
    event.BytesLabel = parts[2];
    const std::optional<std::string> bytes = FromHex(parts[3]);
    if (!bytes)
        return std::nullopt;
    event.Bytes = *bytes;
    for (size_t i = 4; i < parts.size(); i += 2)
        event.Add(parts[i], parts[i + 1]);
    return event;
}

std::optional<EventDifference> CompareEvents(const Event* oldEvent, const Event* newEvent) {
    if (oldEvent == nullptr && newEvent == nullptr)
        return std::nullopt;
    if (oldEvent == nullptr || newEvent == nullptr) {
        const auto text = [](const Event* event) {
            return event == nullptr ? std::string("nothing more") : event->Text;
        };
        const auto kind = [](const Event* event) {
            return event == nullptr ? std::string("nothing") : event->Kind;
        };
        return EventDifference{"the end of the run", text(oldEvent), text(newEvent),
                               "the end of the run: " + kind(oldEvent) + " or " + kind(newEvent),
                               std::nullopt};
    }
    const Event& before = *oldEvent;
    const Event& after = *newEvent;
    if (before.Kind != after.Kind) {
        return EventDifference{"the next event", before.Text, after.Text,
                               "the next event: " + before.Kind + " or " + after.Kind,
                               std::nullopt};
    }
    const size_t fields = std::max(before.Fields.size(), after.Fields.size());
    for (size_t i = 0; i < fields; ++i) {
        if (i >= before.Fields.size() || i >= after.Fields.size() ||
            before.Fields[i].first != after.Fields[i].first) {
            const std::string where = before.Kind + " arguments";
            return EventDifference{where, before.Text, after.Text, where, std::nullopt};
        }
        if (before.Fields[i].second != after.Fields[i].second) {
            const std::string where = before.Kind + " " + before.Fields[i].first;
            return EventDifference{where, before.Fields[i].second, after.Fields[i].second, where,
                                   std::nullopt};
        }
    }
    if (before.BytesLabel != after.BytesLabel) {
        const std::string where = before.Kind + " bytes";
        return EventDifference{where, before.BytesLabel, after.BytesLabel, where, std::nullopt};
    }
    const std::string& a = before.Bytes;
    const std::string& b = after.Bytes;
    const auto parted = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (parted.first != a.end() && parted.second != b.end()) {
        const auto offset = static_cast<size_t>(parted.first - a.begin());
        const std::string where =
            before.Kind + " " + before.BytesLabel + " byte " + std::to_string(offset);
        return EventDifference{where, ByteText(*parted.first), ByteText(*parted.second), where,
                               offset};
    }
    if (a.size() != b.size()) {
        const std::string where = before.Kind + " " + before.BytesLabel + " length";
        return EventDifference{where, std::to_string(a.size()), std::to_string(b.size()), where,
                               std::nullopt};
    }
    return std::nullopt;
}

std::string BytesAround(const std::string& bytes, size_t offset) {
    if (offset >= bytes.size())
        return "(none)";
    const size_t start = offset / kBytesShown * kBytesShown;
    std::string text = "+" + std::to_string(start) + ":";
    for (size_t i = start; i < bytes.size() && i < start + kBytesShown; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += ' ';
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0F];
    }
    if (start + kBytesShown < bytes.size())
        text += " ...";
    return text;
}

}  // namespace sim
