// Text helpers: UTF-16 and UTF-8, hex numbers.
#include "sim/support/Text.h"

#include <cstdio>

namespace sim {

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string ShortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) -> unsigned {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0x100;
    };
    const auto continuation = [&](size_t i) { return (byte(i) & 0xC0) == 0x80 && byte(i) < 0x100; };
    const unsigned first = byte(0);
    if (first < 0x80)
        return 1;
    if (first >= 0xC2 && first <= 0xDF)
        return continuation(1) ? 2 : 0;
    if (first >= 0xE0 && first <= 0xEF) {
        const unsigned second = byte(1);
        const bool ok = first == 0xE0   ? second >= 0xA0 && second <= 0xBF
                        : first == 0xED ? second >= 0x80 && second <= 0x9F
                                        : continuation(1);
        return ok && continuation(1) && continuation(2) ? 3 : 0;
    }
    if (first >= 0xF0 && first <= 0xF4) {
        const unsigned second = byte(1);
        const bool ok = first == 0xF0   ? second >= 0x90 && second <= 0xBF
                        : first == 0xF4 ? second >= 0x80 && second <= 0x8F
                                        : continuation(1);
        return ok && continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

size_t AppendUtf8Sequence(std::string& out, std::string_view text, size_t at) {
    const size_t length = Utf8SequenceLength(text, at);
    if (length == 0) {
        out += "\xEF\xBF\xBD";  // U+FFFD
        return 1;
    }
    out.append(text.substr(at, length));
    return length;
}

std::string VisibleText(std::string_view text, bool keepLines) {
    std::string shown;
    shown.reserve(text.size());
    char escape[16];
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const size_t length = Utf8SequenceLength(text, at);
        if (byte == '\t' || (keepLines && byte == '\n')) {
            shown += static_cast<char>(byte);
            ++at;
            continue;
        }
        if (keepLines && byte == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            ++at;  // a Windows line end
            continue;
        }
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
            ++at;
            continue;
        }
        // The code point of a sequence of two or three bytes.
        char32_t code = byte;
        if (length == 2)
            code = ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(text[at + 1]) & 0x3Fu);
        else if (length == 3)
            code = ((byte & 0x0Fu) << 12) |
                   ((static_cast<unsigned char>(text[at + 1]) & 0x3Fu) << 6) |
                   (static_cast<unsigned char>(text[at + 2]) & 0x3Fu);
        // C1 controls; marks and overrides of direction; invisible separators.
        const bool hidden = (code >= 0x80 && code <= 0x9F) || (code >= 0x200B && code <= 0x200F) ||
                            (code >= 0x2028 && code <= 0x202E) ||
                            (code >= 0x2066 && code <= 0x2069) || code == 0xFEFF;
        if (hidden) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(code));
            shown += escape;
        } else {
            shown.append(text.substr(at, length));
        }
        at += length;
    }
    return shown;
}

}  // namespace sim
