// Message box styles and answers: buttons, icons and names, read and written.
#include "sim/host/MessageBoxRecord.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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

// Whether the page that holds address can be read. Asked of the system, so
// that an unreadable page is an answer, not a fault.
bool Readable(const unsigned char* address) {
#if defined(_WIN32)
    unsigned char byte = 0;
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), address, &byte, 1, &read) != 0 && read == 1;
#else
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return true;  // no way to ask: read as a host would
    const bool readable = write(ends[1], address, 1) == 1;
    close(ends[0]);
    close(ends[1]);
    return readable;
#endif
}

size_t PageSize() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<size_t>(size) : 4096;
#endif
}

}  // namespace

ModuleText ReadModuleText(const char16_t* text, size_t limit) {
    ModuleText read;
    if (text == nullptr)
        return read;
    static const size_t kPage = PageSize();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    // The page the text starts on is the module's to give readable, as any
    // pointer it passes; those after it are asked about, once each.
    uintptr_t readableEnd = reinterpret_cast<uintptr_t>(text) / kPage * kPage + kPage;
    for (size_t unit = 0; unit < limit; ++unit) {
        const unsigned char* at = bytes + unit * sizeof(char16_t);
        for (const unsigned char* byte : {at, at + 1}) {
            const auto address = reinterpret_cast<uintptr_t>(byte);
            if (address < readableEnd)
                continue;
            if (!Readable(byte)) {
                read.Terminated = false;
                read.Unreadable = true;
                return read;
            }
            readableEnd = address / kPage * kPage + kPage;
        }
        char16_t value = 0;
        std::memcpy(&value, at, sizeof value);
        if (value == 0)
            return read;
        read.Text += value;
    }
    read.Terminated = false;
    return read;
}

std::optional<std::string> TerminatorProblem(const ModuleText& text, const char* what) {
    if (text.Terminated)
        return std::nullopt;
    if (text.Unreadable) {
        return std::string("MessageBoxW given a ") + what + " without a terminator: after " +
               std::to_string(text.Text.size()) + " units it runs into memory that cannot be read";
    }
    return std::string("MessageBoxW given a ") + what + " without a terminator in its first " +
           std::to_string(text.Text.size()) + " units";
}

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
