#include "image/OrbImage.h"

#include "image/Convert.h"
#include "image/GDIUtils.h"
#include "image/Graphics.h"

namespace gw {

TOrbImage::TOrbImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount)
    : FBitmap(width, height) {
    SetDataType(bitCount);
    switch (bitCount) {
    case 1:
        FPalette.FillWin2();
        break;
    case 4:
        FPalette.FillWin16();
        break;
    case 8:
        FPalette.FillWin256();
        break;
    default:
        break;
    }
}

std::unique_ptr<TOrbImage> TOrbImage::NewInstance(std::int32_t width, std::int32_t height,
                                                  std::uint8_t bitCount) const {
    return std::make_unique<TOrbImage>(width, height, bitCount);
}

std::unique_ptr<TOrbImage> TOrbImageIcon::NewInstance(std::int32_t width, std::int32_t height,
                                                      std::uint8_t bitCount) const {
    return std::make_unique<TOrbImageIcon>(width, height, bitCount);
}

void TOrbImage::Copy(const TOrbImage& from) {
    // NOTE: copying an image onto itself would first drop the very pixels it is about to copy.
    if (&from == this)
        return;
    FBitmap = TBitmap(from.Width(), from.Height());
    CopyBitmapRect(from.FBitmap, FBitmap, 0, 0, from.Width(), from.Height());
    SetDataType(from.FDataType);
    FPalette.Copy(from.FPalette);
    FZoom = from.FZoom;
}

bool TOrbImage::IsEqual(const TOrbImage& from) const {
    return FPalette.IsEqual(from.FPalette) && CompareBitmaps(FBitmap, from.FBitmap);
}

void TOrbImage::SetDataType(std::uint8_t bitCount) {
    FDataType = bitCount;
    FPalette.Resize(bitCount);
}

void TOrbImage::Resize(std::int32_t width, std::int32_t height, bool resizeImage) {
    if (width >= 0 && width == Width() && height >= 0 && height == Height())
        return;
    TBitmap resized(width, height);
    const TGPRectF bounds{0, 0, static_cast<float>(width), static_cast<float>(height)};
    const TGPRectF source{0, 0, static_cast<float>(Width()), static_cast<float>(Height())};
    const TGPRectF destination = resizeImage ? ScaleToFit(bounds, source) : CenterInRect(bounds, source);
    DrawBitmap(resized, FBitmap, destination, TInterpolation::HighQualityBilinear);
    FBitmap = std::move(resized);
}

void TOrbImage::Crop(const TGPRect& rect) {
    CropBitmap(FBitmap, rect);
}

void TOrbImage::RotateLeft() {
    RotateFlip(FBitmap, TRotateFlip::Rotate270FlipNone);
}

void TOrbImage::RotateRight() {
    RotateFlip(FBitmap, TRotateFlip::Rotate90FlipNone);
}

} // namespace gw
