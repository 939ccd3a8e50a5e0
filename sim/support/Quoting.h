// Texts quoted for where they go: a shell's command line, an XML report, a
// line of tab-separated fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A word as a POSIX shell reads it back: as it is, or in single quotes.
std::string ShellWord(const std::string& word);
// Each word after a space, as ShellWord gives it.
std::string ShellWords(const std::vector<std::string>& words);

// Text for an XML 1.0 document: markup characters as entities, bytes that
// are not UTF-8 as U+FFFD, and no control characters but line ends and tabs.
std::string XmlText(const std::string& text);

// A field of a tab-separated line: backslash, tab and line ends escaped with
// a backslash; UnescapedField reads one back.
std::string EscapedField(std::string_view text);
std::string UnescapedField(std::string_view escaped);

}  // namespace sim
