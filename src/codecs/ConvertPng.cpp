#include "codecs/ConvertPng.h"

#include "image/Limits.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

namespace gw {

namespace {

constexpr std::uint8_t kOpaque = 255;
// Palette entries whose tRNS value is above this stay opaque; the others become transparent.
constexpr std::uint8_t kPaletteAlphaThreshold = 128;

bool CanConvert(const TBitmap& dest, const TPngImage& png) {
    return dest.IsValid() && dest.Width() == png.Width && dest.Height() == png.Height &&
           png.HasConsistentSamples();
}

TPngRgb PaletteColor(const TPngImage& png, std::uint8_t index) {
    return index < png.Palette.size() ? png.Palette[index] : TPngRgb{};
}

std::uint8_t PaletteAlpha(const TPngImage& png, std::uint8_t index) {
    return index < png.Trns.PaletteAlpha.size() ? png.Trns.PaletteAlpha[index] : kOpaque;
}

// The colour of one decoded pixel whose first sample is at sample.
TPngRgb ColorOf(const TPngImage& png, const std::uint8_t* sample) {
    switch (png.ColorType) {
    case TPngColorType::ctGrey:
    case TPngColorType::ctGreyAlpha:
        return {sample[0], sample[0], sample[0]};
    case TPngColorType::ctPalette:
        return PaletteColor(png, sample[0]);
    case TPngColorType::ctRgb:
    case TPngColorType::ctRgba:
        return {sample[0], sample[1], sample[2]};
    }
    return {};
}

TColor ToColor(std::uint8_t alpha, const TPngRgb& rgb) {
    return MakeColor(alpha, rgb.Red, rgb.Green, rgb.Blue);
}

// Writes pixelOf(first sample of the pixel) into every pixel of dest; nothing when the sizes or the
// sample buffer do not match.
template <typename TPixelOf>
void ConvertPixels(TBitmap& dest, const TPngImage& png, const TPixelOf& pixelOf) {
    if (!CanConvert(dest, png))
        return;
    const std::size_t samplesPerPixel = png.SamplesPerPixel();
    for (std::int32_t y = 0; y < png.Height; ++y) {
        const std::uint8_t* sample = png.Samples.data() + static_cast<std::size_t>(y) * png.RowBytes();
        for (TColor& pixel : dest.Row(y)) {
            pixel = pixelOf(sample);
            sample += samplesPerPixel;
        }
    }
}

// The colour that PngKeyedToGPBitmap makes transparent; nullopt when no pixel can match it.
std::optional<TPngRgb> KeyColor(const TPngImage& png) {
    if (png.ColorType != TPngColorType::ctPalette)
        return png.Trns.Color;
    const auto& alpha = png.Trns.PaletteAlpha;
    const auto zero = std::find(alpha.begin(), alpha.end(), std::uint8_t{0});
    if (zero == alpha.end())
        return TPngRgb{};
    return PaletteColor(png, static_cast<std::uint8_t>(zero - alpha.begin()));
}

} // namespace

TPngTransparency GetPngTransparency(const TPngImage& png) {
    switch (png.ColorType) {
    case TPngColorType::ctGrey:
    case TPngColorType::ctRgb:
        return png.Trns.Present ? TPngTransparency::ptKeyed : TPngTransparency::ptNone;
    case TPngColorType::ctGreyAlpha:
    case TPngColorType::ctRgba:
        return TPngTransparency::ptPartial;
    case TPngColorType::ctPalette:
        break;
    }
    if (!png.Trns.Present)
        return TPngTransparency::ptNone;
    const auto& alpha = png.Trns.PaletteAlpha;
    const auto notOpaque =
        std::count_if(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a != kOpaque; });
    // NOTE: a single entry that is only partly transparent (say 100) is not a colour key: treated as
    // one, it would make every black pixel transparent and keep that entry opaque. The threshold of
    // the partial path gives it the answer its alpha value asks for.
    const bool singleZero = notOpaque == 1 && std::find(alpha.begin(), alpha.end(), 0) != alpha.end();
    return singleZero ? TPngTransparency::ptKeyed : TPngTransparency::ptPartial;
}

bool IsTrueColorPng(const TPngImage& png) {
    return png.ColorType != TPngColorType::ctGrey && png.ColorType != TPngColorType::ctPalette;
}

TPngImage CreateRgbaPng(std::int32_t width, std::int32_t height) {
    TPngImage png;
    png.Width = width;
    png.Height = height;
    png.BitDepth = 8;
    png.ColorType = TPngColorType::ctRgba;
    // Without the memory the samples stay empty, which every user of the image checks.
    if (limits::FitsBitmapLimits(width, height))
        (void)GuardAllocation("allocating PNG samples", [&] {
            png.Samples.assign(png.RowBytes() * static_cast<std::size_t>(height), 0);
            return TStatus::Ok();
        });
    return png;
}

void GPBitmapToPng(const TBitmap& src, TPngImage& png) {
    if (png.ColorType != TPngColorType::ctRgba || png.BitDepth != 8 || !src.IsValid() ||
        src.Width() != png.Width || src.Height() != png.Height || !png.HasConsistentSamples())
        return;
    std::uint8_t* out = png.Samples.data();
    for (const TColor c : src.Pixels()) {
        out[0] = RedOf(c);
        out[1] = GreenOf(c);
        out[2] = BlueOf(c);
        out[3] = AlphaOf(c);
        out += 4;
    }
}

void PngToGPBitmap(TBitmap& dest, const TPngImage& png) {
    switch (GetPngTransparency(png)) {
    case TPngTransparency::ptNone:
        PngOpaqueToGPBitmap(dest, png);
        return;
    case TPngTransparency::ptKeyed:
        PngKeyedToGPBitmap(dest, png);
        return;
    case TPngTransparency::ptPartial:
        if (IsTrueColorPng(png))
            PngAlphaToGPBitmap(dest, png);
        else
            PngPaletteAlphaToGPBitmap(dest, png);
        return;
    }
}

void PngOpaqueToGPBitmap(TBitmap& dest, const TPngImage& png) {
    ConvertPixels(dest, png, [&](const std::uint8_t* s) { return ToColor(kOpaque, ColorOf(png, s)); });
}

void PngKeyedToGPBitmap(TBitmap& dest, const TPngImage& png) {
    const std::optional<TPngRgb> key = KeyColor(png);
    const std::vector<std::uint8_t>& mask = png.Trns.KeyMask;
    const std::size_t pixels = static_cast<std::size_t>(png.Width) * static_cast<std::size_t>(png.Height);
    if (png.ColorType != TPngColorType::ctPalette && mask.size() == pixels) {
        // The key compared at 16 bits by the decoder.
        const std::size_t samplesPerPixel = png.SamplesPerPixel();
        ConvertPixels(dest, png, [&](const std::uint8_t* s) {
            const auto pixel = static_cast<std::size_t>(s - png.Samples.data()) / samplesPerPixel;
            return ToColor(mask[pixel] != 0 ? 0 : kOpaque, ColorOf(png, s));
        });
        return;
    }
    ConvertPixels(dest, png, [&](const std::uint8_t* s) {
        const TPngRgb rgb = ColorOf(png, s);
        return ToColor(key == rgb ? 0 : kOpaque, rgb);
    });
}

void PngAlphaToGPBitmap(TBitmap& dest, const TPngImage& png) {
    // Grey with alpha keeps its alpha in the second sample, RGBA in the fourth.
    std::size_t alphaIndex = 0;
    if (png.ColorType == TPngColorType::ctGreyAlpha)
        alphaIndex = 1;
    else if (png.ColorType == TPngColorType::ctRgba)
        alphaIndex = 3;
    ConvertPixels(dest, png, [&](const std::uint8_t* s) {
        return ToColor(alphaIndex != 0 ? s[alphaIndex] : kOpaque, ColorOf(png, s));
    });
}

void PngPaletteAlphaToGPBitmap(TBitmap& dest, const TPngImage& png) {
    if (png.ColorType != TPngColorType::ctPalette)
        return;
    ConvertPixels(dest, png, [&](const std::uint8_t* s) {
        const std::uint8_t alpha = PaletteAlpha(png, s[0]) > kPaletteAlphaThreshold ? kOpaque : 0;
        return ToColor(alpha, PaletteColor(png, s[0]));
    });
}

void PngPaletteFullAlphaToGPBitmap(TBitmap& dest, const TPngImage& png) {
    if (png.ColorType != TPngColorType::ctPalette)
        return;
    ConvertPixels(dest, png, [&](const std::uint8_t* s) {
        return ToColor(PaletteAlpha(png, s[0]), PaletteColor(png, s[0]));
    });
}

TStatus BitmapToPngData(const TBitmap& src, std::vector<std::uint8_t>& out, std::int32_t threads) {
    if (!src.IsValid())
        return TStatus::Fail(TFailure::Unsupported, "an empty bitmap has no PNG form");
    TPngImage png = CreateRgbaPng(src.Width(), src.Height());
    if (!png.HasConsistentSamples())
        return TStatus::Fail(TFailure::TooLarge, "no memory for the PNG's samples");
    GPBitmapToPng(src, png);
    return EncodePng(png, out, threads);
}

TStatus PngDataToBitmap(std::span<const std::uint8_t> data, TBitmap& dest, bool fullAlpha) {
    TPngImage png;
    GW_TRY(DecodePng(data, png));
    TBitmap bitmap(png.Width, png.Height);
    if (!bitmap.IsValid())
        return TStatus::Fail(TFailure::TooLarge, "PNG size refused for a bitmap");
    if (fullAlpha && png.ColorType == TPngColorType::ctPalette && png.Trns.Present)
        PngPaletteFullAlphaToGPBitmap(bitmap, png);
    else
        PngToGPBitmap(bitmap, png);
    dest = std::move(bitmap);
    return TStatus::Ok();
}

} // namespace gw
