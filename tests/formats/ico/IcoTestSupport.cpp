#include "IcoTestSupport.h"

namespace gw::test {

std::vector<TIconSize> DefaultWindowsFormats() {
    return {{16, 16, 32}, {16, 16, 8},  {16, 16, 4}, {32, 32, 32}, {32, 32, 8},
            {32, 32, 4},  {48, 48, 32}, {48, 48, 8}, {64, 64, 32}, {256, 256, 32}};
}

void FillDocument(TOrbIcon& doc, std::span<const TIconSize> sizes) {
    for (const TIconSize& s : sizes)
        doc.InsertNewImage(s.Width, s.Height, s.BitCount);
}

void PaintStorable(TOrbImage& image) {
    TBitmap& bitmap = image.Bitmap();
    const std::uint8_t bitCount = image.DataType();
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        for (std::int32_t x = 0; x < bitmap.Width(); ++x) {
            const auto seed = static_cast<std::uint32_t>(x * 7 + y * 13);
            TColor c = 0;
            if ((x + 2 * y) % 5 == 0)
                c = 0; // clear
            else if (image.HasPalette())
                c = image.Palette().GetPalette(static_cast<std::int32_t>(seed % image.Palette().Count()));
            else if (bitCount == 24)
                c = 0xFF000000u | (seed * 2654435761u & 0xFFFFFFu);
            else
                c = MakeColor(static_cast<std::uint8_t>(1 + seed % 255), static_cast<std::uint8_t>(seed * 3),
                              static_cast<std::uint8_t>(x * 5), static_cast<std::uint8_t>(y * 9));
            bitmap.SetPixel(x, y, c);
        }
    }
}

std::vector<std::uint8_t> BuildIco(const std::vector<TRawEntry>& entries, std::uint16_t type,
                                   std::int32_t count, std::uint16_t reserved) {
    TByteWriter out;
    out.U16LE(reserved);
    out.U16LE(type);
    out.U16LE(static_cast<std::uint16_t>(count < 0 ? entries.size() : static_cast<std::size_t>(count)));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const TRawEntry& e : entries) {
        out.Zeros(4);
        out.U16LE(1);
        out.U16LE(e.BitCount);
        out.U32LE(static_cast<std::uint32_t>(e.Data.size()));
        out.U32LE(e.Offset >= 0 ? static_cast<std::uint32_t>(e.Offset) : offset);
        offset += static_cast<std::uint32_t>(e.Data.size());
    }
    for (const TRawEntry& e : entries)
        out.Bytes(e.Data);
    return out.Take();
}

std::vector<std::uint8_t> BuildDib(std::int32_t width, std::int32_t heightField, std::uint16_t bitCount,
                                   std::span<const std::uint8_t> payload, std::uint32_t size,
                                   std::uint16_t planes, std::uint32_t compression, std::uint32_t clrUsed) {
    TByteWriter out;
    out.U32LE(size);
    out.I32LE(width);
    out.I32LE(heightField);
    out.U16LE(planes);
    out.U16LE(bitCount);
    out.U32LE(compression);
    out.Zeros(12);
    out.U32LE(clrUsed);
    out.U32LE(0);
    // The fields of a longer header version (masks, colour space, profile) are filled with junk.
    for (std::uint32_t i = 40; i < size; ++i)
        out.U8(0xA5);
    out.Bytes(payload);
    return out.Take();
}

std::uint16_t U16At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t U32At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

} // namespace gw::test
