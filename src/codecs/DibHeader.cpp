#include "codecs/DibHeader.h"

#include <span>
#include <string>

namespace gw {

TStatus ReadDibHeader(TByteReader& reader, TDibHeader& header) {
    header = {};
    if (!reader.ReadU32LE(header.biSize))
        return TStatus::Fail(TFailure::Truncated, "info header");
    const std::uint32_t size = header.biSize;
    if (size == kCoreHeaderSize) {
        std::uint16_t width = 0, height = 0;
        if (!reader.ReadU16LE(width) || !reader.ReadU16LE(height) || !reader.ReadU16LE(header.biPlanes) ||
            !reader.ReadU16LE(header.biBitCount))
            return TStatus::Fail(TFailure::Truncated, "core header");
        header.biWidth = width;
        header.biHeight = height;
        header.PaletteEntrySize = 3;
        header.HeadersEnd = reader.Position();
        return TStatus::Ok();
    }
    if (size != kOs2ShortHeaderSize && size != kInfoHeaderSize && size != kV2HeaderSize &&
        size != kV3HeaderSize && size != kOs2HeaderSize && size != kV4HeaderSize && size != kV5HeaderSize)
        return TStatus::Fail(TFailure::Corrupt, "unknown header size " + std::to_string(size));

    std::span<const std::uint8_t> fields;
    if (!reader.ReadBytes(size - 4, fields))
        return TStatus::Fail(TFailure::Truncated, "info header");
    TByteReader info(fields);
    std::int32_t width = 0, height = 0;
    info.ReadI32LE(width);
    info.ReadI32LE(height);
    info.ReadU16LE(header.biPlanes);
    info.ReadU16LE(header.biBitCount);
    header.biWidth = width;
    header.biHeight = height;
    header.Os2 = size == kOs2ShortHeaderSize || size == kOs2HeaderSize;
    if (size >= kInfoHeaderSize) {
        info.ReadU32LE(header.biCompression);
        info.ReadU32LE(header.biSizeImage);
        info.Skip(8); // biXPelsPerMeter, biYPelsPerMeter
        info.ReadU32LE(header.biClrUsed);
        info.Skip(4); // biClrImportant
    }
    if (!header.Os2 && size >= kV2HeaderSize) {
        // V2 and later carry the masks inside the header.
        header.HeaderHasAlphaMask = size >= kV3HeaderSize;
        for (std::size_t i = 0; i < (header.HeaderHasAlphaMask ? 4u : 3u); ++i)
            info.ReadU32LE(header.Masks[i]);
    }
    // Separate masks follow a 40-byte header: three for BI_BITFIELDS, four for BI_ALPHABITFIELDS.
    if (size == kInfoHeaderSize &&
        (header.biCompression == BI_BITFIELDS || header.biCompression == BI_ALPHABITFIELDS)) {
        const std::size_t count = header.biCompression == BI_ALPHABITFIELDS ? 4 : 3;
        for (std::size_t i = 0; i < count; ++i) {
            if (!reader.ReadU32LE(header.Masks[i]))
                return TStatus::Fail(TFailure::Truncated, "bit field masks");
        }
        header.HeaderHasAlphaMask = count == 4;
    }
    header.HeadersEnd = reader.Position();
    return TStatus::Ok();
}

} // namespace gw
