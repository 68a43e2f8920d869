#include "Options.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace gw::cli {

namespace {

const TOptionSpec* FindLong(const std::vector<TOptionSpec>& specs, const std::string& name) {
    const auto it =
        std::find_if(specs.begin(), specs.end(), [&](const TOptionSpec& s) { return s.Name == name; });
    return it == specs.end() ? nullptr : &*it;
}

const TOptionSpec* FindShort(const std::vector<TOptionSpec>& specs, char name) {
    const auto it =
        std::find_if(specs.begin(), specs.end(), [&](const TOptionSpec& s) { return s.ShortName == name; });
    return it == specs.end() ? nullptr : &*it;
}

} // namespace

bool TParsedArgs::Has(const std::string& name) const {
    return std::any_of(Options.begin(), Options.end(),
                       [&](const TParsedOption& o) { return o.Name == name; });
}

std::optional<std::string> TParsedArgs::Value(const std::string& name) const {
    for (auto it = Options.rbegin(); it != Options.rend(); ++it)
        if (it->Name == name)
            return it->Value;
    return std::nullopt;
}

TParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs) {
    TParsedArgs result;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A lone "-" is an operand (a file of that name); "--" ends the options.
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            result.Operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        if (arg[1] != '-' && arg.size() > 2) {
            // Short options grouped as getopt takes them: "-qr" is "-q -r", "-j1" is "-j 1".
            for (std::size_t k = 1; k < arg.size(); ++k) {
                const TOptionSpec* grouped = FindShort(specs, arg[k]);
                if (grouped == nullptr) {
                    result.Error = "unknown option -" + std::string(1, arg[k]) + " in " + arg;
                    return result;
                }
                if (!grouped->TakesValue) {
                    result.Options.push_back({grouped->Name, {}});
                    continue;
                }
                if (k + 1 < arg.size()) {
                    result.Options.push_back({grouped->Name, arg.substr(k + 1)});
                } else if (i + 1 < args.size()) {
                    result.Options.push_back({grouped->Name, args[++i]});
                } else {
                    result.Error = "option -" + std::string(1, arg[k]) + " needs a value";
                    return result;
                }
                break;
            }
            continue;
        }

        const TOptionSpec* spec = nullptr;
        std::optional<std::string> inlineValue;
        if (arg[1] == '-') {
            const auto equals = arg.find('=');
            const std::string name =
                arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (equals != std::string::npos)
                inlineValue = arg.substr(equals + 1);
            spec = FindLong(specs, name);
        } else {
            spec = FindShort(specs, arg[1]);
        }
        if (spec == nullptr) {
            result.Error = "unknown option " + arg;
            return result;
        }

        TParsedOption option{spec->Name, {}};
        if (spec->TakesValue) {
            if (inlineValue) {
                option.Value = *inlineValue;
            } else if (i + 1 < args.size()) {
                option.Value = args[++i];
            } else {
                result.Error = "option --" + spec->Name + " needs a value";
                return result;
            }
        } else if (inlineValue) {
            result.Error = "option --" + spec->Name + " takes no value";
            return result;
        }
        result.Options.push_back(std::move(option));
    }
    return result;
}

std::optional<int> ParseCommandArgs(const char* command, const std::vector<std::string>& args,
                                    const std::vector<TOptionSpec>& specs, const std::string& usage,
                                    TParsedArgs& parsed) {
    parsed = ParseArgs(args, specs);
    if (!parsed.Error.empty())
        return UsageError(command, parsed.Error);
    if (parsed.Has("help")) {
        std::fputs(usage.c_str(), stdout);
        return kExitOk;
    }
    return std::nullopt;
}

std::optional<std::int32_t> ParseCount(const std::string& text, std::int32_t min, std::int32_t max) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end || value < min || value > max)
        return std::nullopt;
    return value;
}

namespace {

// The error of the first write to standard output that failed, or 0.
std::atomic<int> gOutputError{0};

} // namespace

void PrintLine(std::FILE* stream, const std::string& line) {
    errno = 0;
    const bool written =
        std::fputs(line.c_str(), stream) >= 0 && std::fputc('\n', stream) != EOF && std::fflush(stream) == 0;
    if (!written && stream == stdout) {
        int expected = 0;
        gOutputError.compare_exchange_strong(expected, errno != 0 ? errno : EIO);
    }
}

std::optional<std::string> StandardOutputFailure() {
    errno = 0;
    if (std::fflush(stdout) != 0 && gOutputError == 0)
        gOutputError = errno != 0 ? errno : EIO;
    if (gOutputError == 0 && std::ferror(stdout) != 0)
        gOutputError = EIO;
    if (gOutputError == 0)
        return std::nullopt;
    return std::string("write error on standard output: ") + std::strerror(gOutputError);
}

int UsageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "glyphwright-cli %s: %s\nTry 'glyphwright-cli %s --help'.\n", command,
                 message.c_str(), command);
    return kExitUsage;
}

void ReportError(const char* command, const std::filesystem::path& file, const std::string& reason) {
    std::fprintf(stderr, "glyphwright-cli %s: %s: %s\n", command, file.c_str(), reason.c_str());
    std::fflush(stderr);
}

} // namespace gw::cli
