#pragma once
// The small wrapper around libpng: PNG data in memory to a decoded image and back. libpng's error
// handling (setjmp/longjmp) and its callbacks stay inside PngCodec.cpp; callers see results only.

#include "image/CommonTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace gw {

// The colour type field of the PNG header (PNG standard, 11.2.2 IHDR).
enum class TPngColorType : std::uint8_t {
    ctGrey = 0,
    ctRgb = 2,
    ctPalette = 3,
    ctGreyAlpha = 4,
    ctRgba = 6,
};

struct TPngRgb {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    friend bool operator==(const TPngRgb&, const TPngRgb&) = default;
};

// The transparency chunk (tRNS) as far as it applies to the image's colour type.
struct TPngTrns {
    bool Present = false;
    // Palette images: the alpha values of the first palette entries; later entries are opaque.
    std::vector<std::uint8_t> PaletteAlpha;
    // Grey and RGB images: the transparent colour in 8-bit samples (a grey level in all three), or
    // nullopt when the chunk names a sample value the image's bit depth cannot hold, so that no pixel
    // matches it.
    std::optional<TPngRgb> Color;
    // 16-bit grey and RGB images keyed by a colour: one byte per pixel, 1 where the pixel equals the
    // key in all 16 bits, which the 8-bit Samples cannot tell. Empty for every other image.
    std::vector<std::uint8_t> KeyMask;
};

// A PNG image: the header fields as stored in the file, its palette and transparency chunks, and
// its pixels decoded to 8 bits per sample.
struct TPngImage {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint8_t BitDepth = 8; // as stored in the file: 1, 2, 4, 8 or 16
    TPngColorType ColorType = TPngColorType::ctRgba;
    bool Interlaced = false;
    std::vector<TPngRgb> Palette; // PLTE entries; kept for palette images only
    TPngTrns Trns;
    // Rows top to bottom without padding, one byte per sample: a palette index (unpacked from the
    // image's bit depth, most significant bits first), a grey level (scaled up from 1, 2 or 4 bits),
    // grey and alpha, red green blue, or red green blue alpha. 16-bit samples keep their high byte.
    std::vector<std::uint8_t> Samples;

    std::size_t SamplesPerPixel() const;
    std::size_t RowBytes() const { return static_cast<std::size_t>(Width) * SamplesPerPixel(); }
    // True when Samples holds exactly Height rows of RowBytes().
    bool HasConsistentSamples() const;
};

std::size_t SamplesPerPixel(TPngColorType colorType);

// Decodes PNG data from an untrusted source. On failure png is left unchanged and the status says
// why: Truncated (the data ends early), TooLarge (a side above limits::kMaxPngSide or more pixels
// than limits::kMaxBitmapPixels), Corrupt (anything libpng rejects: signature, CRC, header fields,
// missing chunks, bad compressed data).
TStatus DecodePng(std::span<const std::uint8_t> data, TPngImage& png);

// Encodes an 8-bit RGBA image (colour type 6, not interlaced) as PNG data: the chunks IHDR, IDAT
// (each at most limits::kMaxPngIdatBytes of data) and IEND only, zlib level 7, the Sub filter on
// every row. Anything else is refused as Unsupported; out is replaced only on success.
TStatus EncodePng(const TPngImage& png, std::vector<std::uint8_t>& out);

} // namespace gw
