#pragma once
// PNG decoding through libpng: every colour type and bit depth, interlaced or not, with its alpha
// channel or tRNS transparency, into 8-bit straight-alpha pixels. Gamma and colour profiles are not
// applied; 16-bit samples are scaled to 8 bits.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <cstdint>
#include <span>

namespace gw {

// Decodes data into picture; on failure picture is empty.
TStatus DecodePng(std::span<const std::uint8_t> data, TBitmap& picture);

} // namespace gw
