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
    // The same alert over a zero-terminated text in static storage, with the
    // default caption: shown without an allocation, also when memory has run
    // out.
    void ShowAlert(const char16_t* staticText) const;
    // Yes and No buttons; default caption "Yes/No?". AnswerOther when the box
    // could not be shown or was closed otherwise.
    int AskYesNo(const MCString& text, const MCString* caption) const;
    // OK button, no icon; default caption empty (an untitled box).
    void ShowInfo(const MCString& text, const MCString* caption) const;

    void* GetWindowHandle() const { return WindowHandle; }

private:
    // Builds the caption and shows the box. A box whose caption cannot be
    // built (the memory for it ran out) is not shown: 0, as when the system
    // cannot show it.
    int Show(const MCString& text, const MCString* caption, const char* defaultCaption,
             unsigned style) const;
    int ShowBox(const char16_t* text, const char16_t* caption, unsigned style) const;

    void* const WindowHandle;
};
