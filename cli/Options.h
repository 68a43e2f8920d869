#pragma once
// Reading the arguments of one command: long options with or without a value ("--name VALUE" or
// "--name=VALUE"), flags, "--" to end the options, and the remaining operands in order.

#include <optional>
#include <string>
#include <vector>

namespace gw::cli {

// Exit statuses shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct TOptionSpec {
    std::string Name; // without the leading "--"
    bool TakesValue = false;
    char ShortName = 0; // a one-letter alias ("-h"), or 0
};

struct TParsedOption {
    std::string Name;
    std::string Value; // empty for flags
};

struct TParsedArgs {
    std::vector<TParsedOption> Options; // in the order given
    std::vector<std::string> Operands;
    std::string Error; // not empty when the arguments do not fit the specs

    bool Has(const std::string& name) const;
    // The value of the last occurrence of name.
    std::optional<std::string> Value(const std::string& name) const;
};

TParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs);

} // namespace gw::cli
