#pragma once
// GIF decoding through giflib: the first frame, drawn at its place on the logical screen, with its
// transparent colour. Screen pixels the frame does not cover are transparent.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <cstdint>
#include <span>

namespace gw {

// Decodes the first frame of data into a picture of the logical screen size; on failure picture is
// empty.
TStatus DecodeGif(std::span<const std::uint8_t> data, TBitmap& picture);

} // namespace gw
