#include "color/ColorQuantizer.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace gw {
namespace {

using Rows = std::vector<std::vector<TRGBTriple>>;

constexpr TRGBTriple Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return {b, g, r};
}

// A bottom-up 24-bit grid of the given image rows (top row first in imageRows), rows padded to 4
// bytes as in a DIB.
TBitmap24 MakeGrid(const Rows& imageRows) {
    TBitmap24 grid;
    grid.Height = static_cast<std::int32_t>(imageRows.size());
    grid.Width = grid.Height > 0 ? static_cast<std::int32_t>(imageRows[0].size()) : 0;
    grid.Stride = (grid.Width * 3 + 3) / 4 * 4;
    grid.Bits.assign(static_cast<std::size_t>(grid.Stride) * imageRows.size(), 0xEE); // padding is noise
    for (std::size_t y = 0; y < imageRows.size(); ++y) {
        const std::size_t stored = imageRows.size() - 1 - y;
        for (std::size_t x = 0; x < imageRows[y].size(); ++x) {
            std::uint8_t* p = grid.Bits.data() + stored * static_cast<std::size_t>(grid.Stride) + x * 3;
            p[0] = imageRows[y][x].Blue;
            p[1] = imageRows[y][x].Green;
            p[2] = imageRows[y][x].Red;
        }
    }
    return grid;
}

TBitmap24 MakeNoiseGrid(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Rows rows(static_cast<std::size_t>(height), std::vector<TRGBTriple>(static_cast<std::size_t>(width)));
    for (auto& row : rows)
        for (auto& px : row)
            px = Rgb(static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                     static_cast<std::uint8_t>(rng()));
    return MakeGrid(rows);
}

TRGBTripleArray Quantize(const TBitmap24& grid, std::int32_t maxColors, std::int32_t colorBits) {
    TColorQuantizer quantizer(maxColors, colorBits);
    EXPECT_TRUE(quantizer.ProcessImage(grid));
    TRGBTripleArray table;
    std::int32_t count = -1;
    quantizer.GetColorTable2(table, count);
    EXPECT_EQ(count, quantizer.ColorCount());
    EXPECT_EQ(static_cast<std::size_t>(count), table.size());
    return table;
}

// --- Worked palettes ----------------------------------------------------------------------------

struct WorkedCase {
    const char* Name;
    Rows ImageRows; // top image row first
    std::int32_t MaxColors;
    std::int32_t ColorBits;
    TRGBTripleArray Expected;
};

class QuantizerWorked : public ::testing::TestWithParam<WorkedCase> {};

TEST_P(QuantizerWorked, GivesTheExpectedTableInOrder) {
    const WorkedCase& c = GetParam();
    EXPECT_EQ(Quantize(MakeGrid(c.ImageRows), c.MaxColors, c.ColorBits), c.Expected);
}

const Rows kFourReds = {{Rgb(0x00, 0, 0), Rgb(0x40, 0, 0)}, {Rgb(0x80, 0, 0), Rgb(0xC0, 0, 0)}};

INSTANTIATE_TEST_SUITE_P(
    Cases, QuantizerWorked,
    ::testing::Values(WorkedCase{"OneColourGivesThatColourExactly",
                                 {{Rgb(0x12, 0x34, 0x56), Rgb(0x12, 0x34, 0x56)},
                                  {Rgb(0x12, 0x34, 0x56), Rgb(0x12, 0x34, 0x56)}},
                                 255,
                                 6,
                                 {Rgb(0x12, 0x34, 0x56)}},
                      WorkedCase{"LowTwoBitsShareALeafAtSixBits",
                                 {{Rgb(0x40, 0x80, 0xC0), Rgb(0x41, 0x81, 0xC1)}},
                                 255,
                                 6,
                                 {Rgb(0x40, 0x80, 0xC0)}},
                      WorkedCase{"SharedLeafAverageTruncates",
                                 {{Rgb(0x40, 0x80, 0xC0), Rgb(0x43, 0x83, 0xC3)}},
                                 255,
                                 6,
                                 {Rgb(0x41, 0x81, 0xC1)}},
                      WorkedCase{"BlueComesBeforeRed",
                                 {{Rgb(255, 0, 0), Rgb(0, 0, 255)}},
                                 255,
                                 6,
                                 {Rgb(0, 0, 255), Rgb(255, 0, 0)}},
                      WorkedCase{"EntriesFollowTheColoursBitsNotArrival",
                                 {{Rgb(0xFF, 0xFF, 0xFF), Rgb(0, 0xFF, 0), Rgb(0, 0, 0)}},
                                 255,
                                 8,
                                 {Rgb(0, 0, 0), Rgb(0, 0xFF, 0), Rgb(0xFF, 0xFF, 0xFF)}},
                      // (0x00 + 0x40 + 0x80 + 0xC0) / 4 = 0x60.
                      WorkedCase{"MaxColorsOneAveragesEverything", kFourReds, 1, 6, {Rgb(0x60, 0, 0)}},
                      WorkedCase{"MaxColorsOneTruncates",
                                 {{Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(255, 255, 255)}},
                                 1,
                                 8,
                                 {Rgb(85, 85, 85)}},
                      // The grid is read bottom row first: 0x80 and 0xC0 arrive first, then 0x00 and 0x40
                      // create the newest level-1 node, which is merged: (0x00 + 0x40) / 2 = 0x20.
                      WorkedCase{"BottomRowFirstAndNewestNodeMergedFirst",
                                 kFourReds,
                                 3,
                                 2,
                                 {Rgb(0x20, 0, 0), Rgb(0x80, 0, 0), Rgb(0xC0, 0, 0)}},
                      // Same colours with the rows swapped: now 0x80 and 0xC0 are under the newest node.
                      WorkedCase{"TopRowArrivingLastIsMerged",
                                 {kFourReds[1], kFourReds[0]},
                                 3,
                                 2,
                                 {Rgb(0x00, 0, 0), Rgb(0x40, 0, 0), Rgb(0xA0, 0, 0)}},
                      // 0x00 and 0x10 split at level 3, 0x80 and 0xC0 at level 1; with three colours allowed
                      // the deeper node is merged although the level-1 node is newer.
                      WorkedCase{"DeepestLevelMergedFirst",
                                 {{Rgb(0xC0, 0, 0), Rgb(0x80, 0, 0)}, {Rgb(0x00, 0, 0), Rgb(0x10, 0, 0)}},
                                 3,
                                 8,
                                 {Rgb(0x08, 0, 0), Rgb(0x80, 0, 0), Rgb(0xC0, 0, 0)}}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Invariants over larger pictures -----------------------------------------------------------

TEST(QuantizerInvariants, FewerPrefixesThanMaxColorsAreNotReduced) {
    // 10 x 10 colours whose 6-bit prefixes are all distinct, each present twice with different low bits.
    Rows rows;
    std::set<std::tuple<int, int, int>> prefixes;
    for (int i = 0; i < 10; ++i) {
        std::vector<TRGBTriple> row;
        for (int j = 0; j < 10; ++j) {
            const auto r = static_cast<std::uint8_t>(i * 24);
            const auto g = static_cast<std::uint8_t>(j * 24);
            row.push_back(Rgb(r, g, 0x80));
            row.push_back(Rgb(r | 3, g | 1, 0x82));
            prefixes.insert({r >> 2, g >> 2, 0x80 >> 2});
        }
        rows.push_back(row);
    }
    const auto table = Quantize(MakeGrid(rows), 255, 6);
    EXPECT_EQ(table.size(), prefixes.size());
}

class QuantizerLimit : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(QuantizerLimit, NoisyPictureEndsWithinMaxColorsAndIsDeterministic) {
    const std::int32_t maxColors = GetParam();
    const TBitmap24 grid = MakeNoiseGrid(67, 45, 1234);
    const auto first = Quantize(grid, maxColors, 6);
    EXPECT_LE(first.size(), static_cast<std::size_t>(maxColors));
    EXPECT_GE(first.size(), 1u);
    EXPECT_EQ(Quantize(grid, maxColors, 6), first);
}

INSTANTIATE_TEST_SUITE_P(MaxColors, QuantizerLimit, ::testing::Values(1, 2, 15, 255));

TEST(QuantizerInvariants, MaxColorsOneHoldsTheTruncatedMeanOfAllPixels) {
    const TBitmap24 grid = MakeNoiseGrid(31, 17, 99);
    std::uint64_t sum[3] = {0, 0, 0};
    for (std::int32_t row = 0; row < grid.Height; ++row)
        for (std::int32_t x = 0; x < grid.Width; ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += grid.Bits[static_cast<std::size_t>(row * grid.Stride + x * 3 + c)];
    const std::uint64_t n = 31 * 17;
    const auto table = Quantize(grid, 1, 6);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0],
              (TRGBTriple{static_cast<std::uint8_t>(sum[0] / n), static_cast<std::uint8_t>(sum[1] / n),
                          static_cast<std::uint8_t>(sum[2] / n)}));
}

// --- Refused arguments and grids ---------------------------------------------------------------

struct BadArguments {
    const char* Name;
    std::int32_t MaxColors;
    std::int32_t ColorBits;
    const char* Mentions;
};

class QuantizerRefuses : public ::testing::TestWithParam<BadArguments> {};

TEST_P(QuantizerRefuses, ThrowsInvalidArgumentNamingTheParameter) {
    const BadArguments& c = GetParam();
    try {
        TColorQuantizer quantizer(c.MaxColors, c.ColorBits);
        FAIL() << "accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(c.Mentions), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, QuantizerRefuses,
                         ::testing::Values(BadArguments{"ColorBitsNine", 255, 9, "ColorBits"},
                                           BadArguments{"ColorBitsZero", 255, 0, "ColorBits"},
                                           BadArguments{"ColorBitsNegative", 255, -1, "ColorBits"},
                                           BadArguments{"MaxColorsZero", 0, 6, "MaxColors"},
                                           BadArguments{"MaxColorsNegative", -5, 6, "MaxColors"}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct BadGrid {
    const char* Name;
    std::int32_t Width, Height, Stride;
    std::size_t Bytes;
};

class QuantizerBadGrid : public ::testing::TestWithParam<BadGrid> {};

TEST_P(QuantizerBadGrid, IsNotReadAndLeavesTheTreeEmpty) {
    const BadGrid& c = GetParam();
    TBitmap24 grid{c.Width, c.Height, c.Stride, std::vector<std::uint8_t>(c.Bytes, 0x7F)};
    TColorQuantizer quantizer(255, 6);
    EXPECT_FALSE(quantizer.ProcessImage(grid));
    TRGBTripleArray table;
    std::int32_t count = -1;
    quantizer.GetColorTable2(table, count);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(table.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, QuantizerBadGrid,
                         ::testing::Values(BadGrid{"StrideShorterThanRow", 4, 2, 8, 64},
                                           BadGrid{"NegativeStride", 4, 2, -12, 64},
                                           BadGrid{"BufferShorterThanRows", 4, 3, 12, 35},
                                           BadGrid{"ZeroWidth", 0, 3, 12, 36},
                                           BadGrid{"NegativeHeight", 4, -3, 12, 36}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(QuantizerGrid, LastRowNeedsNoPadding) {
    // 3 pixels per row (9 bytes) padded to 12; the last row's padding may be missing.
    TBitmap24 grid{3, 2, 12, std::vector<std::uint8_t>(21, 0x10)};
    EXPECT_EQ(Quantize(grid, 255, 8), (TRGBTripleArray{Rgb(0x10, 0x10, 0x10)}));
}

} // namespace
} // namespace gw
