#pragma once
// JPEG decoding through libjpeg-turbo: baseline and progressive, grey, YCbCr, RGB, CMYK and YCCK
// (Adobe's inverted CMYK included), turned upright by the EXIF orientation. Embedded colour profiles
// are not applied.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"

#include <cstdint>
#include <span>

namespace gw {

// Decodes data into picture. With targetSide > 0 the decoder uses the smallest DCT scale (1/8 to 8/8)
// whose longer side is still at least targetSide, so the caller can reduce from there; with 0 it
// decodes at full size. On failure picture is empty. sourceSize, when given, receives the upright
// full size of the picture (larger than picture after a reduced-scale decode).
TStatus DecodeJpeg(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide = 0,
                   TGPSize* sourceSize = nullptr);

// The DCT scale numerator (over 8) DecodeJpeg picks for a width x height picture and targetSide.
std::int32_t ChooseJpegScale(std::int32_t width, std::int32_t height, std::int32_t targetSide);

} // namespace gw
