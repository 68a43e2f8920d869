#include "image/Graphics.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace gw {
namespace {

TBitmap Checkerboard(std::int32_t side) {
    TBitmap bmp(side, side);
    for (std::int32_t y = 0; y < side; ++y)
        for (std::int32_t x = 0; x < side; ++x)
            bmp.Row(y)[x] = ((x + y) % 2) ? 0xFFFFFFFFu : 0xFF000000u;
    return bmp;
}

// An opaque red disc on a transparent canvas; the transparent pixels carry green so that any colour
// bleeding from them would show.
TBitmap RedDisc(std::int32_t side) {
    TBitmap bmp(side, side);
    const double centre = side / 2.0;
    const double radius = side * 0.4;
    for (std::int32_t y = 0; y < side; ++y)
        for (std::int32_t x = 0; x < side; ++x) {
            const double dx = x + 0.5 - centre;
            const double dy = y + 0.5 - centre;
            bmp.Row(y)[x] = dx * dx + dy * dy <= radius * radius ? 0xFFFF0000u : 0x0000FF00u;
        }
    return bmp;
}

TEST(DrawBitmap, OnePixelCheckerboardShrinksToUniformGrey) {
    TBitmap target(16, 16);
    DrawBitmap(target, Checkerboard(1024), {0, 0, 16, 16});
    for (const TColor c : target.Pixels()) {
        EXPECT_EQ(AlphaOf(c), 255);
        for (const int channel : {RedOf(c), GreenOf(c), BlueOf(c)})
            EXPECT_NEAR(channel, 127, 3) << std::hex << c;
    }
}

TEST(DrawBitmap, TransparentSurroundLeavesNoDarkFringe) {
    TBitmap target(32, 32);
    DrawBitmap(target, RedDisc(1024), {0, 0, 32, 32});
    int partial = 0;
    for (const TColor c : target.Pixels()) {
        if (AlphaOf(c) == 0)
            continue;
        partial += AlphaOf(c) < 255;
        EXPECT_GE(RedOf(c), 250) << std::hex << c;
        EXPECT_LE(GreenOf(c), 5) << std::hex << c;
        EXPECT_LE(BlueOf(c), 5) << std::hex << c;
    }
    EXPECT_GT(partial, 20); // the edge really is anti-aliased
    EXPECT_EQ(target.Pixel(16, 16), 0xFFFF0000u);
    EXPECT_EQ(AlphaOf(target.Pixel(0, 0)), 0);
}

TEST(DrawBitmap, TransparentNeighbourAddsOnlyCoverage) {
    TBitmap src(2, 1);
    src.Row(0)[0] = 0xFFFF0000u;
    src.Row(0)[1] = 0x0000FF00u; // transparent green
    TBitmap target(1, 1);
    DrawBitmap(target, src, {0, 0, 1, 1});
    // Half the weight is transparent: alpha near 127.5, colour pure red with no green at all.
    EXPECT_NEAR(AlphaOf(target.Pixel(0, 0)), 127.5, 0.5);
    EXPECT_EQ(target.Pixel(0, 0) & 0x00FFFFFFu, 0x00FF0000u);
}

// Opaque uniform pictures keep their colour exactly at every scale and position.
struct TUniformCase {
    const char* name;
    std::int32_t srcW, srcH, targetW, targetH;
    TGPRectF rect;
};

class DrawUniform : public ::testing::TestWithParam<TUniformCase> {};

TEST_P(DrawUniform, OpaqueColourStaysExact) {
    const auto& c = GetParam();
    constexpr TColor kColour = 0xFF3D82C7u;
    TBitmap target(c.targetW, c.targetH);
    DrawBitmap(target, test::MakeSolid(c.srcW, c.srcH, kColour), c.rect);
    const std::int32_t x0 = static_cast<std::int32_t>(std::ceil(c.rect.X));
    const std::int32_t y0 = static_cast<std::int32_t>(std::ceil(c.rect.Y));
    const std::int32_t x1 = static_cast<std::int32_t>(std::floor(c.rect.X + c.rect.Width));
    const std::int32_t y1 = static_cast<std::int32_t>(std::floor(c.rect.Y + c.rect.Height));
    for (std::int32_t y = y0; y < y1; ++y)
        for (std::int32_t x = x0; x < x1; ++x)
            ASSERT_EQ(target.Pixel(x, y), kColour) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Scales, DrawUniform,
    ::testing::Values(TUniformCase{"canvasTo16", 1024, 1024, 16, 16, {0, 0, 16, 16}},
                      TUniformCase{"photoToCanvas", 300, 200, 103, 103, {0, 17.07f, 102.4f, 68.27f}},
                      TUniformCase{"enlarge", 5, 3, 40, 40, {1.3f, 2.7f, 37, 23.5f}},
                      TUniformCase{"fractionalIcon", 1000, 600, 48, 48, {0, 9.6f, 48, 29}},
                      TUniformCase{"halfPixelShift", 15, 15, 16, 16, {0.5f, 0.5f, 15, 15}},
                      TUniformCase{"extremeReduction", 4000, 3, 2, 2, {0, 0, 2, 2}},
                      // So many source rows per target row that they are converted one at a time.
                      TUniformCase{"rowsBeyondTheRing", 1536, 3072, 1, 1, {0, 0, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// Rows that are transparent except for one pixel still count: only wholly transparent rows may be
// left out of the sums, and the test looks at the columns actually read.
TEST(DrawBitmap, OneVisiblePixelInATransparentRowIsKept) {
    for (const std::int32_t column : {0, 5, 7}) {
        TBitmap src(8, 8);
        src.SetPixel(column, 6, 0xFFFFFFFFu);
        TBitmap target(2, 2);
        DrawBitmap(target, src, {0, 0, 2, 2});
        const TColor seen = target.Pixel(column / 4, 1);
        EXPECT_GT(AlphaOf(seen), 0) << column;
        EXPECT_EQ(seen & 0xFFFFFFu, 0xFFFFFFu) << column; // no dark fringe from the transparent rest
        EXPECT_EQ(target.Pixel(column / 4, 0), 0u) << column;
    }
}

TEST(DrawBitmap, PixelCentresSitAtHalfPixels) {
    TBitmap src(2, 1);
    src.Row(0)[0] = 0xFF000000u;
    src.Row(0)[1] = 0xFFFFFFFFu;
    TBitmap target(4, 1);
    DrawBitmap(target, src, {0, 0, 4, 1});
    // Target centres 0.5 .. 3.5 map to source positions 0.25 .. 1.75: the outer pixels take the edge
    // colour, the inner ones a quarter and three quarters of the way.
    const std::uint8_t expected[] = {0, 64, 191, 255};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(target.Pixel(x, 0), MakeColor(255, expected[x], expected[x], expected[x])) << x;
}

TEST(DrawBitmap, PartlyCoveredEdgePixelsGetTheCoveredFraction) {
    TBitmap target = test::MakeSolid(24, 1, 0xFF000000u);
    DrawBitmap(target, test::MakeSolid(10, 1, 0xFFFFFFFFu), {9.6f, 0, 10, 1});
    EXPECT_EQ(target.Pixel(8, 0), 0xFF000000u);
    EXPECT_EQ(target.Pixel(9, 0), 0xFF666666u); // 40 % white over black
    for (int x = 10; x < 19; ++x)
        EXPECT_EQ(target.Pixel(x, 0), 0xFFFFFFFFu) << x;
    EXPECT_EQ(target.Pixel(19, 0), 0xFF999999u); // 60 %
    EXPECT_EQ(target.Pixel(20, 0), 0xFF000000u);

    TBitmap clear(24, 1);
    DrawBitmap(clear, test::MakeSolid(10, 1, 0xFFFFFFFFu), {9.6f, 0, 10, 1});
    EXPECT_EQ(clear.Pixel(9, 0), 0x66FFFFFFu);
    EXPECT_EQ(clear.Pixel(19, 0), 0x99FFFFFFu);
}

TEST(DrawBitmap, PixelsOutsideTheRectangleAreUntouched) {
    const TBitmap before = test::MakeGradient(40, 30, true);
    TBitmap target = before;
    const TGPRectF rect{5.5f, 7.25f, 20.3f, 11};
    DrawBitmap(target, test::MakeGradient(64, 64, false), rect);
    int changed = 0;
    for (std::int32_t y = 0; y < 30; ++y)
        for (std::int32_t x = 0; x < 40; ++x) {
            const bool touched = x >= 5 && x < 26 && y >= 7 && y < 19;
            if (!touched)
                ASSERT_EQ(target.Pixel(x, y), before.Pixel(x, y)) << x << "," << y;
            else
                changed += target.Pixel(x, y) != before.Pixel(x, y);
        }
    EXPECT_GT(changed, 200);
}

TEST(DrawBitmap, SemiTransparentSourceCompositesOverTarget) {
    TBitmap target = test::MakeSolid(4, 4, 0xFF000000u);
    DrawBitmap(target, test::MakeSolid(8, 8, 0x80FFFFFFu), {0, 0, 4, 4});
    for (const TColor c : target.Pixels())
        EXPECT_EQ(c, 0xFF808080u);

    TBitmap halfTarget = test::MakeSolid(1, 1, 0x800000FFu);
    DrawBitmap(halfTarget, test::MakeSolid(1, 1, 0x80FF0000u), {0, 0, 1, 1});
    // alpha 0.5 + 0.5 * 0.5 = 0.75; colour two thirds red, one third blue.
    EXPECT_EQ(halfTarget.Pixel(0, 0), 0xC0AA0055u);
}

TEST(DrawBitmap, ResultIsSymmetricForSymmetricInput) {
    TBitmap src(101, 77);
    for (std::int32_t y = 0; y < 77; ++y)
        for (std::int32_t x = 0; x < 101; ++x) {
            const int m = std::min(x, 100 - x);
            src.Row(y)[x] = MakeColor(static_cast<std::uint8_t>(255 - m), static_cast<std::uint8_t>(m * 5),
                                      40, static_cast<std::uint8_t>(y * 3));
        }
    TBitmap target(37, 20);
    DrawBitmap(target, src, {1.5f, 0.25f, 34, 19.5f});
    // Mirrored pixels use mirrored weights; the integer weights may round one unit apart.
    for (std::int32_t y = 0; y < 20; ++y)
        for (std::int32_t x = 0; x < 37; ++x) {
            const TColor a = target.Pixel(x, y), b = target.Pixel(36 - x, y);
            for (int shift = 0; shift < 32; shift += 8)
                ASSERT_NEAR((a >> shift) & 0xFF, (b >> shift) & 0xFF, 1) << x << "," << y;
        }
}

struct TBadRect {
    const char* name;
    TGPRectF rect;
};

class DrawBadRect : public ::testing::TestWithParam<TBadRect> {};

TEST_P(DrawBadRect, LeavesTheTargetUnchanged) {
    const TBitmap before = test::MakeGradient(8, 8, true);
    TBitmap target = before;
    DrawBitmap(target, test::MakeSolid(4, 4, 0xFFFF0000u), GetParam().rect);
    EXPECT_EQ(target, before);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Rects, DrawBadRect,
    ::testing::Values(TBadRect{"zeroWidth", {0, 0, 0, 8}}, TBadRect{"negativeHeight", {0, 0, 8, -3}},
                      TBadRect{"nanPosition", {kNaN, 0, 8, 8}}, TBadRect{"infiniteSize", {0, 0, kInf, 8}},
                      TBadRect{"farLeft", {-100, 0, 50, 8}}, TBadRect{"farBelow", {0, 8, 8, 8}},
                      TBadRect{"absurdlyLarge", {-3e30f, -3e30f, 6e30f, 6e30f}},
                      TBadRect{"tinySliver", {2, 2, 1e-7f, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawBitmap, EmptyBitmapsAreIgnored) {
    TBitmap empty(0, 0);
    TBitmap target(4, 4);
    DrawBitmap(target, empty, {0, 0, 4, 4});
    DrawBitmap(empty, test::MakeSolid(4, 4, 0xFFFFFFFFu), {0, 0, 4, 4});
    DrawBitmapAt(target, empty, 0, 0);
    RotateFlip(empty, TRotateFlip::Rotate90FlipNone);
    EXPECT_EQ(target, TBitmap(4, 4));
    EXPECT_FALSE(empty.IsValid());
}

TEST(DrawBitmapAt, CopiesPixelsUnchangedOntoTransparentTarget) {
    const TBitmap src = test::MakeGradient(13, 9, true); // includes alpha 0 pixels with colour
    TBitmap target(13, 9);
    DrawBitmapAt(target, src, 0, 0);
    EXPECT_EQ(target, src);

    TBitmap viaRect(13, 9);
    DrawBitmap(viaRect, src, {0, 0, 13, 9});
    EXPECT_EQ(viaRect, src);
}

TEST(DrawBitmapAt, ClipsAtEveryEdge) {
    const TBitmap src = test::MakeGradient(6, 5, false);
    TBitmap target(4, 4);
    DrawBitmapAt(target, src, -2, -1);
    for (std::int32_t y = 0; y < 4; ++y)
        for (std::int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(target.Pixel(x, y), src.Pixel(x + 2, y + 1));

    TBitmap far(4, 4);
    DrawBitmapAt(far, src, std::numeric_limits<std::int32_t>::max(),
                 std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(far, TBitmap(4, 4));
}

TEST(DrawBitmapAt, CompositesOverOpaqueTarget) {
    TBitmap target = test::MakeSolid(2, 1, 0xFF0000FFu);
    TBitmap src(2, 1);
    src.Row(0)[0] = 0x00FF0000u; // transparent: target stays
    src.Row(0)[1] = 0x80FF0000u; // half red over blue
    DrawBitmapAt(target, src, 0, 0);
    EXPECT_EQ(target.Pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(target.Pixel(1, 0), 0xFF80007Fu);
}

// A 3 x 2 picture with distinct pixels:  a b c / d e f.
TBitmap ThreeByTwo() {
    TBitmap bmp(3, 2);
    for (std::int32_t i = 0; i < 6; ++i)
        bmp.Pixels()[i] = 0xFF000000u | static_cast<TColor>('a' + i);
    return bmp;
}

struct TRotateCase {
    const char* name;
    TRotateFlip how;
    const char* order; // the pixels of ThreeByTwo after the turn, row by row
};

class RotateThreeByTwo : public ::testing::TestWithParam<TRotateCase> {};

TEST_P(RotateThreeByTwo, SwapsSidesAndMovesEveryPixel) {
    TBitmap bmp = ThreeByTwo();
    RotateFlip(bmp, GetParam().how);
    ASSERT_EQ(bmp.Width(), 2);
    ASSERT_EQ(bmp.Height(), 3);
    for (std::int32_t i = 0; i < 6; ++i)
        EXPECT_EQ(bmp.Pixels()[i] & 0xFF, static_cast<TColor>(GetParam().order[i])) << i;
}

INSTANTIATE_TEST_SUITE_P(RotateFlip, RotateThreeByTwo,
                         ::testing::Values(
                             // Clockwise: the left column becomes the top row (d a / e b / f c).
                             TRotateCase{"clockwise", TRotateFlip::Rotate90FlipNone, "daebfc"},
                             // Counter-clockwise: the top row becomes the left column (c f / b e / a d).
                             TRotateCase{"counterClockwise", TRotateFlip::Rotate270FlipNone, "cfbead"}),
                         [](const auto& info) { return std::string(info.param.name); });

// FNV-1a over the pixels of a few drawings covering reduction, enlargement, fractional edges and
// compositing. The arithmetic is integer only, so the value is the same on every machine and for the
// vector and the portable code paths; a change here means drawing results changed.
TEST(DrawBitmap, ResultsAreTheSameOnEveryMachine) {
    std::uint64_t hash = 1469598103934665603ull;
    const auto add = [&hash](const TBitmap& bmp) {
        for (const TColor c : bmp.Pixels())
            for (int shift = 0; shift < 32; shift += 8)
                hash = (hash ^ ((c >> shift) & 0xFFu)) * 1099511628211ull;
    };
    const TBitmap photo = test::MakeGradient(301, 203, true);
    TBitmap reduced(40, 40);
    DrawBitmap(reduced, photo, {0.3f, 6.6f, 39.1f, 26.4f});
    add(reduced);
    TBitmap enlarged = test::MakeSolid(50, 37, 0x80204080u);
    DrawBitmap(enlarged, test::MakeGradient(7, 5, true), {-3.5f, 1.25f, 51.7f, 30});
    add(enlarged);
    EXPECT_EQ(hash, 11639314913757766782ull);
}

} // namespace
} // namespace gw
