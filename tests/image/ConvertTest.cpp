#include "image/Convert.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace gw {
namespace {

struct TCopyCase {
    const char* name;
    std::int32_t x, y, w, h;
    TGPRect copied; // the region of dest that must equal src; everything else stays 0
};

class CopyBitmapRectTable : public ::testing::TestWithParam<TCopyCase> {};

TEST_P(CopyBitmapRectTable, CopiesExactlyTheClippedRegion) {
    const auto& c = GetParam();
    const TBitmap src = test::MakeGradient(10, 8, true);
    TBitmap dest(10, 8);
    CopyBitmapRect(src, dest, c.x, c.y, c.w, c.h);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 10; ++x) {
            const bool inside = x >= c.copied.X && x < c.copied.X + c.copied.Width && y >= c.copied.Y &&
                                y < c.copied.Y + c.copied.Height;
            ASSERT_EQ(dest.Pixel(x, y), inside ? src.Pixel(x, y) : 0u) << x << "," << y;
        }
}

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

INSTANTIATE_TEST_SUITE_P(Convert, CopyBitmapRectTable,
                         ::testing::Values(TCopyCase{"whole", 0, 0, 10, 8, {0, 0, 10, 8}},
                                           TCopyCase{"inner", 2, 3, 4, 2, {2, 3, 4, 2}},
                                           TCopyCase{"negativeOrigin", -3, -2, 6, 5, {0, 0, 3, 3}},
                                           TCopyCase{"overhangingRightAndBottom", 7, 6, 20, 20, {7, 6, 3, 2}},
                                           TCopyCase{"entirelyLeft", -20, 0, 5, 8, {0, 0, 0, 0}},
                                           TCopyCase{"entirelyBelow", 0, 8, 10, 8, {0, 0, 0, 0}},
                                           TCopyCase{"negativeSize", 2, 2, -4, -4, {0, 0, 0, 0}},
                                           TCopyCase{"extremeValues", kMin, kMin, kMax, kMax, {0, 0, 0, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CopyBitmapRect, SmallerSourceIsNeverOverRead) {
    const TBitmap src = test::MakeGradient(4, 3, false);
    TBitmap dest(10, 8);
    CopyBitmapRect(src, dest, 0, 0, 10, 8);
    EXPECT_EQ(dest.Pixel(3, 2), src.Pixel(3, 2));
    EXPECT_EQ(dest.Pixel(4, 2), 0u);
    EXPECT_EQ(dest.Pixel(0, 3), 0u);
}

TEST(CompareBitmaps, ComparesSizeAndEveryByte) {
    const TBitmap a = test::MakeGradient(5, 4, true);
    TBitmap b = a;
    EXPECT_TRUE(CompareBitmaps(a, b));
    b.SetPixel(4, 3, a.Pixel(4, 3) ^ 0x01000000u); // alpha differs by one
    EXPECT_FALSE(CompareBitmaps(a, b));
    EXPECT_FALSE(CompareBitmaps(a, test::MakeGradient(4, 5, true)));
    EXPECT_FALSE(CompareBitmaps(a, TBitmap(0, 0)));
    EXPECT_TRUE(CompareBitmaps(TBitmap(0, 0), TBitmap(-1, 7)));
}

TEST(CropBitmap, OverhangingRegionIsFilledWithTransparency) {
    // (The own-size and inner crops are covered through TOrbImage::Crop.)
    const TBitmap original = test::MakeGradient(16, 16, true);
    TBitmap overhang = original;
    CropBitmap(overhang, {-2, 12, 6, 6});
    for (std::int32_t y = 0; y < 6; ++y)
        for (std::int32_t x = 0; x < 6; ++x) {
            const bool inside = x >= 2 && y < 4;
            EXPECT_EQ(overhang.Pixel(x, y), inside ? original.Pixel(x - 2, y + 12) : 0u) << x << "," << y;
        }
}

TEST(CropBitmap, RefusedSizesGiveAnEmptyBitmap) {
    for (const TGPRect rect : {TGPRect{0, 0, 0, 8}, TGPRect{0, 0, -4, 8}, TGPRect{0, 0, 100000, 100000},
                               TGPRect{kMin, kMin, 4, 4}}) {
        TBitmap bmp = test::MakeGradient(8, 8, false);
        CropBitmap(bmp, rect);
        if (rect.Width > 0 && rect.Width < 100000)
            EXPECT_EQ(bmp, TBitmap(4, 4)); // far outside: transparent
        else
            EXPECT_FALSE(bmp.IsValid());
    }
}

TEST(GPBitmapToBitmap, StoresPaddedRowsBottomUpWithoutAlpha) {
    TBitmap src(3, 2);
    const TColor pixels[] = {0x80010203u, 0xFF040506u, 0x00070809u, 0xFF0A0B0Cu, 0x110D0E0Fu, 0xFF101112u};
    std::copy(std::begin(pixels), std::end(pixels), src.Pixels().begin());
    TBitmap24 dest;
    dest.Bits.assign(99, 0xEE); // whatever it held before is replaced
    GPBitmapToBitmap(src, dest);
    EXPECT_EQ(dest.Width, 3);
    EXPECT_EQ(dest.Height, 2);
    EXPECT_EQ(dest.Stride, 12);
    const std::vector<std::uint8_t> expected = {
        0x0C, 0x0B, 0x0A, 0x0F, 0x0E, 0x0D, 0x12, 0x11, 0x10, 0, 0, 0, // bottom row first
        0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0, 0, 0,
    };
    EXPECT_EQ(dest.Bits, expected);
}

TEST(GPBitmapToBitmap, EmptySourceGivesEmptyBitmap) {
    TBitmap24 dest;
    GPBitmapToBitmap(TBitmap(0, 0), dest);
    EXPECT_EQ(dest.Width, 0);
    EXPECT_EQ(dest.Height, 0);
    EXPECT_TRUE(dest.Bits.empty());
}

TEST(CopyAlpha, TakesOnlyTheAlphaByte) {
    TBitmap mask(2, 1);
    mask.Row(0)[0] = 0x00FFFFFFu; // transparent
    mask.Row(0)[1] = 0x7F000000u;
    TBitmap dest = test::MakeSolid(2, 1, 0xFF123456u);
    CopyAlpha(mask, dest);
    EXPECT_EQ(dest.Pixel(0, 0), 0x00123456u);
    EXPECT_EQ(dest.Pixel(1, 0), 0x7F123456u);
}

TEST(CopyAlpha, MismatchedSizesTouchOnlyTheOverlap) {
    TBitmap largeMask(4, 4);
    TBitmap dest = test::MakeSolid(2, 3, 0xFFABCDEFu);
    CopyAlpha(largeMask, dest);
    for (const TColor c : dest.Pixels())
        EXPECT_EQ(c, 0x00ABCDEFu);
    TBitmap bigDest = test::MakeSolid(3, 3, 0xFF000000u);
    CopyAlpha(TBitmap(2, 2), bigDest);
    EXPECT_EQ(bigDest.Pixel(1, 1), 0x00000000u);
    EXPECT_EQ(bigDest.Pixel(2, 2), 0xFF000000u);
}

} // namespace
} // namespace gw
