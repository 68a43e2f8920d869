#include "codecs/BmpDecoder.h"

#include "codecs/DibHeader.h"

#include "codecs/DecodeSupport.h"
#include "image/ByteReader.h"
#include "image/Limits.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <vector>

namespace gw {

namespace {

// Field names follow Microsoft's documentation of BITMAPFILEHEADER, BITMAPINFOHEADER and
// BITMAPV5HEADER; the OS/2 headers share the leading fields.
constexpr std::uint16_t kFileType = 0x4D42; // "BM"
constexpr std::uint32_t kFileHeaderSize = 14;

struct TBmpHeader : TDibHeader {
    std::uint32_t bfOffBits = 0;
};

TStatus Fail(TFailure kind, const std::string& reason) {
    return TStatus::Fail(kind, "BMP: " + reason);
}

TStatus ReadHeader(TByteReader& reader, TBmpHeader& header) {
    std::uint16_t bfType = 0;
    if (!reader.ReadU16LE(bfType) || bfType != kFileType)
        return Fail(TFailure::Corrupt, "bad signature");
    // bfSize and the reserved words are ignored: writers fill them inconsistently.
    if (!reader.Skip(8) || !reader.ReadU32LE(header.bfOffBits))
        return Fail(TFailure::Truncated, "file header");
    static_assert(kFileHeaderSize == 2 + 8 + 4, "the info header follows the 14-byte file header");
    if (TStatus status = ReadDibHeader(reader, header); !status)
        return Fail(status.Kind(), status.Reason());
    return TStatus::Ok();
}

bool IsRle(const TBmpHeader& header) {
    return header.biCompression == BI_RLE8 || header.biCompression == BI_RLE4 ||
           (header.Os2 && header.biCompression == BI_JPEG);
}

bool UsesMasks(const TBmpHeader& header) {
    return !header.Os2 && (header.biCompression == BI_BITFIELDS || header.biCompression == BI_ALPHABITFIELDS);
}

TStatus CheckHeader(const TBmpHeader& header) {
    if (header.biPlanes != 1)
        return Fail(TFailure::Corrupt, "planes must be 1");
    if (header.biWidth <= 0 || header.biHeight == 0)
        return Fail(TFailure::Corrupt, "bad picture size");
    const std::uint16_t bits = header.biBitCount;
    if (bits == 0 || bits == 64)
        return Fail(TFailure::Unsupported,
                    std::to_string(bits) + " bits per pixel (embedded or 64-bit data)");
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Fail(TFailure::Corrupt, "bad bit count " + std::to_string(bits));

    const std::uint32_t compression = header.biCompression;
    const bool valid = compression == BI_RGB || (compression == BI_RLE8 && bits == 8) ||
                       (compression == BI_RLE4 && bits == 4) ||
                       (header.Os2 && compression == BI_JPEG && bits == 24) ||
                       (UsesMasks(header) && (bits == 16 || bits == 32));
    if (!valid) {
        const bool known =
            compression == BI_JPEG || compression == BI_PNG || (header.Os2 && compression == BI_BITFIELDS);
        return Fail(known ? TFailure::Unsupported : TFailure::Corrupt,
                    "compression " + std::to_string(compression) + " with " + std::to_string(bits) + " bits");
    }
    // Bottom-up is the only order RLE data has (Microsoft: "compressed bitmaps cannot be top-down").
    if (header.biHeight < 0 && IsRle(header))
        return Fail(TFailure::Corrupt, "top-down RLE bitmap");
    return TStatus::Ok();
}

// One colour channel of a bit-field pixel, scaled to 8 bits by value * 255 / maximum (so 5-bit white
// becomes 255, not 248).
struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Maximum = 0;

    std::uint8_t Extract(std::uint32_t pixel) const {
        if (Maximum == 0)
            return 0;
        const std::uint64_t value = (pixel & Mask) >> Shift;
        return static_cast<std::uint8_t>((value * 255 + Maximum / 2) / Maximum);
    }
};

TChannel MakeChannel(std::uint32_t mask) {
    TChannel channel;
    if (mask == 0)
        return channel;
    channel.Mask = mask;
    channel.Shift = std::countr_zero(mask);
    channel.Maximum = mask >> channel.Shift;
    return channel;
}

bool IsContiguous(std::uint32_t mask) {
    const std::uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

struct TPixelFormat {
    std::array<TChannel, 4> Channels; // red, green, blue, alpha
};

TStatus MakePixelFormat(const TBmpHeader& header, TPixelFormat& format) {
    std::array<std::uint32_t, 4> masks{};
    if (UsesMasks(header)) {
        masks = header.Masks;
        if (!header.HeaderHasAlphaMask)
            masks[3] = 0;
    } else if (header.biBitCount == 16) {
        masks = {0x7C00, 0x03E0, 0x001F, 0}; // the default 5-5-5 layout, top bit unused
    } else {
        masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}; // 32-bit: the fourth byte as stored
    }
    const std::uint64_t limit = header.biBitCount == 16 ? 0xFFFF : 0xFFFFFFFF;
    std::uint32_t seen = 0;
    for (std::size_t i = 0; i < masks.size(); ++i) {
        const std::uint32_t mask = masks[i];
        const bool colour = i < 3;
        if ((colour && mask == 0) || (mask != 0 && !IsContiguous(mask)) || mask > limit || (mask & seen) != 0)
            return Fail(TFailure::Corrupt, "bad bit field masks");
        seen |= mask;
        format.Channels[i] = MakeChannel(mask);
    }
    // Only 32-bit pixels carry a fourth byte; a 16-bit alpha field is read as unused bits.
    if (header.biBitCount == 16)
        format.Channels[3] = TChannel{};
    return TStatus::Ok();
}

TColor MaskedColor(const TPixelFormat& format, std::uint32_t pixel) {
    return MakeColor(format.Channels[3].Extract(pixel), format.Channels[0].Extract(pixel),
                     format.Channels[1].Extract(pixel), format.Channels[2].Extract(pixel));
}

// Palette entries are B, G, R (and a reserved byte in all but the core header); as pixels from fewer
// than 32 bits they get a fourth byte of 0.
TStatus ReadPalette(std::span<const std::uint8_t> data, const TBmpHeader& header, TColorArray& palette) {
    if (header.biBitCount > 8)
        return TStatus::Ok();
    const std::uint32_t maxEntries = 1u << header.biBitCount;
    const std::size_t room = header.bfOffBits > header.HeadersEnd
                                 ? (header.bfOffBits - header.HeadersEnd) / header.PaletteEntrySize
                                 : 0;
    std::size_t count = 0;
    if (header.biClrUsed == 0) {
        // The implied full palette; OS/2 writers sometimes store fewer entries, as bfOffBits shows.
        count = std::min<std::size_t>(maxEntries, room);
    } else {
        if (header.biClrUsed > room)
            return Fail(TFailure::Corrupt, "palette of " + std::to_string(header.biClrUsed) +
                                               " colours does not fit before the pixels");
        count = std::min<std::size_t>(header.biClrUsed, maxEntries);
    }
    TByteReader reader(data);
    if (!reader.Seek(header.HeadersEnd))
        return Fail(TFailure::Truncated, "palette");
    palette.resize(count);
    for (TColor& entry : palette) {
        std::span<const std::uint8_t> bytes;
        if (!reader.ReadBytes(header.PaletteEntrySize, bytes))
            return Fail(TFailure::Truncated, "palette");
        entry = MakeColor(0, bytes[2], bytes[1], bytes[0]);
    }
    return TStatus::Ok();
}

TStatus PaletteColor(const TColorArray& palette, std::uint32_t index, TColor& colour) {
    if (index >= palette.size())
        return Fail(TFailure::Corrupt, "palette index " + std::to_string(index) + " beyond the palette");
    colour = palette[index];
    return TStatus::Ok();
}

TStatus DecodeUncompressed(std::span<const std::uint8_t> pixels, const TBmpHeader& header,
                           const TColorArray& palette, const TPixelFormat& format, TAreaReducer& picture) {
    const std::int32_t width = picture.SourceWidth(), height = picture.SourceHeight();
    const std::uint32_t bits = header.biBitCount;
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    if (stride * static_cast<std::uint64_t>(height) > pixels.size())
        return Fail(TFailure::Truncated, "pixel data ends early");
    const bool topDown = header.biHeight < 0;
    for (std::int32_t fileRow = 0; fileRow < height; ++fileRow) {
        const std::span<const std::uint8_t> source =
            pixels.subspan(static_cast<std::size_t>(fileRow * stride), stride);
        const std::int32_t y = topDown ? fileRow : height - 1 - fileRow;
        const std::span<TColor> row = picture.RowBuffer(y);
        for (std::int32_t x = 0; x < width; ++x) {
            const auto ux = static_cast<std::size_t>(x);
            switch (bits) {
            case 1:
            case 2:
            case 4:
            case 8: {
                const std::size_t bitOffset = ux * bits;
                const std::uint32_t shift = 8 - bits - static_cast<std::uint32_t>(bitOffset % 8);
                const std::uint32_t index = (source[bitOffset / 8] >> shift) & ((1u << bits) - 1);
                GW_TRY(PaletteColor(palette, index, row[ux]));
                break;
            }
            case 16:
                row[ux] = MaskedColor(format,
                                      std::uint32_t{source[ux * 2]} | std::uint32_t{source[ux * 2 + 1]} << 8);
                break;
            case 24:
                row[ux] = MakeColor(0, source[ux * 3 + 2], source[ux * 3 + 1], source[ux * 3]);
                break;
            default: {
                const std::uint32_t value =
                    std::uint32_t{source[ux * 4]} | std::uint32_t{source[ux * 4 + 1]} << 8 |
                    std::uint32_t{source[ux * 4 + 2]} << 16 | std::uint32_t{source[ux * 4 + 3]} << 24;
                row[ux] = MaskedColor(format, value);
                break;
            }
            }
        }
        picture.AddRow(y);
    }
    return TStatus::Ok();
}

// RLE4, RLE8 and OS/2 RLE24 share their escape codes (Microsoft, "Bitmap Compression"): a non-zero
// count repeats one value, 0 0 ends a line, 0 1 ends the bitmap, 0 2 dx dy moves right and up, and
// 0 n copies n literal pixels padded to a 16-bit boundary. Every run is checked against the row and
// the picture; a run that would leave them is corrupt, data that ends before 0 1 is truncated. Rows
// are handed on as the data leaves them, bottom row first; pixels it skips stay transparent black.
class TRleDecoder {
public:
    TRleDecoder(std::span<const std::uint8_t> data, const TBmpHeader& header, const TColorArray& palette,
                TAreaReducer& picture)
        : FReader(data), FHeader(header), FPalette(palette), FPicture(picture), FWidth(picture.SourceWidth()),
          FHeight(picture.SourceHeight()) {
        FLine = FPicture.RowBuffer(FHeight - 1);
    }

    TStatus Decode() {
        for (;;) {
            std::uint8_t count = 0, value = 0;
            if (!FReader.ReadU8(count) || !FReader.ReadU8(value))
                return Fail(TFailure::Truncated, "RLE data ends before the end-of-bitmap code");
            if (count > 0) {
                GW_TRY(EncodedRun(count, value));
                continue;
            }
            switch (value) {
            case 0: // end of line
                FX = 0;
                MoveToRow(FRow + 1);
                break;
            case 1: // end of bitmap
                MoveToRow(FHeight);
                return TStatus::Ok();
            case 2: { // delta
                std::uint8_t dx = 0, dy = 0;
                if (!FReader.ReadU8(dx) || !FReader.ReadU8(dy))
                    return Fail(TFailure::Truncated, "RLE delta");
                if (dx > FWidth - FX || dy > FHeight - FRow)
                    return Fail(TFailure::Corrupt, "RLE delta leaves the picture");
                FX += dx;
                MoveToRow(FRow + dy);
                break;
            }
            default:
                GW_TRY(LiteralRun(value));
                break;
            }
        }
    }

private:
    // Hands on the rows up to newRow (counted from the bottom) and starts that one.
    // Rows skipped whole get a fresh (transparent black) row of their own.
    void MoveToRow(std::int32_t newRow) {
        if (newRow == FRow)
            return;
        for (bool started = true; FRow < newRow; ++FRow, started = false) {
            if (FRow >= FHeight)
                continue;
            if (!started)
                FPicture.RowBuffer(FHeight - 1 - FRow);
            FPicture.AddRow(FHeight - 1 - FRow);
        }
        if (FRow < FHeight)
            FLine = FPicture.RowBuffer(FHeight - 1 - FRow);
    }

    TStatus CheckRun(std::int32_t count) const {
        if (FRow >= FHeight || count > FWidth - FX)
            return Fail(TFailure::Corrupt, "RLE run leaves the picture");
        return TStatus::Ok();
    }

    TStatus Put(std::uint32_t index) {
        TColor colour = 0;
        GW_TRY(PaletteColor(FPalette, index, colour));
        FLine[static_cast<std::size_t>(FX++)] = colour;
        return TStatus::Ok();
    }

    TStatus EncodedRun(std::uint8_t count, std::uint8_t value) {
        GW_TRY(CheckRun(count));
        if (FHeader.biCompression == BI_RLE8) {
            for (int i = 0; i < count; ++i) {
                GW_TRY(Put(value));
            }
            return TStatus::Ok();
        }
        if (FHeader.biCompression == BI_RLE4) {
            for (int i = 0; i < count; ++i) {
                GW_TRY(Put((i % 2 == 0) ? value >> 4 : value & 0x0F));
            }
            return TStatus::Ok();
        }
        std::uint8_t green = 0, red = 0; // RLE24: value is the blue byte
        if (!FReader.ReadU8(green) || !FReader.ReadU8(red))
            return Fail(TFailure::Truncated, "RLE24 run");
        std::fill_n(FLine.begin() + FX, count, MakeColor(0, red, green, value));
        FX += count;
        return TStatus::Ok();
    }

    TStatus LiteralRun(std::uint8_t count) {
        GW_TRY(CheckRun(count));
        const std::uint32_t compression = FHeader.biCompression;
        const std::size_t bytes = compression == BI_RLE8   ? count
                                  : compression == BI_RLE4 ? (count + 1u) / 2
                                                           : count * 3u;
        std::span<const std::uint8_t> literal;
        if (!FReader.ReadBytes(bytes, literal) || !FReader.Skip(bytes % 2))
            return Fail(TFailure::Truncated, "RLE literal run");
        for (std::size_t i = 0; i < count; ++i) {
            if (compression == BI_JPEG) {
                FLine[static_cast<std::size_t>(FX++)] =
                    MakeColor(0, literal[i * 3 + 2], literal[i * 3 + 1], literal[i * 3]);
                continue;
            }
            const std::uint32_t index = compression == BI_RLE8
                                            ? literal[i]
                                            : (i % 2 == 0 ? literal[i / 2] >> 4 : literal[i / 2] & 0x0F);
            GW_TRY(Put(index));
        }
        return TStatus::Ok();
    }

    TByteReader FReader;
    const TBmpHeader& FHeader;
    const TColorArray& FPalette;
    TAreaReducer& FPicture;
    std::int32_t FWidth, FHeight;
    std::span<TColor> FLine; // the row being decoded
    std::int32_t FX = 0;
    std::int32_t FRow = 0; // counted from the bottom row
};

TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
               TGPSize* sourceSize) {
    TByteReader reader(data);
    TBmpHeader header;
    GW_TRY(ReadHeader(reader, header));
    GW_TRY(CheckHeader(header));
    const std::int64_t height = header.biHeight < 0 ? -std::int64_t{header.biHeight} : header.biHeight;
    GW_TRY(CheckReducedSize("picture", header.biWidth, height, targetSide));
    if (header.bfOffBits < header.HeadersEnd || header.bfOffBits > data.size())
        return Fail(TFailure::Corrupt, "pixel data offset outside the file");
    std::span<const std::uint8_t> pixels = data.subspan(header.bfOffBits);
    if (header.biSizeImage > pixels.size())
        return Fail(TFailure::Truncated, "image size runs past the end of the file");
    if (IsRle(header) && header.biSizeImage != 0)
        pixels = pixels.first(header.biSizeImage);

    TColorArray palette;
    GW_TRY(ReadPalette(data, header, palette));
    TPixelFormat format;
    if (header.biBitCount == 16 || header.biBitCount == 32) {
        GW_TRY(MakePixelFormat(header, format));
    }
    // The alpha rule: when no pixel has a non-zero fourth byte, the picture is opaque.
    TAreaReducer reducer;
    if (TStatus status = StartReduction("picture", header.biWidth, height, targetSide, reducer, sourceSize,
                                        TAreaReducer::TAlphaRule::ZeroAlphaIsOpaque);
        !status)
        return Fail(status.Kind(), status.Reason());
    const TStatus status = IsRle(header) ? TRleDecoder(pixels, header, palette, reducer).Decode()
                                         : DecodeUncompressed(pixels, header, palette, format, reducer);
    if (!status)
        return status;
    return reducer.Finish(picture);
}

} // namespace

TStatus DecodeBmp(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
                  TGPSize* sourceSize) {
    picture = TBitmap();
    TStatus status = Decode(data, picture, targetSide, sourceSize);
    if (!status)
        picture = TBitmap();
    return status;
}

} // namespace gw
