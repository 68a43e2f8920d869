#include "image/GDIUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace gw {

std::ostream& operator<<(std::ostream& os, const TGPRectF& r) {
    return os.precision(9), os << "(" << r.X << ", " << r.Y << ", " << r.Width << ", " << r.Height << ")";
}
std::ostream& operator<<(std::ostream& os, const TGPRect& r) {
    return os << "(" << r.X << ", " << r.Y << ", " << r.Width << ", " << r.Height << ")";
}

namespace {

TGPRectF Size(float w, float h) {
    return {0, 0, w, h};
}

// Float fitting helpers: expected values are compared bit for bit (operator== on floats).
struct TFitCase {
    const char* name;
    TGPRectF (*fit)(const TGPRectF&, const TGPRectF&);
    TGPRectF bounds, source, expected;
};

class FloatFit : public ::testing::TestWithParam<TFitCase> {};

TEST_P(FloatFit, GivesTheSinglePrecisionResultOfTheExtendedComputation) {
    const auto& c = GetParam();
    EXPECT_EQ(c.fit(c.bounds, c.source), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    GDIUtils, FloatFit,
    ::testing::Values(
        // 1024 * 100 / 3000 kept as a single, times 2000 / 100: 682.666687, centred at 170.666656.
        TFitCase{"shrinkLandscapePhoto",
                 ShrinkToFit,
                 Size(1024, 1024),
                 Size(3000, 2000),
                 {0, 170.66666f, 1024, 682.66669f}},
        TFitCase{"shrinkAlreadyFittingWidthKeepsSize",
                 ShrinkToFit,
                 Size(1024, 1024),
                 Size(1024, 683),
                 {0, 170.5f, 1024, 683}},
        TFitCase{"shrinkNeverEnlarges", ShrinkToFit, Size(1024, 1024), Size(20, 10), {502, 507, 20, 10}},
        TFitCase{"shrinkPortrait", ShrinkToFit, Size(100, 100), Size(200, 400), {25, 0, 50, 100}},
        TFitCase{"scaleUpSquareIntoWide", ScaleToFit, Size(32, 16), Size(100, 100), {8, 0, 16, 16}},
        // 28.8000011 rounds to 29; the position keeps the unrounded height: (48 - 28.8) / 2.
        TFitCase{"scaleDownRoundsSizeNotPosition",
                 ScaleToFit,
                 Size(48, 48),
                 Size(1000, 600),
                 {0, 9.59999943f, 48, 29}},
        TFitCase{"scaleTieGoesToHeight", ScaleToFit, Size(16, 16), Size(32, 32), {0, 0, 16, 16}},
        TFitCase{"scaleWideIntoSquare", ScaleToFit, Size(16, 16), Size(32, 16), {0, 4, 16, 8}},
        // 2.5 rounds half to even: 5 x 2 into 5 x 5 keeps 5 x 2 at 1.5.
        TFitCase{"scaleSizeHalfToEven", ScaleToFit, Size(10, 10), Size(4, 1), {0, 3.75f, 10, 2}},
        TFitCase{"centerLargerSourceClampsToZero", CenterInRect, Size(16, 16), Size(20, 10), {0, 3, 20, 10}},
        TFitCase{"centerOddDifferenceGivesHalfPixel",
                 CenterInRect,
                 Size(16, 16),
                 Size(15, 15),
                 {0.5f, 0.5f, 15, 15}},
        TFitCase{"fittingIgnoresPositions", CenterInRect, {7, 9, 16, 16}, {3, 4, 8, 8}, {4, 4, 8, 8}}),
    [](const auto& info) { return std::string(info.param.name); });

struct TFitSizeCase {
    const char* name;
    std::int32_t w, h, m;
    TGPSize expected;
};

class FitSizeTable : public ::testing::TestWithParam<TFitSizeCase> {};

TEST_P(FitSizeTable, FitsTheSquareRoundingHalfToEven) {
    const auto& c = GetParam();
    EXPECT_EQ(FitSize(c.w, c.h, c.m), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    GDIUtils, FitSizeTable,
    ::testing::Values(
        TFitSizeCase{"landscapePhoto", 3000, 2000, 1024, {1024, 683}},
        TFitSizeCase{"halfRoundsToEven", 2048, 1025, 1024, {1024, 512}},
        TFitSizeCase{"exactSquareThroughScaling", 1024, 1024, 1024, {1024, 1024}},
        TFitSizeCase{"smallerStays", 1000, 800, 1024, {1000, 800}},
        TFitSizeCase{"portrait", 2000, 3000, 1024, {683, 1024}},
        TFitSizeCase{"oneSideAtLimitIsScaled", 1024, 10, 1024, {1024, 10}},
        TFitSizeCase{"tallHalfRoundsToEvenUp", 1027, 2048, 1024, {514, 1024}},
        // M * 100 beyond 32 bits must not wrap into a negative size.
        TFitSizeCase{
            "hugeSquareDoesNotOverflow", 2000000000, 1000000000, 1000000000, {1000000000, 500000000}}),
    [](const auto& info) { return std::string(info.param.name); });

struct TClipCase {
    const char* name;
    TGPRect bounds, r, expected;
};

class ClipTable : public ::testing::TestWithParam<TClipCase> {};

TEST_P(ClipTable, ClipsLikeTheCopyHelperExpects) {
    const auto& c = GetParam();
    EXPECT_EQ(ClipToBounds(c.bounds, c.r), c.expected);
}

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    GDIUtils, ClipTable,
    ::testing::Values(TClipCase{"leftAndBottom", {0, 0, 10, 10}, {-3, 2, 8, 20}, {0, 2, 5, 8}},
                      TClipCase{"inside", {0, 0, 10, 10}, {1, 2, 3, 4}, {1, 2, 3, 4}},
                      TClipCase{"boundsPositionIgnored", {5, 5, 10, 10}, {0, 0, 10, 10}, {0, 0, 10, 10}},
                      // The left clip may leave a negative width; only the right clip raises to 0.
                      TClipCase{"negativeWidthStays", {0, 0, 10, 10}, {-8, 0, 3, 3}, {0, 0, -5, 3}},
                      TClipCase{"beyondRightGivesZero", {0, 0, 10, 10}, {12, 0, 3, 3}, {12, 0, 0, 3}},
                      TClipCase{
                          "extremeValuesDoNotWrap", {0, 0, 10, 10}, {kMin, kMin, kMax, kMax}, {0, 0, -1, -1}},
                      TClipCase{"farRightDoesNotWrap", {0, 0, 10, 10}, {kMax, 0, kMax, 1}, {kMax, 0, 0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GDIUtils, ByteSwap32ReversesTheBytes) {
    EXPECT_EQ(ByteSwap32(0x11223344u), 0x44332211u);
    EXPECT_EQ(ByteSwap32(0x000000FFu), 0xFF000000u);
    EXPECT_EQ(ByteSwap32(ByteSwap32(0xDEADBEEFu)), 0xDEADBEEFu);
}

TEST(GDIUtils, RoundHalfEvenTiesGoToTheEvenNeighbour) {
    const long double in[] = {0.5L, 1.5L, 2.5L, -0.5L, -1.5L, 28.8L, 512.4999L, -2.6L};
    const long double out[] = {0, 2, 2, 0, -2, 29, 512, -3};
    for (std::size_t i = 0; i < std::size(in); ++i)
        EXPECT_EQ(RoundHalfEven(in[i]), out[i]) << static_cast<double>(in[i]);
    EXPECT_TRUE(std::isnan(RoundHalfEven(std::numeric_limits<long double>::quiet_NaN())));
}

TEST(GDIUtils, DegenerateSourcesGiveNoUsableSizeButNoTrap) {
    // A zero-sized source (an empty bitmap) must not produce a drawable rectangle.
    const TGPRectF r = ScaleToFit(Size(16, 16), Size(0, 0));
    EXPECT_FALSE(r.Width > 0 && r.Height > 0 && std::isfinite(r.Width) && std::isfinite(r.Height));
    EXPECT_EQ(FitSize(0, 0, 0), (TGPSize{0, 0}));
}

} // namespace
} // namespace gw
