// Whole numbers read as people type them, and what is wrong with one that is not.
#include "sim/support/Numbers.h"

namespace sim {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

// The sign and size of the number in text, before any range is applied.
// A magnitude beyond 64 bits is out of range for every caller.
NumberProblem ReadMagnitude(std::string_view text, bool& negative, uint64_t& magnitude) {
    negative = !text.empty() && text[0] == '-';
    if (negative)
        text.remove_prefix(1);
    unsigned base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return NumberProblem::Malformed;
    bool tooLarge = false;
    uint64_t value = 0;
    for (char c : text) {
        // -1 for a non-digit becomes the largest unsigned value.
        const auto digit = static_cast<unsigned>(HexDigit(c));
        if (digit >= base)
            return NumberProblem::Malformed;
        if (value > (UINT64_MAX - digit) / base)
            tooLarge = true;
        value = value * base + digit;
    }
    if (base == 10 && text.size() > 1 && text[0] == '0')
        return NumberProblem::LeadingZero;
    if (tooLarge)
        return NumberProblem::OutOfRange;
    magnitude = value;
    return NumberProblem::None;
}

}  // namespace

NumberProblem ReadInteger(std::string_view text, int64_t low, int64_t high, int64_t& value) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (const NumberProblem problem = ReadMagnitude(text, negative, magnitude);
        problem != NumberProblem::None) {
        return problem;
    }
    constexpr uint64_t kMostNegative = uint64_t{1} << 63;
    if (magnitude > (negative ? kMostNegative : kMostNegative - 1))
        return NumberProblem::OutOfRange;
    // Two's complement negation in unsigned arithmetic; exact for -2^63 too.
    const auto number = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
    if (number < low || number > high)
        return NumberProblem::OutOfRange;
    value = number;
    return NumberProblem::None;
}

NumberProblem ReadUnsigned(std::string_view text, uint64_t low, uint64_t high, uint64_t& value) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (const NumberProblem problem = ReadMagnitude(text, negative, magnitude);
        problem != NumberProblem::None) {
        return problem;
    }
    if ((negative && magnitude != 0) || magnitude < low || magnitude > high)
        return NumberProblem::OutOfRange;
    value = magnitude;
    return NumberProblem::None;
}

std::string NumberError(std::string_view name, std::string_view text, NumberProblem problem,
                        const std::string& low, const std::string& high) {
    std::string message = std::string(name) + ": \"" + std::string(text) + "\" ";
    switch (problem) {
        case NumberProblem::None:
            break;
        case NumberProblem::Malformed:
            message += "is not a whole number";
            break;
        case NumberProblem::LeadingZero:
            message += "starts with 0, which leaves octal or decimal open";
            break;
        case NumberProblem::OutOfRange:
            message += "is out of range";
            break;
    }
    return message + "; give a number from " + low + " to " + high +
           ", in decimal without leading zeros or as 0x and hex digits";
}

}  // namespace sim
