// JSON string literals: quotes, escapes, and U+FFFD for bytes that are not UTF-8.
#include "sim/support/JsonQuote.h"

#include <cstdio>

#include "sim/support/Text.h"

namespace sim {

void AppendJsonQuoted(std::string& out, std::string_view text) {
    out += '"';
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            i += AppendUtf8Sequence(out, text, i);
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
        ++i;
    }
    out += '"';
}

std::string JsonQuote(std::string_view text) {
    std::string out;
    AppendJsonQuoted(out, text);
    return out;
}

}  // namespace sim
