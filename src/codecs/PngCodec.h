#pragma once
// The one wrapper around libpng: PNG data in memory to decoded samples (icon entries) or pixels
// (pictures), and back. libpng's error
// handling (setjmp/longjmp) and its callbacks stay inside PngCodec.cpp; callers see results only.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"
#include "image/Limits.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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

// The header fields of PNG data, read from its IHDR chunk without decoding (PNG standard, 5.6 and
// 11.2.2: the chunk must come first); nullopt when data does not start with the signature and IHDR.
// Lets every reader judge the size before libpng starts.
struct TPngHeader {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint8_t BitDepth = 0;
    std::uint8_t ColorType = 0;
};
std::optional<TPngHeader> PeekPngHeader(std::span<const std::uint8_t> data);

// What one decode may take: icon entries (sides up to limits::kMaxPngSide, small chunk budgets) or
// pictures (sides up to limits::kMaxBitmapSide, larger chunk budgets).
struct TPngLimits {
    std::uint32_t MaxSide;
    std::uint32_t ChunkCache;
    std::size_t ChunkBytes;
    std::uint64_t MaxPixels = limits::kMaxBitmapPixels;
    static TPngLimits IconEntry();
    static TPngLimits Picture();
};

// Decodes PNG data from an untrusted source into its samples. On failure png is left unchanged and
// the status says why: Truncated (the data ends early), TooLarge (a side above limits.MaxSide or more
// pixels than limits::kMaxBitmapPixels), Corrupt (anything libpng rejects: signature, CRC, header
// fields, missing chunks, bad compressed data).
TStatus DecodePng(std::span<const std::uint8_t> data, TPngImage& png,
                  const TPngLimits& limits = TPngLimits::IconEntry());

// Decodes PNG data into 8-bit straight-alpha pixels: every colour type and bit depth, interlaced or
// not, with its alpha channel or tRNS transparency. Gamma and colour profiles are not applied;
// 16-bit samples are scaled to 8 bits. On failure picture is empty.
TStatus DecodePng(std::span<const std::uint8_t> data, TBitmap& picture,
                  const TPngLimits& limits = TPngLimits::Picture());

// The same for a picture that will be fitted to a longer side of targetSide: the rows are reduced
// as they are read (TAreaReducer), so a picture of up to limits::kMaxScaledSourcePixels costs only
// its reduced size; sourceSize gets the full size. Interlaced pictures are decoded whole first and
// keep to the bitmap limits. targetSide 0 decodes at full size, as above.
TStatus DecodePng(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
                  TGPSize* sourceSize);

// Fills its whole span with the next bytes of PNG data, or answers false when the data ends first.
using TPngStreamRead = std::function<bool(std::span<std::uint8_t>)>;

// The reduced decode above for PNG data read piece by piece as it is decoded, so that not even the
// file is held whole (targetSide at least 1).
TStatus DecodePngStream(const TPngStreamRead& read, TBitmap& picture, std::int32_t targetSide,
                        TGPSize* sourceSize);

// Encodes an 8-bit RGBA image (colour type 6, not interlaced) as PNG data: the chunks IHDR, IDAT
// (each at most limits::kMaxPngIdatBytes of data) and IEND only, zlib level 7, the Sub filter on
// every row. Anything else is refused as Unsupported; out is replaced only on success.
// Image data of at least two deflate blocks (kPngDeflateBlockBytes each, in whole rows) is compressed
// in independent blocks joined into one zlib stream (DeflateInBlocks), threads of them at a time;
// smaller images are compressed by libpng as one piece. The bytes do not depend on threads.
constexpr std::size_t kPngDeflateBlockBytes = std::size_t{1} << 19;
TStatus EncodePng(const TPngImage& png, std::vector<std::uint8_t>& out, std::int32_t threads = 1);

} // namespace gw
