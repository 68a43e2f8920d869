#pragma once
// HEIF decoding through libheif: HEIC (HEVC, through libde265) and AVIF (AV1, through dav1d or aom).
// The primary image with its alpha plane, its rotation and mirroring applied, grids assembled, and
// 10- or 12-bit images reduced to 8 bits.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"

#include <span>

namespace gw {

// Decodes the primary image of data into picture (straight alpha; opaque without an alpha plane); on
// failure picture is empty. The size is checked from the headers against the limits before decoding.
// With targetSide > 0 the picture is reduced by a whole factor as libheif's rows are taken
// (TAreaReducer), to a longer side of at least targetSide, so that only libheif holds the whole
// picture; sourceSize, when given, gets the full size.
TStatus DecodeHeif(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide = 0,
                   TGPSize* sourceSize = nullptr);

} // namespace gw
