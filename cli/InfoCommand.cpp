#include "InfoCommand.h"

#include "IconFile.h"
#include "Json.h"
#include "Options.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace gw::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCommand = "info";

const std::vector<TOptionSpec> kSpecs = {{"json", false}, {"help", false, 'h'}};

std::string KindName(const std::string& kind) {
    if (kind == "ico")
        return "Windows icon";
    if (kind == "cur")
        return "Windows cursor";
    return "Macintosh icon";
}

void PrintText(const fs::path& file, const TLoadedIcon& icon) {
    const TOrbIcon& doc = *icon.Document;
    const std::int32_t count = doc.ImageCount();
    PrintLine(stdout, file.string() + ": " + KindName(icon.Kind) + ", " + std::to_string(count) +
                          (count == 1 ? " image" : " images"));
    std::size_t width = 0;
    for (const TOrbImage& image : doc.Image())
        width = std::max(width, FormatName(image).size());
    for (const TOrbImage& image : doc.Image()) {
        std::string name = FormatName(image);
        name.resize(width, ' ');
        PrintLine(stdout, "  " + name + "  " + icon.Report.StorageOf(image));
    }
}

// One file as a JSON object.
std::string JsonFile(const fs::path& file, const TLoadedIcon& icon) {
    std::string json = "  {\"file\": " + JsonString(file.string());
    if (!icon.Loaded) {
        json += ", \"error\": " + JsonString(icon.Error);
        if (!icon.Reason.empty())
            json += ", \"reason\": " + JsonString(icon.Reason);
        return json + "}";
    }
    json += ", \"type\": " + JsonString(icon.Kind) + ", \"images\": [";
    bool first = true;
    for (const TOrbImage& image : icon.Document->Image()) {
        json += first ? "\n" : ",\n";
        first = false;
        json += "    {\"width\": " + std::to_string(image.Width()) +
                ", \"height\": " + std::to_string(image.Height()) +
                ", \"bitCount\": " + std::to_string(image.DataType()) +
                ", \"storage\": " + JsonString(icon.Report.StorageOf(image)) + "}";
    }
    return json + (first ? "]}" : "\n  ]}");
}

} // namespace

std::string InfoUsage() {
    return R"HELP(NAME
    glyphwright-cli info - list the images of icon files

SYNOPSIS
    glyphwright-cli info [--json] FILE...

DESCRIPTION
    Reads each FILE as Glyphwright reads icon files: Windows icons (.ico), Windows cursors (.cur)
    and Macintosh icons (.icns), told apart by their content, not by their names. For each file it
    prints the file's name and kind and the number of its images, then one line per image in the
    icon's own order (colour depth, then width, then height, largest first): the image in the
    format-list syntax WIDTHxHEIGHT-BITS, for example 256x256-32, followed by how the image is
    stored in the file:
      png    a PNG picture (Windows icon)
      dib    a device-independent bitmap with its AND mask (Windows icon)
      TYPE   the element type of a Macintosh icon, with "+" and the type of the mask element that
             was applied: ic08, il32+l8mk, icl8+ICN#; a 1-bit element that holds its own mask is
             just its type, ICN#

    A file that is not an icon file gives the line "FILE: not an icon file" on standard error; a
    file that cannot be read (missing, not readable, or an icon file too damaged to give any image)
    gives "FILE: unreadable (REASON)". The other files are still listed.

OPTIONS
    --json
        Print one JSON document on standard output instead: an array with one object per FILE, in
        the order given, {"file", "type" ("ico", "cur" or "icns"), "images": [{"width", "height",
        "bitCount", "storage"}]}, or {"file", "error", "reason"} for a file that could not be read
        (the message on standard error is printed as well). Bytes of file names that are not UTF-8
        appear as U+FFFD.

    -h, --help
        Show this help.

EXIT STATUS
    0   every FILE was read
    1   some FILE could not be read
    2   the command line is wrong

EXAMPLE
    glyphwright-cli info app.ico
        app.ico: Windows icon, 2 images
          256x256-32  png
          16x16-8     dib
)HELP";
}

int RunInfo(const std::vector<std::string>& args) {
    TParsedArgs parsed;
    if (const auto done = ParseCommandArgs(kCommand, args, kSpecs, InfoUsage(), parsed))
        return *done;
    if (parsed.Operands.empty())
        return UsageError(kCommand, "no FILE given");
    const bool json = parsed.Has("json");

    bool allRead = true;
    std::string document = "[";
    for (std::size_t i = 0; i < parsed.Operands.size(); ++i) {
        const fs::path file = parsed.Operands[i];
        const TLoadedIcon icon = LoadIconFile(file);
        if (!icon.Loaded) {
            allRead = false;
            PrintLine(stderr, FailureLine(file, icon));
        }
        if (json)
            document += (i == 0 ? "\n" : ",\n") + JsonFile(file, icon);
        else if (icon.Loaded)
            PrintText(file, icon);
    }
    if (json)
        PrintLine(stdout, document + (parsed.Operands.empty() ? "]" : "\n]"));
    return allRead ? kExitOk : kExitFailure;
}

} // namespace gw::cli
