// Message box styles and answers: buttons, icons and names, read and written.
#include "sim/host/MessageBoxRecord.h"

#include <algorithm>
#include <cctype>

#include "sim/support/Numbers.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

struct AnswerNameEntry {
    int Answer;
    const char* Name;
};

constexpr AnswerNameEntry kAnswerNames[] = {
    {kIdOk, "OK"},       {kIdCancel, "Cancel"},      {kIdAbort, "Abort"},
    {kIdRetry, "Retry"}, {kIdIgnore, "Ignore"},      {kIdYes, "Yes"},
    {kIdNo, "No"},       {kIdTryAgain, "Try Again"}, {kIdContinue, "Continue"},
};

}  // namespace

std::string BoxRecord::TextUtf8() const {
    return Utf16ToUtf8(Text);
}
std::string BoxRecord::CaptionUtf8() const {
    return Utf16ToUtf8(Caption);
}

std::optional<std::string> OneCharacterTexts(const BoxRecord& box) {
    std::string texts;
    if (box.Caption.size() == 1)
        texts = "caption \"" + box.CaptionUtf8() + "\"";
    if (box.Text.size() == 1)
        texts += (texts.empty() ? "text \"" : " and text \"") + box.TextUtf8() + "\"";
    if (texts.empty())
        return std::nullopt;
    return "a message box of the one-character " + texts +
           ": 4-byte characters? MessageBoxW takes UTF-16 texts";
}

std::vector<int> ButtonsOf(unsigned style) {
    switch (style & 0x0F) {
        case 1:
            return {kIdOk, kIdCancel};
        case 2:
            return {kIdAbort, kIdRetry, kIdIgnore};
        case 3:
            return {kIdYes, kIdNo, kIdCancel};
        case 4:
            return {kIdYes, kIdNo};
        case 5:
            return {kIdRetry, kIdCancel};
        case 6:
            return {kIdCancel, kIdTryAgain, kIdContinue};
        default:
            return {kIdOk};
    }
}

int DefaultAnswer(unsigned style) {
    const std::vector<int> buttons = ButtonsOf(style);
    const size_t index = std::min<size_t>((style >> 8) & 0x3, buttons.size() - 1);
    return buttons[index];
}

std::string ButtonsName(unsigned style) {
    std::string names;
    for (int button : ButtonsOf(style))
        names += (names.empty() ? "" : "/") + AnswerName(button);
    return names;
}

std::string IconName(unsigned style) {
    switch (style & 0xF0) {
        case 0x00:
            return "no icon";
        case 0x10:
            return "stop icon";
        case 0x20:
            return "question icon";
        case 0x30:
            return "warning icon";
        case 0x40:
            return "information icon";
        default:
            return "icon " + std::to_string((style & 0xF0) >> 4);
    }
}

std::string AnswerName(int answer) {
    for (const AnswerNameEntry& entry : kAnswerNames) {
        if (entry.Answer == answer)
            return entry.Name;
    }
    return std::to_string(answer);
}

std::string AnswerArgument(int answer) {
    std::string name;
    for (char c : AnswerName(answer)) {
        if (c != ' ')
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

std::optional<int> ParseAnswer(std::string_view text) {
    std::string lower;
    for (char c : text) {
        if (c != ' ')
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const AnswerNameEntry& entry : kAnswerNames) {
        if (AnswerArgument(entry.Answer) == lower)
            return entry.Answer;
    }
    int64_t number = 0;
    if (ReadInteger(text, 0, 65535, number) == NumberProblem::None)
        return static_cast<int>(number);
    return std::nullopt;
}

}  // namespace sim
