#pragma once
// TIFF decoding through libtiff's RGBA interface: the first page, in any layout libtiff can turn into
// RGBA (strips or tiles, contiguous or planar, 1 to 16 bits, grey, palette, RGB, YCbCr, CMYK), with
// associated or unassociated alpha delivered as straight alpha.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"

#include <cstdint>
#include <span>

namespace gw {

// Decodes the first page of data into picture; on failure picture is empty. With targetSide > 0 the
// picture is read in bands of strips or tile rows and reduced as it is read, for a picture that will
// be fitted to that longer side (TAreaReducer), so one up to limits::kMaxScaledSourcePixels costs only
// its reduced size and one band; sourceSize gets the full size.
TStatus DecodeTiff(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide = 0,
                   TGPSize* sourceSize = nullptr);

} // namespace gw
