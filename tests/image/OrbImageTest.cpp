#include "image/OrbImage.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

TOrbPalette WindowsDefault(std::uint8_t bitCount) {
    TOrbPalette pal;
    pal.Resize(bitCount);
    if (bitCount == 1)
        pal.FillWin2();
    else if (bitCount == 4)
        pal.FillWin16();
    else if (bitCount == 8)
        pal.FillWin256();
    return pal;
}

struct TCreateCase {
    std::uint8_t bitCount;
    std::int32_t paletteCount;
    bool hasPalette;
};

class OrbImageCreate : public ::testing::TestWithParam<TCreateCase> {};

TEST_P(OrbImageCreate, GivesTransparentImageWithDefaultPalette) {
    const auto& c = GetParam();
    const TOrbImage image(16, 16, c.bitCount);
    EXPECT_EQ(image.Width(), 16);
    EXPECT_EQ(image.Height(), 16);
    EXPECT_EQ(image.Bitmap(), TBitmap(16, 16));
    EXPECT_EQ(image.DataType(), c.bitCount);
    EXPECT_EQ(image.HasPalette(), c.hasPalette);
    EXPECT_EQ(image.Palette().Count(), c.paletteCount);
    EXPECT_TRUE(image.Palette().IsEqual(WindowsDefault(c.bitCount)));
    EXPECT_EQ(image.Zoom(), 100);
}

INSTANTIATE_TEST_SUITE_P(Depths, OrbImageCreate,
                         ::testing::Values(TCreateCase{1, 2, true}, TCreateCase{4, 16, true},
                                           TCreateCase{8, 256, true}, TCreateCase{24, 0, false},
                                           TCreateCase{32, 0, false}, TCreateCase{7, 0, false}),
                         [](const auto& info) { return "bits" + std::to_string(info.param.bitCount); });

struct TBadSize {
    const char* name;
    std::int32_t width, height;
};

class OrbImageBadSize : public ::testing::TestWithParam<TBadSize> {};

TEST_P(OrbImageBadSize, GivesAnEmptyBitmapOnWhichEveryOperationDoesNothing) {
    TOrbImage image(GetParam().width, GetParam().height, 32);
    EXPECT_FALSE(image.Bitmap().IsValid());
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    image.RotateLeft();
    image.RotateRight();
    image.Crop({0, 0, 0, 0});
    EXPECT_FALSE(image.Bitmap().IsValid());
    TOrbImage other(GetParam().width, GetParam().height, 32);
    EXPECT_TRUE(image.IsEqual(other));
    image.Copy(other);
    EXPECT_FALSE(image.Bitmap().IsValid());
    // Growing an empty image gives a transparent one: there is nothing to draw.
    image.Resize(4, 4, true);
    EXPECT_EQ(image.Bitmap(), TBitmap(4, 4));
    // And resizing a real image to the refused size empties it.
    image.Resize(GetParam().width, GetParam().height, true);
    EXPECT_FALSE(image.Bitmap().IsValid());
}

INSTANTIATE_TEST_SUITE_P(Sizes, OrbImageBadSize,
                         ::testing::Values(TBadSize{"zeroWidth", 0, 16}, TBadSize{"zeroHeight", 16, 0},
                                           TBadSize{"negative", -16, 16}, TBadSize{"absurd", 100000, 100000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OrbImage, SetDataTypeResizesThePaletteKeepingEntries) {
    TOrbImage image(4, 4, 8);
    const TOrbPalette win256 = WindowsDefault(8);
    image.SetDataType(4);
    ASSERT_EQ(image.Palette().Count(), 16);
    for (std::int32_t i = 0; i < 16; ++i)
        EXPECT_EQ(image.Palette().GetPalette(i), win256.GetPalette(i));

    TOrbImage four(4, 4, 4);
    const TOrbPalette win16 = WindowsDefault(4);
    four.SetDataType(8);
    ASSERT_EQ(four.Palette().Count(), 256);
    for (std::int32_t i = 0; i < 256; ++i)
        EXPECT_EQ(four.Palette().GetPalette(i), i < 16 ? win16.GetPalette(i) : 0u) << i;

    four.SetDataType(99); // not a depth: the palette keeps its size
    EXPECT_EQ(four.DataType(), 99);
    EXPECT_EQ(four.Palette().Count(), 256);
    four.SetDataType(24);
    EXPECT_EQ(four.Palette().Count(), 0);
}

TEST(OrbImage, CopyTakesPixelsTagPaletteAndZoomButNotScrollPosition) {
    TOrbImageIcon from(9, 7, 4);
    from.SetBitmap(test::MakeGradient(9, 7, true));
    from.Palette().SetPalette(3, 0xFF010203u);
    from.SetZoom(250);
    from.SetScrollPos({5, 6});

    TOrbImageIcon to(2, 2, 32);
    to.SetScrollPos({1, 2});
    to.Copy(from);
    EXPECT_EQ(to.Bitmap(), from.Bitmap());
    EXPECT_EQ(to.DataType(), 4);
    EXPECT_TRUE(to.Palette().IsEqual(from.Palette()));
    EXPECT_EQ(to.Zoom(), 250);
    EXPECT_EQ(to.ScrollPos().X, 1);
    EXPECT_EQ(to.ScrollPos().Y, 2);
    EXPECT_TRUE(to.IsEqual(from));
}

TEST(OrbImage, CopyOntoItselfKeepsThePixels) {
    TOrbImage image(6, 5, 32);
    image.SetBitmap(test::MakeGradient(6, 5, true));
    const TBitmap before = image.Bitmap();
    image.Copy(image);
    EXPECT_EQ(image.Bitmap(), before);
}

TEST(OrbImage, IsEqualComparesPaletteAndPixelsOnly) {
    TOrbImage a(8, 8, 8);
    TOrbImage b(8, 8, 8);
    b.SetZoom(300);
    EXPECT_TRUE(a.IsEqual(b));
    b.Bitmap().SetPixel(7, 7, 0x01000000u);
    EXPECT_FALSE(a.IsEqual(b));
    b.Bitmap().SetPixel(7, 7, 0);
    b.Palette().SetPalette(255, 0xFF000001u);
    EXPECT_FALSE(a.IsEqual(b));

    TOrbImage tagged24(8, 8, 24);
    TOrbImage tagged32(8, 8, 32);
    EXPECT_TRUE(tagged24.IsEqual(tagged32)); // both palettes empty
    EXPECT_FALSE(tagged32.IsEqual(a));
}

TEST(OrbImage, ResizeScalingAWideImageLeavesTransparentBands) {
    TOrbImage image(32, 16, 32);
    image.SetBitmap(test::MakeSolid(32, 16, 0xFF204060u));
    image.Resize(16, 16, true);
    ASSERT_EQ(image.Width(), 16);
    ASSERT_EQ(image.Height(), 16);
    for (std::int32_t y = 0; y < 16; ++y)
        for (std::int32_t x = 0; x < 16; ++x)
            ASSERT_EQ(image.Bitmap().Pixel(x, y), (y >= 4 && y < 12) ? 0xFF204060u : 0u) << x << "," << y;
}

TEST(OrbImage, ResizeWithoutScalingCentresAcrossHalfPixels) {
    TOrbImage image(15, 15, 32);
    image.SetBitmap(test::MakeSolid(15, 15, 0xFFFFFFFFu));
    image.Resize(16, 16, false);
    const TBitmap& bmp = image.Bitmap();
    // Drawn at (0.5, 0.5): corners a quarter covered, edges half, the inside whole.
    EXPECT_EQ(bmp.Pixel(0, 0), 0x40FFFFFFu);
    EXPECT_EQ(bmp.Pixel(15, 15), 0x40FFFFFFu);
    EXPECT_EQ(bmp.Pixel(7, 0), 0x80FFFFFFu);
    EXPECT_EQ(bmp.Pixel(15, 7), 0x80FFFFFFu);
    EXPECT_EQ(bmp.Pixel(7, 7), 0xFFFFFFFFu);
}

TEST(OrbImage, ResizeWithoutScalingCutsOffRightAndBottom) {
    TOrbImage image(20, 10, 32);
    image.SetBitmap(test::MakeGradient(20, 10, false));
    const TBitmap original = image.Bitmap();
    image.Resize(16, 16, false); // placed at (0, 3) at its own size
    for (std::int32_t y = 0; y < 16; ++y)
        for (std::int32_t x = 0; x < 16; ++x)
            ASSERT_EQ(image.Bitmap().Pixel(x, y), (y >= 3 && y < 13) ? original.Pixel(x, y - 3) : 0u);
}

TEST(OrbImage, ResizeToTheCurrentSizeDoesNothing) {
    TOrbImage image(12, 9, 8);
    image.SetBitmap(test::MakeGradient(12, 9, true));
    const TBitmap before = image.Bitmap();
    image.Resize(12, 9, true);
    EXPECT_EQ(image.Bitmap(), before);
    EXPECT_EQ(image.DataType(), 8);
}

TEST(OrbImage, CropKeepsTheCentreOrNothingForTheOwnSize) {
    TOrbImage image(16, 16, 32);
    image.SetBitmap(test::MakeGradient(16, 16, true));
    const TBitmap original = image.Bitmap();
    image.Crop({3, 3, 16, 16});
    EXPECT_EQ(image.Bitmap(), original);
    image.Crop({4, 4, 8, 8});
    ASSERT_EQ(image.Width(), 8);
    ASSERT_EQ(image.Height(), 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x)
            ASSERT_EQ(image.Bitmap().Pixel(x, y), original.Pixel(x + 4, y + 4));
}

TEST(OrbImage, RotationsSwapTheSidesAndMoveTheCorner) {
    TOrbImage image(32, 16, 4);
    image.SetBitmap(test::MakeGradient(32, 16, true));
    const TBitmap original = image.Bitmap();
    image.RotateRight();
    ASSERT_EQ(image.Width(), 16);
    ASSERT_EQ(image.Height(), 32);
    EXPECT_EQ(image.Bitmap().Pixel(15, 0), original.Pixel(0, 0));
    EXPECT_EQ(image.Bitmap().Pixel(0, 31), original.Pixel(31, 15));
    image.RotateLeft();
    EXPECT_EQ(image.Bitmap(), original);
    for (int turn = 0; turn < 4; ++turn)
        image.RotateRight();
    EXPECT_EQ(image.Bitmap(), original);
    image.RotateLeft();
    EXPECT_EQ(image.Bitmap().Pixel(0, 31), original.Pixel(0, 0));
    EXPECT_EQ(image.DataType(), 4);
    EXPECT_EQ(image.Palette().Count(), 16);
}

TEST(OrbImage, NewInstanceKeepsTheClass) {
    const TOrbImageIcon icon(1, 1, 32);
    const auto made = static_cast<const TOrbImage&>(icon).NewInstance(4, 2, 8);
    EXPECT_NE(dynamic_cast<TOrbImageIcon*>(made.get()), nullptr);
    EXPECT_EQ(made->Width(), 4);
    EXPECT_EQ(made->Palette().Count(), 256);
    const TOrbImage plain(1, 1, 32);
    EXPECT_EQ(dynamic_cast<TOrbImageIcon*>(plain.NewInstance(1, 1, 32).get()), nullptr);
}

} // namespace
} // namespace gw
