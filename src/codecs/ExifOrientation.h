#pragma once
// The EXIF orientation of a photo (TIFF tag 0x0112 in IFD0 of the APP1 "Exif" segment) and the
// placement of decoded rows so that the picture comes out upright.

#include "image/Bitmap.h"

#include <cstdint>
#include <span>

namespace gw {

// Values 1 to 8 as defined by EXIF 2.3, section 4.6.4 (tag 274): how row 0 and column 0 of the stored
// picture lie in the upright picture.
enum class TExifOrientation : std::uint8_t {
    TopLeft = 1,     // as stored
    TopRight = 2,    // mirrored left-right
    BottomRight = 3, // turned 180 degrees
    BottomLeft = 4,  // mirrored top-bottom
    LeftTop = 5,     // transposed (mirrored about the main diagonal)
    RightTop = 6,    // needs a clockwise quarter turn
    RightBottom = 7, // transversed (mirrored about the other diagonal)
    LeftBottom = 8,  // needs a counter-clockwise quarter turn
};

// The orientation stored in an APP1 payload that begins "Exif\0\0"; TopLeft when the payload is not
// EXIF, is malformed, or holds no valid orientation.
TExifOrientation ParseExifOrientation(std::span<const std::uint8_t> app1Payload);

// True for the orientations that swap width and height.
constexpr bool SwapsAxes(TExifOrientation orientation) {
    return static_cast<std::uint8_t>(orientation) >= 5;
}

// Writes row y of a stored picture that is row.size() wide and storedHeight high into target, which
// must have the upright size (axes swapped when SwapsAxes). Rows outside the stored picture are
// ignored.
void PlaceOrientedRow(TBitmap& target, std::span<const TColor> row, std::int32_t y, std::int32_t storedHeight,
                      TExifOrientation orientation);

} // namespace gw
