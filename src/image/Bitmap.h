#pragma once
// The raster platform layer's pixel store: a 32-bit straight-alpha bitmap.
//
// A colour is 0xAARRGGBB with straight (not premultiplied) alpha; in memory a pixel is the bytes
// B, G, R, A, which is exactly a little-endian std::uint32_t. Rows run top to bottom without padding.
// A new bitmap has every pixel 0 (transparent black). A bitmap whose size was refused (a side of 0 or
// less, or beyond the limits of Limits.h) is empty: IsValid() is false, Width() and Height() are 0 and
// it has no pixels, so pixel operations on it do nothing.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace gw {

static_assert(std::endian::native == std::endian::little, "pixels are stored as little-endian 32-bit words");

using TColor = std::uint32_t;
using TColorArray = std::vector<TColor>;

constexpr std::uint8_t AlphaOf(TColor c) {
    return static_cast<std::uint8_t>(c >> 24);
}
constexpr std::uint8_t RedOf(TColor c) {
    return static_cast<std::uint8_t>(c >> 16);
}
constexpr std::uint8_t GreenOf(TColor c) {
    return static_cast<std::uint8_t>(c >> 8);
}
constexpr std::uint8_t BlueOf(TColor c) {
    return static_cast<std::uint8_t>(c);
}
constexpr TColor MakeColor(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return (TColor{a} << 24) | (TColor{r} << 16) | (TColor{g} << 8) | TColor{b};
}

// Rectangles of the platform layer: X, Y, Width, Height.
struct TGPRect {
    std::int32_t X = 0, Y = 0, Width = 0, Height = 0;
    friend bool operator==(const TGPRect&, const TGPRect&) = default;
};
struct TGPRectF {
    float X = 0, Y = 0, Width = 0, Height = 0;
    friend bool operator==(const TGPRectF&, const TGPRectF&) = default;
};

// Pixel memory that starts zeroed. It comes from calloc, which hands large blocks over as fresh pages
// of the system that read as zero without being written: a picture whose decoder fails early, or
// fills only part of it, costs memory only where it was written, and nothing is spent on clearing.
// Allocation failures throw std::bad_alloc, as a std::vector's would.
class TPixelBuffer {
public:
    TPixelBuffer() = default;
    explicit TPixelBuffer(std::size_t count);
    TPixelBuffer(const TPixelBuffer& other);
    TPixelBuffer& operator=(const TPixelBuffer& other);
    TPixelBuffer(TPixelBuffer&& other) noexcept;
    TPixelBuffer& operator=(TPixelBuffer&& other) noexcept;
    ~TPixelBuffer() = default;

    bool Empty() const { return FSize == 0; }
    std::span<TColor> Span() { return {FData.get(), FSize}; }
    std::span<const TColor> Span() const { return {FData.get(), FSize}; }

    friend bool operator==(const TPixelBuffer& a, const TPixelBuffer& b);

private:
    struct TFree {
        void operator()(TColor* pixels) const;
    };
    std::unique_ptr<TColor[], TFree> FData;
    std::size_t FSize = 0;
};

class TBitmap {
public:
    TBitmap() = default;
    // A width x height bitmap of transparent black, or an empty one when the size is refused.
    TBitmap(std::int32_t width, std::int32_t height);

    bool IsValid() const { return !FPixels.Empty(); }
    std::int32_t Width() const { return FWidth; }
    std::int32_t Height() const { return FHeight; }

    // Row y (0 = top) as a span of Width() pixels. y must lie in 0 .. Height() - 1.
    std::span<TColor> Row(std::int32_t y);
    std::span<const TColor> Row(std::int32_t y) const;
    // Every pixel, row after row.
    std::span<TColor> Pixels() { return FPixels.Span(); }
    std::span<const TColor> Pixels() const { return FPixels.Span(); }

    // Checked single-pixel access (throws std::out_of_range outside the bitmap).
    TColor Pixel(std::int32_t x, std::int32_t y) const;
    void SetPixel(std::int32_t x, std::int32_t y, TColor c);

    void Fill(TColor c);

    friend bool operator==(const TBitmap&, const TBitmap&) = default;

private:
    std::int32_t FWidth = 0;
    std::int32_t FHeight = 0;
    TPixelBuffer FPixels;
};

} // namespace gw
