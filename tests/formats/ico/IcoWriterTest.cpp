#include "IcoTestSupport.h"
#include "codecs/ConvertPng.h"
#include "formats/ico/IcoIO.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

using test::U16At;
using test::U32At;

std::vector<std::uint8_t> Save(TOrbIcon& doc, bool compressVista) {
    TIcoIO coder(false, compressVista);
    TByteWriter out;
    const TStatus status = coder.SaveToStream(doc, out);
    EXPECT_TRUE(status.IsOk()) << status.Reason();
    return out.Take();
}

struct TDirEntry {
    std::uint8_t Width, Height, Colors;
    std::uint16_t BitCount;
    std::uint32_t Bytes, Offset;
};

TDirEntry Entry(const std::vector<std::uint8_t>& file, std::size_t i) {
    const std::size_t at = 6 + 16 * i;
    return {
        file[at], file[at + 1], file[at + 2], U16At(file, at + 6), U32At(file, at + 8), U32At(file, at + 12)};
}

// The default Windows document with the PNG switch off: the table of the file layout, exactly.
TEST(IcoWriterTest, DefaultWindowsListLayoutWithoutPng) {
    TOrbIcon doc;
    const auto formats = test::DefaultWindowsFormats();
    test::FillDocument(doc, formats);
    const std::vector<std::uint8_t> file = Save(doc, false);

    ASSERT_EQ(U16At(file, 0), 0);
    ASSERT_EQ(U16At(file, 2), 1);
    ASSERT_EQ(U16At(file, 4), 10);
    struct TRow {
        std::int32_t Side;
        std::uint8_t BitCount;
        std::uint32_t Bytes, Offset, ImageSize;
    };
    const TRow table[] = {{32, 4, 744, 166, 640},         {16, 4, 296, 910, 192},
                          {48, 8, 3752, 1206, 2688},      {32, 8, 2216, 4958, 1152},
                          {16, 8, 1384, 7174, 320},       {256, 32, 270376, 8558, 270336},
                          {64, 32, 16936, 278934, 16896}, {48, 32, 9640, 295870, 9600},
                          {32, 32, 4264, 305510, 4224},   {16, 32, 1128, 309774, 1088}};
    for (std::size_t i = 0; i < std::size(table); ++i) {
        SCOPED_TRACE(i + 1);
        const TDirEntry e = Entry(file, i);
        EXPECT_EQ(e.Width, table[i].Side % 256);
        EXPECT_EQ(e.Height, table[i].Side % 256);
        EXPECT_EQ(e.Colors, table[i].BitCount == 4 ? 16 : 0);
        EXPECT_EQ(e.BitCount, table[i].BitCount);
        EXPECT_EQ(e.Bytes, table[i].Bytes);
        EXPECT_EQ(e.Offset, table[i].Offset);
        EXPECT_EQ(U32At(file, e.Offset), 40u);
        EXPECT_EQ(U32At(file, e.Offset + 8), static_cast<std::uint32_t>(2 * table[i].Side));
        EXPECT_EQ(U32At(file, e.Offset + 20), table[i].ImageSize);
    }
    EXPECT_EQ(file.size(), 309774u + 1128u);

    // Afterwards the document is back in document order.
    const std::int32_t order[][2] = {{256, 32}, {64, 32}, {48, 32}, {32, 32}, {16, 32},
                                     {48, 8},   {32, 8},  {16, 8},  {32, 4},  {16, 4}};
    for (std::int32_t i = 0; i < doc.ImageCount(); ++i) {
        EXPECT_EQ(doc.Image()[i].Width(), order[i][0]);
        EXPECT_EQ(doc.Image()[i].DataType(), order[i][1]);
    }
}

// With the PNG switch on only entry 6 changes: a PNG block, the same bytes as encoded once, and the
// later offsets move by the difference.
TEST(IcoWriterTest, DefaultWindowsListLayoutWithPng) {
    TOrbIcon doc;
    const auto formats = test::DefaultWindowsFormats();
    test::FillDocument(doc, formats);
    test::PaintStorable(doc.Image()[doc.GetImage(256, 256, 32)]);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(BitmapToPngData(doc.Image()[doc.GetImage(256, 256, 32)].Bitmap(), png));
    const std::vector<std::uint8_t> file = Save(doc, true);

    const TDirEntry six = Entry(file, 5);
    EXPECT_EQ(six.Width, 0);
    EXPECT_EQ(six.BitCount, 32);
    EXPECT_EQ(six.Offset, 8558u);
    ASSERT_EQ(six.Bytes, png.size());
    EXPECT_EQ(static_cast<std::int32_t>(png.size()), GetPngSize(doc.Image()[0]));
    EXPECT_TRUE(std::equal(png.begin(), png.end(), file.begin() + six.Offset));
    const std::int64_t shift = static_cast<std::int64_t>(png.size()) - 270376;
    const std::uint32_t later[] = {278934, 295870, 305510, 309774};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(Entry(file, 6 + i).Offset, static_cast<std::uint32_t>(later[i] + shift));
    EXPECT_EQ(file.size(), static_cast<std::size_t>(309774 + 1128 + shift));
}

TEST(IcoWriterTest, ImagesAbove256AreLeftOutAndNotCounted) {
    TOrbIcon doc;
    const test::TIconSize sizes[] = {{300, 300, 32}, {16, 16, 32}, {256, 257, 32}};
    test::FillDocument(doc, sizes);
    const std::vector<std::uint8_t> file = Save(doc, true);
    EXPECT_EQ(U16At(file, 4), 1);
    EXPECT_EQ(Entry(file, 0).Offset, 22u);
    EXPECT_EQ(file.size(), 22u + 1128u);
}

// More images than the old 101-slot table held: every entry is written and the blocks chain up.
TEST(IcoWriterTest, MoreThan101ImagesAreAllWritten) {
    TOrbIcon doc;
    for (std::int32_t side = 1; side <= 120; ++side)
        doc.InsertNewImage(side, side, 32);
    const std::vector<std::uint8_t> file = Save(doc, true);
    ASSERT_EQ(U16At(file, 4), 120);
    std::uint32_t expected = 6 + 16 * 120;
    for (std::size_t i = 0; i < 120; ++i) {
        const TDirEntry e = Entry(file, i);
        ASSERT_EQ(e.Offset, expected);
        ASSERT_EQ(e.Width, 120 - i);
        expected += e.Bytes;
    }
    EXPECT_EQ(file.size(), expected);
}

// Small images with their expected bytes inline.
struct TBytesCase {
    const char* Name;
    std::int32_t Width, Height;
    std::uint8_t BitCount;
    std::vector<TColor> Pixels;     // top-down
    std::vector<TColor> Palette;    // replaces the first entries
    std::vector<std::uint8_t> Rows; // colour rows, bottom first
    std::vector<std::uint8_t> Mask; // mask rows, bottom first
};

class IcoWriterBytesTest : public ::testing::TestWithParam<TBytesCase> {};

TEST_P(IcoWriterBytesTest, ColourRowsAndMask) {
    const TBytesCase& c = GetParam();
    TOrbIcon doc;
    doc.InsertNewImage(c.Width, c.Height, c.BitCount);
    TOrbImage& image = doc.Image()[0];
    for (std::size_t i = 0; i < c.Palette.size(); ++i)
        image.Palette().SetPalette(static_cast<std::int32_t>(i), c.Palette[i]);
    for (std::size_t i = 0; i < c.Pixels.size(); ++i)
        image.Bitmap().SetPixel(static_cast<std::int32_t>(i % c.Width),
                                static_cast<std::int32_t>(i / c.Width), c.Pixels[i]);
    const std::vector<std::uint8_t> file = Save(doc, true);
    const std::size_t paletteBytes = image.HasPalette() ? 4u * image.Palette().Count() : 0u;
    const std::size_t rowsAt = 22 + 40 + paletteBytes;
    ASSERT_EQ(file.size(), rowsAt + c.Rows.size() + c.Mask.size());
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + rowsAt, file.begin() + rowsAt + c.Rows.size()),
              c.Rows);
    EXPECT_EQ(std::vector<std::uint8_t>(file.end() - c.Mask.size(), file.end()), c.Mask);
    EXPECT_EQ(U32At(file, 22 + 20), c.Rows.size() + c.Mask.size());
}

constexpr TColor kW = 0xFFFFFFFFu, kB = 0xFF000000u, kClear = 0;

INSTANTIATE_TEST_SUITE_P(
    Layouts, IcoWriterBytesTest,
    ::testing::Values(
        // 1 bit, 3 x 2: white is index 1 in the two-colour palette; bits after the row's end are 0.
        TBytesCase{"OneBit",
                   3,
                   2,
                   1,
                   {kW, kB, kW, kB, kClear, kW},
                   {kB, kW},
                   {0x20, 0, 0, 0, 0xA0, 0, 0, 0},
                   {0x40, 0, 0, 0, 0x00, 0, 0, 0}},
        // 4 bits, 5 wide: three data bytes, the last with a low nibble of 0, and one zero byte.
        TBytesCase{"FourBitOddWidth",
                   5,
                   1,
                   4,
                   {0xFF800000u, kW, kB, 0xFF000080u, kW},
                   {},
                   {0x1F, 0x04, 0xF0, 0x00},
                   {0x00, 0, 0, 0}},
        // 8 bits with opaque black at index 7: a clear pixel is index 7 with mask bit 1.
        TBytesCase{"EightBitClearIsBlackIndex",
                   2,
                   1,
                   8,
                   {kClear, 0xFF102030u},
                   {kW, 0xFF102030u, kW, kW, kW, kW, kW, kB},
                   {7, 1, 0, 0},
                   {0x80, 0, 0, 0}},
        // 24 bits: alpha 128 keeps colour and mask 0; a clear pixel is written as 0, 0, 0.
        TBytesCase{"TwentyFourBit",
                   2,
                   1,
                   24,
                   {0x80112233u, 0x00445566u},
                   {},
                   {0x33, 0x22, 0x11, 0, 0, 0, 0, 0},
                   {0x40, 0, 0, 0}},
        // 32 bits: a clear pixel keeps its colour bytes, mask bit 1.
        TBytesCase{"ThirtyTwoBit",
                   1,
                   2,
                   32,
                   {0x00ABCDEFu, 0x7F010203u},
                   {},
                   {0x03, 0x02, 0x01, 0x7F, 0xEF, 0xCD, 0xAB, 0x00},
                   {0x00, 0, 0, 0, 0x80, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(IcoWriterTest, MaskRowsOf16And48PixelsArePadded) {
    for (const auto& [side, dataBytes] : {std::pair{16, 2u}, std::pair{48, 6u}}) {
        TOrbIcon doc;
        doc.InsertNewImage(side, 1, 32);
        doc.Image()[0].Bitmap().Fill(0);
        const std::vector<std::uint8_t> file = Save(doc, true);
        std::vector<std::uint8_t> expected(dataBytes, 0xFF);
        expected.resize(dataBytes + 2, 0);
        EXPECT_EQ(std::vector<std::uint8_t>(file.end() - expected.size(), file.end()), expected) << side;
    }
}

TEST(IcoWriterTest, EightBitWithoutOpaqueBlackUsesIndexZeroForClear) {
    TOrbIcon doc;
    doc.InsertNewImage(1, 1, 8);
    TOrbImage& image = doc.Image()[0];
    for (std::int32_t i = 0; i < 256; ++i)
        image.Palette().SetPalette(i, 0xFF0000FFu + static_cast<TColor>(i << 8));
    image.Bitmap().Fill(0);
    const std::vector<std::uint8_t> file = Save(doc, true);
    EXPECT_EQ(file[22 + 40 + 1024], 0);
}

TEST(IcoWriterTest, UnsupportedBitCountFailsWithoutOutput) {
    TOrbIcon doc;
    doc.InsertNewImage(16, 16, 16);
    TIcoIO coder(false, true);
    TByteWriter out;
    const TStatus status = coder.SaveToStream(doc, out);
    EXPECT_EQ(status.Kind(), TFailure::Unsupported);
    EXPECT_EQ(out.Size(), 0u);
}

} // namespace
} // namespace gw
