#pragma once
// The icon document: the set of icon images one conversion produces and one icon file holds. It
// admits one image per width, height and colour depth, keeps its images in document order (depth
// descending, then width descending, then height descending), sorts them into the reverse-depth
// order the ICO writer stores and back. The icon file coders (formats/IconCoders.h) save and load it.

#include "image/OrbMultiImage.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace gw {

class TOrbIcon;

// How one image of a loaded icon file was stored in it. The document keeps only pixels and depths, so
// the readers report this beside it: "png" or "dib" for a Windows icon entry; for a Macintosh icon
// the element type, followed by "+" and the type of the mask element that was applied ("is32+s8mk",
// "icl8+ICN#"); a 1-bit "#" element that masks itself is just its type ("ICN#").
struct TImageStorage {
    const TOrbImage* Image = nullptr; // the document image the stored one became
    std::string Storage;
};

// What a load tells besides the document: one record per image it added, in the order added, and
// the reason when the load failed.
struct TIconLoadReport {
    std::vector<TImageStorage> Images;
    TStatus Status;
    // The storage of image, or empty when the load did not add it.
    std::string StorageOf(const TOrbImage& image) const;
};

class TOrbIcon : public TOrbMultiImage {
public:
    // An empty document that creates and accepts TOrbImageIcon images.
    TOrbIcon();

    // False when an image of exactly this width, height and depth is already in the document.
    bool CanInsertImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount) const override;
    // The position that keeps the document order, or -1 when the image is not admitted.
    std::int32_t GetInsertIndex(std::int32_t width, std::int32_t height,
                                std::uint8_t bitCount) const override;

    // Exchange sorts into document order and into reverse-depth order (depth ascending, then width
    // and height descending). True when some image moved. No hook is called; the selection follows
    // the selected image.
    bool SortImages();
    bool SortImagesReverse();

    // A new TOrbIcon with copies of all images in the same order and the image at the selected
    // position selected; its other settings are the creation defaults.
    std::unique_ptr<TOrbMultiImage> Clone() const override;

    // Kept for the document's interface; whether a 256-pixel image is stored as PNG is a setting.
    bool Compress() const { return FCompress; }
    void SetCompress(bool value) { FCompress = value; }

private:
    bool FCompress = true;
};

} // namespace gw
