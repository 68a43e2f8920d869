#include "formats/ico/IcoIO.h"

#include "codecs/ConvertPng.h"
#include "codecs/DibHeader.h"
#include "codecs/PngCodec.h"
#include "formats/ico/BitText.h"
#include "image/ByteReader.h"
#include "image/Limits.h"

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>

namespace gw {

namespace {

// Images wider or higher than this are not stored in, and not read from, icon files: the directory
// holds a side in one byte, 0 standing for 256.
constexpr std::int32_t kMaxIconSide = 256;
constexpr std::size_t kIconDirBytes = 6;
constexpr std::size_t kIconDirEntryBytes = 16;
constexpr std::uint32_t kBitmapInfoHeaderBytes = 40;
constexpr std::uint32_t kBitmapV4HeaderBytes = 108;
constexpr std::uint32_t kBitmapV5HeaderBytes = 124;
constexpr std::uint16_t kResourceIcon = 1;
constexpr std::uint16_t kResourceCursor = 2;
constexpr TColor kOpaqueBlack = 0xFF000000u;

bool IsDibBitCount(std::uint8_t bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32;
}

// DIB rows are padded to whole 32-bit words (Microsoft, "Bitmap Storage"). 64-bit arithmetic: the
// reader calls this with widths it has only bounded by 256, the writer with any image's width.
std::uint64_t RowBytes(std::int64_t width, std::uint32_t bitsPerPixel) {
    return (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

// 2, 16 or 256 entries for 1, 4 and 8 bits, none otherwise: the palette's own sizing rule.
std::uint32_t PaletteEntries(std::uint8_t bitCount) {
    TOrbPalette palette;
    palette.Resize(bitCount);
    return static_cast<std::uint32_t>(palette.Count());
}

bool IsStorable(const TOrbImage& image) {
    return image.Width() > 0 && image.Height() > 0 && image.Width() <= kMaxIconSide &&
           image.Height() <= kMaxIconSide;
}

// ---- Writer ---------------------------------------------------------------------------------------

// Palette indexes of a 1-, 4- or 8-bit image's pixels. A transparent pixel takes the index of opaque
// black (0 when the palette has none), so that old readers which ignore the mask show black there;
// the AND mask marks it transparent.
class TIndexMap {
public:
    explicit TIndexMap(const TOrbPalette& palette) : FPalette(palette) {
        const std::int32_t black = palette.GetPaletteIndex(kOpaqueBlack);
        FTransparent = static_cast<std::uint8_t>(black < 0 ? 0 : black);
    }

    std::uint8_t IndexOf(TColor pixel) {
        if (AlphaOf(pixel) == 0)
            return FTransparent;
        const TColor opaque = kOpaqueBlack | (pixel & 0x00FFFFFFu);
        const auto known = FCache.find(opaque);
        if (known != FCache.end())
            return known->second;
        std::int32_t index = FPalette.GetPaletteIndex(opaque);
        // NOTE: only an image that skipped the colour depth conversion has colours outside its
        // palette; such a pixel is stored as the nearest entry rather than as an index that is not
        // there.
        if (index < 0)
            index = FPalette.GetPaletteIndex(FPalette.GetClosestColor(opaque));
        const auto result = static_cast<std::uint8_t>(std::max(index, 0));
        FCache.emplace(opaque, result);
        return result;
    }

private:
    const TOrbPalette& FPalette;
    std::uint8_t FTransparent = 0;
    std::unordered_map<TColor, std::uint8_t> FCache;
};

// One byte of a 1-bit row from up to eight digits; the positions after the row's end stay "0".
template <class TDigit> std::uint8_t PackBits(std::span<const TColor> row, std::size_t first, TDigit digit) {
    std::string text(8, '0');
    for (std::size_t k = 0; k < 8 && first + k < row.size(); ++k)
        text[k] = digit(row[first + k]);
    return *BitsToByte(text); // digits only, so always a value
}

void WritePalette(const TOrbImage& image, TByteWriter& out) {
    const TOrbPalette& palette = image.Palette();
    const std::uint32_t entries = PaletteEntries(image.DataType());
    for (std::uint32_t i = 0; i < entries; ++i) {
        const auto index = static_cast<std::int32_t>(i);
        const TColor c = index < palette.Count() ? palette.GetPalette(index) : 0;
        out.U8(BlueOf(c));
        out.U8(GreenOf(c));
        out.U8(RedOf(c));
        out.U8(0);
    }
}

// The colour rows, bottom row first, each padded with zero bytes to its row size.
void WriteColorRows(const TOrbImage& image, TByteWriter& out) {
    const TBitmap& bitmap = image.Bitmap();
    const std::uint8_t bitCount = image.DataType();
    const std::size_t rowBytes = RowBytes(image.Width(), bitCount);
    TIndexMap indexes(image.Palette());
    for (std::int32_t y = image.Height() - 1; y >= 0; --y) {
        const std::span<const TColor> row = bitmap.Row(y);
        const std::size_t start = out.Size();
        switch (bitCount) {
        case 1:
            for (std::size_t x = 0; x < row.size(); x += 8)
                out.U8(PackBits(row, x, [&](TColor c) { return indexes.IndexOf(c) != 0 ? '1' : '0'; }));
            break;
        case 4:
            for (std::size_t x = 0; x < row.size(); x += 2) {
                const std::uint8_t high = indexes.IndexOf(row[x]) & 0x0F;
                const std::uint8_t low = x + 1 < row.size() ? indexes.IndexOf(row[x + 1]) & 0x0F : 0;
                out.U8(static_cast<std::uint8_t>(high << 4 | low));
            }
            break;
        case 8:
            for (TColor c : row)
                out.U8(indexes.IndexOf(c));
            break;
        case 24:
            for (TColor c : row) {
                const bool clear = AlphaOf(c) == 0;
                out.U8(clear ? 0 : BlueOf(c));
                out.U8(clear ? 0 : GreenOf(c));
                out.U8(clear ? 0 : RedOf(c));
            }
            break;
        default: // 32: straight alpha, colour bytes kept also where alpha is 0
            for (TColor c : row)
                out.U32LE(c);
            break;
        }
        out.Zeros(rowBytes - (out.Size() - start));
    }
}

// The AND mask: 1 where a pixel is fully transparent, bottom row first.
void WriteMask(const TOrbImage& image, TByteWriter& out) {
    const std::size_t rowBytes = RowBytes(image.Width(), 1);
    for (std::int32_t y = image.Height() - 1; y >= 0; --y) {
        const std::span<const TColor> row = image.Bitmap().Row(y);
        const std::size_t start = out.Size();
        for (std::size_t x = 0; x < row.size(); x += 8)
            out.U8(PackBits(row, x, [](TColor c) { return AlphaOf(c) == 0 ? '1' : '0'; }));
        out.Zeros(rowBytes - (out.Size() - start));
    }
}

// A DIB block: BITMAPINFOHEADER, palette, colour rows, AND mask.
void WriteDib(const TOrbImage& image, TByteWriter& out) {
    const std::uint8_t bitCount = image.DataType();
    out.U32LE(kBitmapInfoHeaderBytes);
    out.I32LE(image.Width());
    out.I32LE(image.Height() * 2); // colour rows and mask rows
    out.U16LE(1);                  // planes
    out.U16LE(bitCount);
    out.U32LE(0); // BI_RGB
    out.U32LE(static_cast<std::uint32_t>(GetImageDataSize(image, false) + GetMaskSize(image)));
    out.U32LE(0); // horizontal resolution
    out.U32LE(0); // vertical resolution
    out.U32LE(PaletteEntries(bitCount));
    out.U32LE(0); // important colours
    WritePalette(image, out);
    WriteColorRows(image, out);
    WriteMask(image, out);
}

// Puts the document back into document order when the writer is done with it, also on failure.
class TDocumentOrderGuard {
public:
    explicit TDocumentOrderGuard(TOrbIcon& doc) : FDoc(doc) { FDoc.SortImagesReverse(); }
    ~TDocumentOrderGuard() { FDoc.SortImages(); }
    TDocumentOrderGuard(const TDocumentOrderGuard&) = delete;
    TDocumentOrderGuard& operator=(const TDocumentOrderGuard&) = delete;

private:
    TOrbIcon& FDoc;
};

// ---- Reader ---------------------------------------------------------------------------------------

// An uncompressed (BI_RGB) BITMAPINFOHEADER, or a BITMAPV4HEADER or BITMAPV5HEADER that some writers
// use instead: their extra fields (masks, colour space, an ICC profile) do not apply to BI_RGB
// pixels and are skipped, and the palette follows the header whatever its length. Anything else
// (BI_BITFIELDS, other header sizes, PNG data) is handed to the PNG decoder, which refuses what is
// not PNG.
bool IsBitmapHeader(const TDibHeader& header) {
    return (header.biSize == kBitmapInfoHeaderBytes || header.biSize == kBitmapV4HeaderBytes ||
            header.biSize == kBitmapV5HeaderBytes) &&
           header.biPlanes == 1 && header.biCompression == 0;
}

// A palette PNG whose tRNS chunk gives some entry an alpha between 0 and 255 (a colour key of one
// fully transparent entry does not count).
bool HasPartialPaletteAlpha(const TPngImage& png) {
    return png.ColorType == TPngColorType::ctPalette &&
           GetPngTransparency(png) == TPngTransparency::ptPartial;
}

// The bit count of a PNG entry: the directory's when it is one the document knows, otherwise one that
// holds what the PNG does: RGB 24, anything with alpha (a palette with partial transparency
// included) 32, grey and palette of 1 bit 1, of 2 or 4 bits 4, of 8 or 16 bits 8.
std::uint8_t SettlePngBitCount(std::uint8_t directoryBitCount, const TPngImage& png) {
    if (IsDibBitCount(directoryBitCount))
        return directoryBitCount;
    if (png.ColorType == TPngColorType::ctRgb)
        return 24;
    if (png.ColorType == TPngColorType::ctGreyAlpha || png.ColorType == TPngColorType::ctRgba ||
        HasPartialPaletteAlpha(png))
        return 32;
    if (png.BitDepth == 1)
        return 1;
    return png.BitDepth <= 4 ? 4 : 8;
}

// True when some pixel of the 32-bit colour rows at the start of rows has an alpha byte above 0; the
// rows are all there.
bool HasAlphaChannel(std::span<const std::uint8_t> rows, std::int32_t width, std::int32_t height) {
    const std::size_t rowBytes = RowBytes(width, 32);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            if (rows[static_cast<std::size_t>(y) * rowBytes + 4 * static_cast<std::size_t>(x) + 3] != 0)
                return true;
    return false;
}

TStatus Refused(std::int32_t width, std::int32_t height, std::uint8_t bitCount) {
    return TStatus::Fail(TFailure::Unsupported, "the document refuses a " + std::to_string(width) + " x " +
                                                    std::to_string(height) + " x " +
                                                    std::to_string(bitCount) +
                                                    " image (one of that size and depth is there)");
}

} // namespace

std::int32_t GetImageDataSize(const TOrbImage& image, bool withPalette) {
    const std::uint8_t bitCount = image.DataType();
    if (!IsDibBitCount(bitCount) || image.Width() <= 0 || image.Height() <= 0)
        return 0;
    const std::uint64_t size =
        RowBytes(image.Width(), bitCount) * static_cast<std::uint64_t>(image.Height()) +
        (withPalette ? PaletteEntries(bitCount) * 4u : 0u);
    return static_cast<std::int32_t>(std::min<std::uint64_t>(size, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t GetMaskSize(const TOrbImage& image) {
    if (image.Width() <= 0 || image.Height() <= 0)
        return 0;
    const std::uint64_t size = RowBytes(image.Width(), 1) * static_cast<std::uint64_t>(image.Height());
    return static_cast<std::int32_t>(std::min<std::uint64_t>(size, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t GetPngSize(const TOrbImage& image) {
    std::vector<std::uint8_t> png;
    if (!BitmapToPngData(image.Bitmap(), png))
        return -1;
    return static_cast<std::int32_t>(png.size());
}

TIcoIO::TIcoIO(bool verbose, bool compressVista) : TMultiImageIO(verbose), FCompressVista(compressVista) {}

bool TIcoIO::CanSave(const TOrbMultiImage& img) const {
    return std::any_of(img.Image().begin(), img.Image().end(), IsStorable);
}

TStatus TIcoIO::SaveToStream(TOrbMultiImage& img, TByteWriter& stream) {
    auto* doc = dynamic_cast<TOrbIcon*>(&img);
    if (doc == nullptr)
        return TStatus::Fail(TFailure::Unsupported, "the ICO writer stores icon documents only");
    const TDocumentOrderGuard order(*doc);

    // Every block is encoded once, before the directory is written: its length goes into the
    // directory and the same bytes into the file.
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<const TOrbImage*> stored;
    for (const TOrbImage& image : doc->Image()) {
        if (!IsStorable(image))
            continue;
        std::vector<std::uint8_t> block;
        if (FCompressVista && image.Width() == kMaxIconSide && image.Height() == kMaxIconSide) {
            GW_TRY(FPngEncoder ? FPngEncoder(image.Bitmap(), block) : BitmapToPngData(image.Bitmap(), block));
        } else {
            if (!IsDibBitCount(image.DataType()))
                return TStatus::Fail(TFailure::Unsupported, "a DIB cannot hold " +
                                                                std::to_string(image.DataType()) +
                                                                " bits per pixel");
            TByteWriter dib;
            WriteDib(image, dib);
            block = dib.Take();
        }
        blocks.push_back(std::move(block));
        stored.push_back(&image);
    }
    if (stored.size() > std::numeric_limits<std::uint16_t>::max())
        return TStatus::Fail(TFailure::TooLarge, "more images than an icon directory can count");

    const std::size_t start = stream.Size();
    stream.U16LE(0); // reserved
    stream.U16LE(kResourceIcon);
    stream.U16LE(static_cast<std::uint16_t>(stored.size()));
    std::uint64_t offset = kIconDirBytes + kIconDirEntryBytes * stored.size();
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const TOrbImage& image = *stored[i];
        const std::uint64_t length = blocks[i].size();
        if (length > std::numeric_limits<std::uint32_t>::max() - offset) {
            stream.Buffer().resize(start);
            return TStatus::Fail(TFailure::TooLarge, "icon file beyond 4 GiB");
        }
        stream.U8(static_cast<std::uint8_t>(image.Width() % 256));
        stream.U8(static_cast<std::uint8_t>(image.Height() % 256));
        stream.U8(static_cast<std::uint8_t>(image.DataType() == 1 ? 2 : image.DataType() == 4 ? 16 : 0));
        stream.U8(0);    // reserved
        stream.U16LE(1); // planes
        stream.U16LE(image.DataType());
        stream.U32LE(static_cast<std::uint32_t>(length));
        stream.U32LE(static_cast<std::uint32_t>(offset));
        offset += length;
    }
    for (const std::vector<std::uint8_t>& block : blocks)
        stream.Bytes(block);
    return TStatus::Ok();
}

TStatus TIcoIO::LoadFromStream(std::span<const std::uint8_t> data, TOrbMultiImage& img) {
    FEntryStatus.clear();
    auto* doc = dynamic_cast<TOrbIcon*>(&img);
    if (doc == nullptr)
        return TStatus::Fail(TFailure::Unsupported, "the ICO reader fills icon documents only");

    TByteReader reader(data);
    std::uint16_t reserved = 0, type = 0, count = 0;
    if (!reader.ReadU16LE(reserved) || !reader.ReadU16LE(type) || !reader.ReadU16LE(count))
        return TStatus::Fail(TFailure::Truncated, "icon header cut short");
    if (reserved != 0 || (type != kResourceIcon && type != kResourceCursor))
        return TStatus::Fail(TFailure::Corrupt, "not an icon or cursor header");
    if (count == 0)
        return TStatus::Fail(TFailure::Corrupt, "the icon holds no image");

    // NOTE: a directory of more entries than we take is read up to the limit; the rest is ignored.
    const std::uint32_t entries = std::min<std::uint32_t>(count, limits::kMaxIconImages);
    struct TEntry {
        std::uint8_t BitCount;
        std::uint32_t Offset;
    };
    std::vector<TEntry> directory;
    directory.reserve(entries);
    for (std::uint32_t i = 0; i < entries; ++i) {
        std::uint16_t bitCount = 0; // in a cursor, the hotspot's y; passed on just the same
        std::uint32_t bytesInRes = 0, offset = 0;
        reader.Skip(6); // width, height, colour count, reserved, planes (hotspot x)
        reader.ReadU16LE(bitCount);
        reader.ReadU32LE(bytesInRes); // the image's own header tells its size
        reader.ReadU32LE(offset);
        if (!reader.Ok())
            return TStatus::Fail(TFailure::Truncated, "icon directory cut short");
        directory.push_back({static_cast<std::uint8_t>(bitCount & 0xFF), offset});
    }

    std::size_t loaded = 0;
    for (const TEntry& entry : directory) {
        TStatus status = entry.Offset >= data.size()
                             ? TStatus::Fail(TFailure::Truncated, "image offset beyond the end of the file")
                             : LoadImageFromStream(*doc, entry.BitCount, data.subspan(entry.Offset));
        loaded += status.IsOk() ? 1 : 0;
        FEntryStatus.push_back(std::move(status));
    }
    if (loaded == 0) {
        const TStatus& first = FEntryStatus.front();
        return TStatus::Fail(first.Kind(), "no image could be read; first entry: " + first.Reason());
    }
    doc->SortImages();
    doc->Select(0);
    return TStatus::Ok();
}

TStatus TIcoIO::LoadImageFromStream(TOrbMultiImage& img, std::uint8_t bitCount,
                                    std::span<const std::uint8_t> data) {
    if (data.size() < kBitmapInfoHeaderBytes)
        return TStatus::Fail(TFailure::Truncated, "image data shorter than a bitmap header");
    TByteReader reader(data);
    TDibHeader header;
    const TStatus headerRead = ReadDibHeader(reader, header);
    if (!headerRead && (header.biSize == kBitmapV4HeaderBytes || header.biSize == kBitmapV5HeaderBytes))
        return TStatus::Fail(TFailure::Truncated, "image data shorter than its bitmap header");

    if (!headerRead || !IsBitmapHeader(header)) {
        // PNG data; its size is checked before anything is decoded.
        if (const auto header = PeekPngHeader(data);
            header && (header->Width > kMaxIconSide || header->Height > kMaxIconSide))
            return TStatus::Fail(TFailure::TooLarge, "PNG entry larger than 256 pixels");
        TPngImage png;
        GW_TRY(DecodePng(data, png));
        if (png.Width > kMaxIconSide || png.Height > kMaxIconSide)
            return TStatus::Fail(TFailure::TooLarge, "PNG entry larger than 256 pixels");
        const std::uint8_t pngBitCount = SettlePngBitCount(bitCount, png);
        if (!IsDibBitCount(pngBitCount))
            return TStatus::Fail(TFailure::Unsupported,
                                 "PNG entry of " + std::to_string(pngBitCount) + " bits per pixel");
        const std::int32_t index = img.AddNewImage(png.Width, png.Height, pngBitCount);
        if (index < 0)
            return Refused(png.Width, png.Height, pngBitCount);
        TOrbImage& image = img.Image()[index];
        ReportStorage(image, "png");
        // NOTE: a palette PNG in an entry the directory calls 32-bit (or 0) keeps its alpha as stored;
        // only entries of 8 bits or fewer take the threshold of a palette image.
        if (pngBitCount == 32 && HasPartialPaletteAlpha(png))
            PngPaletteFullAlphaToGPBitmap(image.Bitmap(), png);
        else
            PngToGPBitmap(image.Bitmap(), png);
        if (image.HasPalette())
            image.Palette().GetPaletteFromImage(image.Bitmap());
        return TStatus::Ok();
    }

    // The height counts the colour rows and the mask rows.
    const auto width = static_cast<std::int32_t>(header.biWidth);
    const auto height = static_cast<std::int32_t>(header.biHeight / 2);
    if (width > kMaxIconSide || height > kMaxIconSide)
        return TStatus::Fail(TFailure::TooLarge, "bitmap larger than 256 pixels");
    // NOTE: a negative height would be a top-down DIB, which icon files never hold.
    if (width <= 0 || height <= 0)
        return TStatus::Fail(TFailure::Corrupt, "bitmap width or height not positive");
    const std::uint16_t dibBitCount = header.biBitCount;
    if (dibBitCount > 32 || (dibBitCount != 16 && !IsDibBitCount(static_cast<std::uint8_t>(dibBitCount))))
        return TStatus::Fail(TFailure::Unsupported,
                             "bitmap of " + std::to_string(dibBitCount) + " bits per pixel");

    // The whole entry must be there before an image is added: palette, colour rows and mask.
    // NOTE: a 32-bit DIB with an alpha channel ignores its mask, so a mask cut short does not matter
    // there (some writers leave it out); every other DIB needs all its mask rows.
    // A palette may be shorter than the bit count allows (biClrUsed below 2^bits): only those entries
    // are stored, and indexes beyond them show opaque black, as every peer reads such files.
    const std::uint32_t fullPalette = PaletteEntries(static_cast<std::uint8_t>(dibBitCount));
    const std::uint32_t paletteEntries =
        header.biClrUsed > 0 && header.biClrUsed < fullPalette ? header.biClrUsed : fullPalette;
    const std::uint64_t colorRowBytes = RowBytes(width, dibBitCount);
    const std::uint64_t maskRowBytes = RowBytes(width, 1);
    const std::uint64_t colorBytes =
        paletteEntries * 4ull + colorRowBytes * static_cast<std::uint64_t>(height);
    if (colorBytes > reader.Remaining())
        return TStatus::Fail(TFailure::Truncated, "bitmap rows cut short");
    const bool hasAlpha =
        dibBitCount == 32 && HasAlphaChannel(data.subspan(reader.Position()), width, height);
    const std::uint64_t maskBytes = hasAlpha ? 0 : maskRowBytes * static_cast<std::uint64_t>(height);
    if (maskBytes > reader.Remaining() - colorBytes)
        return TStatus::Fail(TFailure::Truncated, "bitmap mask cut short");

    // A 5-5-5 DIB becomes a 24-bit image.
    const auto tag = static_cast<std::uint8_t>(dibBitCount == 16 ? 24 : dibBitCount);
    const std::int32_t index = img.AddNewImage(width, height, tag);
    if (index < 0)
        return Refused(width, height, tag);
    TOrbImage& image = img.Image()[index];
    ReportStorage(image, "dib");
    TBitmap& bitmap = image.Bitmap();

    // The fourth byte of each palette entry is reserved.
    std::vector<TColor> palette(fullPalette, kOpaqueBlack);
    for (std::uint32_t i = 0; i < paletteEntries; ++i) {
        std::uint8_t b = 0, g = 0, r = 0, reservedByte = 0;
        reader.ReadU8(b);
        reader.ReadU8(g);
        reader.ReadU8(r);
        reader.ReadU8(reservedByte);
        palette[i] = MakeColor(255, r, g, b);
    }
    for (std::uint32_t i = 0; i < fullPalette; ++i)
        image.Palette().SetPalette(static_cast<std::int32_t>(i), palette[i]);

    // Colour rows, bottom row first.
    for (std::int32_t y = height - 1; y >= 0; --y) {
        std::span<const std::uint8_t> bytes;
        reader.ReadBytes(colorRowBytes, bytes);
        const std::span<TColor> row = bitmap.Row(y);
        for (std::size_t x = 0; x < row.size(); ++x) {
            switch (dibBitCount) {
            case 1:
                row[x] = palette[(bytes[x / 8] >> (7 - x % 8)) & 1];
                break;
            case 4:
                row[x] = palette[x % 2 == 0 ? bytes[x / 2] >> 4 : bytes[x / 2] & 0x0F];
                break;
            case 8:
                row[x] = palette[bytes[x]];
                break;
            case 16: {
                // 5-5-5, bit 15 unused; each component scaled as c x 255 div 31.
                const unsigned v = bytes[2 * x] | bytes[2 * x + 1] << 8;
                const auto scale = [](unsigned c) { return static_cast<std::uint8_t>((c & 31) * 255 / 31); };
                row[x] = MakeColor(255, scale(v >> 10), scale(v >> 5), scale(v));
                break;
            }
            case 24:
                row[x] = MakeColor(255, bytes[3 * x + 2], bytes[3 * x + 1], bytes[3 * x]);
                break;
            default: // 32
                row[x] = MakeColor(bytes[4 * x + 3], bytes[4 * x + 2], bytes[4 * x + 1], bytes[4 * x]);
                break;
            }
        }
    }
    if (dibBitCount == 32) {
        // A 32-bit DIB without an alpha channel (every alpha 0) is opaque and takes its mask.
        FForceMaskFor32bit = !hasAlpha;
        if (FForceMaskFor32bit)
            for (TColor& c : bitmap.Pixels())
                c |= kOpaqueBlack;
    }

    // The AND mask applies unless a real alpha channel is there.
    if (hasAlpha)
        return TStatus::Ok();
    for (std::int32_t y = height - 1; y >= 0; --y) {
        std::span<const std::uint8_t> bytes;
        reader.ReadBytes(maskRowBytes, bytes);
        const std::span<TColor> row = bitmap.Row(y);
        for (std::size_t x = 0; x < row.size(); ++x)
            if ((bytes[x / 8] >> (7 - x % 8)) & 1)
                row[x] = 0;
    }
    return reader.Ok() ? TStatus::Ok() : TStatus::Fail(TFailure::Truncated, "bitmap rows cut short");
}

} // namespace gw
