#pragma once
// The PNG functions of unit Convert: a 32-bit bitmap to 8-bit RGBA PNG data for icon files, and
// decoded PNG images from icon files to 32-bit bitmaps, with their transparency turned into the
// straight alpha of the bitmap.

#include "codecs/PngCodec.h"
#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace gw {

// How a decoded PNG expresses transparency, which selects the conversion to a bitmap:
// ptNone      grey or RGB without tRNS, palette without tRNS;
// ptKeyed     grey or RGB with a tRNS colour; palette whose tRNS marks exactly one entry as
//             transparent (value 0) and leaves the others opaque;
// ptPartial   grey with alpha, RGBA, and every other palette tRNS.
enum class TPngTransparency { ptNone, ptKeyed, ptPartial };

TPngTransparency GetPngTransparency(const TPngImage& png);

// True unless the colour type is grey (0) or palette (3).
bool IsTrueColorPng(const TPngImage& png);

// A blank 8-bit RGBA, non-interlaced PNG image of the given size, every sample 0. Its Samples stay
// empty when the size is beyond the bitmap limits.
TPngImage CreateRgbaPng(std::int32_t width, std::int32_t height);

// Fills an RGBA PNG image of src's size with src's red, green, blue and alpha, unchanged (straight
// alpha). Any other PNG image (another colour type or depth, another size) is left untouched.
void GPBitmapToPng(const TBitmap& src, TPngImage& png);

// Converts a decoded PNG into dest, which must have the PNG's size; dispatches by the transparency
// kind to one of the four conversions below. A dest of another size is left unchanged, as is one
// that does not match png's samples in the four conversions.
void PngToGPBitmap(TBitmap& dest, const TPngImage& png);

// Every pixel the decoded colour, alpha 255.
void PngOpaqueToGPBitmap(TBitmap& dest, const TPngImage& png);
// Every pixel the decoded colour, alpha 0 where it equals the transparent colour, else 255. The
// transparent colour of a palette image is that of the first entry with tRNS 0 (black when none has
// 0); every entry of the same colour becomes transparent with it.
void PngKeyedToGPBitmap(TBitmap& dest, const TPngImage& png);
// Grey with alpha and RGBA: the grey level (in red, green and blue) or the colour, with the alpha
// sample as alpha. Images without alpha samples come out opaque.
void PngAlphaToGPBitmap(TBitmap& dest, const TPngImage& png);
// Palette: the entry's colour; alpha 255 when the entry's tRNS value is above 128, else 0. Entries
// beyond the tRNS chunk count as 255; indices beyond the palette give black.
void PngPaletteAlphaToGPBitmap(TBitmap& dest, const TPngImage& png);
// Palette: the entry's colour with the entry's tRNS value as alpha (entries beyond the chunk opaque),
// for containers that declare the image 32-bit.
void PngPaletteFullAlphaToGPBitmap(TBitmap& dest, const TPngImage& png);

// The whole way for the icon writers: src as 8-bit RGBA PNG data (see EncodePng, which may compress
// a large image on threads threads).
TStatus BitmapToPngData(const TBitmap& src, std::vector<std::uint8_t>& out, std::int32_t threads = 1);
// The whole way for the icon readers: untrusted PNG data decoded into a new bitmap of its size.
// dest is replaced only on success. With fullAlpha a palette image keeps the partial alpha of its
// tRNS chunk (PngPaletteFullAlphaToGPBitmap) instead of the 128 threshold.
TStatus PngDataToBitmap(std::span<const std::uint8_t> data, TBitmap& dest, bool fullAlpha = false);

} // namespace gw
