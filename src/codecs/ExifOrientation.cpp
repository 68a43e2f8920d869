#include "codecs/ExifOrientation.h"

#include "image/ByteReader.h"

#include <algorithm>
#include <array>

namespace gw {

namespace {

constexpr std::array<std::uint8_t, 6> kExifHeader{'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint16_t kTiffMagic = 42;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeSignedLong = 9;

// Reads TIFF-structured data in the byte order its header names.
class TTiffReader {
public:
    TTiffReader(std::span<const std::uint8_t> data, bool bigEndian) : FReader(data), FBigEndian(bigEndian) {}
    bool Seek(std::size_t offset) { return FReader.Seek(offset); }
    bool ReadU16(std::uint16_t& out) { return FBigEndian ? FReader.ReadU16BE(out) : FReader.ReadU16LE(out); }
    bool ReadU32(std::uint32_t& out) { return FBigEndian ? FReader.ReadU32BE(out) : FReader.ReadU32LE(out); }
    bool Skip(std::size_t count) { return FReader.Skip(count); }

private:
    TByteReader FReader;
    bool FBigEndian;
};

} // namespace

TExifOrientation ParseExifOrientation(std::span<const std::uint8_t> app1Payload) {
    constexpr TExifOrientation kDefault = TExifOrientation::TopLeft;
    if (app1Payload.size() < kExifHeader.size() ||
        !std::equal(kExifHeader.begin(), kExifHeader.end(), app1Payload.begin()))
        return kDefault;
    // Offsets inside the TIFF structure count from its byte-order mark, just after the EXIF header.
    const std::span<const std::uint8_t> tiff = app1Payload.subspan(kExifHeader.size());
    if (tiff.size() < 2)
        return kDefault;
    bool bigEndian = false;
    if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else if (!(tiff[0] == 'I' && tiff[1] == 'I'))
        return kDefault;

    TTiffReader reader(tiff, bigEndian);
    std::uint16_t magic = 0, entryCount = 0;
    std::uint32_t ifdOffset = 0;
    if (!reader.Skip(2) || !reader.ReadU16(magic) || magic != kTiffMagic || !reader.ReadU32(ifdOffset) ||
        !reader.Seek(ifdOffset) || !reader.ReadU16(entryCount))
        return kDefault;
    for (std::uint16_t i = 0; i < entryCount; ++i) {
        std::uint16_t tag = 0, type = 0;
        std::uint32_t count = 0;
        // Each entry is 12 bytes: tag, type, count, then a 4-byte value field that holds a single
        // SHORT in its first two bytes, or a single LONG or SLONG (written by some phones and tools).
        if (!reader.ReadU16(tag) || !reader.ReadU16(type) || !reader.ReadU32(count))
            return kDefault;
        std::uint32_t value = 0;
        if (type == kTypeLong || type == kTypeSignedLong) {
            if (!reader.ReadU32(value))
                return kDefault;
        } else {
            std::uint16_t shortValue = 0;
            if (!reader.ReadU16(shortValue) || !reader.Skip(2))
                return kDefault;
            value = shortValue;
        }
        if (tag != kOrientationTag)
            continue;
        const bool integer = type == kTypeShort || type == kTypeLong || type == kTypeSignedLong;
        if (!integer || count != 1 || value < 1 || value > 8)
            return kDefault;
        return static_cast<TExifOrientation>(value);
    }
    return kDefault;
}

void PlaceOrientedRow(TBitmap& target, std::span<const TColor> row, std::int32_t y, std::int32_t storedHeight,
                      TExifOrientation orientation) {
    const auto width = static_cast<std::int32_t>(row.size());
    const bool swapped = SwapsAxes(orientation);
    if (y < 0 || y >= storedHeight || target.Width() != (swapped ? storedHeight : width) ||
        target.Height() != (swapped ? width : storedHeight))
        return;
    const std::int32_t flippedY = storedHeight - 1 - y;
    switch (orientation) {
    case TExifOrientation::TopLeft:
        std::copy(row.begin(), row.end(), target.Row(y).begin());
        return;
    case TExifOrientation::TopRight:
        std::copy(row.rbegin(), row.rend(), target.Row(y).begin());
        return;
    case TExifOrientation::BottomRight:
        std::copy(row.rbegin(), row.rend(), target.Row(flippedY).begin());
        return;
    case TExifOrientation::BottomLeft:
        std::copy(row.begin(), row.end(), target.Row(flippedY).begin());
        return;
    default:
        break;
    }
    // The remaining four turn stored row y into an upright column.
    const bool reversed =
        orientation == TExifOrientation::RightBottom || orientation == TExifOrientation::LeftBottom;
    const bool fromRight =
        orientation == TExifOrientation::RightTop || orientation == TExifOrientation::RightBottom;
    const std::int32_t column = fromRight ? flippedY : y;
    std::span<TColor> pixels = target.Pixels();
    const auto stride = static_cast<std::size_t>(target.Width());
    for (std::int32_t x = 0; x < width; ++x) {
        const std::int32_t uprightY = reversed ? width - 1 - x : x;
        pixels[static_cast<std::size_t>(uprightY) * stride + static_cast<std::size_t>(column)] = row[x];
    }
}

} // namespace gw
