#pragma once
// PNG fixtures for the tests: a small libpng writer for any colour type, bit depth and tRNS chunk,
// and a chunk-level view of PNG data for checking layouts and building damaged files.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/Bitmap.h"

namespace gw::test {

// A PNG to write exactly as described; rows are given packed at the bit depth, as stored in the
// file (16-bit samples big-endian).
struct TTestPng {
    std::uint32_t Width = 1;
    std::uint32_t Height = 1;
    int ColorType = 2; // PNG colour type: 0, 2, 3, 4 or 6
    int BitDepth = 8;
    bool Interlaced = false;
    std::vector<std::vector<std::uint8_t>> Rows;
    std::vector<std::array<std::uint8_t, 3>> Palette;
    std::vector<std::uint8_t> TrnsAlpha;                   // palette images
    std::optional<std::array<std::uint16_t, 3>> TrnsColor; // grey uses the first value
    // Chunks placed before the image data as given, for content libpng would refuse to write
    // (type and data; the CRC is computed).
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> RawChunks;
};

// Writes the PNG through libpng (no filtering choice, default compression); throws
// std::runtime_error when libpng refuses the description.
std::vector<std::uint8_t> WriteTestPng(const TTestPng& png);

// Sample values packed into one row at bitDepth (1, 2, 4, 8 or 16), most significant bits first.
std::vector<std::uint8_t> PackSamples(const std::vector<unsigned>& samples, int bitDepth);

struct TPngChunk {
    std::string Type;
    std::vector<std::uint8_t> Data;
    std::uint32_t Crc = 0;
};

inline constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The chunks after the signature; throws std::runtime_error when the data is not a sequence of whole
// chunks behind a PNG signature.
std::vector<TPngChunk> SplitPngChunks(const std::vector<std::uint8_t>& png);
// Signature and chunks with their CRCs computed afresh (so a test damages one thing at a time).
std::vector<std::uint8_t> JoinPngChunks(const std::vector<TPngChunk>& chunks);
// The CRC a chunk of this type and data must carry.
std::uint32_t PngChunkCrc(const TPngChunk& chunk);

// Any PNG decoded by libpng's simplified reader into straight-alpha pixels, independently of the
// program's own PNG code (for tests of folders that lie below the codecs); nullopt when it refuses.
std::optional<TBitmap> DecodeTestPng(const std::vector<std::uint8_t>& data);

} // namespace gw::test
