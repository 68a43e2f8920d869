#pragma once
// Reading the arguments of one command: long options with or without a value ("--name VALUE" or
// "--name=VALUE"), flags, "--" to end the options, and the remaining operands in order.

#include <cstdint>
#include <cstdio>
#include <filesystem>
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

// Parses the arguments of command. Answers the exit status when the command is done already (a usage
// error was reported, or the help printed because of -h or --help), nullopt when it should run.
std::optional<int> ParseCommandArgs(const char* command, const std::vector<std::string>& args,
                                    const std::vector<TOptionSpec>& specs, const std::string& usage,
                                    TParsedArgs& parsed);

// A whole decimal number from min to max, or nullopt.
std::optional<std::int32_t> ParseCount(const std::string& text, std::int32_t min, std::int32_t max);

// Writes line and a line feed, and flushes, so that lines of both streams keep their order. A failed
// write to standard output is remembered for StandardOutputFailure.
void PrintLine(std::FILE* stream, const std::string& line);
// Flushes standard output; the message for the user when some write to it failed (a full disk, a
// closed pipe), as the GNU tools give it, else none.
std::optional<std::string> StandardOutputFailure();
// "glyphwright-cli COMMAND: MESSAGE" and the hint to the help, on standard error; returns kExitUsage.
int UsageError(const char* command, const std::string& message);
// "glyphwright-cli COMMAND: FILE: REASON" on standard error.
void ReportError(const char* command, const std::filesystem::path& file, const std::string& reason);

} // namespace gw::cli
