#include "sim/score/JsonLocator.h"

namespace sim {
namespace {

// Deeper values are not located; their problems name the nearest ancestor.
constexpr int kMaxDepth = 256;

}  // namespace

JsonLocator::JsonLocator(std::string_view text) : Text(text) {
    SkipSpace();
    if (At < Text.size())
        Value("", 0);
}

int JsonLocator::LineOf(std::string pointer) const {
    for (;;) {
        auto found = Lines.find(pointer);
        if (found != Lines.end())
            return found->second;
        if (pointer.empty())
            return 0;
        pointer.erase(pointer.rfind('/'));
    }
}

std::string JsonLocator::EscapeKey(std::string_view key) {
    std::string escaped;
    for (char c : key) {
        if (c == '~') {
            escaped += "~0";
        } else if (c == '/') {
            escaped += "~1";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

void JsonLocator::SkipSpace() {
    while (At < Text.size() &&
           (Text[At] == ' ' || Text[At] == '\t' || Text[At] == '\r' || Text[At] == '\n')) {
        if (Text[At] == '\n')
            ++Line;
        ++At;
    }
}

// Reads a string at its opening quote. Simple escapes are decoded; \u
// escapes are kept as written, which only costs the line of such keys.
std::string JsonLocator::String() {
    std::string value;
    ++At;
    while (At < Text.size() && Text[At] != '"') {
        if (Text[At] == '\\' && At + 1 < Text.size()) {
            const char c = Text[At + 1];
            switch (c) {
                case 'n':
                    value += '\n';
                    break;
                case 't':
                    value += '\t';
                    break;
                case 'r':
                    value += '\r';
                    break;
                case 'b':
                    value += '\b';
                    break;
                case 'f':
                    value += '\f';
                    break;
                case 'u':
                    value += "\\u";
                    break;
                default:
                    value += c;
                    break;
            }
            At += 2;
        } else {
            value += Text[At++];
        }
    }
    ++At;
    return value;
}

// Passes over a value without recording, without recursion.
void JsonLocator::Skip() {
    int open = 0;
    do {
        SkipSpace();
        if (At >= Text.size())
            return;
        const char c = Text[At];
        if (c == '"') {
            String();
        } else if (c == '{' || c == '[') {
            ++open;
            ++At;
        } else if (c == '}' || c == ']') {
            --open;
            ++At;
        } else if (c == ',' || c == ':') {
            ++At;
        } else {
            Scalar();
        }
    } while (open > 0);
}

void JsonLocator::Value(const std::string& pointer, int depth) {
    if (depth > kMaxDepth) {
        Skip();
        return;
    }
    Lines[pointer] = Line;
    if (At >= Text.size())
        return;
    const char c = Text[At];
    if (c == '{' || c == '[') {
        const bool object = c == '{';
        const char close = object ? '}' : ']';
        ++At;
        size_t index = 0;
        for (;;) {
            SkipSpace();
            if (At >= Text.size() || Text[At] == close)
                break;
            std::string child;
            if (object) {
                child = pointer + "/" + EscapeKey(String());
                SkipSpace();
                ++At;  // ':'
                SkipSpace();
            } else {
                child = pointer + "/" + std::to_string(index++);
            }
            Value(child, depth + 1);
            SkipSpace();
            if (At < Text.size() && Text[At] == ',')
                ++At;
        }
        ++At;
    } else if (c == '"') {
        String();
    } else {
        Scalar();
    }
}

// A number, true, false or null.
void JsonLocator::Scalar() {
    while (At < Text.size() && Text[At] != ',' && Text[At] != '}' && Text[At] != ']' &&
           Text[At] != ':' && Text[At] != ' ' && Text[At] != '\t' && Text[At] != '\r' &&
           Text[At] != '\n') {
        ++At;
    }
}

std::pair<int, int> LineAndColumn(std::string_view text, size_t offset) {
    int line = 1;
    int column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

}  // namespace sim
