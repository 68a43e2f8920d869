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

// The records of images the file holds that the document did not keep.
std::vector<const TImageStorage*> SetAside(const TLoadedIcon& icon) {
    std::vector<const TImageStorage*> records;
    for (const TImageStorage& record : icon.Report.Images) {
        if (record.Image == nullptr)
            records.push_back(&record);
    }
    return records;
}

// Every image in document order, each followed by those of its shape the document did not keep;
// then those set aside whose shape the document does not hold.
void PrintText(const fs::path& file, const TLoadedIcon& icon) {
    const TOrbIcon& doc = *icon.Document;
    const std::int32_t count = doc.ImageCount();
    const auto setAside = SetAside(icon);
    std::string heading = file.string() + ": " + KindName(icon.Kind) + ", " + std::to_string(count) +
                          (count == 1 ? " image" : " images");
    if (!setAside.empty())
        heading += " (" + std::to_string(setAside.size()) + " more not kept)";
    PrintLine(stdout, heading);
    std::size_t width = 0;
    for (const TOrbImage& image : doc.Image())
        width = std::max(width, FormatName(image).size());
    for (const TImageStorage* record : setAside)
        width = std::max(width, FormatName(record->Width, record->Height, record->BitCount).size());
    const auto line = [&](std::string name, const std::string& rest) {
        name.resize(width, ' ');
        PrintLine(stdout, "  " + name + "  " + rest);
    };
    std::vector<bool> printed(setAside.size(), false);
    for (const TOrbImage& image : doc.Image()) {
        line(FormatName(image), icon.Report.StorageOf(image));
        for (std::size_t i = 0; i < setAside.size(); ++i) {
            const TImageStorage& record = *setAside[i];
            if (FormatName(record.Width, record.Height, record.BitCount) != FormatName(image))
                continue;
            line(FormatName(image), record.Storage + "  (not kept: " + record.SetAside + ")");
            printed[i] = true;
        }
    }
    for (std::size_t i = 0; i < setAside.size(); ++i) {
        const TImageStorage& record = *setAside[i];
        if (!printed[i])
            line(FormatName(record.Width, record.Height, record.BitCount),
                 record.Storage + "  (not kept: " + record.SetAside + ")");
    }
}

std::string JsonImage(std::int32_t width, std::int32_t height, std::int32_t bitCount,
                      const std::string& storage) {
    return "    {\"width\": " + std::to_string(width) + ", \"height\": " + std::to_string(height) +
           ", \"bitCount\": " + std::to_string(bitCount) + ", \"storage\": " + JsonString(storage);
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
        json += JsonImage(image.Width(), image.Height(), image.DataType(), icon.Report.StorageOf(image)) +
                ", \"kept\": true}";
    }
    for (const TImageStorage* record : SetAside(icon)) {
        json += first ? "\n" : ",\n";
        first = false;
        json += JsonImage(record->Width, record->Height, record->BitCount, record->Storage) +
                ", \"kept\": false, \"reason\": " + JsonString(record->SetAside) + "}";
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

    A Macintosh icon may hold two images of one size and depth (il32 and ic11 are both 32x32-32);
    the icon keeps the better one (a PNG, JPEG 2000 or ARGB picture over run-length data with a
    mask, else the first) and the other is listed after it with "(not kept: REASON)", as is an
    element that could not be decoded. The first line counts them as "N more not kept".

    A file that is not an icon file gives the line "FILE: not an icon file" on standard error; a
    file that cannot be read (missing, not readable, or an icon file too damaged to give any image)
    gives "FILE: unreadable (REASON)". The other files are still listed.

OPTIONS
    --json
        Print one JSON document on standard output instead: an array with one object per FILE, in
        the order given, {"file", "type" ("ico", "cur" or "icns"), "images": [{"width", "height",
        "bitCount", "storage", "kept"}]} (the images not kept last, with their "reason"), or
        {"file", "error", "reason"} for a file that could not be read
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
