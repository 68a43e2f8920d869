// glyphwright-cli: the command-line companion of the Glyphwright window. Each command is its own unit;
// this file only picks one.

#include "CombineCommand.h"
#include "ConvertCommand.h"
#include "ExtractCommand.h"
#include "InfoCommand.h"
#include "Options.h"

#include "GlyphwrightVersion.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = R"HELP(NAME
    glyphwright-cli - make icon files from pictures, and look into icon files

SYNOPSIS
    glyphwright-cli convert [OPTIONS] PATH...
    glyphwright-cli combine --output FILE [OPTIONS] PICTURE...
    glyphwright-cli info [--json] FILE...
    glyphwright-cli extract [--output-dir DIR] FILE...
    glyphwright-cli --help | --version

DESCRIPTION
    The command-line companion of the Glyphwright window, for build scripts and for a look at what
    an icon file holds.

COMMANDS
    convert   turn pictures (BMP, JPEG, PNG, GIF, TIFF, JPEG 2000, SVG, SVGZ, WebP, HEIC, AVIF)
              into Windows icons (.ico) or Macintosh icons (.icns), several at once
    combine   make one icon from several pictures, each image from the picture that fits its size
    info      list the images of icon files (.ico, .cur, .icns) and how each is stored
    extract   write every image of icon files as a PNG file

    Run 'glyphwright-cli COMMAND --help' for the options of a command; 'man glyphwright-cli' tells
    the same.

OPTIONS
    -h, --help     show this help
    --version      show the version

EXIT STATUS
    0 success, 1 some file failed, 2 the command line is wrong.
)HELP";

struct TCommand {
    const char* Name;
    int (*Run)(const std::vector<std::string>& args);
};

constexpr TCommand kCommands[] = {
    {"convert", gw::cli::RunConvert},
    {"combine", gw::cli::RunCombine},
    {"info", gw::cli::RunInfo},
    {"extract", gw::cli::RunExtract},
};

// The exit status once standard output is flushed: output that could not be written fails the run,
// with a message on standard error.
int Finish(const char* command, int status) {
    const auto failure = gw::cli::StandardOutputFailure();
    if (!failure)
        return status;
    if (command != nullptr)
        std::fprintf(stderr, "glyphwright-cli %s: %s\n", command, failure->c_str());
    else
        std::fprintf(stderr, "glyphwright-cli: %s\n", failure->c_str());
    return status == gw::cli::kExitUsage ? status : gw::cli::kExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return gw::cli::kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, stdout);
        return Finish(nullptr, gw::cli::kExitOk);
    }
    if (args[0] == "--version") {
        std::printf("glyphwright-cli %s\n", gw::kVersion);
        return Finish(nullptr, gw::cli::kExitOk);
    }
    for (const TCommand& command : kCommands) {
        if (args[0] != command.Name)
            continue;
        const int status = command.Run(std::vector<std::string>(args.begin() + 1, args.end()));
        return Finish(command.Name, status);
    }
    std::fprintf(stderr, "glyphwright-cli: unknown command '%s'\nTry 'glyphwright-cli --help'.\n",
                 args[0].c_str());
    return gw::cli::kExitUsage;
}
