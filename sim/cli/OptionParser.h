// The option tables the commands share: each option's name and what it sets.
#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "sim/support/Numbers.h"

namespace sim {

// What reading a command's arguments came to.
enum class ParseResult {
    Ok,
    Help,   // --help or -h stood where an option may stand
    Error,  // a usage error, described in the error text
};

// The options of one command as a table: each option's name and what to do
// with its value. Options are "--name VALUE" or "--name=VALUE"; a value is
// taken as it is, even "help", and may not be another option of the
// command. Anything that is not an option is an operand; after "--",
// everything is.
class OptionParser {
  public:
    // Takes an option's value; false, with error set, when it is not one.
    using Take = std::function<bool(const std::string& value, std::string& error)>;

    explicit OptionParser(std::string command) : Command(std::move(command)) {}

    // An option with a value. Given twice, it is an error unless repeatable.
    void Value(std::string name, Take take, bool repeatable = false);
    // An option with a text value, which may not be empty.
    void Text(std::string name, std::string& target);
    // An option with a whole number from low to high (see Numbers.h).
    template <std::integral T>
    void Number(std::string name, T& target, T low = std::numeric_limits<T>::min(),
                T high = std::numeric_limits<T>::max()) {
        const std::string option = name;
        Value(std::move(name),
              [option, &target, low, high](const std::string& value, std::string& error) {
                  return ParseNumber(option, value, target, error, low, high);
              });
    }
    // An option with a number of seconds above 0: decimal, such as 10 or 0.5.
    void Seconds(std::string name, double& target);
    // An option with a size of memory in megabytes, given as 256M or 4G.
    void Megabytes(std::string name, uint64_t& target);
    // An option without a value.
    void Flag(std::string name, bool& target);
    // Operands: at least min and at most max of them, what says what they
    // are ("score file"). Without this call a command takes none.
    void Operands(std::string what, size_t min, size_t max, std::vector<std::string>& into);

    // Reads the arguments after the command name.
    ParseResult Parse(const std::vector<std::string>& args, std::string& error);

  private:
    struct Option {
        std::string Name;
        Take TakeValue;  // empty for a flag
        bool* FlagTarget = nullptr;
        bool Repeatable = false;
        bool Seen = false;
    };

    Option* Find(const std::string& name);

    std::string Command;
    std::vector<Option> Options;
    std::string OperandName;
    size_t MinOperands = 0;
    size_t MaxOperands = 0;
    std::vector<std::string>* OperandTarget = nullptr;
};

}  // namespace sim
