// A message box as the module asked for it and as the host answered it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Answers of a message box, as MessageBoxW returns them.
enum BoxAnswer : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
    kIdTryAgain = 10,
    kIdContinue = 11,
};

// Style bits the simulated host reads: buttons 0x0F, icon 0xF0, default
// button 0x300.
constexpr unsigned kBoxOk = 0x0;
constexpr unsigned kBoxYesNo = 0x4;
constexpr unsigned kBoxIconStop = 0x10;

// A message box as the module asked for it and as the host answered.
struct BoxRecord {
    uint64_t AfterCall = 0;  // number of MX_ calls made before it
    const void* Window = nullptr;
    bool HostWindow = false;  // Window is the one the host gave the module
    std::u16string Text;
    std::u16string Caption;
    unsigned Style = 0;
    bool Shown = true;  // false when a control made MessageBoxW fail
    int Answer = 0;
    bool Scripted = false;  // the answer came from the script

    std::string TextUtf8() const;
    std::string CaptionUtf8() const;
};

// The texts of a message box are read up to this many units: a text with no
// zero unit by then has none, as far as the host is concerned.
constexpr size_t kBoxTextLimit = 4096;

// A zero-terminated UTF-16 text of the module's, as the host read it.
struct ModuleText {
    std::u16string Text;      // up to the terminator, or as far as it was read
    bool Terminated = true;   // a zero unit ended it
    bool Unreadable = false;  // without one, it ran into memory that cannot be read
};

// Reads the text up to its zero unit: at most limit units, never past the
// end of readable memory (from the page it starts on), and by bytes (the
// module's text need not be aligned). A null text is empty.
ModuleText ReadModuleText(const char16_t* text, size_t limit = kBoxTextLimit);

// What is wrong with a box's text or caption ("text", "caption") read so:
// "MessageBoxW given a text without a terminator in its first 4096 units", or
// nothing.
std::optional<std::string> TerminatorProblem(const ModuleText& text, const char* what);

// A box whose text or caption is one character and a zero, as a module
// shows that passes 4-byte characters (wchar_t on Linux) to MessageBoxW:
// what is suspect about it, or nothing.
std::optional<std::string> OneCharacterTexts(const BoxRecord& box);

// The buttons of a style, first (default) button first.
std::vector<int> ButtonsOf(unsigned style);
// The button a user pressing Enter would choose (the style's default button).
int DefaultAnswer(unsigned style);
// "OK", "OK/Cancel", "Yes/No" ...
std::string ButtonsName(unsigned style);
// "no icon", "stop icon", "question icon", "warning icon", "information icon".
std::string IconName(unsigned style);
// "OK", "Yes", "No" ..., or the number.
std::string AnswerName(int answer);
// The answer as run's --answer takes it: "ok", "tryagain" ..., or the number.
std::string AnswerArgument(int answer);
// "ok", "yes", "no", "cancel", "abort", "retry", "ignore", "tryagain",
// "continue" (any case, spaces ignored), or a number from 0 to 65535.
std::optional<int> ParseAnswer(std::string_view text);

}  // namespace sim
