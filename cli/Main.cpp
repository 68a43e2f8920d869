// glyphwright-cli: the command-line companion of the Glyphwright window. Each command is its own unit;
// this file only picks one.

#include "ConvertCommand.h"
#include "Options.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = R"(Usage: glyphwright-cli COMMAND [OPTIONS] ARGS...

Commands:
  convert     turn pictures into icon files (.ico or .icns)

Run 'glyphwright-cli COMMAND --help' for the options of a command.
)";

struct TCommand {
    const char* Name;
    int (*Run)(const std::vector<std::string>& args);
};

constexpr TCommand kCommands[] = {
    {"convert", gw::cli::RunConvert},
};

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return gw::cli::kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, stdout);
        return gw::cli::kExitOk;
    }
    for (const TCommand& command : kCommands)
        if (args[0] == command.Name)
            return command.Run(std::vector<std::string>(args.begin() + 1, args.end()));
    std::fprintf(stderr, "glyphwright-cli: unknown command '%s'\n%s", args[0].c_str(), kUsage);
    return gw::cli::kExitUsage;
}
