#include "codecs/ConvertPng.h"

#include "support/TestPngWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace gw {
namespace {

using test::TTestPng;

// Colours of the test palettes.
constexpr std::array<std::uint8_t, 3> kRed = {200, 10, 20};
constexpr std::array<std::uint8_t, 3> kGreen = {30, 210, 40};
constexpr std::array<std::uint8_t, 3> kBlue = {50, 60, 220};
constexpr std::array<std::uint8_t, 3> kBlack = {0, 0, 0};

TColor Opaque(const std::array<std::uint8_t, 3>& c) {
    return MakeColor(255, c[0], c[1], c[2]);
}
TColor Clear(const std::array<std::uint8_t, 3>& c) {
    return MakeColor(0, c[0], c[1], c[2]);
}

TBitmap Decode(const std::vector<std::uint8_t>& data) {
    TBitmap bitmap;
    const TStatus status = PngDataToBitmap(data, bitmap);
    EXPECT_TRUE(status.IsOk()) << status.Reason();
    return bitmap;
}

// A one-row image of the given samples.
TTestPng Row(int colorType, int bitDepth, const std::vector<unsigned>& samples) {
    const std::size_t perPixel = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    TTestPng png;
    png.Width = static_cast<std::uint32_t>(samples.size() / perPixel);
    png.ColorType = colorType;
    png.BitDepth = bitDepth;
    png.Rows = {test::PackSamples(samples, bitDepth)};
    return png;
}

TTestPng PaletteRow(int bitDepth, const std::vector<unsigned>& indices, std::vector<std::uint8_t> trns) {
    TTestPng png = Row(3, bitDepth, indices);
    png.Palette = {kRed, kGreen, kBlue, kBlack};
    png.TrnsAlpha = std::move(trns);
    return png;
}

TTestPng Rgb8(const std::vector<unsigned>& samples, std::optional<std::array<std::uint16_t, 3>> key) {
    TTestPng png = Row(2, 8, samples);
    png.TrnsColor = key;
    return png;
}

// --- Round trip through PNG data ---------------------------------------------------------------------

TEST(ConvertPng, HalfTransparentRedSurvivesARoundTrip) {
    const TBitmap original = test::MakeSolid(1, 1, 0x80FF0000u);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(BitmapToPngData(original, data).IsOk());
    EXPECT_EQ(Decode(data).Pixel(0, 0), 0x80FF0000u);
}

TEST(ConvertPng, OddSizedImageWithAlphaSurvivesARoundTripExactly) {
    TBitmap original = test::MakeGradient(47, 33, true);
    // Straight alpha: the colour of a fully transparent pixel is kept too.
    original.SetPixel(3, 4, 0x00123456u);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(BitmapToPngData(original, data).IsOk());
    EXPECT_EQ(Decode(data), original);
}

TEST(ConvertPng, EncodingAnEmptyBitmapFails) {
    std::vector<std::uint8_t> data;
    EXPECT_EQ(BitmapToPngData(TBitmap(), data).Kind(), TFailure::Unsupported);
}

TEST(ConvertPng, BitmapGoesIntoTheRgbaSamplesUnchanged) {
    TBitmap bitmap(2, 1);
    bitmap.SetPixel(0, 0, 0x80FF0000u);
    bitmap.SetPixel(1, 0, 0x01020304u);
    TPngImage png = CreateRgbaPng(2, 1);
    GPBitmapToPng(bitmap, png);
    EXPECT_EQ(png.Samples, (std::vector<std::uint8_t>{0xFF, 0, 0, 0x80, 2, 3, 4, 1}));
}

TEST(ConvertPng, BitmapIsNotCopiedIntoAnotherKindOfPng) {
    const TBitmap bitmap = test::MakeSolid(2, 1, 0xFFFFFFFFu);
    TPngImage rgb = CreateRgbaPng(2, 1);
    rgb.ColorType = TPngColorType::ctRgb;
    rgb.Samples.assign(6, 7);
    GPBitmapToPng(bitmap, rgb);
    EXPECT_EQ(rgb.Samples, std::vector<std::uint8_t>(6, 7));

    TPngImage otherSize = CreateRgbaPng(3, 1);
    GPBitmapToPng(bitmap, otherSize);
    EXPECT_EQ(otherSize.Samples, std::vector<std::uint8_t>(12, 0));
}

TEST(ConvertPng, BitmapOfAnotherSizeIsLeftUnchanged) {
    TPngImage png = CreateRgbaPng(2, 2);
    TBitmap dest = test::MakeSolid(3, 2, 0x11223344u);
    PngToGPBitmap(dest, png);
    EXPECT_EQ(dest, test::MakeSolid(3, 2, 0x11223344u));
}

// --- Transparency kinds --------------------------------------------------------------------------

struct TKindCase {
    const char* name;
    TTestPng png;
    TPngTransparency kind;
};

class ConvertPngKind : public ::testing::TestWithParam<TKindCase> {};

TEST_P(ConvertPngKind, FollowsColourTypeAndTransparencyChunk) {
    TPngImage png;
    ASSERT_TRUE(DecodePng(test::WriteTestPng(GetParam().png), png).IsOk());
    EXPECT_EQ(GetPngTransparency(png), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConvertPngKind,
    ::testing::Values(
        TKindCase{"greyPlain", Row(0, 8, {1}), TPngTransparency::ptNone},
        TKindCase{"rgbPlain", Rgb8({1, 2, 3}, std::nullopt), TPngTransparency::ptNone},
        TKindCase{"rgbKeyed", Rgb8({1, 2, 3}, std::array<std::uint16_t, 3>{1, 2, 3}),
                  TPngTransparency::ptKeyed},
        TKindCase{"palettePlain", PaletteRow(8, {0}, {}), TPngTransparency::ptNone},
        TKindCase{"paletteOneClearFirst", PaletteRow(8, {0}, {0, 255, 255}), TPngTransparency::ptKeyed},
        TKindCase{"paletteOneClearLater", PaletteRow(8, {0}, {255, 0}), TPngTransparency::ptKeyed},
        TKindCase{"paletteSeveralValues", PaletteRow(8, {0}, {0, 100, 200}), TPngTransparency::ptPartial},
        TKindCase{"paletteTwoClear", PaletteRow(8, {0}, {0, 0}), TPngTransparency::ptPartial},
        TKindCase{"paletteOnePartial", PaletteRow(8, {0}, {255, 100}), TPngTransparency::ptPartial},
        TKindCase{"paletteAllOpaque", PaletteRow(8, {0}, {255, 255}), TPngTransparency::ptPartial},
        TKindCase{"greyAlpha", Row(4, 8, {1, 2}), TPngTransparency::ptPartial},
        TKindCase{"rgba", Row(6, 8, {1, 2, 3, 4}), TPngTransparency::ptPartial}),
    [](const auto& info) { return std::string(info.param.name); });

struct TTrueColorCase {
    TPngColorType colorType;
    bool trueColor;
};

class ConvertPngTrueColor : public ::testing::TestWithParam<TTrueColorCase> {};

TEST_P(ConvertPngTrueColor, IsEveryColourTypeButGreyAndPalette) {
    TPngImage png;
    png.ColorType = GetParam().colorType;
    EXPECT_EQ(IsTrueColorPng(png), GetParam().trueColor);
}

INSTANTIATE_TEST_SUITE_P(Table, ConvertPngTrueColor,
                         ::testing::Values(TTrueColorCase{TPngColorType::ctGrey, false},
                                           TTrueColorCase{TPngColorType::ctRgb, true},
                                           TTrueColorCase{TPngColorType::ctPalette, false},
                                           TTrueColorCase{TPngColorType::ctGreyAlpha, true},
                                           TTrueColorCase{TPngColorType::ctRgba, true}));

// --- Pixels ------------------------------------------------------------------------------------------

struct TPixelCase {
    const char* name;
    TTestPng png;
    std::vector<TColor> pixels; // the one row
};

class ConvertPngPixels : public ::testing::TestWithParam<TPixelCase> {};

TEST_P(ConvertPngPixels, OfTheDecodedRow) {
    const TBitmap bitmap = Decode(test::WriteTestPng(GetParam().png));
    ASSERT_EQ(bitmap.Height(), 1);
    const auto row = bitmap.Row(0);
    EXPECT_EQ(std::vector<TColor>(row.begin(), row.end()), GetParam().pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Palette, ConvertPngPixels,
    ::testing::Values(TPixelCase{"noTransparency",
                                 PaletteRow(8, {0, 1, 2, 3}, {}),
                                 {Opaque(kRed), Opaque(kGreen), Opaque(kBlue), Opaque(kBlack)}},
                      TPixelCase{"keyedFirstEntry",
                                 PaletteRow(8, {0, 1, 2, 0}, {0, 255, 255}),
                                 {Clear(kRed), Opaque(kGreen), Opaque(kBlue), Clear(kRed)}},
                      TPixelCase{"keyedByColourNotByIndex",
                                 [] {
                                     TTestPng png = PaletteRow(8, {0, 1, 2}, {255, 0});
                                     png.Palette = {kRed, kGreen, kGreen};
                                     return png;
                                 }(),
                                 {Opaque(kRed), Clear(kGreen), Clear(kGreen)}},
                      TPixelCase{"partialThresholdAt128",
                                 PaletteRow(8, {0, 1, 2, 3}, {0, 100, 200, 128}),
                                 {Clear(kRed), Clear(kGreen), Opaque(kBlue), Clear(kBlack)}},
                      TPixelCase{"partialAbove128IsOpaque",
                                 PaletteRow(8, {0, 1}, {128, 129}),
                                 {Clear(kRed), Opaque(kGreen)}},
                      TPixelCase{"entriesBeyondTransparencyChunkAreOpaque",
                                 PaletteRow(8, {0, 1, 2, 3}, {100, 200}),
                                 {Clear(kRed), Opaque(kGreen), Opaque(kBlue), Opaque(kBlack)}},
                      TPixelCase{"singlePartEntryLeavesBlackOpaque",
                                 PaletteRow(8, {1, 3}, {255, 50}),
                                 {Clear(kGreen), Opaque(kBlack)}},
                      TPixelCase{"twoBitIndicesMostSignificantFirst",
                                 PaletteRow(2, {3, 2, 1, 0, 2}, {255, 0, 0}),
                                 {Opaque(kBlack), Clear(kBlue), Clear(kGreen), Opaque(kRed), Clear(kBlue)}},
                      TPixelCase{"fourBitIndicesMostSignificantFirst",
                                 PaletteRow(4, {2, 1, 0}, {0, 10}),
                                 {Opaque(kBlue), Clear(kGreen), Clear(kRed)}},
                      TPixelCase{"indexBeyondPaletteIsOpaqueBlack",
                                 PaletteRow(4, {9, 0}, {0, 0}),
                                 {Opaque(kBlack), Clear(kRed)}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    TrueColour, ConvertPngPixels,
    ::testing::Values(
        TPixelCase{"rgbOpaque", Rgb8({1, 2, 3, 4, 5, 6}, std::nullopt), {0xFF010203u, 0xFF040506u}},
        TPixelCase{"rgbKeyedExactColourOnly",
                   Rgb8({1, 2, 3, 1, 2, 4, 1, 2, 3}, std::array<std::uint16_t, 3>{1, 2, 3}),
                   {0x00010203u, 0xFF010204u, 0x00010203u}},
        TPixelCase{"greyOpaque", Row(0, 8, {0, 77, 255}), {0xFF000000u, 0xFF4D4D4Du, 0xFFFFFFFFu}},
        TPixelCase{"grey4Keyed",
                   [] {
                       TTestPng png = Row(0, 4, {5, 6, 15});
                       png.TrnsColor = std::array<std::uint16_t, 3>{5, 0, 0};
                       return png;
                   }(),
                   {0x00555555u, 0xFF666666u, 0xFFFFFFFFu}},
        TPixelCase{"greyKeyOutsideDepthMatchesNothing",
                   [] {
                       TTestPng png = Row(0, 2, {0, 3});
                       png.RawChunks = {{"tRNS", {0, 9}}};
                       return png;
                   }(),
                   {0xFF000000u, 0xFFFFFFFFu}},
        TPixelCase{"greyWithAlpha", Row(4, 8, {77, 128, 200, 0}), {0x804D4D4Du, 0x00C8C8C8u}},
        TPixelCase{"greyWithAlpha16", Row(4, 16, {0x4D00, 0xFFFF}), {0xFF4D4D4Du}},
        TPixelCase{"rgba", Row(6, 8, {255, 0, 0, 128, 1, 2, 3, 0}), {0x80FF0000u, 0x00010203u}},
        TPixelCase{"rgba16", Row(6, 16, {0xFF00, 0x0100, 0x02FF, 0x80FF}), {0x80FF0102u}},
        // A 16-bit key is compared at 16 bits: a colour with the key's high bytes is opaque.
        TPixelCase{"rgb16KeyedAtFullPrecision",
                   [] {
                       TTestPng png = Row(2, 16, {0x1234, 0x5678, 0x9ABC, 0x1234, 0x5678, 0x9ABD, 0x1299, 0x5678,
                                                  0x9ABC, 0xFF00, 0, 0});
                       png.TrnsColor = std::array<std::uint16_t, 3>{0x1234, 0x5678, 0x9ABC};
                       return png;
                   }(),
                   {0x0012569Au, 0xFF12569Au, 0xFF12569Au, 0xFFFF0000u}},
        TPixelCase{"grey16KeyedAtFullPrecisionInterlaced",
                   [] {
                       TTestPng png = Row(0, 16, {0x8001, 0x8000, 0x8001, 0x0001});
                       png.Interlaced = true;
                       png.TrnsColor = std::array<std::uint16_t, 3>{0x8001, 0, 0};
                       return png;
                   }(),
                   {0x00808080u, 0xFF808080u, 0x00808080u, 0xFF000000u}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertPng, DecodeFailureLeavesTheBitmapUnchanged) {
    TBitmap bitmap = test::MakeSolid(2, 2, 0x12345678u);
    const std::vector<std::uint8_t> garbage = {0x89, 'P', 'N', 'G', 1, 2, 3};
    EXPECT_FALSE(PngDataToBitmap(garbage, bitmap).IsOk());
    EXPECT_EQ(bitmap, test::MakeSolid(2, 2, 0x12345678u));
}

// --- PngSuite ------------------------------------------------------------------------------------------

std::optional<std::filesystem::path> PngSuiteDir() {
    const auto data = test::TestDataDir();
    if (!data || !std::filesystem::is_directory(*data / "pngsuite"))
        return std::nullopt;
    return *data / "pngsuite";
}

TEST(ConvertPngSuite, Basn6a08HasItsKnownPixels) {
    const auto dir = PngSuiteDir();
    if (!dir)
        GTEST_SKIP() << "PngSuite not present";
    const TBitmap bitmap = Decode(test::ReadFileBytes(*dir / "basn6a08.png"));
    ASSERT_EQ(bitmap.Width(), 32);
    ASSERT_EQ(bitmap.Height(), 32);
    // Reference values from an independent decoder (zlib and the PNG filters written out by hand).
    struct TKnown {
        std::int32_t x, y;
        TColor color;
    };
    for (const TKnown& k :
         {TKnown{0, 0, 0x00FF0008u}, TKnown{31, 0, 0xFFFF0008u}, TKnown{0, 31, 0x000020FFu},
          TKnown{31, 31, 0xFF0020FFu}, TKnown{16, 8, 0x83FFFF06u}, TKnown{5, 20, 0x2903FF7Fu}})
        EXPECT_EQ(bitmap.Pixel(k.x, k.y), k.color) << k.x << "," << k.y;
}

// Counts of fully transparent and fully opaque pixels.
std::pair<std::size_t, std::size_t> ClearAndOpaque(const TBitmap& bitmap) {
    const auto pixels = bitmap.Pixels();
    return {static_cast<std::size_t>(
                std::count_if(pixels.begin(), pixels.end(), [](TColor c) { return AlphaOf(c) == 0; })),
            static_cast<std::size_t>(
                std::count_if(pixels.begin(), pixels.end(), [](TColor c) { return AlphaOf(c) == 255; }))};
}

TEST(ConvertPngSuite, OpaqueFilesDecodeOpaqueAndTransparentFilesGetBothKinds) {
    const auto dir = PngSuiteDir();
    if (!dir)
        GTEST_SKIP() << "PngSuite not present";
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(*dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".png" || name.starts_with("x"))
            continue;
        const TBitmap bitmap = Decode(test::ReadFileBytes(entry.path()));
        ASSERT_TRUE(bitmap.IsValid()) << name;
        const auto [clear, opaque] = ClearAndOpaque(bitmap);
        const std::size_t total = bitmap.Pixels().size();
        // Colour type digit of the name: 0 grey, 2 RGB, 3 palette without alpha, 4 and 6 with alpha.
        const char colorType = name[4];
        const bool keyedOrPaletteAlpha =
            name.starts_with("tb") || name.starts_with("tm") || name.starts_with("tp1");
        if (keyedOrPaletteAlpha) {
            EXPECT_GT(clear, 0u) << name;
            EXPECT_GT(opaque, 0u) << name;
            EXPECT_EQ(clear + opaque, total) << name << ": keyed and palette alpha are binary";
        } else if (colorType != '4' && colorType != '6') {
            EXPECT_EQ(opaque, total) << name;
        }
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

} // namespace
} // namespace gw
