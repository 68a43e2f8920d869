#pragma once
// Builders of icon documents and of hand-made (often hostile) icon file bytes for the ICO tests.

#include "image/ByteWriter.h"
#include "image/OrbIcon.h"

#include <cstdint>
#include <span>
#include <vector>

namespace gw::test {

struct TIconSize {
    std::int32_t Width;
    std::int32_t Height;
    std::uint8_t BitCount;
};

// The default Windows format list "16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;
// 48x48-8;64x64-32;256x256-32".
std::vector<TIconSize> DefaultWindowsFormats();

// A document of transparent images of these sizes, inserted in document order.
void FillDocument(TOrbIcon& doc, std::span<const TIconSize> sizes);

// An image whose every pixel its depth can carry: palette colours and clear pixels (0x00000000) for
// 1, 4 and 8 bits, opaque colours and clear pixels for 24, any straight-alpha colour for 32.
void PaintStorable(TOrbImage& image);

// Fields of a directory entry and its image data.
struct TRawEntry {
    std::uint16_t BitCount = 32;
    std::vector<std::uint8_t> Data;
    std::int64_t Offset = -1; // -1: where the data is placed
};
// Header (reserved, type, count) + directory + data of every entry back to back. count < 0: the
// number of entries.
std::vector<std::uint8_t> BuildIco(const std::vector<TRawEntry>& entries, std::uint16_t type = 1,
                                   std::int32_t count = -1, std::uint16_t reserved = 0);

// A BITMAPINFOHEADER followed by payload; a size above 40 adds that many header bytes (junk).
std::vector<std::uint8_t> BuildDib(std::int32_t width, std::int32_t heightField, std::uint16_t bitCount,
                                   std::span<const std::uint8_t> payload, std::uint32_t size = 40,
                                   std::uint16_t planes = 1, std::uint32_t compression = 0,
                                   std::uint32_t clrUsed = 0);

std::uint16_t U16At(std::span<const std::uint8_t> b, std::size_t at);
std::uint32_t U32At(std::span<const std::uint8_t> b, std::size_t at);

} // namespace gw::test
