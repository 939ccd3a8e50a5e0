// Reading a command's arguments against its table of options.
#include "sim/cli/OptionParser.h"

#include <cstdlib>

namespace sim {
namespace {

// A time limit beyond this is a mistake (about eleven days).
constexpr double kMaxSeconds = 1e6;
// Memory sizes, in megabytes: less than this cannot run the host and a
// module; more is a mistake.
constexpr uint64_t kMinMegabytes = 16;
constexpr uint64_t kMaxMegabytes = uint64_t{1} << 20;

}  // namespace

void OptionParser::Value(std::string name, Take take, bool repeatable) {
    Option option;
    option.Name = std::move(name);
    option.TakeValue = std::move(take);
    option.Repeatable = repeatable;
    Options.push_back(std::move(option));
}

void OptionParser::Text(std::string name, std::string& target) {
    const std::string option = name;
    Value(std::move(name), [option, &target](const std::string& value, std::string& error) {
        if (value.empty()) {
            error = option + " needs a value, not an empty text";
            return false;
        }
        target = value;
        return true;
    });
}

void OptionParser::Seconds(std::string name, double& target) {
    const std::string option = name;
    Value(std::move(name), [option, &target](const std::string& value, std::string& error) {
        // Digits with at most one point; no sign, exponent or words.
        const bool digits = !value.empty() && value.find_first_not_of("0123456789.") ==
                                                  std::string::npos &&
                            value.find('.') == value.rfind('.') && value != ".";
        const double seconds = digits ? std::strtod(value.c_str(), nullptr) : 0;
        if (!(seconds > 0) || seconds > kMaxSeconds) {
            error = option + ": a number of seconds above 0 (such as 10 or 0.5), not \"" +
                    value + "\"";
            return false;
        }
        target = seconds;
        return true;
    });
}

void OptionParser::Megabytes(std::string name, uint64_t& target) {
    const std::string option = name;
    Value(std::move(name), [option, &target](const std::string& value, std::string& error) {
        // Digits and the unit, M or G; bytes alone are refused as a likely slip.
        const char unit = value.empty() ? '\0' : value.back();
        const uint64_t scale = unit == 'M' ? 1 : unit == 'G' ? 1024 : 0;
        uint64_t count = 0;
        if (scale == 0 ||
            ReadUnsigned(std::string_view(value).substr(0, value.size() - 1), 1,
                         kMaxMegabytes / scale, count) != NumberProblem::None ||
            count * scale < kMinMegabytes) {
            error = option + ": a size from " + std::to_string(kMinMegabytes) + "M to " +
                    std::to_string(kMaxMegabytes / 1024) + "G, such as 256M or 4G, not \"" +
                    value + "\"";
            return false;
        }
        target = count * scale;
        return true;
    });
}

void OptionParser::Flag(std::string name, bool& target) {
    Option option;
    option.Name = std::move(name);
    option.FlagTarget = &target;
    option.Repeatable = true;
    Options.push_back(std::move(option));
}

void OptionParser::Operands(std::string what, size_t min, size_t max,
                            std::vector<std::string>& into) {
    OperandName = std::move(what);
    MinOperands = min;
    MaxOperands = max;
    OperandTarget = &into;
}

OptionParser::Option* OptionParser::Find(const std::string& name) {
    for (Option& option : Options) {
        if (option.Name == name)
            return &option;
    }
    return nullptr;
}

ParseResult OptionParser::Parse(const std::vector<std::string>& args, std::string& error) {
    std::vector<std::string> operands;
    const Option* previous = nullptr;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool looksLikeOption =
            !optionsEnded && arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
        if (!looksLikeOption) {
            if (OperandTarget == nullptr || operands.size() == MaxOperands) {
                error = Command + ": unexpected word \"" + arg + "\"";
                if (previous != nullptr && previous->FlagTarget != nullptr)
                    error += " (" + previous->Name + " takes no value)";
                else if (OperandTarget == nullptr)
                    error += "; options start with --";
                return ParseResult::Error;
            }
            operands.push_back(arg);
            previous = nullptr;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h")
            return ParseResult::Help;
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        Option* option = Find(name);
        if (option == nullptr) {
            error = Command + ": unknown option " + name;
            return ParseResult::Error;
        }
        if (option->Seen && !option->Repeatable) {
            error = name + " is given twice";
            return ParseResult::Error;
        }
        option->Seen = true;
        previous = option;
        if (option->FlagTarget != nullptr) {
            if (equals != std::string::npos) {
                error = name + " takes no value";
                return ParseResult::Error;
            }
            *option->FlagTarget = true;
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size() && Find(args[i + 1]) == nullptr) {
            value = args[++i];
        } else {
            error = name + " needs a value";
            if (i + 1 < args.size())
                error += ", not the option " + args[i + 1];
            return ParseResult::Error;
        }
        if (!option->TakeValue(value, error))
            return ParseResult::Error;
    }
    if (operands.size() < MinOperands) {
        error = Command + " needs " +
                (MinOperands == 1 ? "a " + OperandName
                                  : std::to_string(MinOperands) + " " + OperandName + "s");
        return ParseResult::Error;
    }
    if (OperandTarget != nullptr)
        *OperandTarget = std::move(operands);
    return ParseResult::Ok;
}

}  // namespace sim
