#pragma once
// Geometry helpers that fit one rectangle into another, and the 32-bit byte swap of the big-endian
// file formats.
//
// The fitting helpers look only at the sizes of their rectangles (X and Y are ignored) and answer a
// rectangle relative to the origin of the bounds. Every intermediate is computed in extended
// precision (long double, the 80-bit x87 format on x86-64) and stored as float where a step keeps a
// value, so the results are the same bit for bit wherever the 80-bit format is available. Whole
// pixels are obtained by rounding half to even.

#include "image/Bitmap.h"

#include <cstdint>

namespace gw {

struct TGPSize {
    std::int32_t Width = 0, Height = 0;
    friend bool operator==(const TGPSize&, const TGPSize&) = default;
};

// The source shrunk (never enlarged) to fit the bounds with its aspect kept, centred. Not rounded.
TGPRectF ShrinkToFit(const TGPRectF& bounds, const TGPRectF& source);
// The source at its own size, centred; a source larger than the bounds starts at 0.
TGPRectF CenterInRect(const TGPRectF& bounds, const TGPRectF& source);
// The source scaled up or down to fit with its aspect kept, centred; the position comes from the
// unrounded size, the size is rounded to whole pixels.
TGPRectF ScaleToFit(const TGPRectF& bounds, const TGPRectF& source);
// A size that fits a square of side m, never enlarged; a side of m or more is scaled to m.
TGPSize FitSize(std::int32_t w, std::int32_t h, std::int32_t m);
// r clipped to the left and top at 0 and to the right and bottom at bounds' width and height (the
// position of bounds is not used). A width or height made negative by the left or top clip stays
// negative unless the right or bottom clip applies.
TGPRect ClipToBounds(const TGPRect& bounds, const TGPRect& r);

constexpr std::uint32_t ByteSwap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

// Nearest whole number, halves to even, in extended precision. NaN stays NaN.
long double RoundHalfEven(long double v);

} // namespace gw
