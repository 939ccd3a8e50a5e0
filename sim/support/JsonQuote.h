// A text as a JSON string literal, for the score files and the validator's reports.
#pragma once

#include <string>
#include <string_view>

namespace sim {

// A text as a JSON string literal, quotes included; bytes that are not
// UTF-8 become U+FFFD, so that what is written always parses.
std::string JsonQuote(std::string_view text);
void AppendJsonQuoted(std::string& out, std::string_view text);

}  // namespace sim
