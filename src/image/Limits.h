#pragma once
// Every size limit that protects readers and importers from hostile input lives here, so that each
// decoder applies the same numbers before it allocates anything.

#include <cstddef>
#include <cstdint>

namespace gw::limits {

// Largest pixel buffer a single decoded picture or bitmap may need (32-bit pixels).
inline constexpr std::uint64_t kMaxBitmapBytes = 256ull * 1024 * 1024;
inline constexpr std::uint64_t kMaxBitmapPixels = kMaxBitmapBytes / 4;

// Longest side of any bitmap; larger sides are refused whatever the pixel count.
inline constexpr std::int32_t kMaxBitmapSide = 65535;

// PNG data inside icon files: icon entries never need more than this per side.
inline constexpr std::uint32_t kMaxPngSide = 16384;
// libpng's own guards while it reads PNG data of icon files: how many ancillary chunks it keeps and
// the largest chunk it allocates memory for (the palette and transparency chunks are far below this).
inline constexpr std::uint32_t kMaxIconPngChunkCache = 128;
inline constexpr std::size_t kMaxIconPngChunkBytes = 1024 * 1024;
// PNG data we write keeps every image data (IDAT) chunk at or below this many bytes.
inline constexpr std::size_t kMaxPngIdatBytes = 65535;

// Icon files: how many images one file may describe, and how large a single file we read.
inline constexpr std::uint32_t kMaxIconImages = 100;
inline constexpr std::uint64_t kMaxIconFileBytes = 256ull * 1024 * 1024;

// True when a width x height picture of 32-bit pixels stays within the limits above.
constexpr bool FitsBitmapLimits(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= kMaxBitmapPixels;
}

// JPEG and JPEG 2000 pictures can be decoded at a reduced scale, straight to about the size the icons
// need, without holding the full picture; PNG, TIFF, BMP and GIF pictures are reduced by a whole
// factor as their rows are read (TAreaReducer). Their full size may therefore be larger than a decoded
// picture may be: up to this many pixels (a 200-megapixel phone photo is 16320 x 12240), each side
// within kMaxBitmapSide. What they decode to keeps to FitsBitmapLimits, and their decoders keep to
// kMaxDecoderMemoryBytes (so a progressive JPEG of that size, which needs all its coefficients at
// once, is still refused). Interlaced PNG and GIF pictures, whose passes each cover the whole
// picture, are decoded whole and keep to FitsBitmapLimits.
inline constexpr std::uint64_t kMaxScaledSourcePixels = 256ull * 1024 * 1024;

constexpr bool FitsScaledSourceLimits(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= kMaxScaledSourcePixels;
}

} // namespace gw::limits

namespace gw::limits {

// Output names: how far the numbered series "photo (n).ico" is followed before a save gives up, and
// how many temporary names are tried in the destination folder.
inline constexpr std::int32_t kMaxNumberedFileNames = 100000;
inline constexpr std::int32_t kMaxTemporaryNameAttempts = 100;

} // namespace gw::limits

namespace gw::limits {

// The settings file: how much of it is read. A longer file is cut after its last complete line within
// this size, the rest treated as absent (a hand-edited INI file of a dozen keys is a few hundred bytes).
inline constexpr std::uint64_t kMaxSettingsFileBytes = 1024 * 1024;

} // namespace gw::limits

namespace gw::limits {

// A conversion stays below kMaxConversionBytes of memory whatever its input declares: while a picture
// is decoded the process holds the whole input file (at most kMaxPictureFileBytes), the decoded picture
// (at most kMaxBitmapBytes) and the codec's working memory (at most kMaxDecoderMemoryBytes), plus the
// program itself and the 1024 x 1024 canvas.
inline constexpr std::uint64_t kMaxConversionBytes = 512ull * 1024 * 1024;

// Picture importers read the whole file before decoding; larger input files are refused unread.
inline constexpr std::uint64_t kMaxPictureFileBytes = 96ull * 1024 * 1024;

// Working memory a codec may take on top of the decoded picture (libjpeg's coefficient buffers,
// libtiff's largest single buffer such as one decoded strip or tile, OpenJPEG's 32-bit component
// planes). Pictures whose decoding needs more are refused.
inline constexpr std::uint64_t kMaxDecoderMemoryBytes = 128ull * 1024 * 1024;

// Room left for the program, its libraries and the canvas within the conversion's budget.
static_assert(kMaxPictureFileBytes + kMaxBitmapBytes + kMaxDecoderMemoryBytes + 32ull * 1024 * 1024 <=
              kMaxConversionBytes);

// JPEG 2000: OpenJPEG keeps coding parameters (some kilobytes) for every tile and component the
// image header implies before it reads any tile; tiles times components beyond this are refused.
// 4096 tiles of four components covers an 8192 x 8192 picture in tiles of 128 x 128.
inline constexpr std::uint64_t kMaxJpeg2000TileComponents = 16384;

// What OpenJPEG keeps for each code-block of the tile it decodes (its state, segments and tag-tree
// nodes; measured at 395 to 450 bytes). The code-blocks of a tile must fit kMaxDecoderMemoryBytes
// as well: tiny code-blocks (4 x 4 instead of the usual 64 x 64) over a large tile would otherwise
// take gigabytes. OpenJPEG holds one tile at a time, and the picture it decodes to is no larger than
// its component planes, so file, planes, picture, code-blocks and headroom stay within
// kMaxConversionBytes.
inline constexpr std::uint64_t kJpeg2000CodeBlockBytes = 448;

// Progressive JPEG files with more scans than this are refused: each scan re-reads the whole
// coefficient buffer, so a small file could otherwise keep the decoder busy for minutes.
inline constexpr std::int32_t kMaxJpegScans = 500;

// And the work of all scans together: the 8 x 8 blocks each scan covers, summed over the scans, stays
// below this (about 3 s of decoding). Ordinary progressive files cover each block about ten times; a
// 64-megapixel grey picture of 1 million blocks may have 100 scans, a 24-megapixel 4:2:0 photo about
// 180 scans of all its components. Without it, 449 one-coefficient scans over 8000 x 8000 pixels (a
// 1.3 MB file) took 12 s.
inline constexpr std::uint64_t kMaxJpegScanBlocks = 100'000'000;

// JPEG-compressed TIFF strips and tiles are decoded by libtiff, which takes its scan limit (per strip or
// tile) from this environment variable (set by the TIFF decoder when the program starts, unless already set).
inline constexpr const char* kTiffJpegScanLimitVariable = "LIBTIFF_JPEG_MAX_ALLOWED_SCAN_NUMBER";
inline constexpr const char* kTiffJpegScanLimit = "24";

// TIFF pictures reduced on reading are converted by libtiff in bands of whole strips or tile rows;
// a band of 32-bit pixels never takes more than this (one of 65535 pixels a side has 256 rows).
inline constexpr std::uint64_t kMaxTiffBandBytes = 64ull * 1024 * 1024;

// Ancillary PNG chunks (text, profiles, unknown chunks) libpng keeps while decoding a picture.
inline constexpr std::uint32_t kMaxPngChunkCache = 1000;
inline constexpr std::uint64_t kMaxPngChunkBytes = 8ull * 1024 * 1024;

} // namespace gw::limits

namespace gw::limits {

// Macintosh icon files: how many elements of one file are read; later ones are ignored. Files of
// today's tools hold a few dozen at most (every legacy and retina type, a table of contents, a
// version and an info element), and each element read costs a small record.
inline constexpr std::size_t kMaxIcnsElements = 64;
// Images of a width, height and depth the document already holds (an "il32" beside an "ic11") are
// decoded for the load report up to this many pixels in all: a file of today's tools sets aside a
// few small ones and a 512 x 512 one, while 64 copies of a 1024-pixel element would take 256 MiB.
inline constexpr std::uint64_t kMaxIcnsSetAsidePixels = 4ull * 1024 * 1024;

} // namespace gw::limits

namespace gw::limits {

// SVG documents: the largest document parsed, plain or after inflating an SVGZ file (inflation stops
// there, so a gzip bomb costs no more than this). Icons of today's themes are a few kilobytes to a few
// hundred; a detailed illustration a few megabytes. librsvg itself bounds what a document may make it
// do: libxml2 refuses entity amplification (billion laughs) and elements nested deeper than 256, and
// librsvg refuses documents of more than a million elements or with more than 500,000 references
// (<use> bombs).
inline constexpr std::size_t kMaxSvgDocumentBytes = 16ull * 1024 * 1024;

// An SVG opened as a picture without a wanted size is rendered at its own size, but never with a
// longer side beyond this (a document may declare a viewBox of a million pixels a side).
inline constexpr std::int32_t kMaxSvgRenderSide = 4096;

// HEIC and AVIF pictures: libheif and its decoders hold the coded picture's planes, their reference
// frames and per-block state, then an RGB copy, beside our bitmap: a 12-megapixel HEIC peaked at
// 195 MiB in all (16 bytes a pixel; heif-convert alone takes 213 MiB on it), a 24-megapixel one
// 360 MiB. Pictures of more pixels than this are refused from their headers so that file, decoder and
// bitmap stay within kMaxConversionBytes; 24-megapixel phone photos (5712 x 4284) still convert.
inline constexpr std::uint64_t kMaxHeifPixels = 24ull * 1024 * 1024;
// The longest side libheif may decode, also where the coded stream claims more than its header
// (libheif checks the decoder's stream against it before the decoder allocates the frame).
inline constexpr std::int32_t kMaxHeifSide = 8192;

// How many bytes at the start of a file are looked at to tell an SVG document by its root element
// (after an XML declaration, comments and a document type with its internal subset).
inline constexpr std::size_t kSvgSniffBytes = 64 * 1024;

} // namespace gw::limits
