#pragma once
// JPEG 2000 through OpenJPEG: lossless encoding for the "ic08" and "ic09" elements of Macintosh icon
// files, and decoding of JP2 files and raw codestreams for those elements and for the picture
// importer. Data moves through OpenJPEG's memory stream callbacks; no temporary file is used.
// OpenJPEG's callbacks and handles stay inside Jpeg2000Codec.cpp.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace gw {

// Encodes bitmap as a JP2 file (ISO/IEC 15444-1 Annex I, not a bare codestream): reversible 5/3
// wavelet, one quality layer, components red, green, blue and alpha in that order, 8 bits unsigned,
// sRGB, with the alpha component marked as such in the channel definition box. threads > 1 lets
// OpenJPEG code blocks on that many worker threads; the bytes do not depend on it. out is replaced
// only on success.
TStatus EncodeJpeg2000(const TBitmap& bitmap, std::int32_t threads, std::vector<std::uint8_t>& out);

// The picture size a JP2 file or codestream announces in its headers, read without decoding any
// picture data. Corrupt when the data is not JPEG 2000 or its header is broken.
TStatus ReadJpeg2000Size(std::span<const std::uint8_t> data, std::int32_t& width, std::int32_t& height);

// Decodes data (a JP2 file or a codestream, told apart by their signatures) into picture: grey,
// grey + alpha, RGB, RGBA and sYCC, any precision scaled to 8 bits, signed components shifted to
// unsigned, subsampled components spread over the full picture; a picture without alpha comes out
// opaque. targetSide > 0 is the longest side the caller will reduce the picture to: the decode then
// drops as many wavelet resolution levels as the codestream has while the longer side stays at least
// targetSide (each level halves both sides, rounding up), which also bounds the work and the memory
// by the reduced size. Sizes and component planes are checked against Limits.h from the header before
// anything is decoded. On failure picture is empty.
TStatus DecodeJpeg2000Data(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide = 0);

// The resolution levels a decode for targetSide drops from a picture spanning [x0, x1) x [y0, y1) on
// the reference grid whose components have `levels` resolution levels: the most that keep the longer
// reduced side at least targetSide, at most levels - 1; 0 for targetSide <= 0.
std::uint32_t ChooseJpeg2000Reduction(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                                      std::uint32_t levels, std::int32_t targetSide);

} // namespace gw
