#pragma once
// Our own bounds-checked BMP decoder (no Debian library reads BMP files): the 12-byte OS/2 core
// header, OS/2 2.x headers of 16 and 64 bytes, and the Windows info headers of 40, 52, 56, 108 and
// 124 bytes; 1, 2, 4, 8, 16, 24 and 32 bits per pixel; RLE4, RLE8, OS/2 RLE24, bit fields and alpha
// bit fields; bottom-up and top-down rows.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"

#include <cstdint>
#include <span>

namespace gw {

// Decodes data into a 32-bit picture. Pixels from fewer than 32 bits get a fourth byte of 0, 32-bit
// pixels keep theirs (or the value of their alpha bit field). Alpha rule: when no pixel has a non-zero
// fourth byte, every pixel is made opaque; otherwise the fourth bytes are the alpha. Pixels an RLE
// bitmap skips are black. On failure picture is empty.
// With targetSide > 0 the rows are reduced as they are read for a picture that will be fitted to that
// longer side (TAreaReducer), so pictures up to limits::kMaxScaledSourcePixels cost only their reduced
// size; sourceSize gets the full size.
TStatus DecodeBmp(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide = 0,
                  TGPSize* sourceSize = nullptr);

} // namespace gw
