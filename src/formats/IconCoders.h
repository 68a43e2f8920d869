#pragma once
// Which coder reads or writes an icon file, and the whole-file operations on icon documents: a name
// ending in ".icns" (in any case) is written as a Macintosh icon, every other name as a Windows
// icon; a file whose content starts with "icns" is read as a Macintosh icon, every other one as a
// Windows icon or cursor. Every coder is a TMultiImageIO, so no document can meet a missing one.

#include "formats/MultiImageIO.h"
#include "formats/ico/IcoIO.h"
#include "image/CommonTypes.h"
#include "image/OrbIcon.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace gw {

class TDataType;

enum class TIconFileKind { Windows, Macintosh };

// Macintosh for a file name whose part from its last "." is ".icns" in any case (also ".icns"
// itself), Windows for every other name.
TIconFileKind IconKindForName(const std::filesystem::path& fileName);
// Macintosh when data starts with the four bytes "icns" (Apple's icon family resource type).
TIconFileKind IconKindForContent(std::span<const std::uint8_t> data);

// What the writers take from the caller's settings.
struct TIconWriteOptions {
    // Windows icons: a 256 x 256 image is stored as PNG rather than as a DIB.
    bool CompressVista = true;
    // Windows icons: what encodes that PNG (TIcoIO::SetPngEncoder); empty for BitmapToPngData.
    TPngEncoder PngEncoder = {};
    // Macintosh icons: remaps palette images (and dithers as it is set up to). Null maps to the
    // nearest palette colours without dithering. Must outlive the save.
    TDataType* Palettes = nullptr;
    // Macintosh icons: the modern form (PNG from 256 pixels up, retina elements; TMacIcoIO::SetModern).
    bool MacModern = false;
};

std::unique_ptr<TMultiImageIO> CreateIconCoder(TIconFileKind kind, bool verbose,
                                               const TIconWriteOptions& options = {});

// The whole icon file of doc in bytes.
TStatus EncodeIcon(TOrbIcon& doc, TIconFileKind kind, const TIconWriteOptions& options,
                   std::vector<std::uint8_t>& bytes);
// Writes doc as fileName, its kind by the name, replacing a file of that name only once the new one
// is complete.
TStatus SaveIcon(TOrbIcon& doc, const std::filesystem::path& fileName, const TIconWriteOptions& options = {});

// Adds the images of an icon file to doc; report tells how each was stored and why a load failed.
TStatus LoadIconData(std::span<const std::uint8_t> data, TOrbIcon& doc, TIconLoadReport& report);
TStatus LoadIcon(const std::filesystem::path& fileName, TOrbIcon& doc, TIconLoadReport& report);
TStatus LoadIcon(const std::filesystem::path& fileName, TOrbIcon& doc);

} // namespace gw
