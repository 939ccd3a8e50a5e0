// Whole numbers as people type them on a command line or in a file.
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace sim {

// Whole numbers as people type them on a command line or in a file:
// decimal digits, or "0x" (or "0X") and hex digits, with a '-' in front for
// a negative number. Nothing else is taken: no spaces, no '+', no leading
// zeros on a decimal number (octal is not read, and "010" is not silently
// 10), no value beyond the range asked for.
enum class NumberProblem : uint8_t {
    None,
    Malformed,    // empty, a stray character, "0x" alone
    LeadingZero,  // "010", "-07"
    OutOfRange,   // a number, but not from low to high
};

// The value of a hex digit (either case), or -1.
int HexDigit(char c);

// Reads text as a number from low to high into value, which is left alone
// unless the answer is None.
NumberProblem ReadInteger(std::string_view text, int64_t low, int64_t high, int64_t& value);
NumberProblem ReadUnsigned(std::string_view text, uint64_t low, uint64_t high, uint64_t& value);

// What is wrong with text as a number from low to high, for the option or
// field called name: `--measures: "040" has a leading 0 ...`.
std::string NumberError(std::string_view name, std::string_view text, NumberProblem problem,
                        const std::string& low, const std::string& high);

// Reads a number for the option or field called name. False, with error
// naming it and saying what is wrong, when text is not a number from low to
// high; value is then left alone.
template <std::integral T>
bool ParseNumber(std::string_view name, std::string_view text, T& value, std::string& error,
                 T low = std::numeric_limits<T>::min(), T high = std::numeric_limits<T>::max()) {
    NumberProblem problem;
    if constexpr (std::is_signed_v<T>) {
        int64_t number = 0;
        problem = ReadInteger(text, low, high, number);
        if (problem == NumberProblem::None)
            value = static_cast<T>(number);
    } else {
        uint64_t number = 0;
        problem = ReadUnsigned(text, low, high, number);
        if (problem == NumberProblem::None)
            value = static_cast<T>(number);
    }
    if (problem == NumberProblem::None)
        return true;
    error = NumberError(name, text, problem, std::to_string(low), std::to_string(high));
    return false;
}

}  // namespace sim
