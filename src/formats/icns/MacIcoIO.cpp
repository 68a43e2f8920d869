#include "formats/icns/MacIcoIO.h"

#include "codecs/ConvertPng.h"
#include "codecs/Jpeg2000Codec.h"
#include "color/DataType.h"
#include "formats/icns/IcnsRle.h"
#include "image/Convert.h"
#include "image/ParallelFor.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <limits>
#include <new>
#include <thread>
#include <vector>

namespace gw {

using icns::FindIconType;
using icns::FindMaskType;

namespace {

constexpr std::size_t kHeaderBytes = 8; // a four-character type (or the magic) and a length

// --- Document preparation -----------------------------------------------------------------------

// One entry of the type table built over the document: an image and its element type. The entry
// points at the image itself, so it keeps designating it while new images are inserted.
struct TMacWin {
    std::string_view Name;
    TOrbImage* Image = nullptr;
};
using TTypeTable = std::vector<TMacWin>;

// The image of the given element type, or null.
TOrbImage* ImageOfType(const TTypeTable& table, std::string_view type) {
    const auto it =
        std::find_if(table.begin(), table.end(), [&](const TMacWin& e) { return e.Name == type; });
    return it == table.end() ? nullptr : it->Image;
}

std::string_view ElementTypeOf(const TOrbImage& image) {
    return FindIconType(image.Width(), image.Height(), image.DataType());
}

// The retina element type a modern file adds for a 32-bit image of 32, 64, 256 or 512 pixels, or empty.
std::string_view RetinaTypeOf(const TOrbImage& image) {
    if (image.DataType() != 32 || image.Width() != image.Height())
        return {};
    return icns::FindRetinaType(image.Width());
}

bool HasElementType(const TOrbImage& image, bool modern) {
    return !ElementTypeOf(image).empty() || (modern && !RetinaTypeOf(image).empty());
}

// The palette images of one size share the 1-bit element as their mask.
struct TSizeFamily {
    std::string_view Mono, Four, Eight;
    std::int32_t Width, Height;
};
constexpr TSizeFamily kFamilies[] = {
    {"icm#", "icm4", "icm8", 16, 12},
    {"ics#", "ics4", "ics8", 16, 16},
    {"ICN#", "icl4", "icl8", 32, 32},
    {"ich#", "ich4", "ich8", 48, 48},
};

void RemoveUntypedImages(TOrbMultiImage& img, bool modern) {
    for (std::int32_t i = 0; i < img.ImageCount();) {
        if (!HasElementType(img.Image()[i], modern))
            img.DeleteImage(i);
        else
            ++i;
    }
}

// Gives every palette image the Macintosh palette of its depth and remaps its pixels onto it.
TTypeTable ApplyMacPalettes(TOrbMultiImage& img, TDataType& dataType) {
    TTypeTable table;
    for (TOrbImage& image : img.Image()) {
        table.push_back({ElementTypeOf(image), &image});
        switch (image.DataType()) {
        case 1:
            image.Palette().FillMac2();
            break;
        case 4:
            image.Palette().FillMac16();
            break;
        case 8:
            image.Palette().FillMac256();
            break;
        default:
            continue;
        }
        dataType.NewPalette(image);
    }
    return table;
}

// A family with a 4- or 8-bit image but no 1-bit image gets one, made from the 8-bit image (or the
// 4-bit one), so that the file can carry the family's mask.
void AddMonochromeImage(TOrbMultiImage& img, const TTypeTable& table, const TSizeFamily& family,
                        TDataType& dataType) {
    if (ImageOfType(table, family.Mono) != nullptr)
        return;
    const TOrbImage* source = ImageOfType(table, family.Eight);
    if (source == nullptr)
        source = ImageOfType(table, family.Four);
    if (source == nullptr)
        return;
    const std::int32_t index = img.InsertNewImage(family.Width, family.Height, 1);
    if (index < 0)
        return;
    TOrbImage& mono = img.Image()[index];
    mono.Copy(*source);
    dataType.Change(mono, 1, pmMacintosh);
}

// Copies alpha between palette images of one family and keeps their transparent pixels transparent
// black, as the colour depth conversion leaves them.
void ShareAlpha(const TOrbImage& from, TOrbImage& to) {
    CopyAlpha(from.Bitmap(), to.Bitmap());
    for (TColor& pixel : to.Bitmap().Pixels()) {
        if (AlphaOf(pixel) == 0)
            pixel = 0;
    }
}

// The family's images show one shape: the 8-bit image's alpha wins over the 4-bit one's, and the
// 1-bit image (whose element is the mask of all three) ends with the alpha of the last of them.
void ShareFamilyAlpha(const TTypeTable& table, const TSizeFamily& family) {
    TOrbImage* mono = ImageOfType(table, family.Mono);
    TOrbImage* four = ImageOfType(table, family.Four);
    const TOrbImage* eight = ImageOfType(table, family.Eight);
    if (mono == nullptr || (four == nullptr && eight == nullptr))
        return;
    if (eight != nullptr)
        ShareAlpha(*eight, *mono);
    if (eight != nullptr && four != nullptr)
        ShareAlpha(*eight, *four);
    if (four != nullptr)
        ShareAlpha(*four, *mono);
}

void PrepareDocument(TOrbMultiImage& img, TDataType& dataType) {
    const TTypeTable table = ApplyMacPalettes(img, dataType);
    TOrbImage* selected = img.Selected();
    for (const TSizeFamily& family : kFamilies)
        AddMonochromeImage(img, table, family, dataType);
    for (const TSizeFamily& family : kFamilies)
        ShareFamilyAlpha(table, family);
    if (selected != nullptr)
        img.Select(*selected);
}

// --- Element encoders ---------------------------------------------------------------------------

// Eight pixels to a byte, the first in the most significant bit; bits run on across rows.
class TBitPacker {
public:
    explicit TBitPacker(std::vector<std::uint8_t>& out) : FOut(out) {}
    void Put(bool bit) {
        if (FCount % 8 == 0)
            FOut.push_back(0);
        if (bit)
            FOut.back() |= static_cast<std::uint8_t>(0x80u >> (FCount % 8));
        ++FCount;
    }

private:
    std::vector<std::uint8_t>& FOut;
    std::size_t FCount = 0;
};

// A palette index of the pixel's full value, or fallback for a value the palette does not hold (a
// transparent pixel: every palette colour is opaque).
std::uint8_t IndexOrDefault(const TOrbPalette& palette, TColor pixel, std::uint8_t fallback) {
    const std::int32_t index = palette.GetPaletteIndex(pixel);
    return index < 0 ? fallback : static_cast<std::uint8_t>(index);
}

// Icon bits (palette index 0 white, 1 black), then mask bits (1 visible).
std::vector<std::uint8_t> Encode1Bit(const TOrbImage& image) {
    const std::span<const TColor> pixels = image.Bitmap().Pixels();
    std::vector<std::uint8_t> out;
    out.reserve(pixels.size() / 4);
    TBitPacker bits(out);
    const TOrbPalette& palette = image.Palette();
    for (const TColor pixel : pixels) {
        if (AlphaOf(pixel) == 0) {
            bits.Put(true); // transparent black
            continue;
        }
        // NOTE: a colour that is neither palette entry (the colour depth conversion makes none) takes
        // the bit of the nearer one.
        const TColor opaque = pixel | 0xFF000000u;
        std::int32_t index = palette.GetPaletteIndex(opaque);
        if (index < 0)
            index = palette.GetPaletteIndex(palette.GetClosestColor(opaque));
        bits.Put(index == 1);
    }
    for (const TColor pixel : pixels)
        bits.Put(AlphaOf(pixel) != 0);
    return out;
}

// Two pixels to a byte, the first in the high nibble.
std::vector<std::uint8_t> Encode4Bit(const TOrbImage& image) {
    const std::span<const TColor> pixels = image.Bitmap().Pixels();
    std::vector<std::uint8_t> out((pixels.size() + 1) / 2, 0);
    for (std::size_t n = 0; n < pixels.size(); ++n) {
        const std::uint8_t index = IndexOrDefault(image.Palette(), pixels[n], 15);
        out[n / 2] |= static_cast<std::uint8_t>(n % 2 == 0 ? index << 4 : index);
    }
    return out;
}

std::vector<std::uint8_t> Encode8Bit(const TOrbImage& image) {
    const std::span<const TColor> pixels = image.Bitmap().Pixels();
    std::vector<std::uint8_t> out(pixels.size());
    std::transform(pixels.begin(), pixels.end(), out.begin(),
                   [&](TColor pixel) { return IndexOrDefault(image.Palette(), pixel, 255); });
    return out;
}

std::vector<std::uint8_t> EncodeAlphaMask(const TOrbImage& image) {
    const std::span<const TColor> pixels = image.Bitmap().Pixels();
    std::vector<std::uint8_t> out(pixels.size());
    std::transform(pixels.begin(), pixels.end(), out.begin(), [](TColor pixel) { return AlphaOf(pixel); });
    return out;
}

// --- The file -----------------------------------------------------------------------------------

// One element of the file: its type and a job that produces its data.
using TEncodeJob = std::function<TStatus(std::vector<std::uint8_t>&)>;
struct TElement {
    TElement(std::string_view name, TEncodeJob encode, bool slow = false)
        : Name(name), Encode(std::move(encode)), Slow(slow) {}
    std::string_view Name;
    TEncodeJob Encode;
    bool Slow; // an embedded picture: worth a thread of its own
    std::vector<std::uint8_t> Data;
    TStatus Status;
};

// A job around an encoder that cannot fail.
template <class TEncoder> TEncodeJob Always(const TOrbImage& image, TEncoder encoder) {
    return [&image, encoder](std::vector<std::uint8_t>& out) {
        out = encoder(image);
        return TStatus::Ok();
    };
}

TEncodeJob PngJob(const TOrbImage& image, std::int32_t threads) {
    return [&image, threads](std::vector<std::uint8_t>& out) {
        return BitmapToPngData(image.Bitmap(), out, threads);
    };
}

TElement ImageElement(const TOrbImage& image, std::int32_t threads, bool modern) {
    const std::string_view name = ElementTypeOf(image);
    switch (image.DataType()) {
    case 1:
        return {name, Always(image, Encode1Bit)};
    case 4:
        return {name, Always(image, Encode4Bit)};
    case 8:
        return {name, Always(image, Encode8Bit)};
    default:
        break;
    }
    if (name == "ic10" || (modern && icns::IsEmbeddedPictureType(name)))
        return {name, PngJob(image, threads), true};
    if (name == "ic08" || name == "ic09")
        return {name,
                [&image, threads](std::vector<std::uint8_t>& out) {
                    return EncodeJpeg2000(image.Bitmap(), threads, out);
                },
                true};
    const bool leadingZeros = name == "it32";
    return {name, Always(image, [leadingZeros](const TOrbImage& from) {
                return icns::Rle24Encode(from.Bitmap(), leadingZeros);
            })};
}

// The elements in file order: one per image of the table in document order, in a modern file the
// retina elements from "ic11" to "ic14", then the 8-bit masks of the run-length coded images in
// document order.
std::vector<TElement> PlanElements(const TOrbMultiImage& img, std::int32_t threads, bool modern) {
    std::vector<TElement> elements;
    for (const TOrbImage& image : img.Image()) {
        if (!ElementTypeOf(image).empty())
            elements.push_back(ImageElement(image, threads, modern));
    }
    if (modern) {
        std::vector<const TOrbImage*> retina;
        for (const TOrbImage& image : img.Image()) {
            if (!RetinaTypeOf(image).empty())
                retina.push_back(&image);
        }
        std::sort(retina.begin(), retina.end(),
                  [](const TOrbImage* a, const TOrbImage* b) { return RetinaTypeOf(*a) < RetinaTypeOf(*b); });
        for (const TOrbImage* image : retina)
            elements.emplace_back(RetinaTypeOf(*image), PngJob(*image, threads), true);
    }
    for (const TOrbImage& image : img.Image()) {
        const std::string_view mask =
            image.DataType() == 32 ? FindMaskType(image.Width(), image.Height(), 8) : std::string_view();
        if (!mask.empty())
            elements.emplace_back(mask, Always(image, EncodeAlphaMask));
    }
    return elements;
}

void RunElement(TElement& element) {
    try {
        element.Status = GuardAllocation("encoding an element", [&] { return element.Encode(element.Data); });
    } catch (const std::exception& e) {
        element.Status = TStatus::Fail(TFailure::Corrupt, e.what());
    }
}

// Encodes every element. Workers and the calling thread take elements from one queue, the embedded
// pictures first; each element has its own data, so the order of completion does not matter.
void EncodeElements(std::vector<TElement>& elements, std::int32_t threads) {
    std::vector<TElement*> queue;
    for (TElement& element : elements)
        queue.push_back(&element);
    std::stable_partition(queue.begin(), queue.end(), [](const TElement* e) { return e->Slow; });
    const auto slow =
        static_cast<std::size_t>(std::count_if(queue.begin(), queue.end(), [](auto e) { return e->Slow; }));
    ParallelFor(queue.size(), std::min<std::size_t>(static_cast<std::size_t>(threads) - 1, slow),
                [&](std::size_t i) { RunElement(*queue[i]); });
}

void WriteType(TByteWriter& stream, std::string_view name) {
    for (const char c : name)
        stream.U8(static_cast<std::uint8_t>(c));
}

} // namespace

TMacIcoIO::TMacIcoIO(bool verbose, TDataType* dataType)
    : TMultiImageIO(verbose), FDataType(dataType),
      FThreadCount(static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()))) {}

bool TMacIcoIO::CanSave(const TOrbMultiImage& img) const {
    return std::any_of(img.Image().begin(), img.Image().end(),
                       [this](const TOrbImage& image) { return HasElementType(image, FModern); });
}

TStatus TMacIcoIO::SaveToStream(TOrbMultiImage& img, TByteWriter& stream) {
    RemoveUntypedImages(img, FModern);
    if (img.ImageCount() == 0) {
        img.AddNewImage(32, 32, 32);
        return TStatus::Fail(TFailure::Unsupported, "no image has an ICNS element type");
    }
    if (FDataType != nullptr) {
        PrepareDocument(img, *FDataType);
    } else {
        TDataType nearest(false);
        PrepareDocument(img, nearest);
    }

    std::vector<TElement> elements = PlanElements(img, FThreadCount, FModern);
    EncodeElements(elements, FThreadCount);
    // A table of contents helps readers of 1024-pixel images and is expected beside the later types.
    const bool hasToc = std::any_of(img.Image().begin(), img.Image().end(),
                                    [](const TOrbImage& image) { return image.Width() == 1024; }) ||
                        std::any_of(elements.begin(), elements.end(), [](const TElement& element) {
                            return icns::FindModernType(element.Name) != nullptr;
                        });
    std::uint64_t total = kHeaderBytes + (hasToc ? kHeaderBytes * (elements.size() + 1) : 0);
    for (const TElement& element : elements) {
        if (!element.Status)
            return element.Status;
        total += kHeaderBytes + element.Data.size();
    }
    if (total > std::numeric_limits<std::uint32_t>::max())
        return TStatus::Fail(TFailure::TooLarge, "ICNS file beyond 4 GiB");

    stream.Buffer().reserve(stream.Size() + total);
    WriteType(stream, "icns");
    stream.U32BE(static_cast<std::uint32_t>(total));
    if (hasToc) {
        WriteType(stream, "TOC ");
        stream.U32BE(static_cast<std::uint32_t>(kHeaderBytes * (elements.size() + 1)));
        for (const TElement& element : elements) {
            WriteType(stream, element.Name);
            stream.U32BE(static_cast<std::uint32_t>(kHeaderBytes + element.Data.size()));
        }
    }
    for (const TElement& element : elements) {
        WriteType(stream, element.Name);
        stream.U32BE(static_cast<std::uint32_t>(kHeaderBytes + element.Data.size()));
        stream.Bytes(element.Data);
    }
    return TStatus::Ok();
}

} // namespace gw
