#pragma once
// Small pieces every picture decoder shares: the size check that runs before a picture is allocated,
// and byte access to a row of the 32-bit target.

#include "image/AreaReducer.h"
#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"

#include <cstdint>
#include <span>
#include <string>

namespace gw {

// Allocates picture as a width x height transparent bitmap when that fits the limits of Limits.h;
// otherwise leaves it empty and answers TooLarge (or Corrupt for a side of 0 or less).
TStatus AllocatePicture(std::int64_t width, std::int64_t height, TBitmap& picture);

// The failure for a width x height picture beyond the bitmap limits (or, with scaledSource, beyond the
// larger limits of a picture that can be decoded at a reduced scale): what names it ("JPEG: picture"),
// then the size and the limit.
TStatus PictureTooLarge(const std::string& what, std::int64_t width, std::int64_t height,
                        bool scaledSource = false);

// Whether a width x height picture may be decoded for a longer side of targetSide (0: kept whole): a
// picture that is reduced on reading may be as large as the limit for scaled sources, one kept whole
// must fit the bitmap limits.
TStatus CheckReducedSize(const std::string& what, std::int64_t width, std::int64_t height,
                         std::int32_t targetSide);

// Checks a width x height picture that is to be reduced for a longer side of targetSide (0: kept
// whole) and starts reducer on it: a picture that is reduced may be as large as the limit for scaled
// sources, one kept whole must fit the bitmap limits. sourceSize, when given, gets the full size.
TStatus StartReduction(const std::string& what, std::int64_t width, std::int64_t height,
                       std::int32_t targetSide, TAreaReducer& reducer, TGPSize* sourceSize,
                       TAreaReducer::TAlphaRule rule = TAreaReducer::TAlphaRule::Straight);

// Reduces a picture decoded whole by the factor a row-wise decode for targetSide would use, so that
// both give the same picture; sourceSize, when given, gets the full size.
TStatus ReduceWholePicture(TBitmap& picture, std::int32_t targetSide, TGPSize* sourceSize);

// Row y of picture as Width() * 4 bytes B, G, R, A.
std::span<std::uint8_t> RowBytes(TBitmap& picture, std::int32_t y);

// Straight alpha from premultiplied: colour = colour * 255 / alpha, rounded; alpha 0 gives black.
void UnpremultiplyPixels(std::span<TColor> pixels);

} // namespace gw
