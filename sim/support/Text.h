// Text helpers: UTF-16 to UTF-8, UTF-8 sequences, hex and short numbers, lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);

// "0x" and the value in upper-case hex digits, at least digits of them:
// Hex(0x2A, 4) is "0x002A", Hex(0x19000000, 8) "0x19000000".
std::string Hex(uint32_t value, int digits);

// A number as people write it: 10, 0.5, 1e+06 (printf's %g).
std::string ShortNumber(double value);

// The lines of a text, without their ends ("\n" or "\r\n").
std::vector<std::string> SplitLines(const std::string& text);

// Appends a code point (up to 0x10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

// Length of the UTF-8 sequence at text[at], or 0 when none starts there.
size_t Utf8SequenceLength(std::string_view text, size_t at);
// Appends the UTF-8 sequence at text[at], or U+FFFD for a byte that starts
// none; answers the bytes taken from text.
size_t AppendUtf8Sequence(std::string& out, std::string_view text, size_t at);

// Text from elsewhere (a module's output) made safe to show on a terminal or
// in a report: control characters, bytes that start no UTF-8 sequence and
// the code points that reorder or hide text become visible escapes ("\x1B",
// "\u202E"). Tabs stay, and line ends when keepLines.
std::string VisibleText(std::string_view text, bool keepLines = false);

}  // namespace sim
