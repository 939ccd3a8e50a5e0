#include "framework/core/MCUI.h"

#include "framework/core/MCBlockPool.h"
#include "platform/Platform.h"

namespace {

// MessageBoxW styles and answers.
constexpr unsigned kStyleOk = 0x0;
constexpr unsigned kStyleYesNo = 0x4;
constexpr unsigned kStyleStopIcon = 0x10;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

constexpr char kAlertCaption[] = "Error";
constexpr WideLiteral kStaticAlertCaption(kAlertCaption);
const char16_t kNoText[] = u"";

}  // namespace

const char* MCUI::ClassName() const { return "MCUI"; }

int MCUI::Show(const MCString& text, const MCString* caption, const char* defaultCaption,
               unsigned style) const {
    const mcpool::FailureWatch memory;
    MCString shownCaption;
    if (caption != nullptr) shownCaption.SetString(*caption);
    if (caption == nullptr || shownCaption.GetLength() == 0) shownCaption.SetCString(defaultCaption);
    if (memory.Failed()) return 0;
    return ShowBox(text.GetText(), shownCaption.GetText(), style);
}

int MCUI::ShowBox(const char16_t* text, const char16_t* caption, unsigned style) const {
    platform::IsWindow(WindowHandle);
    return platform::MessageBoxW(WindowHandle, text != nullptr ? text : kNoText,
                                 caption != nullptr ? caption : kNoText, style);
}

void MCUI::ShowAlert(const MCString& text, const MCString* caption) const {
    Show(text, caption, kAlertCaption, kStyleOk | kStyleStopIcon);
}

void MCUI::ShowAlert(const char16_t* staticText) const {
    ShowBox(staticText, kStaticAlertCaption.Units, kStyleOk | kStyleStopIcon);
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
