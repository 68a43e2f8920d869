#include "color/DataType.h"

#include "color/ColorQuantizer.h"
#include "image/Convert.h"
#include "image/OrbImage.h"
#include "image/OrbPalette.h"
#include "settings/Setting.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace gw {

namespace {

constexpr TColor kOpaqueBlack = 0xFF000000;
constexpr TColor kTransparent = 0x00000000;
constexpr std::uint8_t kOpaqueFrom = 128;
// The adaptive palette looks at the top 6 bits of each channel.
constexpr std::int32_t kQuantizerColorBits = 6;

std::int32_t PaletteSize(std::uint8_t bitCount) {
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

void FillWindowsPalette(TOrbPalette& palette, std::uint8_t bitCount) {
    switch (bitCount) {
    case 1:
        palette.FillWin2();
        break;
    case 4:
        palette.FillWin16();
        break;
    case 8:
        palette.FillWin256();
        break;
    default:
        break;
    }
}

void FillMacintoshPalette(TOrbPalette& palette, std::uint8_t bitCount) {
    switch (bitCount) {
    case 1:
        palette.FillMac2();
        break;
    case 4:
        palette.FillMac16();
        break;
    case 8:
        palette.FillMac256();
        break;
    default:
        break;
    }
}

// Writes the octree colours of the image (at most size - 1) over the first palette entries and makes
// sure opaque black is among the entries.
void FillAdaptivePalette(TOrbImage& image, std::int32_t size) {
    TRGBTripleArray table;
    std::int32_t count = 0;
    {
        TColorQuantizer quantizer(size - 1, kQuantizerColorBits);
        TBitmap24 copy;
        GPBitmapToBitmap(image.Bitmap(), copy);
        quantizer.ProcessImage(copy);
        quantizer.GetColorTable2(table, count);
    }
    TOrbPalette& palette = image.Palette();
    for (std::int32_t i = 0; i < count; ++i) {
        const TRGBTriple& t = table[static_cast<std::size_t>(i)];
        palette.SetPalette(i, MakeColor(0xFF, t.Red, t.Green, t.Blue));
    }
    // count <= size - 1, so entry count exists.
    if (palette.GetPaletteIndex(kOpaqueBlack) < 0)
        palette.SetPalette(count, kOpaqueBlack);
}

struct TRgb {
    int R = 0, G = 0, B = 0;
};

// Nearest palette entry by squared Euclidean RGB distance; the lowest index wins ties.
class TNearestEntry {
public:
    explicit TNearestEntry(std::span<const TColor> entries) {
        FEntries.reserve(entries.size());
        for (TColor c : entries)
            FEntries.push_back({RedOf(c), GreenOf(c), BlueOf(c)});
    }

    std::size_t Find(const TRgb& c) const {
        std::size_t best = 0;
        int bestDistance = std::numeric_limits<int>::max();
        for (std::size_t i = 0; i < FEntries.size(); ++i) {
            const int dr = c.R - FEntries[i].R;
            const int dg = c.G - FEntries[i].G;
            const int db = c.B - FEntries[i].B;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return best;
    }

    const TRgb& Entry(std::size_t index) const { return FEntries[index]; }

private:
    std::vector<TRgb> FEntries;
};

// Accumulated error of one row, per channel, in sixteenths, with one guard pixel on either side so
// that the diffusion needs no bounds tests.
class TErrorRow {
public:
    explicit TErrorRow(std::int32_t width) : FValues(static_cast<std::size_t>(width + 2)) {}
    TRgb& At(std::int32_t x) { return FValues[static_cast<std::size_t>(x + 1)]; }
    void Clear() { std::fill(FValues.begin(), FValues.end(), TRgb{}); }
    void Add(std::int32_t x, const TRgb& error, int weight) {
        TRgb& v = At(x);
        v.R += error.R * weight;
        v.G += error.G * weight;
        v.B += error.B * weight;
    }

private:
    std::vector<TRgb> FValues;
};

int WithError(std::uint8_t channel, int sixteenths) {
    // Rounds the accumulated error to the nearest whole level (an arithmetic shift floors).
    return std::clamp(channel + ((sixteenths + 8) >> 4), 0, 255);
}

} // namespace

TDataType::TDataType(const TGlobalSetting& settings) : FSettings(&settings) {}

TDataType::TDataType(bool dither) : FDither(dither) {}

bool TDataType::Dithers() const {
    return FSettings != nullptr ? FSettings->Dither() : FDither;
}

void TDataType::Change(TOrbImage& image, std::uint8_t bitCount, std::uint8_t paletteMode) {
    const std::int32_t size = PaletteSize(bitCount);
    if (bitCount != 32)
        FlattenAlpha(image);
    image.SetDataType(bitCount);
    if (!image.HasPalette())
        return;

    FillWindowsPalette(image.Palette(), bitCount);
    if (paletteMode == pmMacintosh)
        FillMacintoshPalette(image.Palette(), bitCount);
    else if (paletteMode == pmAdaptive)
        FillAdaptivePalette(image, size);
    NewPalette(image);
}

void TDataType::NewPalette(TOrbImage& img) {
    if (img.Palette().Count() == 0)
        return;
    if (Dithers())
        DitherToPalette(img);
    else
        MapToClosestColors(img);
}

bool TDataType::ProcessImageWithoutAsk(TOrbImage& img) {
    bool changed = false;
    if (img.DataType() != 32) {
        FlattenAlpha(img);
        changed = true;
    }
    if (img.HasPalette() && !UsesOnlyPaletteColors(img)) {
        if (img.DataType() == 8)
            Change(img, 8, pmAdaptive);
        else
            NewPalette(img);
        changed = true;
    }
    return changed;
}

bool TDataType::ProcessImage(TOrbImage& img) {
    bool changed = false;
    if (img.DataType() != 32) {
        FlattenAlpha(img);
        changed = true;
    }
    if (img.HasPalette() && !UsesOnlyPaletteColors(img)) {
        NewPalette(img);
        changed = true;
    }
    return changed;
}

void TDataType::FlattenAlpha(TOrbImage& img) {
    for (TColor& px : img.Bitmap().Pixels()) {
        const std::uint32_t a = AlphaOf(px);
        if (a < kOpaqueFrom) {
            px = kTransparent;
            continue;
        }
        const auto overWhite = [a](std::uint8_t c) {
            return static_cast<std::uint8_t>((255 - a) + c * a / 255);
        };
        px = MakeColor(0xFF, overWhite(RedOf(px)), overWhite(GreenOf(px)), overWhite(BlueOf(px)));
    }
}

void TDataType::MapToClosestColors(TOrbImage& img) {
    const TOrbPalette& palette = img.Palette();
    if (palette.Count() == 0)
        return;
    // Neighbouring pixels often share a colour; remembering the last answer spares most scans.
    TColor lastIn = 0;
    TColor lastOut = 0;
    bool haveLast = false;
    for (TColor& px : img.Bitmap().Pixels()) {
        if (AlphaOf(px) == 0)
            continue;
        if (!haveLast || px != lastIn) {
            lastIn = px;
            lastOut = palette.GetClosestColor(px);
            haveLast = true;
        }
        px = lastOut;
    }
}

void TDataType::DitherToPalette(TOrbImage& img) {
    if (img.Palette().Count() == 0)
        return;
    TBitmap& bitmap = img.Bitmap();
    const std::int32_t width = bitmap.Width();
    const TNearestEntry nearest(img.Palette().Entries());
    TErrorRow current(width);
    TErrorRow next(width);

    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        const auto row = bitmap.Row(y);
        const bool leftToRight = y % 2 == 0;
        const std::int32_t step = leftToRight ? 1 : -1;
        std::int32_t x = leftToRight ? 0 : width - 1;
        for (std::int32_t i = 0; i < width; ++i, x += step) {
            TColor& px = row[static_cast<std::size_t>(x)];
            // Transparent pixels take part as black.
            const TColor source = AlphaOf(px) == 0 ? kTransparent : px;
            const TRgb& acc = current.At(x);
            const TRgb wanted{WithError(RedOf(source), acc.R), WithError(GreenOf(source), acc.G),
                              WithError(BlueOf(source), acc.B)};
            const TRgb& chosen = nearest.Entry(nearest.Find(wanted));
            const TRgb error{wanted.R - chosen.R, wanted.G - chosen.G, wanted.B - chosen.B};
            current.Add(x + step, error, 7);
            next.Add(x - step, error, 3);
            next.Add(x, error, 5);
            next.Add(x + step, error, 1);
            if (AlphaOf(px) != 0)
                px = MakeColor(0xFF, static_cast<std::uint8_t>(chosen.R), static_cast<std::uint8_t>(chosen.G),
                               static_cast<std::uint8_t>(chosen.B));
        }
        std::swap(current, next);
        next.Clear();
    }
}

bool TDataType::UsesOnlyPaletteColors(const TOrbImage& img) {
    const TOrbPalette& palette = img.Palette();
    TColor lastFound = 0;
    bool haveLast = false;
    for (TColor px : img.Bitmap().Pixels()) {
        if (AlphaOf(px) == 0 || (haveLast && px == lastFound))
            continue;
        if (palette.GetPaletteIndex(px) < 0)
            return false;
        lastFound = px;
        haveLast = true;
    }
    return true;
}

} // namespace gw
