#pragma once
// Moves pixels between the 32-bit bitmap of a raster image and its other representations: the 24-bit
// bitmap the quantizer and the dithering read, and PNG data in icon files. Also the pixel copy,
// comparison and crop helpers behind TOrbImage.

#include "image/Bitmap.h"

#include <cstdint>
#include <vector>

namespace gw {

// --- Pixel helpers ------------------------------------------------------------------------------

// Copies the pixels of rectangle (x, y, w, h), clipped against dest, from src to dest unchanged.
void CopyBitmapRect(const TBitmap& src, TBitmap& dest, std::int32_t x, std::int32_t y, std::int32_t w,
                    std::int32_t h);
// Same size and every pixel equal in all four bytes.
bool CompareBitmaps(const TBitmap& a, const TBitmap& b);
// Replaces bitmap by the region rect of it; parts of rect outside the old bitmap become transparent.
void CropBitmap(TBitmap& bitmap, const TGPRect& rect);

// --- 24-bit bitmap --------------------------------------------------------------------------------

// Pixels of three bytes blue, green, red; each row padded to a multiple of 4 bytes; rows stored
// bottom-up (the first stored row is the bottom image row).
struct TBitmap24 {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Stride = 0; // bytes per stored row
    std::vector<std::uint8_t> Bits;
};

// dest becomes src's size; every pixel's blue, green, red; alpha is dropped.
void GPBitmapToBitmap(const TBitmap& src, TBitmap24& dest);

// For every pixel of src's size, dest's alpha := src's alpha; dest's colours stay.
// dest must be at least as large as src (smaller dests are handled by clipping).
void CopyAlpha(const TBitmap& src, TBitmap& dest);

// --- PNG ------------------------------------------------------------------------------------------
// (declared in ConvertPng.h: encoding of 8-bit RGBA PNG data and decoding of PNG entries)

} // namespace gw
