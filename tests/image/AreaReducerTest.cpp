#include "image/AreaReducer.h"

#include <gtest/gtest.h>

#include <vector>

namespace gw {
namespace {

struct TFactorCase {
    std::int64_t Width, Height;
    std::int32_t TargetSide, Factor;
};

TEST(AreaReductionFactorTest, KeepsTheLongerSideBetweenOnceAndTwiceTheTarget) {
    const std::vector<TFactorCase> cases = {
        {8192, 8192, 1024, 8}, {2047, 10, 1024, 1},   {2048, 1, 1024, 2},
        {3000, 2000, 1024, 2}, {1000, 9000, 1024, 8}, {65535, 1, 16, kMaxAreaFactor},
        {500, 500, 0, 1},
    };
    for (const TFactorCase& c : cases)
        EXPECT_EQ(AreaReductionFactor(c.Width, c.Height, c.TargetSide), c.Factor)
            << c.Width << " x " << c.Height << " for " << c.TargetSide;
}

// Rows 0..height-1 of picture through a reducer, top down or bottom up.
TStatus Reduce(const TBitmap& picture, std::int32_t factor, bool bottomUp, TAreaReducer::TAlphaRule rule,
               TBitmap& out) {
    TAreaReducer reducer;
    GW_TRY(reducer.Start(picture.Width(), picture.Height(), factor, rule));
    for (std::int32_t i = 0; i < picture.Height(); ++i) {
        const std::int32_t y = bottomUp ? picture.Height() - 1 - i : i;
        reducer.AddRow(y, picture.Row(y));
    }
    return reducer.Finish(out);
}

// 5 x 3 reduced by 2: blocks of 2 x 2, 1 x 2 at the right, 2 x 1 and 1 x 1 at the bottom.
TEST(AreaReducerTest, AveragesPremultipliedBlocksWithPartialEdges) {
    TBitmap picture(5, 3);
    const TColor red = 0xFFFF0000, transparentGreen = 0x0000FF00, halfBlue = 0x800000FF;
    picture.SetPixel(0, 0, red); // with three transparent green pixels: only the red counts
    picture.SetPixel(1, 0, transparentGreen);
    picture.SetPixel(0, 1, transparentGreen);
    picture.SetPixel(1, 1, transparentGreen);
    for (std::int32_t y = 0; y < 2; ++y) // 2 x 2 of opaque grey levels 10, 20, 30, 41
        for (std::int32_t x = 2; x < 4; ++x) {
            const auto v = static_cast<std::uint8_t>(10 + 10 * (x - 2) + 20 * y + (x == 3 && y == 1));
            picture.SetPixel(x, y, MakeColor(255, v, v, v));
        }
    picture.SetPixel(4, 0, halfBlue); // beside an opaque white pixel
    picture.SetPixel(4, 1, 0xFFFFFFFF);
    picture.SetPixel(0, 2, 0xFF000000);
    picture.SetPixel(1, 2, 0xFF0000FF);
    picture.SetPixel(4, 2, 0x40123456);
    TBitmap reduced;
    ASSERT_TRUE(Reduce(picture, 2, false, TAreaReducer::TAlphaRule::Straight, reduced));
    ASSERT_EQ(reduced.Width(), 3);
    ASSERT_EQ(reduced.Height(), 2);
    EXPECT_EQ(reduced.Pixel(0, 0), MakeColor(64, 255, 0, 0));   // alpha 255 / 4, colour red only
    EXPECT_EQ(reduced.Pixel(1, 0), MakeColor(255, 25, 25, 25)); // (10 + 20 + 30 + 41) / 4 = 25.25
    // Alpha (128 + 255) / 2; blue (255 * 128 + 255 * 255) / 383, red and green 255 * 255 / 383.
    EXPECT_EQ(reduced.Pixel(2, 0), MakeColor(192, 170, 170, 255));
    EXPECT_EQ(reduced.Pixel(0, 1), MakeColor(255, 0, 0, 128)); // 255 / 2 rounds up
    EXPECT_EQ(reduced.Pixel(1, 1), 0u);                        // nothing but transparent black
    EXPECT_EQ(reduced.Pixel(2, 1), 0x40123456u);               // a single pixel stays as it is

    TBitmap upward;
    ASSERT_TRUE(Reduce(picture, 2, true, TAreaReducer::TAlphaRule::Straight, upward));
    EXPECT_EQ(upward, reduced);
}

TEST(AreaReducerTest, FactorOneHandsOverThePictureItself) {
    TBitmap picture(3, 2);
    picture.SetPixel(1, 1, 0x80402010);
    TBitmap same;
    ASSERT_TRUE(Reduce(picture, 1, true, TAreaReducer::TAlphaRule::Straight, same));
    EXPECT_EQ(same, picture);
}

// The zero-alpha rule decided over the whole picture, also when the first non-zero alpha comes after
// blocks were already reduced as opaque, in either direction.
TEST(AreaReducerTest, ZeroAlphaRuleMatchesTheRuleAppliedToTheWholePicture) {
    TBitmap noAlpha(6, 6);
    for (std::int32_t y = 0; y < 6; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            noAlpha.SetPixel(
                x, y, MakeColor(0, static_cast<std::uint8_t>(40 * x), static_cast<std::uint8_t>(40 * y), 7));
    for (const std::int32_t factor : {1, 2, 4}) {
        for (const bool bottomUp : {false, true}) {
            TBitmap opaque = noAlpha;
            for (TColor& c : opaque.Pixels())
                c |= 0xFF000000;
            TBitmap expected, got;
            ASSERT_TRUE(Reduce(opaque, factor, false, TAreaReducer::TAlphaRule::Straight, expected));
            ASSERT_TRUE(Reduce(noAlpha, factor, bottomUp, TAreaReducer::TAlphaRule::ZeroAlphaIsOpaque, got));
            EXPECT_EQ(got, expected) << "factor " << factor;

            // One pixel with alpha in the last row read: every other pixel is transparent.
            TBitmap late = noAlpha;
            late.SetPixel(5, bottomUp ? 0 : 5, 0xFF808080);
            ASSERT_TRUE(Reduce(late, factor, false, TAreaReducer::TAlphaRule::Straight, expected));
            ASSERT_TRUE(Reduce(late, factor, bottomUp, TAreaReducer::TAlphaRule::ZeroAlphaIsOpaque, got));
            EXPECT_EQ(got, expected) << "factor " << factor << (bottomUp ? " bottom up" : " top down");
        }
    }
}

TEST(AreaReducerTest, MissingRepeatedOrUnorderedRowsAreRefused) {
    const TBitmap picture(4, 4);
    const std::vector<std::vector<std::int32_t>> orders = {
        {0, 1, 2}, {0, 1, 1, 2, 3}, {0, 2, 1, 3}, {3, 2, 0, 1}};
    for (const auto& order : orders) {
        TAreaReducer reducer;
        ASSERT_TRUE(reducer.Start(4, 4, 2));
        for (const std::int32_t y : order)
            reducer.AddRow(y, picture.Row(y));
        TBitmap out;
        EXPECT_EQ(reducer.Finish(out).Kind(), TFailure::Corrupt);
        EXPECT_FALSE(out.IsValid());
    }
}

} // namespace
} // namespace gw
