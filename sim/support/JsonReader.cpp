// The JSON pull reader: syntax checked as the caller asks for each value.
#include "sim/support/JsonReader.h"

#include <algorithm>
#include <cstdio>

#include "sim/support/Numbers.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// 'x' for a printable character, else the byte in hex.
std::string CharText(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F)
        return std::string("'") + c + "'";
    return "byte " + Hex(byte, 2);
}

}  // namespace

JsonReader::JsonReader(std::string_view text) : Text(text) {
    if (Text.substr(0, 3) == "\xEF\xBB\xBF")
        At = 3;  // a byte order mark, as some editors write
}

void JsonReader::Fail(const std::string& problem) const {
    throw JsonSyntaxError(CurrentLine, static_cast<int>(At - LineStart + 1), problem);
}

void JsonReader::Seek(const Mark& mark) {
    At = mark.At;
    CurrentLine = mark.Line;
    LineStart = mark.LineStart;
}

void JsonReader::SkipSpace() {
    while (At < Text.size() && IsSpace(Text[At])) {
        if (Text[At] == '\n') {
            ++CurrentLine;
            LineStart = At + 1;
        }
        ++At;
    }
}

void JsonReader::Expect(char c, const char* what) {
    SkipSpace();
    if (At >= Text.size())
        Fail(std::string("the text ends where ") + what + " should follow");
    if (Text[At] != c)
        Fail(std::string("expected ") + what + ", found " + CharText(Text[At]));
    ++At;
}

JsonReader::Type JsonReader::Peek() {
    SkipSpace();
    if (At >= Text.size())
        Fail("the text ends where a value should follow");
    const char c = Text[At];
    switch (c) {
        case '{':
            return Type::Object;
        case '[':
            return Type::Array;
        case '"':
            return Type::String;
        case 't':
            return Type::True;
        case 'f':
            return Type::False;
        case 'n':
            return Type::Null;
        default:
            if (c == '-' || IsDigit(c))
                return Type::Number;
            Fail("expected a value, found " + CharText(c));
    }
}

void JsonReader::BeginObject() {
    Expect('{', "'{'");
}

bool JsonReader::NextKey(bool first, std::string_view& key) {
    SkipSpace();
    if (At < Text.size() && Text[At] == '}') {
        ++At;
        return false;
    }
    if (!first)
        Expect(',', "',' or '}'");
    SkipSpace();
    if (At >= Text.size())
        Fail("the text ends inside an object");
    if (Text[At] != '"')
        Fail("expected a member name in double quotes, found " + CharText(Text[At]));
    key = ReadString();
    Expect(':', "':' after the member name");
    return true;
}

void JsonReader::BeginArray() {
    Expect('[', "'['");
}

bool JsonReader::NextItem(bool first) {
    SkipSpace();
    if (At < Text.size() && Text[At] == ']') {
        ++At;
        return false;
    }
    if (!first)
        Expect(',', "',' or ']'");
    return true;
}

unsigned JsonReader::HexQuad() {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = At < Text.size() ? HexDigit(Text[At]) : -1;
        if (digit < 0)
            Fail("expected four hex digits after \\u");
        value = value * 16 + static_cast<unsigned>(digit);
        ++At;
    }
    return value;
}

std::string_view JsonReader::ReadString() {
    SkipSpace();
    if (At >= Text.size() || Text[At] != '"')
        Fail("expected a string");
    ++At;
    const size_t start = At;
    bool decoded = false;  // Scratch holds the string so far
    for (;;) {
        if (At >= Text.size())
            Fail("the text ends inside a string");
        const char c = Text[At];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"')
            break;
        if (byte < 0x20)
            Fail("a string may not hold " + CharText(c) + " (write it as an escape, \\n or \\u00XX)");
        if (byte >= 0x80) {
            const size_t length = Utf8SequenceLength(Text, At);
            if (length == 0)
                Fail("a string holds " + CharText(c) + ", which is not UTF-8");
            if (decoded)
                Scratch.append(Text.substr(At, length));
            At += length;
            continue;
        }
        if (c != '\\') {
            if (decoded)
                Scratch += c;
            ++At;
            continue;
        }
        if (!decoded) {
            Scratch.assign(Text.substr(start, At - start));
            decoded = true;
        }
        ++At;
        if (At >= Text.size())
            Fail("the text ends inside a string");
        const char escape = Text[At++];
        switch (escape) {
            case '"':
            case '\\':
            case '/':
                Scratch += escape;
                break;
            case 'b':
                Scratch += '\b';
                break;
            case 'f':
                Scratch += '\f';
                break;
            case 'n':
                Scratch += '\n';
                break;
            case 'r':
                Scratch += '\r';
                break;
            case 't':
                Scratch += '\t';
                break;
            case 'u': {
                unsigned code = HexQuad();
                if (code >= 0xDC00 && code <= 0xDFFF)
                    Fail("\\u escape of a low surrogate without a high one before it");
                if (code >= 0xD800 && code <= 0xDBFF) {
                    if (Text.substr(At, 2) != "\\u")
                        Fail("\\u escape of a high surrogate without a low one after it");
                    At += 2;
                    const unsigned low = HexQuad();
                    if (low < 0xDC00 || low > 0xDFFF)
                        Fail("\\u escape of a high surrogate without a low one after it");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                sim::AppendUtf8(Scratch, code);
                break;
            }
            default:
                --At;
                Fail("unknown escape \\" + std::string(1, escape) + " in a string");
        }
    }
    const size_t end = At++;
    return decoded ? std::string_view(Scratch) : Text.substr(start, end - start);
}

std::string_view JsonReader::ReadNumber(bool& integral) {
    SkipSpace();
    const size_t start = At;
    integral = true;
    const auto digits = [&](const char* where) {
        if (At >= Text.size() || !IsDigit(Text[At]))
            Fail(std::string("expected a digit ") + where);
        while (At < Text.size() && IsDigit(Text[At]))
            ++At;
    };
    if (At < Text.size() && Text[At] == '-')
        ++At;
    if (At < Text.size() && Text[At] == '0') {
        ++At;
        if (At < Text.size() && IsDigit(Text[At]))
            Fail("a number may not start with 0 (JSON has no octal numbers)");
    } else {
        digits("in the number");
    }
    if (At < Text.size() && Text[At] == '.') {
        ++At;
        digits("after the decimal point");
        integral = false;
    }
    if (At < Text.size() && (Text[At] == 'e' || Text[At] == 'E')) {
        ++At;
        if (At < Text.size() && (Text[At] == '+' || Text[At] == '-'))
            ++At;
        digits("in the exponent");
        integral = false;
    }
    return Text.substr(start, At - start);
}

void JsonReader::Literal(std::string_view word) {
    if (Text.substr(At, word.size()) != word)
        Fail("expected a value, found " + CharText(Text[At]));
    At += word.size();
}

void JsonReader::Skip() {
    // The open containers, innermost last: '{' or '['.
    std::string open;
    for (;;) {
        bool scalar = true;
        switch (Peek()) {
            case Type::Object:
            case Type::Array: {
                const char bracket = Text[At++];
                SkipSpace();
                const char close = bracket == '{' ? '}' : ']';
                if (At < Text.size() && Text[At] == close) {
                    ++At;
                    break;
                }
                open += bracket;
                if (bracket == '{') {
                    std::string_view key;
                    NextKey(true, key);
                }
                scalar = false;
                break;
            }
            case Type::String:
                ReadString();
                break;
            case Type::Number: {
                bool integral = false;
                ReadNumber(integral);
                break;
            }
            case Type::True:
                Literal("true");
                break;
            case Type::False:
                Literal("false");
                break;
            case Type::Null:
                Literal("null");
                break;
        }
        if (!scalar)
            continue;
        // After a value: close what ends here, then go on to the next value.
        for (;;) {
            if (open.empty())
                return;
            const bool object = open.back() == '{';
            std::string_view key;
            const bool more = object ? NextKey(false, key) : NextItem(false);
            if (more)
                break;
            open.pop_back();
        }
    }
}

void JsonReader::End() {
    SkipSpace();
    if (At < Text.size())
        Fail("expected the end of the text after the last value, found " + CharText(Text[At]));
}

size_t JsonReader::ValueEnd(size_t from, size_t limit) const {
    size_t i = from;
    int depth = 0;
    while (i < Text.size() && i < limit) {
        const char c = Text[i];
        if (c == '"') {
            for (++i; i < Text.size() && Text[i] != '"'; ++i) {
                if (Text[i] == '\\')
                    ++i;
            }
            ++i;
            if (depth == 0)
                return i;
        } else if (c == '{' || c == '[') {
            ++depth;
            ++i;
        } else if (c == '}' || c == ']') {
            if (depth == 0)
                return i;
            ++i;
            if (--depth == 0)
                return i;
        } else if (depth == 0 && (c == ',' || c == ':' || IsSpace(c))) {
            return i;
        } else {
            ++i;
        }
    }
    return std::min(i, Text.size());
}

std::string JsonReader::Preview(size_t max) {
    SkipSpace();
    const size_t end = std::min(ValueEnd(At, At + 4 * max), Text.size());
    std::string text;
    bool cut = false;
    for (size_t i = At; i < end; ++i) {
        if (text.size() >= max) {
            cut = true;
            break;
        }
        const char c = Text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (IsSpace(c)) {
            if (!text.empty() && text.back() != ' ')
                text += ' ';
        } else if (byte >= 0x80) {
            const size_t length = Utf8SequenceLength(Text, i);
            if (length == 0) {
                text += '?';
            } else {
                text.append(Text.substr(i, length));
                i += length - 1;
            }
        } else {
            text += byte < 0x20 || byte == 0x7F ? '?' : c;
        }
    }
    if (cut || (end == At + 4 * max && end < Text.size()))
        text += "...";
    return text;
}

}  // namespace sim
