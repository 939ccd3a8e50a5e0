#pragma once

#include "framework/core/MCBase.h"
#include "framework/core/MCString.h"

// Modal message boxes over the host's window. Every text the user sees passes
// through here. A missing or empty caption takes the box's default.
class MCUI : public __MCBase {
public:
    enum Answer : int { AnswerYes = 2, AnswerNo = 3, AnswerOther = 4 };

    explicit MCUI(void* windowHandle) : WindowHandle(windowHandle) {}
    const char* ClassName() const override;

    // OK button and the stop icon; default caption "Error".
    void ShowAlert(const MCString& text, const MCString* caption) const;
    // Yes and No buttons; default caption "Yes/No?". AnswerOther when the box
    // could not be shown or was closed otherwise.
    int AskYesNo(const MCString& text, const MCString* caption) const;
    // OK button, no icon; default caption empty (an untitled box).
    void ShowInfo(const MCString& text, const MCString* caption) const;

    void* GetWindowHandle() const { return WindowHandle; }

private:
    int Show(const MCString& text, const MCString* caption, const char* defaultCaption,
             unsigned style) const;

    void* const WindowHandle;
};
