#pragma once
// WebP decoding through libwebp: still pictures (lossy or lossless, with or without alpha) and the
// first frame of an animation, composed on its canvas as the animation shows it.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <span>

namespace gw {

// Decodes data into picture (straight alpha; opaque when the file has no alpha); on failure picture is
// empty. The size is checked from the headers against the limits before anything is decoded.
TStatus DecodeWebp(std::span<const std::uint8_t> data, TBitmap& picture);

} // namespace gw
