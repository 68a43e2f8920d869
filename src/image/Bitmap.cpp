#include "image/Bitmap.h"

#include "image/Limits.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace gw {

void TPixelBuffer::TFree::operator()(TColor* pixels) const {
    std::free(pixels);
}

TPixelBuffer::TPixelBuffer(std::size_t count) {
    if (count == 0)
        return;
    FData.reset(static_cast<TColor*>(std::calloc(count, sizeof(TColor))));
    if (!FData)
        throw std::bad_alloc();
    FSize = count;
}

TPixelBuffer::TPixelBuffer(const TPixelBuffer& other) {
    if (other.FSize == 0)
        return;
    FData.reset(static_cast<TColor*>(std::malloc(other.FSize * sizeof(TColor))));
    if (!FData)
        throw std::bad_alloc();
    std::memcpy(FData.get(), other.FData.get(), other.FSize * sizeof(TColor));
    FSize = other.FSize;
}

TPixelBuffer& TPixelBuffer::operator=(const TPixelBuffer& other) {
    if (this != &other)
        *this = TPixelBuffer(other);
    return *this;
}

TPixelBuffer::TPixelBuffer(TPixelBuffer&& other) noexcept
    : FData(std::move(other.FData)), FSize(std::exchange(other.FSize, 0)) {}

TPixelBuffer& TPixelBuffer::operator=(TPixelBuffer&& other) noexcept {
    FData = std::move(other.FData);
    FSize = std::exchange(other.FSize, 0);
    return *this;
}

bool operator==(const TPixelBuffer& a, const TPixelBuffer& b) {
    return a.FSize == b.FSize && std::equal(a.Span().begin(), a.Span().end(), b.Span().begin());
}

TBitmap::TBitmap(std::int32_t width, std::int32_t height) {
    if (!limits::FitsBitmapLimits(width, height))
        return;
    FPixels = TPixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    FWidth = width;
    FHeight = height;
}

std::span<TColor> TBitmap::Row(std::int32_t y) {
    if (y < 0 || y >= FHeight)
        throw std::out_of_range("bitmap row out of range");
    return FPixels.Span().subspan(static_cast<std::size_t>(y) * FWidth, FWidth);
}

std::span<const TColor> TBitmap::Row(std::int32_t y) const {
    if (y < 0 || y >= FHeight)
        throw std::out_of_range("bitmap row out of range");
    return FPixels.Span().subspan(static_cast<std::size_t>(y) * FWidth, FWidth);
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

void TBitmap::Fill(TColor c) {
    const std::span<TColor> pixels = FPixels.Span();
    std::fill(pixels.begin(), pixels.end(), c);
}

} // namespace gw
