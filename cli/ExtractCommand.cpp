#include "ExtractCommand.h"

#include "IconFile.h"
#include "Options.h"

#include "codecs/ConvertPng.h"
#include "pipeline/FileNames.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

namespace gw::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCommand = "extract";

const std::vector<TOptionSpec> kSpecs = {{"output-dir", true}, {"help", false, 'h'}};

// Writes bitmap as the PNG file wanted, or the next free name of its series; false when it could not.
bool WritePng(const TBitmap& bitmap, const fs::path& wanted) {
    std::vector<std::uint8_t> png;
    if (const TStatus encoded = BitmapToPngData(bitmap, png); !encoded) {
        ReportError(kCommand, wanted, "cannot encode the image as PNG: " + encoded.Reason());
        return false;
    }
    const TPlacedFile placed = SaveWithoutOverwrite(wanted, png);
    if (!placed.Status) {
        ReportError(kCommand, wanted, "cannot write: " + placed.Status.Reason());
        return false;
    }
    PrintLine(stdout, placed.Path.string());
    return true;
}

// The element type of a storage ("il32" of "il32+l8mk") with the characters a file name should not
// carry replaced ("ICN#" gives "ICN_").
std::string StorageSuffix(const std::string& storage) {
    std::string suffix = storage.substr(0, storage.find('+'));
    for (char& c : suffix) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return suffix;
}

// Writes every image of icon as a PNG file, then every image the icon did not keep that decoded
// (named with its element type as a suffix); false when some image could not be written.
bool ExtractImages(const fs::path& file, const TLoadedIcon& icon, const std::optional<fs::path>& outputDir) {
    const std::string name = file.filename().string();
    const auto dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const fs::path folder = outputDir ? *outputDir : file.parent_path();

    bool allWritten = true;
    for (const TOrbImage& image : icon.Document->Image())
        allWritten =
            WritePng(image.Bitmap(), folder / (base + "-" + FormatName(image) + ".png")) && allWritten;
    for (const TImageStorage& record : icon.Report.Images) {
        if (record.Image != nullptr || record.Pixels.Pixels().empty())
            continue;
        const std::string shape = FormatName(record.Width, record.Height, record.BitCount);
        allWritten = WritePng(record.Pixels,
                              folder / (base + "-" + shape + "-" + StorageSuffix(record.Storage) + ".png")) &&
                     allWritten;
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

    A Macintosh icon may hold a second image of a size and depth (see 'glyphwright-cli info'): it is
    written too, named with its element type after the format, app-32x32-32-il32.png.

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
