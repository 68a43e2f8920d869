#pragma once
// JPEG 2000 decoding through OpenJPEG: JP2 files and raw codestreams, grey, grey + alpha, RGB, RGBA
// and sYCC, any precision scaled to 8 bits, signed components shifted to unsigned, subsampled
// components spread over the full picture.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"

#include <cstdint>
#include <span>

namespace gw {

// Decodes data (a JP2 file or a codestream, told apart by their signatures) into picture; a picture
// without alpha comes out opaque. targetSide > 0: the longest side the caller will reduce the picture
// to; the decode may then drop wavelet resolution levels while the longer side stays at least
// targetSide. On failure picture is empty. sourceSize, when given, receives the full-resolution size.
TStatus DecodeJpeg2000(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide = 0,
                       TGPSize* sourceSize = nullptr);

} // namespace gw
