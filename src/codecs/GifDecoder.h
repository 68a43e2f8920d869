#pragma once
// GIF decoding through giflib: the first frame, drawn at its place on the logical screen, with its
// transparent colour. Screen pixels the frame does not cover are transparent.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"

#include <cstdint>
#include <span>

namespace gw {

// Decodes the first frame of data into a picture of the logical screen size; on failure picture is
// empty. With targetSide > 0 the screen rows are reduced as the lines are read, for a picture that
// will be fitted to that longer side (TAreaReducer), so a screen up to limits::kMaxScaledSourcePixels
// costs only its reduced size; an interlaced frame is decoded whole first and keeps to the bitmap
// limits. sourceSize gets the full size.
TStatus DecodeGif(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide = 0,
                  TGPSize* sourceSize = nullptr);

} // namespace gw
