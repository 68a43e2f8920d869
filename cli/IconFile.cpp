#include "IconFile.h"

#include "formats/IconCoders.h"
#include "pipeline/TypeCheck.h"

#include <string>

namespace gw::cli {

namespace fs = std::filesystem;

namespace {

// The icon kind by content, or "" for every other file (and for one that cannot be opened).
std::string IconKind(const fs::path& file) {
    switch (DetectFileType(file).Type) {
    case TFileTypes::ftIco:
        return "ico";
    case TFileTypes::ftCur:
        return "cur";
    case TFileTypes::ftMacIcon:
        return "icns";
    default:
        return {};
    }
}

} // namespace

TLoadedIcon LoadIconFile(const fs::path& file) {
    TLoadedIcon icon;
    icon.Document = std::make_unique<TOrbIcon>();
    icon.Loaded = LoadIcon(file, *icon.Document, icon.Report).IsOk();
    icon.Kind = IconKind(file);
    // A file whose directory or elements gave no image at all holds nothing to list or extract.
    if (icon.Loaded && icon.Document->ImageCount() == 0) {
        icon.Loaded = false;
        icon.Error = "unreadable";
        icon.Reason = "no image could be read";
        return icon;
    }
    if (icon.Loaded)
        return icon;
    // The reader's own answer for files that are icons by their first bytes or cannot be read at
    // all; for every other file the plain statement says more than a reader's complaint about it.
    if (icon.Report.Status.Kind() != TFailure::Io && icon.Kind.empty()) {
        icon.Error = "not an icon file";
        return icon;
    }
    icon.Error = "unreadable";
    icon.Reason =
        icon.Report.Status.Reason().empty() ? "no image could be read" : icon.Report.Status.Reason();
    return icon;
}

std::string FailureLine(const fs::path& file, const TLoadedIcon& icon) {
    std::string line = file.string() + ": " + icon.Error;
    if (!icon.Reason.empty())
        line += " (" + icon.Reason + ")";
    return line;
}

std::string FormatName(const TOrbImage& image) {
    return FormatName(image.Width(), image.Height(), image.DataType());
}

std::string FormatName(std::int32_t width, std::int32_t height, std::int32_t bitCount) {
    return std::to_string(width) + "x" + std::to_string(height) + "-" + std::to_string(bitCount);
}

} // namespace gw::cli
