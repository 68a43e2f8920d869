#pragma once
// Straight 32-bit pixels as premultiplied 16-bit channels, the form the drawing filter and the area
// reducer both work in.

#include "image/Bitmap.h"

#include <cstdint>

namespace gw {

// count straight pixels as four 16-bit channels each, B, G, R, A: c * a and a * 255. Both products
// fit 16 bits exactly, so the vector form (low halves of 16-bit products) equals the scalar one.
void PremultiplyRun(const TColor* row, std::int32_t count, std::uint16_t* out);

} // namespace gw
