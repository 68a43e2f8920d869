// The reading side of TMacIcoIO.

#include "codecs/ConvertPng.h"
#include "codecs/Jpeg2000Codec.h"
#include "formats/icns/IcnsRle.h"
#include "formats/icns/MacIcoIO.h"
#include "image/ByteReader.h"
#include "image/Limits.h"

#include <algorithm>
#include <string>
#include <vector>

namespace gw {

using icns::FixedDataSize;
using icns::TMacIconEntry;

namespace {

constexpr std::uint8_t kIcnsMagic[] = {'i', 'c', 'n', 's'};
constexpr std::uint32_t kHeaderBytes = 8;

// One element as read: its type from the table (empty for a type the table does not list) and its
// data, a view into the file's bytes.
struct TReadEntry {
    TMacIconEntry Type;
    std::span<const std::uint8_t> Data;

    // Enough data for a type of fixed size (the variable-size types check while decoding).
    bool IsComplete() const { return Data.size() >= FixedDataSize(Type); }
};

// The header and the element headers. Every element must lie within the total length, which must
// lie within the data; only the first limits::kMaxIcnsElements elements are kept.
TStatus ReadElements(std::span<const std::uint8_t> data, std::vector<TReadEntry>& entries) {
    TByteReader header(data);
    std::span<const std::uint8_t> magic;
    std::uint32_t total = 0;
    if (!header.ReadBytes(4, magic) || !std::equal(magic.begin(), magic.end(), std::begin(kIcnsMagic)))
        return TStatus::Fail(TFailure::Corrupt, "not an ICNS file (magic)");
    if (!header.ReadU32BE(total))
        return TStatus::Fail(TFailure::Truncated, "ICNS header cut short");
    if (total < kHeaderBytes)
        return TStatus::Fail(TFailure::Corrupt, "ICNS total length below 8");
    if (total > data.size())
        return TStatus::Fail(TFailure::Truncated, "ICNS total length beyond the file");

    TByteReader body(data.first(total));
    body.Seek(kHeaderBytes);
    while (body.Remaining() > 0 && entries.size() < limits::kMaxIcnsElements) {
        std::span<const std::uint8_t> type;
        std::uint32_t length = 0;
        if (!body.ReadBytes(4, type) || !body.ReadU32BE(length))
            return TStatus::Fail(TFailure::Corrupt, "ICNS element header beyond the total length");
        if (length < kHeaderBytes)
            return TStatus::Fail(TFailure::Corrupt, "ICNS element length below 8");
        TReadEntry entry;
        if (!body.ReadBytes(length - kHeaderBytes, entry.Data))
            return TStatus::Fail(TFailure::Corrupt, "ICNS element beyond the total length");
        icns::LookupElementType(std::string_view(reinterpret_cast<const char*>(type.data()), type.size()),
                                entry.Type);
        entries.push_back(entry);
    }
    return TStatus::Ok();
}

// The first complete entry of the type, or null.
const TReadEntry* FindEntry(const std::vector<TReadEntry>& entries, std::string_view type) {
    if (type.empty())
        return nullptr;
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const TReadEntry& e) { return e.Type.Name == type && e.IsComplete(); });
    return it == entries.end() ? nullptr : &*it;
}

bool IsPng(const TReadEntry& entry) {
    static constexpr std::uint8_t kPngStart[] = {0x89, 0x50, 0x4E, 0x47};
    return entry.Data.size() >= 4 &&
           std::equal(std::begin(kPngStart), std::end(kPngStart), entry.Data.begin());
}

// The macintosh palette of a depth, for decoding indices.
TOrbPalette MacPalette(std::int32_t bitCount) {
    TOrbPalette palette;
    palette.Resize(static_cast<std::uint8_t>(bitCount));
    if (bitCount == 1)
        palette.FillMac2();
    else if (bitCount == 4)
        palette.FillMac16();
    else
        palette.FillMac256();
    return palette;
}

// Palette indices of 1, 4 or 8 bits packed from the most significant bits, rows starting on byte
// boundaries (every type's row is a whole number of bytes). The caller checked the data size.
void DecodeIndices(std::span<const std::uint8_t> data, std::int32_t bitCount, TBitmap& bitmap) {
    const TOrbPalette palette = MacPalette(bitCount);
    const std::span<TColor> pixels = bitmap.Pixels();
    const auto bits = static_cast<std::size_t>(bitCount);
    const std::size_t perByte = 8 / bits;
    const std::uint8_t mask = static_cast<std::uint8_t>((1u << bits) - 1);
    for (std::size_t n = 0; n < pixels.size(); ++n) {
        const std::size_t shift = 8 - bits * (n % perByte + 1);
        pixels[n] = palette.GetPalette((data[n / perByte] >> shift) & mask);
    }
}

// The width and height of PNG data from its IHDR chunk (PNG standard, 11.2.2), without decoding.
bool ReadPngSize(std::span<const std::uint8_t> data, std::uint32_t& width, std::uint32_t& height) {
    TByteReader reader(data);
    std::span<const std::uint8_t> type;
    return reader.Skip(12) && reader.ReadBytes(4, type) && std::equal(type.begin(), type.end(), "IHDR") &&
           reader.ReadU32BE(width) && reader.ReadU32BE(height);
}

// How the decoding of one element ended: an image, an element to skip, or a failure of the load.
enum class TDecodeResult { drImage, drSkip, drFail };

// Embedded pictures must have their type's size: a picture of another size is skipped before any
// of its pixels are decoded, which also bounds what hostile data can make us allocate.
TDecodeResult DecodeEmbedded(const TReadEntry& entry, TBitmap& bitmap, TStatus& failure) {
    const auto sizeMatches = [&](std::int64_t width, std::int64_t height) {
        return width == entry.Type.Width && height == entry.Type.Height;
    };
    if (IsPng(entry)) {
        std::uint32_t width = 0, height = 0;
        if (!ReadPngSize(entry.Data, width, height) || !sizeMatches(width, height))
            return TDecodeResult::drSkip;
        TBitmap decoded;
        if (!PngDataToBitmap(entry.Data, decoded) || !sizeMatches(decoded.Width(), decoded.Height()))
            return TDecodeResult::drSkip;
        bitmap = std::move(decoded);
        return TDecodeResult::drImage;
    }
    std::int32_t width = 0, height = 0;
    failure = ReadJpeg2000Size(entry.Data, width, height);
    if (!failure)
        return TDecodeResult::drFail;
    if (!sizeMatches(width, height))
        return TDecodeResult::drSkip;
    failure = DecodeJpeg2000Data(entry.Data, bitmap);
    return failure ? TDecodeResult::drImage : TDecodeResult::drFail;
}

// The pixels of one image element, of its type's size, before its mask.
TDecodeResult DecodeElement(const TReadEntry& entry, TBitmap& bitmap, TStatus& failure) {
    if (!entry.IsComplete())
        return TDecodeResult::drSkip;
    const TMacIconEntry& type = entry.Type;
    if (icns::IsEmbeddedPictureType(type.Name))
        return DecodeEmbedded(entry, bitmap, failure);
    bitmap = TBitmap(type.Width, type.Height);
    if (type.BitCount == 32)
        return icns::Rle24Decode(entry.Data, type.Name == "it32", bitmap) ? TDecodeResult::drImage
                                                                          : TDecodeResult::drSkip;
    // Of a 1-bit element only the icon bits are read here; its mask bits follow them.
    DecodeIndices(entry.Data, type.BitCount, bitmap);
    return TDecodeResult::drImage;
}

// The mask bits of a 1-bit element with a mask: 1 keeps the pixel, opaque; 0 makes it transparent black.
void Apply1BitMask(const TReadEntry& mask, TBitmap& bitmap) {
    const std::span<TColor> pixels = bitmap.Pixels();
    const std::span<const std::uint8_t> bits = mask.Data.subspan(pixels.size() / 8);
    for (std::size_t n = 0; n < pixels.size(); ++n) {
        const bool visible = (bits[n / 8] >> (7 - n % 8)) & 1;
        pixels[n] = visible ? pixels[n] | 0xFF000000u : 0;
    }
}

// One alpha byte per pixel; 0 makes the pixel transparent black.
void Apply8BitMask(const TReadEntry& mask, TBitmap& bitmap) {
    const std::span<TColor> pixels = bitmap.Pixels();
    for (std::size_t n = 0; n < pixels.size(); ++n) {
        const std::uint8_t alpha = mask.Data[n];
        pixels[n] = alpha == 0 ? 0 : (pixels[n] & 0x00FFFFFFu) | (TColor{alpha} << 24);
    }
}

// Applies the mask of an element (its own 1-bit mask half, the 1-bit element of its size, or its
// 8-bit mask), found before or after it in the file, and returns it; null when there is none. Masks
// of the wrong size cannot occur: every mask type of the table has the size of the types it serves.
const TReadEntry* ApplyMask(const std::vector<TReadEntry>& entries, const TReadEntry& entry,
                            TBitmap& bitmap) {
    const TReadEntry* mask = FindEntry(entries, entry.Type.Mask);
    if (mask == nullptr)
        return nullptr;
    if (icns::IsAlphaMaskType(mask->Type.Name))
        Apply8BitMask(*mask, bitmap);
    else
        Apply1BitMask(*mask, bitmap);
    return mask;
}

// How an image was stored: its element type, and "+" the type of a mask element that was applied
// ("is32+s8mk", "icl8+ICN#"); a "#" element that masks itself is just its type.
std::string Storage(const TReadEntry& entry, const TReadEntry* mask) {
    std::string storage(entry.Type.Name);
    if (mask != nullptr && mask->Type.Name != entry.Type.Name)
        storage += "+" + std::string(mask->Type.Name);
    return storage;
}

} // namespace

TStatus TMacIcoIO::LoadFromStream(std::span<const std::uint8_t> data, TOrbMultiImage& img) {
    img.SetPreferedExtension(TFileTypes::ftMacIcon);
    auto* icon = dynamic_cast<TOrbIcon*>(&img);
    if (icon == nullptr)
        return TStatus::Fail(TFailure::Unsupported, "ICNS files are read into icon documents only");
    std::vector<TReadEntry> entries;
    if (TStatus status = ReadElements(data, entries); !status)
        return status;

    for (const TReadEntry& entry : entries) {
        const TMacIconEntry& type = entry.Type;
        if (type.BitCount == 0 || icns::IsAlphaMaskType(type.Name))
            continue; // bookkeeping ("TOC ", "icnV"), newer kinds, and masks, which serve other elements
        const auto bitCount = static_cast<std::uint8_t>(type.BitCount);
        // The first element of a width, height and depth wins; later ones are skipped with their masks.
        if (!icon->CanInsertImage(type.Width, type.Height, bitCount))
            continue;
        TBitmap bitmap;
        TStatus failure;
        const TDecodeResult result = DecodeElement(entry, bitmap, failure);
        if (result == TDecodeResult::drFail)
            return failure;
        if (result == TDecodeResult::drSkip)
            continue;
        const TReadEntry* mask = ApplyMask(entries, entry, bitmap);
        const std::int32_t index = icon->AddNewImage(type.Width, type.Height, bitCount);
        if (index < 0)
            continue;
        TOrbImage& image = icon->Image()[index];
        image.SetBitmap(std::move(bitmap));
        if (image.HasPalette())
            image.Palette().Copy(MacPalette(type.BitCount));
        ReportStorage(image, Storage(entry, mask));
    }
    icon->SortImages();
    if (icon->ImageCount() > 0)
        icon->Select(0);
    return TStatus::Ok();
}

} // namespace gw
