#include "image/Bitmap.h"
#include "image/ByteReader.h"
#include "image/ByteWriter.h"
#include "image/Limits.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace gw {
namespace {

TEST(Bitmap, NewBitmapIsTransparentBlackWithTopDownRows) {
    TBitmap bmp(3, 2);
    ASSERT_TRUE(bmp.IsValid());
    EXPECT_EQ(bmp.Width(), 3);
    EXPECT_EQ(bmp.Height(), 2);
    for (TColor c : bmp.Pixels())
        EXPECT_EQ(c, 0u);
    bmp.SetPixel(2, 1, 0x80FF0000u);
    EXPECT_EQ(bmp.Row(1)[2], 0x80FF0000u);
    EXPECT_EQ(bmp.Pixels()[5], 0x80FF0000u);
    // In memory a pixel is B, G, R, A.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(bmp.Pixels().data() + 5);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[2], 0xFF);
    EXPECT_EQ(bytes[3], 0x80);
}

struct TRefusedSize {
    const char* name;
    std::int32_t width, height;
};

class BitmapRefusedSize : public ::testing::TestWithParam<TRefusedSize> {};

TEST_P(BitmapRefusedSize, GivesAnEmptyBitmapWithoutAllocating) {
    TBitmap bmp(GetParam().width, GetParam().height);
    EXPECT_FALSE(bmp.IsValid());
    EXPECT_EQ(bmp.Width(), 0);
    EXPECT_EQ(bmp.Height(), 0);
    EXPECT_TRUE(bmp.Pixels().empty());
    EXPECT_THROW(bmp.Row(0), std::out_of_range);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BitmapRefusedSize,
    ::testing::Values(TRefusedSize{"zeroWidth", 0, 10}, TRefusedSize{"zeroHeight", 10, 0},
                      TRefusedSize{"negative", -5, 10}, TRefusedSize{"hundredThousandSquare", 100000, 100000},
                      TRefusedSize{"overPixelBudget", 60000, 60000}, TRefusedSize{"sideTooLong", 70000, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Bitmap, OutOfRangePixelAccessThrows) {
    TBitmap bmp(4, 4);
    EXPECT_THROW(bmp.Pixel(4, 0), std::out_of_range);
    EXPECT_THROW(bmp.Pixel(0, -1), std::out_of_range);
    EXPECT_THROW(bmp.SetPixel(-1, 0, 0), std::out_of_range);
}

TEST(ByteReader, ReadsBothByteOrdersAndFailsPastTheEnd) {
    const std::uint8_t data[] = {0x11, 0x22, 0x33, 0x44, 0x55};
    TByteReader r(data);
    std::uint32_t v = 0;
    ASSERT_TRUE(r.ReadU32LE(v));
    EXPECT_EQ(v, 0x44332211u);
    EXPECT_TRUE(r.Seek(1));
    ASSERT_TRUE(r.ReadU32BE(v));
    EXPECT_EQ(v, 0x22334455u);
    std::uint16_t w = 7;
    EXPECT_FALSE(r.ReadU16LE(w));
    EXPECT_EQ(w, 7); // untouched on failure
    EXPECT_FALSE(r.Ok());
    EXPECT_FALSE(TByteReader(data).Seek(6));
    std::span<const std::uint8_t> view;
    TByteReader r2(data);
    EXPECT_FALSE(r2.ReadBytes(6, view));
    EXPECT_EQ(r2.Position(), 0u);
}

TEST(ByteWriter, WritesBothByteOrders) {
    TByteWriter w;
    w.U16LE(0x0102);
    w.U32BE(0x0A0B0C0D);
    w.I32LE(-2);
    const std::vector<std::uint8_t> expected = {0x02, 0x01, 0x0A, 0x0B, 0x0C, 0x0D, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(w.Buffer(), expected);
}

TEST(Limits, PixelBudgetIsTwoHundredFiftySixMebibytes) {
    EXPECT_TRUE(limits::FitsBitmapLimits(8192, 8192));
    EXPECT_FALSE(limits::FitsBitmapLimits(8192, 8193));
    EXPECT_FALSE(limits::FitsBitmapLimits(0, 1));
}

} // namespace
} // namespace gw
