#include "Options.h"

#include <algorithm>

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

        const TOptionSpec* spec = nullptr;
        std::optional<std::string> inlineValue;
        if (arg[1] == '-') {
            const auto equals = arg.find('=');
            const std::string name =
                arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (equals != std::string::npos)
                inlineValue = arg.substr(equals + 1);
            spec = FindLong(specs, name);
        } else if (arg.size() == 2) {
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

} // namespace gw::cli
