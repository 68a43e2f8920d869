#pragma once
// The one in-memory picture of the system: a 32-bit straight-alpha bitmap with a colour depth tag
// (1, 4, 8, 24 or 32 bits per pixel) and a palette. The bitmap always stays 32-bit; the tag tells the
// icon writers which depth to store, and the colour depth conversion brings the pixels into the form
// the tag promises.

#include "image/Bitmap.h"
#include "image/OrbPalette.h"

#include <cstdint>
#include <memory>

namespace gw {

class TOrbImage {
public:
    // A transparent width x height image; tags 1, 4 and 8 get the Windows default palette.
    TOrbImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount);
    virtual ~TOrbImage() = default;
    TOrbImage(const TOrbImage&) = delete;
    TOrbImage& operator=(const TOrbImage&) = delete;

    // A new image of this image's own class (the virtual constructor of the image class).
    virtual std::unique_ptr<TOrbImage> NewInstance(std::int32_t width, std::int32_t height,
                                                   std::uint8_t bitCount) const;

    // Becomes a copy of from: pixels, tag, palette and zoom.
    virtual void Copy(const TOrbImage& from);
    // Same palette and same pixels; tag and zoom take no part.
    virtual bool IsEqual(const TOrbImage& from) const;

    void Resize(std::int32_t width, std::int32_t height, bool resizeImage);
    void Crop(const TGPRect& rect);
    void RotateLeft();
    void RotateRight();
    bool HasPalette() const { return FDataType == 1 || FDataType == 4 || FDataType == 8; }

    std::int32_t GetWidth() const { return FBitmap.Width(); }
    std::int32_t GetHeight() const { return FBitmap.Height(); }
    std::int32_t Width() const { return FBitmap.Width(); }
    std::int32_t Height() const { return FBitmap.Height(); }

    std::uint8_t DataType() const { return FDataType; }
    // Sets the tag and resizes the palette (1 -> 2, 4 -> 16, 8 -> 256, 24/32 -> 0 entries).
    void SetDataType(std::uint8_t bitCount);

    std::int32_t Zoom() const { return FZoom; }
    void SetZoom(std::int32_t zoom) { FZoom = zoom; }

    TBitmap& Bitmap() { return FBitmap; }
    const TBitmap& Bitmap() const { return FBitmap; }
    void SetBitmap(TBitmap bitmap) { FBitmap = std::move(bitmap); }
    TOrbPalette& Palette() { return FPalette; }
    const TOrbPalette& Palette() const { return FPalette; }

private:
    TBitmap FBitmap;
    std::uint8_t FDataType = 32;
    TOrbPalette FPalette;
    std::int32_t FZoom = 100;
};

// The variant icon documents hold: adds the scroll position of an editing view, which Copy leaves.
class TOrbImageIcon : public TOrbImage {
public:
    struct TPoint {
        std::int32_t X = 0, Y = 0;
    };
    using TOrbImage::TOrbImage;
    std::unique_ptr<TOrbImage> NewInstance(std::int32_t width, std::int32_t height,
                                           std::uint8_t bitCount) const override;
    TPoint ScrollPos() const { return FPos; }
    void SetScrollPos(TPoint pos) { FPos = pos; }

private:
    TPoint FPos;
};

} // namespace gw
