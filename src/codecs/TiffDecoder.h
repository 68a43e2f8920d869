#pragma once
// TIFF decoding through libtiff's RGBA interface: the first page, in any layout libtiff can turn into
// RGBA (strips or tiles, contiguous or planar, 1 to 16 bits, grey, palette, RGB, YCbCr, CMYK), with
// associated or unassociated alpha delivered as straight alpha.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <cstdint>
#include <span>

namespace gw {

// Decodes the first page of data into picture; on failure picture is empty.
TStatus DecodeTiff(std::span<const std::uint8_t> data, TBitmap& picture);

} // namespace gw
