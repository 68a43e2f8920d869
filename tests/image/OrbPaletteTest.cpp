#include "image/OrbPalette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace gw {
namespace {

enum class TDefault { Win2, Win16, Win256, Mac2, Mac16, Mac256 };

TOrbPalette MakeDefault(TDefault which) {
    struct TFill {
        std::uint8_t bitCount;
        void (TOrbPalette::*fill)();
    };
    static const TFill fills[] = {{1, &TOrbPalette::FillWin2},   {4, &TOrbPalette::FillWin16},
                                  {8, &TOrbPalette::FillWin256}, {1, &TOrbPalette::FillMac2},
                                  {4, &TOrbPalette::FillMac16},  {8, &TOrbPalette::FillMac256}};
    const TFill& f = fills[static_cast<int>(which)];
    TOrbPalette pal;
    pal.Resize(f.bitCount);
    (pal.*f.fill)();
    return pal;
}

// A palette of the given entries (count 2, 16 or 256 is not required here).
TOrbPalette MakePalette(std::uint8_t bitCount, const std::vector<TColor>& first) {
    TOrbPalette pal;
    pal.Resize(bitCount);
    for (std::size_t i = 0; i < first.size(); ++i)
        pal.SetPalette(static_cast<std::int32_t>(i), first[i]);
    return pal;
}

// ---- Default palettes ---------------------------------------------------------------------------

// Entries as RRGGBB, spread over every ramp of the 256-colour tables; every default entry is opaque.
struct TEntryTable {
    const char* name;
    TDefault which;
    std::vector<std::pair<std::int32_t, TColor>> entries;
};

class DefaultPaletteEntry : public ::testing::TestWithParam<TEntryTable> {};

TEST_P(DefaultPaletteEntry, HasTheTabledColoursWithFullAlpha) {
    const TOrbPalette pal = MakeDefault(GetParam().which);
    for (const auto& [index, rgb] : GetParam().entries)
        EXPECT_EQ(pal.GetPalette(index), 0xFF000000u | rgb) << "index " << index;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Tables, DefaultPaletteEntry, ::testing::Values(
    TEntryTable{"win2", TDefault::Win2, {
          {0, 0x000000}, {1, 0xFFFFFF}}},
    TEntryTable{"mac2", TDefault::Mac2, {
          {0, 0xFFFFFF}, {1, 0x000000}}},
    TEntryTable{"win16", TDefault::Win16, {
          {1, 0x800000}, {4, 0x000080}, {7, 0x808080}, {8, 0xC0C0C0}, {9, 0xFF0000}, {14, 0x00FFFF},
          {15, 0xFFFFFF}}},
    TEntryTable{"mac16", TDefault::Mac16, {
          {1, 0xFCF305}, {5, 0x4600A5}, {7, 0x02ABEA}, {8, 0x1FB714}, {11, 0x90713A}, {14, 0x404040},
          {15, 0x000000}}},
    TEntryTable{"win256", TDefault::Win256, {
          {1, 0x2F0800}, {8, 0xFF3D11}, {14, 0xFFDAD1}, {23, 0xF08800}, {30, 0xFFEBD1}, {37, 0xB0A500},
          {41, 0xFFF131}, {49, 0x212F00}, {60, 0xDCFF91}, {66, 0x185000}, {77, 0xC9FFB1}, {86, 0x00CF0B},
          {88, 0x12FF20}, {99, 0x007030}, {109, 0xB1FFD2}, {115, 0x00705A}, {126, 0xD1FFF6}, {129, 0x00262F},
          {139, 0x71E4FF}, {150, 0x005BCF}, {154, 0x519DFF}, {161, 0x00032F}, {165, 0x000AB0}, {168, 0x1220FF},
          {180, 0x2B0090}, {187, 0x9C71FF}, {197, 0x7800B0}, {202, 0xC751FF}, {211, 0x700069}, {220, 0xFF91F7},
          {228, 0x900052}, {233, 0xFF31A6}, {241, 0x2F0008}, {247, 0xF0002C}, {250, 0xFF5171}, {254, 0xFFD1DA}}},
    TEntryTable{"mac256", TDefault::Mac256, {
          {0, 0xFFFFFF}, {1, 0xFFFFCC}, {5, 0xFFFF00}, {6, 0xFFCCFF}, {35, 0xFF0000}, {36, 0xCCFFFF},
          {107, 0x990000}, {214, 0x000033}, {215, 0xEE0000}, {224, 0x110000}, {225, 0x00EE00}, {230, 0x007700},
          {235, 0x0000EE}, {244, 0x000011}, {245, 0xEEEEEE}, {249, 0x888888}, {254, 0x111111}, {255, 0x000000}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(OrbPaletteWin256, EveryRampRunsFromBlackThroughItsHueToWhite) {
    const TOrbPalette pal = MakeDefault(TDefault::Win256);
    // Columns 1 to 7 have these largest channels; columns 8 to 14 keep one channel at FF.
    const std::uint8_t brightness[7] = {0x2F, 0x50, 0x70, 0x90, 0xB0, 0xCF, 0xF0};
    for (std::int32_t ramp = 0; ramp < 16; ++ramp) {
        SCOPED_TRACE("ramp " + std::to_string(ramp));
        EXPECT_EQ(pal.GetPalette(16 * ramp), 0xFF000000u);
        EXPECT_EQ(pal.GetPalette(16 * ramp + 15), 0xFFFFFFFFu);
        for (std::int32_t col = 1; col <= 7; ++col) {
            const TColor c = pal.GetPalette(16 * ramp + col);
            EXPECT_EQ(std::max({RedOf(c), GreenOf(c), BlueOf(c)}), brightness[col - 1]) << "column " << col;
        }
        for (std::int32_t col = 8; col <= 14; ++col) {
            const TColor c = pal.GetPalette(16 * ramp + col);
            EXPECT_EQ(std::max({RedOf(c), GreenOf(c), BlueOf(c)}), 0xFF) << "column " << col;
        }
    }
}

struct TDistinctCase {
    const char* name;
    TDefault which;
    std::size_t distinct;
};

class DefaultPaletteShape : public ::testing::TestWithParam<TDistinctCase> {};

TEST_P(DefaultPaletteShape, IsOpaqueWithTheExpectedNumberOfDistinctColours) {
    const TOrbPalette pal = MakeDefault(GetParam().which);
    std::set<TColor> colours;
    for (TColor c : pal.Entries()) {
        EXPECT_EQ(AlphaOf(c), 0xFF);
        colours.insert(c);
    }
    EXPECT_EQ(colours.size(), GetParam().distinct);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DefaultPaletteShape,
    ::testing::Values(TDistinctCase{"win2", TDefault::Win2, 2}, TDistinctCase{"win16", TDefault::Win16, 16},
                      TDistinctCase{"win256_repeatsBlackAndWhite", TDefault::Win256, 226},
                      TDistinctCase{"mac2", TDefault::Mac2, 2}, TDistinctCase{"mac16", TDefault::Mac16, 16},
                      TDistinctCase{"mac256", TDefault::Mac256, 256}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrbPaletteMac256, CubeRunsRedSlowestBlueFastest) {
    const TOrbPalette pal = MakeDefault(TDefault::Mac256);
    const std::uint8_t levels[6] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                const std::int32_t index = 36 * r + 6 * g + b;
                if (index == 215)
                    continue; // the cube's last colour, black, moves to the end
                EXPECT_EQ(pal.GetPalette(index), MakeColor(0xFF, levels[r], levels[g], levels[b])) << index;
            }
}

// ---- Lookups ------------------------------------------------------------------------------------

struct TIndexCase {
    const char* name;
    TDefault which;
    TColor col;
    std::int32_t expected;
};

class PaletteIndex : public ::testing::TestWithParam<TIndexCase> {};

TEST_P(PaletteIndex, FindsTheFirstEntryEqualInAllBits) {
    EXPECT_EQ(MakeDefault(GetParam().which).GetPaletteIndex(GetParam().col), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, PaletteIndex,
    ::testing::Values(TIndexCase{"win256_blackIsFirst", TDefault::Win256, 0xFF000000, 0},
                      TIndexCase{"win256_whiteIsFirst", TDefault::Win256, 0xFFFFFFFF, 15},
                      TIndexCase{"win256_alphaDiffers", TDefault::Win256, 0x00000000, -1},
                      TIndexCase{"win256_absent", TDefault::Win256, 0xFF123456, -1},
                      TIndexCase{"win256_lastHue", TDefault::Win256, 0xFFFFD1DA, 254},
                      TIndexCase{"win16_lightGrey", TDefault::Win16, 0xFFC0C0C0, 8},
                      TIndexCase{"mac256_black", TDefault::Mac256, 0xFF000000, 255}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrbPalette, EmptyPaletteHasNoIndex) {
    EXPECT_EQ(TOrbPalette().GetPaletteIndex(0xFF000000), -1);
}

struct TClosestCase {
    const char* name;
    TDefault which;
    TColor col;
    TColor expected;
};

class ClosestColor : public ::testing::TestWithParam<TClosestCase> {};

TEST_P(ClosestColor, PicksTheNearestLowestIndexEntry) {
    EXPECT_EQ(MakeDefault(GetParam().which).GetClosestColor(GetParam().col), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, ClosestColor,
    ::testing::Values(TClosestCase{"transparentGreyTakesEntryAlpha", TDefault::Win16, 0x00808080, 0xFF808080},
                      TClosestCase{"tieGoesToLowerIndex", TDefault::Win16, 0xFFA0A0A0, 0xFF808080},
                      TClosestCase{"nearRed", TDefault::Win16, 0xFFF01010, 0xFFFF0000},
                      TClosestCase{"win256_blackRepeated", TDefault::Win256, 0xFF000000, 0xFF000000},
                      TClosestCase{"mac16_nearOrange", TDefault::Mac16, 0xFFFF6000, 0xFFFF6402}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrbPalette, ClosestColorOnWin256BlackIsEntryZero) {
    // Entries 16, 32, ... are equally near; the first one wins. Change entry 0's alpha to see which.
    TOrbPalette pal = MakeDefault(TDefault::Win256);
    pal.SetPalette(0, 0x7F000000);
    EXPECT_EQ(pal.GetClosestColor(0xFF000000), 0x7F000000u);
}

struct TExistsCase {
    const char* name;
    TColor col;
    std::int32_t lastIndex;
    bool expected;
};

class ColorExistsCase : public ::testing::TestWithParam<TExistsCase> {};

TEST_P(ColorExistsCase, ComparesRgbUpToLastIndex) {
    const TOrbPalette pal = MakeDefault(TDefault::Win16); // 9 = FF0000, 15 = FFFFFF
    EXPECT_EQ(pal.ColorExists(GetParam().col, GetParam().lastIndex), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lookups, ColorExistsCase,
                         ::testing::Values(TExistsCase{"negativeLastIndex", 0xFF000000, -1, false},
                                           TExistsCase{"firstEntry", 0xFF000000, 0, true},
                                           TExistsCase{"alphaIgnored", 0x00FF0000, 9, true},
                                           TExistsCase{"beyondLastIndex", 0xFFFF0000, 8, false},
                                           TExistsCase{"lastIndexPastEnd", 0xFFFFFFFF, 1000, true},
                                           TExistsCase{"absent", 0xFF123456, 15, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Size, copy, fill ---------------------------------------------------------------------------

struct TResizeCase {
    const char* name;
    std::uint8_t from; // bit count the palette starts at (filled with Windows defaults)
    std::uint8_t to;
    std::int32_t count;
};

class PaletteResize : public ::testing::TestWithParam<TResizeCase> {};

TEST_P(PaletteResize, KeepsRemainingEntriesAndAppendsZeros) {
    TOrbPalette pal = MakeDefault(GetParam().from == 8 ? TDefault::Win256 : TDefault::Win16);
    const TOrbPalette before = pal;
    pal.Resize(GetParam().to);
    ASSERT_EQ(pal.Count(), GetParam().count);
    for (std::int32_t i = 0; i < pal.Count(); ++i)
        EXPECT_EQ(pal.GetPalette(i), i < before.Count() ? before.GetPalette(i) : 0u) << i;
}

INSTANTIATE_TEST_SUITE_P(Sizes, PaletteResize,
                         ::testing::Values(TResizeCase{"shrink256to16", 8, 4, 16},
                                           TResizeCase{"grow16to256", 4, 8, 256}, TResizeCase{"to2", 8, 1, 2},
                                           TResizeCase{"to24", 8, 24, 0}, TResizeCase{"to32", 4, 32, 0},
                                           TResizeCase{"invalid16Unchanged", 4, 16, 16},
                                           TResizeCase{"invalid0Unchanged", 8, 0, 256}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OrbPalette, FillOnTooShortPaletteChangesNothing) {
    TOrbPalette pal = MakePalette(4, {0x11111111});
    pal.FillWin256();
    pal.FillMac256();
    EXPECT_TRUE(pal.IsEqual(MakePalette(4, {0x11111111})));
    TOrbPalette empty;
    empty.FillWin2();
    EXPECT_EQ(empty.Count(), 0);
}

TEST(OrbPalette, FillOnLongerPaletteWritesOnlyItsEntries) {
    TOrbPalette pal = MakeDefault(TDefault::Mac256);
    const TOrbPalette mac = pal;
    pal.FillWin16();
    for (std::int32_t i = 0; i < 16; ++i)
        EXPECT_EQ(pal.GetPalette(i), MakeDefault(TDefault::Win16).GetPalette(i)) << i;
    for (std::int32_t i = 16; i < 256; ++i)
        EXPECT_EQ(pal.GetPalette(i), mac.GetPalette(i)) << i;
}

TEST(OrbPalette, CopyTakesCountAndEntries) {
    TOrbPalette pal = MakeDefault(TDefault::Win16);
    const TOrbPalette source = MakeDefault(TDefault::Mac256);
    pal.Copy(source);
    EXPECT_TRUE(pal.IsEqual(source));
    EXPECT_FALSE(pal.IsEqual(MakeDefault(TDefault::Win256)));
    EXPECT_FALSE(pal.IsEqual(MakeDefault(TDefault::Mac16))); // count differs
}

TEST(OrbPalette, OutOfRangeEntryAccessThrows) {
    TOrbPalette pal = MakeDefault(TDefault::Win16);
    EXPECT_THROW(pal.GetPalette(16), std::out_of_range);
    EXPECT_THROW(pal.GetPalette(-1), std::out_of_range);
    EXPECT_THROW(pal.SetPalette(16, 0), std::out_of_range);
    EXPECT_THROW(TOrbPalette().GetPalette(0), std::out_of_range);
}

// ---- Collecting from an image -------------------------------------------------------------------

TBitmap MakeRow(const std::vector<TColor>& pixels) {
    TBitmap bmp(static_cast<std::int32_t>(pixels.size()), 1);
    for (std::size_t x = 0; x < pixels.size(); ++x)
        bmp.SetPixel(static_cast<std::int32_t>(x), 0, pixels[x]);
    return bmp;
}

TEST(OrbPaletteFromImage, CollectsDistinctColoursInOrderOfFirstAppearance) {
    TOrbPalette pal = MakeDefault(TDefault::Win16);
    const TOrbPalette before = pal;
    // Red, transparent black, red again, green, half-transparent green (same RGB).
    pal.GetPaletteFromImage(MakeRow({0xFFFF0000, 0x00000000, 0xFFFF0000, 0xFF00FF00, 0x8000FF00}));
    EXPECT_EQ(pal.GetPalette(0), 0xFFFF0000u);
    EXPECT_EQ(pal.GetPalette(1), 0xFF000000u);
    EXPECT_EQ(pal.GetPalette(2), 0xFF00FF00u);
    for (std::int32_t i = 3; i < 16; ++i)
        EXPECT_EQ(pal.GetPalette(i), before.GetPalette(i)) << i;
}

TEST(OrbPaletteFromImage, ReadsRowsTopToBottom) {
    TBitmap bmp(1, 2);
    bmp.SetPixel(0, 0, 0xFF0000FF);
    bmp.SetPixel(0, 1, 0xFFFFFF00);
    TOrbPalette pal = MakeDefault(TDefault::Win2);
    pal.GetPaletteFromImage(bmp);
    EXPECT_EQ(pal.GetPalette(0), 0xFF0000FFu);
    EXPECT_EQ(pal.GetPalette(1), 0xFFFFFF00u);
}

TEST(OrbPaletteFromImage, MoreColoursThanEntriesKeepsTheFirstOnes) {
    TOrbPalette pal = MakeDefault(TDefault::Win2);
    pal.GetPaletteFromImage(MakeRow({0xFF010101, 0xFF020202, 0xFF030303, 0xFF040404}));
    EXPECT_EQ(pal.Count(), 2);
    EXPECT_EQ(pal.GetPalette(0), 0xFF010101u);
    EXPECT_EQ(pal.GetPalette(1), 0xFF020202u);
}

TEST(OrbPaletteFromImage, EmptyPaletteOrEmptyBitmapChangesNothing) {
    TOrbPalette empty;
    empty.GetPaletteFromImage(MakeRow({0xFF010101}));
    EXPECT_EQ(empty.Count(), 0);

    TOrbPalette pal = MakeDefault(TDefault::Mac16);
    pal.GetPaletteFromImage(TBitmap(0, 0));
    EXPECT_TRUE(pal.IsEqual(MakeDefault(TDefault::Mac16)));
}

} // namespace
} // namespace gw
