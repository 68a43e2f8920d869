#pragma once
// Drawing of the raster platform layer: whole-bitmap drawing into a fractional rectangle with a
// high-quality filter, drawing at a whole-pixel offset at scale 1, and 90-degree rotations.
// All drawing composites source-over onto the target, with straight alpha in and out.

#include "image/Bitmap.h"

namespace gw {

enum class TInterpolation {
    HighQualityBilinear, // area-correct tent filter on premultiplied colour, half-pixel centres
};

// Draws the whole of src resampled into rect (target pixel coordinates, fractional allowed).
// Target pixels outside rect are untouched. Deterministic on every machine.
void DrawBitmap(TBitmap& target, const TBitmap& src, const TGPRectF& rect,
                TInterpolation mode = TInterpolation::HighQualityBilinear);

// Draws src at its own size with its top-left corner at (x, y). Onto transparent target pixels the
// source pixels land unchanged.
void DrawBitmapAt(TBitmap& target, const TBitmap& src, std::int32_t x, std::int32_t y);

enum class TRotateFlip { Rotate90FlipNone = 1, Rotate270FlipNone = 3 };

// Rotates in place: Rotate90FlipNone turns clockwise, Rotate270FlipNone counter-clockwise.
void RotateFlip(TBitmap& bitmap, TRotateFlip how);

} // namespace gw
