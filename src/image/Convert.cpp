#include "image/Convert.h"

#include "image/GDIUtils.h"
#include "image/Graphics.h"

#include <algorithm>
#include <cstring>

namespace gw {

void CopyBitmapRect(const TBitmap& src, TBitmap& dest, std::int32_t x, std::int32_t y, std::int32_t w,
                    std::int32_t h) {
    TGPRect r = ClipToBounds({0, 0, dest.Width(), dest.Height()}, {x, y, w, h});
    // NOTE: the rectangle is also clipped against src, so a smaller source can never be over-read.
    r = ClipToBounds({0, 0, src.Width(), src.Height()}, r);
    if (r.Width <= 0 || r.Height <= 0)
        return;
    for (std::int32_t row = r.Y; row < r.Y + r.Height; ++row) {
        const auto from =
            src.Row(row).subspan(static_cast<std::size_t>(r.X), static_cast<std::size_t>(r.Width));
        std::copy(from.begin(), from.end(), dest.Row(row).begin() + r.X);
    }
}

bool CompareBitmaps(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    return std::equal(a.Pixels().begin(), a.Pixels().end(), b.Pixels().begin(), b.Pixels().end());
}

void CropBitmap(TBitmap& bitmap, const TGPRect& rect) {
    if (rect.Width >= 0 && rect.Width == bitmap.Width() && rect.Height >= 0 && rect.Height == bitmap.Height())
        return;
    TBitmap cropped(rect.Width, rect.Height);
    // Offsets are negated in 64 bits and saturated: -INT32_MIN does not fit, and such a crop lies
    // outside the old bitmap anyway.
    const auto negate = [](std::int32_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(-std::int64_t{v}, INT32_MIN, INT32_MAX));
    };
    DrawBitmapAt(cropped, bitmap, negate(rect.X), negate(rect.Y));
    bitmap = std::move(cropped);
}

void GPBitmapToBitmap(const TBitmap& src, TBitmap24& dest) {
    dest.Width = src.Width();
    dest.Height = src.Height();
    // Sides are bounded by the bitmap limits, so the stride and the size cannot overflow.
    dest.Stride = (dest.Width * 3 + 3) & ~3;
    dest.Bits.assign(static_cast<std::size_t>(dest.Stride) * static_cast<std::size_t>(dest.Height), 0);
    for (std::int32_t y = 0; y < src.Height(); ++y) {
        const auto row = src.Row(y);
        // Rows are stored bottom-up: image row y goes to stored row Height - 1 - y.
        std::uint8_t* out = &dest.Bits[static_cast<std::size_t>(dest.Height - 1 - y) * dest.Stride];
        for (const TColor c : row) {
            *out++ = BlueOf(c);
            *out++ = GreenOf(c);
            *out++ = RedOf(c);
        }
    }
}

void CopyAlpha(const TBitmap& src, TBitmap& dest) {
    const std::int32_t width = std::min(src.Width(), dest.Width());
    const std::int32_t height = std::min(src.Height(), dest.Height());
    for (std::int32_t y = 0; y < height; ++y) {
        const auto from = src.Row(y);
        const auto to = dest.Row(y);
        for (std::int32_t x = 0; x < width; ++x)
            to[x] = (to[x] & 0x00FFFFFFu) | (from[x] & 0xFF000000u);
    }
}

} // namespace gw
