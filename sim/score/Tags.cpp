// Record tags and key blocks as text, and tags read from text.
#include "sim/score/Tags.h"

#include "sim/support/Numbers.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

bool Printable(uint8_t c) {
    return c >= 0x20 && c < 0x7F;
}

}  // namespace

std::string TagText(uint32_t tag) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<uint8_t>(tag >> shift);
        if (!Printable(c))
            return Hex(tag, 8);
        text += static_cast<char>(c);
    }
    return text;
}

std::string TagLabel(uint32_t tag) {
    if (tag == kTupletTag)
        return "tuplet";
    const std::string text = TagText(tag);
    return text.size() == 4 ? "'" + text + "'" : text;
}

std::optional<uint32_t> ParseTag(std::string_view text) {
    if (text.size() == 4)
        return MakeTag(text[0], text[1], text[2], text[3]);
    if (text.size() == 10 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint32_t tag = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            const int digit = HexDigit(text[i]);
            if (digit < 0)
                return std::nullopt;
            tag = (tag << 4) | static_cast<uint32_t>(digit);
        }
        return tag;
    }
    return std::nullopt;
}

std::string KeysText(const Keys& keys) {
    std::string text = "{";
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0)
            text += ",";
        text += keys[i] >= 0x8000 ? Hex(keys[i], 4) : std::to_string(keys[i]);
    }
    return text + "}";
}

}  // namespace sim
