#include "ExtractCommand.h"

#include "IconFile.h"
#include "Options.h"

#include "codecs/ConvertPng.h"
#include "pipeline/FileNames.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

namespace gw::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCommand = "extract";

const std::vector<TOptionSpec> kSpecs = {{"output-dir", true}, {"help", false, 'h'}};

// Writes every image of icon as a PNG file; false when some image could not be written.
bool ExtractImages(const fs::path& file, const TLoadedIcon& icon, const std::optional<fs::path>& outputDir) {
    const std::string name = file.filename().string();
    const auto dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const fs::path folder = outputDir ? *outputDir : file.parent_path();

    bool allWritten = true;
    for (const TOrbImage& image : icon.Document->Image()) {
        const fs::path wanted = folder / (base + "-" + FormatName(image) + ".png");
        std::vector<std::uint8_t> png;
        if (const TStatus encoded = BitmapToPngData(image.Bitmap(), png); !encoded) {
            ReportError(kCommand, wanted, "cannot encode the image as PNG: " + encoded.Reason());
            allWritten = false;
            continue;
        }
        const TPlacedFile placed = SaveWithoutOverwrite(wanted, png);
        if (!placed.Status) {
            ReportError(kCommand, wanted, "cannot write: " + placed.Status.Reason());
            allWritten = false;
            continue;
        }
        PrintLine(stdout, placed.Path.string());
    }
    return allWritten;
}

} // namespace

std::string ExtractUsage() {
    return R"HELP(NAME
    glyphwright-cli extract - write the images of icon files as PNG files

SYNOPSIS
    glyphwright-cli extract [--output-dir DIR] FILE...

DESCRIPTION
    Reads each FILE as 'glyphwright-cli info' does (Windows icons and cursors, Macintosh icons)
    and writes every image it holds as a PNG file (8-bit RGBA, straight alpha) named
    BASE-WIDTHxHEIGHT-BITS.png, where BASE is the file's name without its last extension: app.ico
    gives app-256x256-32.png, app-16x16-8.png, ... Images of fewer bits are written with the colours
    they show, one PNG pixel per icon pixel.

    The PNG files go beside the icon file, or into DIR. An existing file is never overwritten: the
    new one gets the next free name of the series NAME (2).png, NAME (3).png, ...

    Each path written is printed on standard output. A file that is not an icon file, or cannot be
    read, gives "FILE: not an icon file" or "FILE: unreadable (REASON)" on standard error, and the
    other files are still extracted.

OPTIONS
    --output-dir DIR
        Write the PNG files into DIR, which must exist.

    -h, --help
        Show this help.

EXIT STATUS
    0   every image of every FILE was written
    1   some FILE could not be read or some image could not be written
    2   the command line is wrong
)HELP";
}

int RunExtract(const std::vector<std::string>& args) {
    TParsedArgs parsed;
    if (const auto done = ParseCommandArgs(kCommand, args, kSpecs, ExtractUsage(), parsed))
        return *done;
    std::optional<fs::path> outputDir;
    if (const auto dir = parsed.Value("output-dir")) {
        std::error_code ec;
        if (dir->empty() || !fs::is_directory(*dir, ec))
            return UsageError(kCommand, "output folder '" + *dir + "' does not exist");
        outputDir = *dir;
    }
    if (parsed.Operands.empty())
        return UsageError(kCommand, "no FILE given");

    bool succeeded = true;
    for (const std::string& operand : parsed.Operands) {
        const fs::path file = operand;
        const TLoadedIcon icon = LoadIconFile(file);
        if (!icon.Loaded) {
            PrintLine(stderr, FailureLine(file, icon));
            succeeded = false;
            continue;
        }
        succeeded = ExtractImages(file, icon, outputDir) && succeeded;
    }
    return succeeded ? kExitOk : kExitFailure;
}

} // namespace gw::cli
