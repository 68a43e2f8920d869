#include "color/DataType.h"

#include "image/OrbImage.h"
#include "image/OrbPalette.h"
#include "settings/Setting.h"
#include "support/TestPngWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace gw {
namespace {

constexpr TColor kBlack = 0xFF000000;
constexpr TColor kWhite = 0xFFFFFFFF;

std::unique_ptr<TOrbImage> ImageOf(TBitmap bitmap, std::uint8_t tag = 32) {
    auto image = std::make_unique<TOrbImage>(bitmap.Width(), bitmap.Height(), tag);
    image->SetBitmap(std::move(bitmap));
    return image;
}

std::unique_ptr<TOrbImage> ImageOfRows(const std::vector<std::vector<TColor>>& rows, std::uint8_t tag = 32) {
    TBitmap bitmap(static_cast<std::int32_t>(rows[0].size()), static_cast<std::int32_t>(rows.size()));
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; x < rows[y].size(); ++x)
            bitmap.SetPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), rows[y][x]);
    return ImageOf(std::move(bitmap), tag);
}

TBitmap MakeNoise(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    std::mt19937 rng(seed);
    TBitmap bitmap(width, height);
    for (TColor& px : bitmap.Pixels())
        px = static_cast<TColor>(rng());
    return bitmap;
}

TOrbPalette DefaultPalette(std::uint8_t bitCount, bool macintosh) {
    TOrbPalette palette;
    palette.Resize(bitCount);
    if (bitCount == 1)
        macintosh ? palette.FillMac2() : palette.FillWin2();
    else if (bitCount == 4)
        macintosh ? palette.FillMac16() : palette.FillWin16();
    else
        macintosh ? palette.FillMac256() : palette.FillWin256();
    return palette;
}

std::vector<TColor> PixelsOf(const TOrbImage& image) {
    const auto pixels = image.Bitmap().Pixels();
    return {pixels.begin(), pixels.end()};
}

// The conventions a converted image must keep for its tag (see OrbImage.h).
void ExpectConventions(const TOrbImage& image, std::uint8_t bitCount) {
    ASSERT_EQ(image.DataType(), bitCount);
    const std::int32_t entries = bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
    ASSERT_EQ(image.Palette().Count(), entries);
    for (TColor entry : image.Palette().Entries())
        ASSERT_EQ(AlphaOf(entry), 0xFF) << std::hex << entry;
    std::int32_t wrong = 0;
    for (TColor px : image.Bitmap().Pixels()) {
        const bool ok = AlphaOf(px) == 0 ? px == 0
                                         : AlphaOf(px) == 0xFF &&
                                               (entries == 0 || image.Palette().GetPaletteIndex(px) >= 0);
        wrong += ok ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0) << "pixels breaking the conventions of tag " << int(bitCount);
}

// A settings object on a private configuration folder, so no test touches the user's settings file.
class DataTypeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("GLYPHWRIGHT_CONFIG_DIR", FConfig.Path().c_str(), 1);
        FSettings = std::make_unique<TGlobalSetting>();
        FSettings->SetDither(false);
        FDataType = std::make_unique<TDataType>(*FSettings);
    }
    void TearDown() override {
        FDataType.reset();
        FSettings.reset();
        ::unsetenv("GLYPHWRIGHT_CONFIG_DIR");
    }
    TGlobalSetting& Settings() { return *FSettings; }
    TDataType& Converter() { return *FDataType; }

private:
    test::TTempDir FConfig;
    std::unique_ptr<TGlobalSetting> FSettings;
    std::unique_ptr<TDataType> FDataType;
};

// --- Alpha ------------------------------------------------------------------------------------

struct FlattenCase {
    const char* Name;
    TColor In;
    TColor Out;
};

class Flatten : public DataTypeTest, public ::testing::WithParamInterface<FlattenCase> {};

TEST_P(Flatten, At24BitsCompositesOverWhiteOrClears) {
    auto image = ImageOfRows({{GetParam().In}}, 8);
    Converter().Change(*image, 24, pmWindows);
    EXPECT_EQ(image->Bitmap().Pixel(0, 0), GetParam().Out) << std::hex << image->Bitmap().Pixel(0, 0);
    EXPECT_EQ(image->DataType(), 24);
    EXPECT_EQ(image->Palette().Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Flatten,
    ::testing::Values(FlattenCase{"Alpha127Clears", 0x7F123456, 0x00000000},
                      FlattenCase{"TransparentWhiteClears", 0x00FFFFFF, 0x00000000},
                      FlattenCase{"Alpha128Black", 0x80000000, 0xFF7F7F7F},
                      FlattenCase{"Alpha200Black", 0xC8000000, 0xFF373737},
                      FlattenCase{"Alpha128WhiteStaysWhite", 0x80FFFFFF, 0xFFFFFFFF},
                      // 55 + floor(c * 200 / 255): 0x10 -> 55 + 12, 0x20 -> 55 + 25, 0x30 -> 55 + 37.
                      FlattenCase{"Alpha200FloorsEachChannel", 0xC8102030, 0xFF43505C},
                      FlattenCase{"OpaqueUnchanged", 0xFF123456, 0xFF123456}),
    [](const auto& info) { return std::string(info.param.Name); });

class KeepsPixelsAt32 : public DataTypeTest, public ::testing::WithParamInterface<std::uint8_t> {};

TEST_P(KeepsPixelsAt32, PixelsUntouchedAndPaletteEmptied) {
    auto image = ImageOf(test::MakeGradient(19, 7, true), 8);
    const auto before = PixelsOf(*image);
    Converter().Change(*image, 32, GetParam());
    EXPECT_EQ(PixelsOf(*image), before);
    EXPECT_EQ(image->Palette().Count(), 0);
    EXPECT_EQ(image->DataType(), 32);
}

INSTANTIATE_TEST_SUITE_P(Modes, KeepsPixelsAt32, ::testing::Values(pmAdaptive, pmWindows, pmMacintosh, 7));

// --- Palettes ---------------------------------------------------------------------------------

TEST_F(DataTypeTest, WindowsSixteenTieGoesToTheLowerIndex) {
    auto image = ImageOfRows({{0xFFA0A0A0}});
    Converter().Change(*image, 4, pmWindows);
    EXPECT_EQ(image->Bitmap().Pixel(0, 0), 0xFF808080u);
}

TEST_F(DataTypeTest, AdaptiveEightBitsOnWhiteKeepsTheWindowsRest) {
    auto image = ImageOf(test::MakeSolid(9, 5, kWhite));
    Converter().Change(*image, 8, pmAdaptive);
    TOrbPalette expected = DefaultPalette(8, false);
    expected.SetPalette(0, kWhite); // black stays at entry 16, so nothing is appended
    EXPECT_TRUE(image->Palette().IsEqual(expected));
    for (TColor px : image->Bitmap().Pixels())
        ASSERT_EQ(px, kWhite);
}

TEST_F(DataTypeTest, AdaptiveFourBitsOnWhiteAppendsBlack) {
    auto image = ImageOf(test::MakeSolid(9, 5, kWhite));
    Converter().Change(*image, 4, pmAdaptive);
    TOrbPalette expected = DefaultPalette(4, false);
    expected.SetPalette(0, kWhite);
    expected.SetPalette(1, kBlack); // the only black of the Windows palette was entry 0
    EXPECT_TRUE(image->Palette().IsEqual(expected));
}

TEST_F(DataTypeTest, AdaptiveTransparentBorderEntersAsBlack) {
    TBitmap bitmap = test::MakeSolid(8, 8, 0xFFFF0000);
    for (std::int32_t i = 0; i < 8; ++i) {
        bitmap.SetPixel(i, 0, 0x10FFFFFF);
        bitmap.SetPixel(i, 7, 0x00FFFFFF);
        bitmap.SetPixel(0, i, 0x00808080);
        bitmap.SetPixel(7, i, 0x7FFFFFFF);
    }
    auto image = ImageOf(std::move(bitmap));
    Converter().Change(*image, 8, pmAdaptive);
    EXPECT_EQ(image->Palette().GetPalette(0), kBlack);
    EXPECT_EQ(image->Palette().GetPalette(1), 0xFFFF0000u);
    EXPECT_EQ(image->Palette().GetPalette(2), DefaultPalette(8, false).GetPalette(2));
    EXPECT_EQ(image->Bitmap().Pixel(0, 3), 0u);
    EXPECT_EQ(image->Bitmap().Pixel(3, 3), 0xFFFF0000u);
}

TEST_F(DataTypeTest, AdaptiveOneBitHoldsTheMeanAndBlack) {
    auto image = ImageOfRows({{0xFF102030, 0xFF304050}});
    Converter().Change(*image, 1, pmAdaptive);
    EXPECT_EQ(image->Palette().GetPalette(0), 0xFF203040u);
    EXPECT_EQ(image->Palette().GetPalette(1), kBlack);
}

TEST_F(DataTypeTest, MacintoshOneBitSplitsAtHalfTheChannelSum) {
    auto image = ImageOfRows({{0xFF7F7F80, 0xFF7F8080, 0xFF000000, 0xFFFFFFFF, 0xFFFF7F00, 0xFFFF8000}});
    Converter().Change(*image, 1, pmMacintosh);
    EXPECT_TRUE(image->Palette().IsEqual(DefaultPalette(1, true)));
    // 127 + 127 + 128 = 382 -> black; 383 -> white.
    EXPECT_EQ(PixelsOf(*image), (std::vector<TColor>{kBlack, kWhite, kBlack, kWhite, kBlack, kWhite}));
}

class PaletteModes : public DataTypeTest,
                     public ::testing::WithParamInterface<std::tuple<std::uint8_t, std::uint8_t, bool>> {};

TEST_P(PaletteModes, FixedModesGiveTheDefaultPalette) {
    const auto [bitCount, mode, macintosh] = GetParam();
    auto image = ImageOf(MakeNoise(13, 11, 5));
    Converter().Change(*image, bitCount, mode);
    EXPECT_TRUE(image->Palette().IsEqual(DefaultPalette(bitCount, macintosh)));
    ExpectConventions(*image, bitCount);
}

INSTANTIATE_TEST_SUITE_P(Cases, PaletteModes,
                         ::testing::Values(std::tuple<std::uint8_t, std::uint8_t, bool>{1, pmWindows, false},
                                           std::tuple<std::uint8_t, std::uint8_t, bool>{4, pmWindows, false},
                                           std::tuple<std::uint8_t, std::uint8_t, bool>{8, pmWindows, false},
                                           std::tuple<std::uint8_t, std::uint8_t, bool>{1, pmMacintosh, true},
                                           std::tuple<std::uint8_t, std::uint8_t, bool>{4, pmMacintosh, true},
                                           std::tuple<std::uint8_t, std::uint8_t, bool>{8, pmMacintosh, true},
                                           std::tuple<std::uint8_t, std::uint8_t, bool>{4, 3, false},
                                           std::tuple<std::uint8_t, std::uint8_t, bool>{8, 255, false}));

// --- Conventions over whole pictures ---------------------------------------------------------

struct PictureCase {
    const char* Name;
    TBitmap (*Make)();
};

TBitmap GradientWithAlpha() {
    return test::MakeGradient(47, 33, true);
}
TBitmap OpaqueGradient() {
    return test::MakeGradient(64, 64, false);
}
TBitmap NoiseWithAlpha() {
    return MakeNoise(37, 29, 42);
}
TBitmap OnePixel() {
    return test::MakeSolid(1, 1, 0xC0123456);
}

class ConventionsHold
    : public DataTypeTest,
      public ::testing::WithParamInterface<std::tuple<PictureCase, std::uint8_t, std::uint8_t, bool>> {};

TEST_P(ConventionsHold, AfterChange) {
    const auto& [picture, bitCount, mode, dither] = GetParam();
    Settings().SetDither(dither);
    const TBitmap source = picture.Make();
    auto image = ImageOf(source);
    Converter().Change(*image, bitCount, mode);
    ExpectConventions(*image, bitCount);
    EXPECT_TRUE(TDataType::UsesOnlyPaletteColors(*image) || bitCount == 24);
    // Transparency is decided by the source's alpha alone.
    for (std::int32_t y = 0; y < source.Height(); ++y)
        for (std::int32_t x = 0; x < source.Width(); ++x)
            ASSERT_EQ(AlphaOf(image->Bitmap().Pixel(x, y)) == 0, AlphaOf(source.Pixel(x, y)) < 128)
                << x << "," << y;
    // A second conversion of the same picture gives the same result.
    auto again = ImageOf(source);
    Converter().Change(*again, bitCount, mode);
    EXPECT_TRUE(again->IsEqual(*image));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ConventionsHold,
    ::testing::Combine(::testing::Values(PictureCase{"GradientWithAlpha", GradientWithAlpha},
                                         PictureCase{"OpaqueGradient", OpaqueGradient},
                                         PictureCase{"NoiseWithAlpha", NoiseWithAlpha},
                                         PictureCase{"OnePixel", OnePixel}),
                       ::testing::Values<std::uint8_t>(1, 4, 8, 24),
                       ::testing::Values(pmAdaptive, pmWindows, pmMacintosh), ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).Name) + "_" + std::to_string(std::get<1>(info.param)) +
               "bit_mode" + std::to_string(std::get<2>(info.param)) +
               (std::get<3>(info.param) ? "_dither" : "_nearest");
    });

// Every picture of PngSuite that decodes (the x* files are corrupt on purpose), through every
// reduced depth, palette mode and mapping.
TEST_F(DataTypeTest, ConventionsHoldOverPngSuite) {
    GW_REQUIRE_TESTDATA(dir);
    const std::filesystem::path suite = dir / "pngsuite";
    if (!std::filesystem::is_directory(suite))
        GTEST_SKIP() << "no pngsuite folder";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(suite))
        if (entry.path().extension() == ".png")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::int32_t decoded = 0;
    for (const auto& file : files) {
        const std::optional<TBitmap> decoded_ = test::DecodeTestPng(test::ReadFileBytes(file));
        if (!decoded_)
            continue;
        const TBitmap& source = *decoded_;
        ++decoded;
        for (bool dither : {false, true}) {
            Settings().SetDither(dither);
            for (std::uint8_t bitCount : {1, 4, 8, 24})
                for (std::uint8_t mode : {pmAdaptive, pmWindows, pmMacintosh}) {
                    SCOPED_TRACE(file.filename().string() + " " + std::to_string(bitCount) + " bits, mode " +
                                 std::to_string(mode) + (dither ? ", dithered" : ""));
                    auto image = ImageOf(source);
                    Converter().Change(*image, bitCount, mode);
                    ExpectConventions(*image, bitCount);
                    if (HasFailure())
                        return;
                }
        }
    }
    EXPECT_GE(decoded, 100);
}

TEST_F(DataTypeTest, AdaptiveEightBitPaletteIsFilledByAColourfulPicture) {
    auto image = ImageOf(NoiseWithAlpha());
    Converter().Change(*image, 8, pmAdaptive);
    std::set<TColor> distinct(image->Palette().Entries().begin(), image->Palette().Entries().end());
    // The octree colours of the noise (transparent pixels count as black) replace the defaults.
    EXPECT_GE(distinct.size(), 250u);
}

// --- Dithering --------------------------------------------------------------------------------

TEST_F(DataTypeTest, DitherFollowsTheSettingAtEachCall) {
    const TBitmap source = test::MakeGradient(40, 40, false);
    auto nearest = ImageOf(source, 4);
    TDataType::MapToClosestColors(*nearest);
    auto dithered = ImageOf(source, 4);
    TDataType::DitherToPalette(*dithered);
    ASSERT_FALSE(nearest->IsEqual(*dithered));

    for (bool dither : {true, false, true}) {
        Settings().SetDither(dither);
        auto image = ImageOf(source, 4);
        Converter().NewPalette(*image);
        EXPECT_TRUE(image->IsEqual(dither ? *dithered : *nearest)) << "dither " << dither;
    }
}

TEST_F(DataTypeTest, DitherRunsSerpentine) {
    // Row 0 runs left to right: the error of the first 120 lifts the second to white. Row 1 runs right
    // to left: the error of the last 120 lifts the one before it.
    constexpr TColor g = 0xFF787878;
    auto image = ImageOfRows({{g, g, kBlack, kBlack, kBlack}, {kBlack, kBlack, kBlack, g, g}}, 1);
    TDataType::DitherToPalette(*image);
    EXPECT_EQ(PixelsOf(*image), (std::vector<TColor>{kBlack, kWhite, kBlack, kBlack, kBlack, //
                                                     kBlack, kBlack, kBlack, kWhite, kBlack}));
}

TEST_F(DataTypeTest, DitherLeavesTransparentPixelsAndMakesTheRestOpaque) {
    auto image = ImageOfRows({{0x00000000, 0x40808080, 0xFF123456}}, 4);
    TDataType::DitherToPalette(*image);
    EXPECT_EQ(image->Bitmap().Pixel(0, 0), 0u);
    EXPECT_GE(image->Palette().GetPaletteIndex(image->Bitmap().Pixel(1, 0)), 0);
    EXPECT_GE(image->Palette().GetPaletteIndex(image->Bitmap().Pixel(2, 0)), 0);
}

// A horizontal grey ramp (each column one grey, 0 to 255) reduced to the Windows 16-colour palette.
// Returns, per column, the mean brightness (R + G + B) / 3 of the result minus the source grey.
std::vector<double> RampColumnErrors(TDataType& converter) {
    constexpr std::int32_t kWidth = 256, kHeight = 128;
    TBitmap ramp(kWidth, kHeight);
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            ramp.SetPixel(x, y,
                          MakeColor(0xFF, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x),
                                    static_cast<std::uint8_t>(x)));
    auto image = ImageOf(std::move(ramp));
    converter.Change(*image, 4, pmWindows);
    std::vector<double> errors;
    for (std::int32_t x = 0; x < kWidth; ++x) {
        double sum = 0;
        for (std::int32_t y = 0; y < kHeight; ++y) {
            const TColor px = image->Bitmap().Pixel(x, y);
            sum += (RedOf(px) + GreenOf(px) + BlueOf(px)) / 3.0;
        }
        errors.push_back(sum / kHeight - x);
    }
    return errors;
}

// The largest absolute mean error over any band of `width` neighbouring columns.
double WorstBandError(const std::vector<double>& errors, std::size_t width) {
    double worst = 0;
    for (std::size_t x = 0; x + width <= errors.size(); ++x) {
        double sum = 0;
        for (std::size_t i = x; i < x + width; ++i)
            sum += errors[i];
        worst = std::max(worst, std::abs(sum / static_cast<double>(width)));
    }
    return worst;
}

// NOTE: error diffusion moves error sideways as well as down, so a single column's mean wanders by
// some levels around the true grey while its neighbour makes up for it; a band of four columns, about
// the period of the dot patterns between the greys 00, 80, C0 and FF, holds the mean within a few.
TEST_F(DataTypeTest, DitheredGreyRampKeepsColumnBrightness) {
    Settings().SetDither(true);
    const auto errors = RampColumnErrors(Converter());
    EXPECT_LE(WorstBandError(errors, 4), 4.0);
    EXPECT_LE(WorstBandError(errors, 1), 16.0);
    EXPECT_LE(WorstBandError(errors, errors.size()), 1.0);
}

TEST_F(DataTypeTest, UnditheredGreyRampBands) {
    Settings().SetDither(false);
    const auto errors = RampColumnErrors(Converter());
    // Every column is one flat grey: whole bands sit up to half a palette step away.
    EXPECT_GE(WorstBandError(errors, 4), 30.0);
    const auto offByMoreThanFour =
        std::count_if(errors.begin(), errors.end(), [](double e) { return std::abs(e) > 4; });
    EXPECT_GE(offByMoreThanFour, 128);
}

// --- Palette checks and re-conversion -------------------------------------------------------------

struct OnlyPaletteCase {
    const char* Name;
    TColor Odd;
    bool Expected;
};

class PaletteOnlyCheck : public ::testing::TestWithParam<OnlyPaletteCase> {};

TEST_P(PaletteOnlyCheck, JudgesOpaquePixelsExactly) {
    auto image = ImageOfRows({{kBlack, 0xFF808080, GetParam().Odd, kWhite}}, 4);
    EXPECT_EQ(TDataType::UsesOnlyPaletteColors(*image), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PaletteOnlyCheck,
                         ::testing::Values(OnlyPaletteCase{"AllEntries", 0xFFC0C0C0, true},
                                           OnlyPaletteCase{"ForeignColour", 0xFF818181, false},
                                           OnlyPaletteCase{"ForeignColourTransparent", 0x00818181, true},
                                           OnlyPaletteCase{"EntryWithPartialAlpha", 0xFEC0C0C0, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(DataTypeTest, ProcessImageWithoutAskLeaves32BitImages) {
    auto image = ImageOf(test::MakeGradient(9, 9, true));
    const auto before = PixelsOf(*image);
    EXPECT_FALSE(Converter().ProcessImageWithoutAsk(*image));
    EXPECT_FALSE(Converter().ProcessImage(*image));
    EXPECT_EQ(PixelsOf(*image), before);
}

TEST_F(DataTypeTest, ProcessImageWithoutAskGivesEightBitsANewAdaptivePalette) {
    auto image = ImageOf(test::MakeSolid(4, 4, 0xFF123456), 8);
    EXPECT_TRUE(Converter().ProcessImageWithoutAsk(*image));
    EXPECT_EQ(image->Palette().GetPalette(0), 0xFF123456u);
    ExpectConventions(*image, 8);
}

TEST_F(DataTypeTest, ProcessImageMapsEightBitsOntoTheExistingPalette) {
    auto image = ImageOf(test::MakeSolid(4, 4, 0xFF123456), 8);
    EXPECT_TRUE(Converter().ProcessImage(*image));
    EXPECT_TRUE(image->Palette().IsEqual(DefaultPalette(8, false)));
    ExpectConventions(*image, 8);
}

TEST_F(DataTypeTest, ProcessImageWithoutAskMapsFourBitsOntoTheExistingPalette) {
    auto image = ImageOf(test::MakeGradient(12, 12, true), 4);
    TOrbPalette mac = DefaultPalette(4, true);
    image->Palette().Copy(mac);
    EXPECT_TRUE(Converter().ProcessImageWithoutAsk(*image));
    EXPECT_TRUE(image->Palette().IsEqual(mac));
    ExpectConventions(*image, 4);
}

TEST_F(DataTypeTest, ProcessImageOnAConformingImageOnlyFlattens) {
    auto image = ImageOf(test::MakeGradient(12, 12, true));
    Converter().Change(*image, 4, pmWindows);
    const auto before = PixelsOf(*image);
    EXPECT_TRUE(Converter().ProcessImageWithoutAsk(*image)); // a tag below 32 is always flattened
    EXPECT_EQ(PixelsOf(*image), before);
}

TEST_F(DataTypeTest, NewPaletteWithoutPaletteDoesNothing) {
    auto image = ImageOf(test::MakeGradient(5, 5, true), 24);
    const auto before = PixelsOf(*image);
    Settings().SetDither(true);
    Converter().NewPalette(*image);
    Settings().SetDither(false);
    Converter().NewPalette(*image);
    EXPECT_EQ(PixelsOf(*image), before);
}

} // namespace
} // namespace gw
