#include "framework/core/MCUI.h"

#include "platform/Platform.h"

namespace {

// MessageBoxW styles and answers.
constexpr unsigned kStyleOk = 0x0;
constexpr unsigned kStyleYesNo = 0x4;
constexpr unsigned kStyleStopIcon = 0x10;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

const char16_t kNoText[] = u"";

}  // namespace

const char* MCUI::ClassName() const { return "MCUI"; }

int MCUI::Show(const MCString& text, const MCString* caption, const char* defaultCaption,
               unsigned style) const {
    MCString shownCaption;
    if (caption != nullptr) shownCaption.SetString(*caption);
    if (caption == nullptr || shownCaption.GetLength() == 0) shownCaption.SetCString(defaultCaption);

    platform::IsWindow(WindowHandle);
    const char16_t* body = text.GetText() != nullptr ? text.GetText() : kNoText;
    const char16_t* title = shownCaption.GetText() != nullptr ? shownCaption.GetText() : kNoText;
    return platform::MessageBoxW(WindowHandle, body, title, style);
}

void MCUI::ShowAlert(const MCString& text, const MCString* caption) const {
    Show(text, caption, "Error", kStyleOk | kStyleStopIcon);
}

int MCUI::AskYesNo(const MCString& text, const MCString* caption) const {
    switch (Show(text, caption, "Yes/No?", kStyleYesNo)) {
        case kIdYes:
            return AnswerYes;
        case kIdNo:
            return AnswerNo;
        default:
            return AnswerOther;
    }
}

void MCUI::ShowInfo(const MCString& text, const MCString* caption) const {
    Show(text, caption, "", kStyleOk);
}
