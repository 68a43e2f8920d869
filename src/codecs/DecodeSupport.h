#pragma once
// Small pieces every picture decoder shares: the size check that runs before a picture is allocated,
// and byte access to a row of the 32-bit target.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

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

// Row y of picture as Width() * 4 bytes B, G, R, A.
std::span<std::uint8_t> RowBytes(TBitmap& picture, std::int32_t y);

// Straight alpha from premultiplied: colour = colour * 255 / alpha, rounded; alpha 0 gives black.
void UnpremultiplyPixels(std::span<TColor> pixels);

} // namespace gw
