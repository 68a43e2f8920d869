#include "image/Bitmap.h"

#include "image/Limits.h"

#include <algorithm>
#include <stdexcept>

namespace gw {

TBitmap::TBitmap(std::int32_t width, std::int32_t height) {
    if (!limits::FitsBitmapLimits(width, height))
        return;
    FPixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
    FWidth = width;
    FHeight = height;
}

std::span<TColor> TBitmap::Row(std::int32_t y) {
    if (y < 0 || y >= FHeight)
        throw std::out_of_range("bitmap row out of range");
    return std::span<TColor>(FPixels).subspan(static_cast<std::size_t>(y) * FWidth, FWidth);
}

std::span<const TColor> TBitmap::Row(std::int32_t y) const {
    if (y < 0 || y >= FHeight)
        throw std::out_of_range("bitmap row out of range");
    return std::span<const TColor>(FPixels).subspan(static_cast<std::size_t>(y) * FWidth, FWidth);
}

TColor TBitmap::Pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || x >= FWidth)
        throw std::out_of_range("bitmap column out of range");
    return Row(y)[x];
}

void TBitmap::SetPixel(std::int32_t x, std::int32_t y, TColor c) {
    if (x < 0 || x >= FWidth)
        throw std::out_of_range("bitmap column out of range");
    Row(y)[x] = c;
}

void TBitmap::Fill(TColor c) { std::fill(FPixels.begin(), FPixels.end(), c); }

} // namespace gw
