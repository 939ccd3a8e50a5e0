// box_watcher_test: shows the system's message boxes in every style the
// host can read and checks that the watcher of MELVARA.EXE reads each back
// (caption, text, buttons, icon, default button, owner), records it in the
// host's box log and presses the answer that the host gives. Prints one line
// per check; the exit status is the number of failed checks.
#include <windows.h>

#include <string>
#include <vector>

#include "sim/host/Host.h"
#include "sim/host/MessageBoxRecord.h"
#include "sim/windows/BoxWatcher.h"
#include "sim/windows/HostWindow.h"
#include "tests/wine/WineCheck.h"

namespace {

using wine_check::Check;

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%03X", value);
    return text;
}

std::string Describe(unsigned style) {
    return "style " + Hex(style) + " (" + sim::ButtonsName(style) + ", " + sim::IconName(style) +
           ", default " + sim::AnswerName(sim::DefaultAnswer(style)) + ")";
}

int Show(HWND owner, const std::u16string& text, const std::u16string& caption, unsigned style) {
    return MessageBoxW(owner, reinterpret_cast<LPCWSTR>(text.c_str()),
                       reinterpret_cast<LPCWSTR>(caption.c_str()), style);
}

// Every button set with every icon; the default button on each place of
// the sets with more than one button.
std::vector<unsigned> StylesToShow() {
    std::vector<unsigned> styles;
    for (unsigned buttons = 0; buttons <= 6; ++buttons) {
        for (unsigned icon : {0x00u, 0x10u, 0x20u, 0x30u, 0x40u})
            styles.push_back(buttons | icon);
        const size_t count = sim::ButtonsOf(buttons).size();
        for (unsigned place = 1; place < count; ++place)
            styles.push_back(buttons | (place << 8));
    }
    return styles;
}

// The box is read back as shown and answered with the script's button,
// which MessageBoxW returns.
void CheckScriptedAnswers(sim::Host& host, HWND owner) {
    const std::u16string text = u"Line one\nLine two: \u00c4\u00f6\u00df \u266a";
    for (unsigned style : StylesToShow()) {
        const std::u16string caption =
            u"Caption " + std::u16string(1, static_cast<char16_t>(u'A' + (style & 0x0F)));
        const int answer = sim::ButtonsOf(style).back();
        host.Boxes().ScriptAnswers({answer});
        const size_t before = host.Boxes().List().size();
        int result = 0;
        {
            sim::windows::BoxWatcher watcher(host);
            result = Show(owner, text, caption, style);
        }
        const std::string what = Describe(style);
        if (!Check(host.Boxes().List().size() == before + 1, what + ": recorded once",
                   std::to_string(host.Boxes().List().size() - before) + " boxes recorded")) {
            continue;
        }
        const sim::BoxRecord& box = host.Boxes().List().back();
        Check(box.Style == style, what + ": style read back", "read " + Hex(box.Style));
        Check(box.Caption == caption && box.Text == text, what + ": caption and text read back",
              "\"" + box.CaptionUtf8() + "\": \"" + box.TextUtf8() + "\"");
        Check(box.HostWindow, what + ": owned by the host window");
        Check(box.Scripted && result == answer,
              what + ": answered " + sim::AnswerName(answer) + " as scripted",
              "MessageBoxW returned " + std::to_string(result));
    }
}

// Without a script the host presses the default button.
void CheckDefaultAnswers(sim::Host& host, HWND owner) {
    for (unsigned style : {0x000u, 0x004u, 0x104u, 0x203u, 0x106u}) {
        int result = 0;
        {
            sim::windows::BoxWatcher watcher(host);
            result = Show(owner, u"Default?", u"Default", style);
        }
        const int expected = sim::DefaultAnswer(style);
        Check(result == expected,
              Describe(style) + ": unscripted, answered " + sim::AnswerName(expected),
              "MessageBoxW returned " + std::to_string(result));
    }
}

// A control that makes MessageBoxW fail: the box is ended and returns 0.
void CheckFailingBox(sim::Host& host, HWND owner) {
    host.Failures().SetFunctionMode(sim::HostFn::MessageBoxW, sim::FunctionMode::Failing);
    int result = -1;
    {
        sim::windows::BoxWatcher watcher(host);
        result = Show(owner, u"Fails", u"Failing", MB_YESNO);
    }
    host.Failures().SetFunctionMode(sim::HostFn::MessageBoxW, sim::FunctionMode::Normal);
    Check(result == 0 && !host.Boxes().List().empty() && !host.Boxes().List().back().Shown,
          "a box made to fail returns 0 and is recorded as not shown",
          "MessageBoxW returned " + std::to_string(result));
}

// A box over no window is recorded as such, and an empty caption stays empty.
void CheckOwnerlessBox(sim::Host& host) {
    int result = 0;
    {
        sim::windows::BoxWatcher watcher(host);
        result = Show(nullptr, u"No owner", u"", MB_OK);
    }
    const sim::BoxRecord& box = host.Boxes().List().back();
    Check(result == IDOK && box.Window == nullptr && !box.HostWindow && box.Caption.empty(),
          "a box without owner and caption is recorded without them",
          "caption \"" + box.CaptionUtf8() + "\", " +
              (box.HostWindow ? "over the host window" : "over another window"));
}

// Boxes shown after the watcher has gone are not watched: the watcher only
// answers while it lives. A timer ends this one in its stead.
void CheckWatcherEnds(sim::Host& host, HWND owner) {
    { sim::windows::BoxWatcher watcher(host); }
    const size_t before = host.Boxes().List().size();
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR, DWORD) {
        if (HWND box = FindWindowW(L"#32770", L"Unwatched"))
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    Show(owner, u"Unwatched", u"Unwatched", MB_OK);
    KillTimer(nullptr, timer);
    Check(host.Boxes().List().size() == before, "no box is recorded once the watcher has gone");
}

}  // namespace

int main() {
    sim::Host host;
    sim::windows::HostWindow window;
    if (!Check(window.Handle() != nullptr, "the host window is created"))
        return wine_check::Finish();
    host.SetWindow(window.Handle());

    CheckScriptedAnswers(host, window.Handle());
    CheckDefaultAnswers(host, window.Handle());
    CheckFailingBox(host, window.Handle());
    CheckOwnerlessBox(host);
    CheckWatcherEnds(host, window.Handle());
    return wine_check::Finish();
}
