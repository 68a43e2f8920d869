// The reading side of TMacIcoIO.

#include "codecs/ConvertPng.h"
#include "codecs/Jpeg2000Codec.h"
#include "codecs/PngCodec.h"
#include "formats/icns/IcnsRle.h"
#include "formats/icns/MacIcoIO.h"
#include "image/ByteReader.h"
#include "image/Limits.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace gw {

using icns::FixedDataSize;
using icns::TMacIconEntry;

namespace {

constexpr std::uint8_t kIcnsMagic[] = {'i', 'c', 'n', 's'};
constexpr std::uint32_t kHeaderBytes = 8;

// One element as read: its type (empty for a type we do not read) and its data, a view into the
// file's bytes. An element of a later type carries its size, bit count 32 and, for the older
// run-length form some of them hold, the 8-bit mask of its size.
struct TReadEntry {
    TMacIconEntry Type;
    bool Modern = false;
    std::span<const std::uint8_t> Data;

    // Enough data for a type of fixed size (the variable-size types check while decoding).
    bool IsComplete() const { return Data.size() >= FixedDataSize(Type); }
};

void LookupType(std::string_view name, TReadEntry& entry) {
    if (const icns::TModernType* modern = icns::FindModernType(name)) {
        entry.Modern = true;
        entry.Type = {modern->Name, icns::FindMaskType(modern->Side, modern->Side, 8), modern->Side,
                      modern->Side, 32};
        return;
    }
    icns::LookupElementType(name, entry.Type);
}

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
        LookupType(std::string_view(reinterpret_cast<const char*>(type.data()), type.size()), entry);
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

bool StartsWith(std::span<const std::uint8_t> data, std::span<const std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

bool IsPng(std::span<const std::uint8_t> data) {
    static constexpr std::uint8_t kPngStart[] = {0x89, 0x50, 0x4E, 0x47};
    return StartsWith(data, kPngStart);
}

// A JP2 file (its signature box) or a bare JPEG 2000 codestream (SOC and SIZ markers).
bool IsJpeg2000(std::span<const std::uint8_t> data) {
    static constexpr std::uint8_t kJp2Box[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    static constexpr std::uint8_t kCodestream[] = {0xFF, 0x4F, 0xFF, 0x51};
    return StartsWith(data, kJp2Box) || StartsWith(data, kCodestream);
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

// Uncompressed alpha, red, green and blue bytes per pixel, rows top down. The caller checked the size.
void DecodeRawArgb(std::span<const std::uint8_t> data, TBitmap& bitmap) {
    const std::span<TColor> pixels = bitmap.Pixels();
    for (std::size_t n = 0; n < pixels.size(); ++n)
        pixels[n] = MakeColor(data[4 * n], data[4 * n + 1], data[4 * n + 2], data[4 * n + 3]);
}

// How an element's pixels are stored. The first four are whole pictures, alpha included; the others
// take their alpha from a mask element.
enum class TEncoding { enPng, enJpeg2000, enArgb, enRawArgb, enRunLength, enIndices };

TEncoding EncodingOf(const TReadEntry& entry) {
    if (IsPng(entry.Data))
        return TEncoding::enPng;
    if (icns::IsEmbeddedPictureType(entry.Type.Name) || (entry.Modern && IsJpeg2000(entry.Data)))
        return TEncoding::enJpeg2000;
    if (entry.Modern && icns::HasArgbHeader(entry.Data))
        return TEncoding::enArgb;
    if (entry.Type.BitCount != 32)
        return TEncoding::enIndices;
    const auto pixels =
        static_cast<std::size_t>(entry.Type.Width) * static_cast<std::size_t>(entry.Type.Height);
    if (!entry.Modern && entry.Data.size() == 4 * pixels)
        return TEncoding::enRawArgb;
    return TEncoding::enRunLength;
}

bool IsWholePicture(TEncoding encoding) {
    return encoding != TEncoding::enRunLength && encoding != TEncoding::enIndices;
}

// How the decoding of one element ended: an image, an element to skip (Reason tells why), or a
// failure of the load (Failure).
enum class TDecodeResult { drImage, drSkip, drFail };

struct TDecoded {
    TDecodeResult Result = TDecodeResult::drSkip;
    TBitmap Bitmap;
    std::string Reason; // of a skip
    TStatus Failure;
};

TDecoded Skip(std::string reason) {
    return {TDecodeResult::drSkip, {}, std::move(reason), {}};
}

std::string SizeText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// Embedded pictures must have their type's size: a picture of another size is skipped before any
// of its pixels are decoded, which also bounds what hostile data can make us allocate.
TDecoded DecodeEmbedded(const TReadEntry& entry, TEncoding encoding) {
    const auto sizeMatches = [&](std::int64_t width, std::int64_t height) {
        return width == entry.Type.Width && height == entry.Type.Height;
    };
    const auto wrongSize = [&](const char* kind, std::int64_t width, std::int64_t height) {
        return Skip(std::string(kind) + " of " + SizeText(width, height) + " in an element of " +
                    SizeText(entry.Type.Width, entry.Type.Height));
    };
    TDecoded decoded;
    if (encoding == TEncoding::enPng) {
        // Every element type that holds PNG data is a 32-bit image: a palette keeps its partial alpha.
        const std::optional<TPngHeader> header = PeekPngHeader(entry.Data);
        if (!header)
            return Skip("PNG data without its header");
        if (!sizeMatches(header->Width, header->Height))
            return wrongSize("a PNG picture", header->Width, header->Height);
        if (const TStatus status = PngDataToBitmap(entry.Data, decoded.Bitmap, true); !status)
            return Skip("PNG data does not decode: " + status.Reason());
        if (!sizeMatches(decoded.Bitmap.Width(), decoded.Bitmap.Height()))
            return wrongSize("a PNG picture", decoded.Bitmap.Width(), decoded.Bitmap.Height());
        decoded.Result = TDecodeResult::drImage;
        return decoded;
    }
    std::int32_t width = 0, height = 0;
    decoded.Failure = ReadJpeg2000Size(entry.Data, width, height);
    if (!decoded.Failure) {
        decoded.Result = TDecodeResult::drFail;
        return decoded;
    }
    if (!sizeMatches(width, height))
        return wrongSize("a JPEG 2000 picture", width, height);
    decoded.Failure = DecodeJpeg2000Data(entry.Data, decoded.Bitmap);
    decoded.Result = decoded.Failure ? TDecodeResult::drImage : TDecodeResult::drFail;
    return decoded;
}

// The pixels of one image element, of its type's size, before its mask.
TDecoded DecodeElement(const TReadEntry& entry, TEncoding encoding) {
    if (!entry.IsComplete())
        return Skip("element too short for its type");
    const TMacIconEntry& type = entry.Type;
    if (encoding == TEncoding::enPng || encoding == TEncoding::enJpeg2000)
        return DecodeEmbedded(entry, encoding);
    TDecoded decoded;
    decoded.Bitmap = TBitmap(type.Width, type.Height);
    TStatus status;
    switch (encoding) {
    case TEncoding::enArgb:
        status = icns::ArgbDecode(entry.Data, decoded.Bitmap);
        break;
    case TEncoding::enRawArgb:
        DecodeRawArgb(entry.Data, decoded.Bitmap);
        break;
    case TEncoding::enRunLength:
        status = icns::Rle24Decode(entry.Data, type.Name == "it32", decoded.Bitmap);
        break;
    default:
        // Of a 1-bit element only the icon bits are read here; its mask bits follow them.
        DecodeIndices(entry.Data, type.BitCount, decoded.Bitmap);
        break;
    }
    if (!status)
        return Skip(status.Reason());
    decoded.Result = TDecodeResult::drImage;
    return decoded;
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

// One image element of the file with what is known before decoding it.
struct TImageElement {
    const TReadEntry* Entry = nullptr;
    TEncoding Encoding = TEncoding::enIndices;
};

// The image elements of one width, height and depth, the one the document should keep first: whole
// pictures (PNG, JPEG 2000, ARGB) before masked ones, then in file order.
using TShapeGroup = std::vector<TImageElement>;

std::vector<TShapeGroup> GroupByShape(const std::vector<TReadEntry>& entries) {
    std::vector<TShapeGroup> groups;
    for (const TReadEntry& entry : entries) {
        const TMacIconEntry& type = entry.Type;
        if (type.BitCount == 0 || icns::IsAlphaMaskType(type.Name))
            continue; // bookkeeping ("TOC ", "icnV", "name", "info"), variants, unknown types, and masks
        const auto it = std::find_if(groups.begin(), groups.end(), [&](const TShapeGroup& group) {
            const TMacIconEntry& other = group.front().Entry->Type;
            return other.Width == type.Width && other.Height == type.Height &&
                   other.BitCount == type.BitCount;
        });
        TShapeGroup& group = it == groups.end() ? groups.emplace_back() : *it;
        group.push_back({&entry, EncodingOf(entry)});
    }
    for (TShapeGroup& group : groups)
        std::stable_partition(group.begin(), group.end(),
                              [](const TImageElement& e) { return IsWholePicture(e.Encoding); });
    return groups;
}

} // namespace

TStatus TMacIcoIO::LoadFromStream(std::span<const std::uint8_t> data, TOrbMultiImage& img) {
    img.SetPreferedExtension(TFileTypes::ftMacIcon);
    auto* icon = dynamic_cast<TOrbIcon*>(&img);
    if (icon == nullptr)
        return TStatus::Fail(TFailure::Unsupported, "ICNS files are read into icon documents only");
    std::vector<TReadEntry> entries;
    GW_TRY(ReadElements(data, entries));

    // The images set aside are reported after those kept, with pixels up to a budget.
    std::vector<TImageStorage> setAside;
    std::uint64_t setAsidePixels = 0;
    for (const TShapeGroup& group : GroupByShape(entries)) {
        std::string kept;
        for (const TImageElement& element : group) {
            const TReadEntry& entry = *element.Entry;
            const TMacIconEntry& type = entry.Type;
            const auto bitCount = static_cast<std::uint8_t>(type.BitCount);
            const auto pixels =
                static_cast<std::uint64_t>(type.Width) * static_cast<std::uint64_t>(type.Height);
            TImageStorage record{nullptr, std::string(type.Name), type.Width, type.Height, bitCount, {}, {}};
            const bool keep = kept.empty() && icon->CanInsertImage(type.Width, type.Height, bitCount);
            const std::string holder = kept.empty() ? "the document already holds this size" : kept + " kept";
            if (!keep && setAsidePixels + pixels > limits::kMaxIcnsSetAsidePixels) {
                record.SetAside = holder + "; not decoded (too many images of one size)";
                setAside.push_back(std::move(record));
                continue;
            }
            TDecoded decoded = DecodeElement(entry, element.Encoding);
            if (decoded.Result == TDecodeResult::drFail && keep)
                return decoded.Failure;
            if (decoded.Result == TDecodeResult::drFail) {
                record.SetAside = holder + "; its own data does not decode: " + decoded.Failure.Reason();
                setAside.push_back(std::move(record));
                continue;
            }
            if (decoded.Result == TDecodeResult::drSkip) {
                record.SetAside = decoded.Reason;
                setAside.push_back(std::move(record));
                continue;
            }
            const TReadEntry* mask =
                IsWholePicture(element.Encoding) && element.Encoding != TEncoding::enRawArgb
                    ? nullptr
                    : ApplyMask(entries, entry, decoded.Bitmap);
            record.Storage = Storage(entry, mask);
            if (!keep) {
                record.SetAside = holder;
                record.Pixels = std::move(decoded.Bitmap);
                setAsidePixels += pixels;
                setAside.push_back(std::move(record));
                continue;
            }
            const std::int32_t index = icon->AddNewImage(type.Width, type.Height, bitCount);
            if (index < 0)
                continue;
            TOrbImage& image = icon->Image()[index];
            image.SetBitmap(std::move(decoded.Bitmap));
            if (image.HasPalette())
                image.Palette().Copy(MacPalette(type.BitCount));
            ReportStorage(image, record.Storage);
            kept = record.Storage;
        }
    }
    for (TImageStorage& record : setAside)
        ReportSetAside(std::move(record));
    icon->SortImages();
    if (icon->ImageCount() > 0)
        icon->Select(0);
    return TStatus::Ok();
}

} // namespace gw
