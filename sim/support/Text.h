#pragma once

#include <cstdint>
#include <string>

namespace sim {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);

// "0x" and eight upper-case hex digits.
std::string Hex32(uint32_t value);

// Appends a code point (up to 0x10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

}  // namespace sim
