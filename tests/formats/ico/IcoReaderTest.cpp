#include "IcoTestSupport.h"
#include "codecs/ConvertPng.h"
#include "codecs/PngCodec.h"
#include "formats/ico/IcoIO.h"
#include "support/TestPngWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

using test::BuildDib;
using test::BuildIco;
using test::TRawEntry;

TStatus Load(std::span<const std::uint8_t> file, TOrbIcon& doc) {
    TIcoIO coder(false);
    return coder.LoadFromStream(file, doc);
}

std::vector<std::uint8_t> Zeros(std::size_t n) {
    return std::vector<std::uint8_t>(n, 0);
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, std::size_t drop) {
    bytes.resize(bytes.size() - drop);
    return bytes;
}

// A valid 2 x 2 32-bit DIB with real alpha: 16 bytes of rows, 8 bytes of mask.
std::vector<std::uint8_t> SmallDib32(std::int32_t width = 2, std::int32_t heightField = 4) {
    std::vector<std::uint8_t> payload(16, 0x80);
    payload.resize(24, 0);
    return BuildDib(width, heightField, 32, payload);
}

// ---- Round trips: every pixel the format can carry comes back equal --------------------------------

class IcoRoundTripTest : public ::testing::TestWithParam<std::tuple<std::uint8_t, bool>> {};

TEST_P(IcoRoundTripTest, OddSizedImageComesBackEqual) {
    const auto [bitCount, png] = GetParam();
    const std::int32_t side = png ? 256 : 47;
    const std::int32_t height = png ? 256 : 33;
    TOrbIcon doc;
    doc.InsertNewImage(side, height, bitCount);
    test::PaintStorable(doc.Image()[0]);
    TIcoIO writer(false, true);
    TByteWriter out;
    ASSERT_TRUE(writer.SaveToStream(doc, out));

    TOrbIcon back;
    const TStatus status = Load(out.Buffer(), back);
    ASSERT_TRUE(status.IsOk()) << status.Reason();
    ASSERT_EQ(back.ImageCount(), 1);
    const TOrbImage& image = back.Image()[0];
    EXPECT_EQ(image.DataType(), bitCount);
    EXPECT_EQ(image.Width(), side);
    EXPECT_EQ(image.Height(), height);
    EXPECT_TRUE(image.Bitmap() == doc.Image()[0].Bitmap());
    if (image.HasPalette() && !png) {
        EXPECT_TRUE(image.Palette().IsEqual(doc.Image()[0].Palette()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryBitCount, IcoRoundTripTest,
    ::testing::Values(std::tuple<std::uint8_t, bool>{1, false}, std::tuple<std::uint8_t, bool>{4, false},
                      std::tuple<std::uint8_t, bool>{8, false}, std::tuple<std::uint8_t, bool>{24, false},
                      std::tuple<std::uint8_t, bool>{32, false}, std::tuple<std::uint8_t, bool>{32, true}),
    [](const auto& info) {
        return "Bits" + std::to_string(std::get<0>(info.param)) +
               (std::get<1>(info.param) ? "Png256" : "Dib47x33");
    });

TEST(IcoReaderTest, DefaultDocumentRoundTripsInDocumentOrder) {
    TOrbIcon doc;
    const auto formats = test::DefaultWindowsFormats();
    test::FillDocument(doc, formats);
    for (TOrbImage& image : doc.Image())
        test::PaintStorable(image);
    TIcoIO writer(false, true);
    TByteWriter out;
    ASSERT_TRUE(writer.SaveToStream(doc, out));
    TOrbIcon back;
    ASSERT_TRUE(Load(out.Buffer(), back));
    ASSERT_EQ(back.ImageCount(), 10);
    for (std::int32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(back.Image()[i].DataType(), doc.Image()[i].DataType());
        EXPECT_TRUE(back.Image()[i].Bitmap() == doc.Image()[i].Bitmap()) << i;
    }
    EXPECT_EQ(back.Selected(), &back.Image()[0]);
}

// ---- Worked cases --------------------------------------------------------------------------------

TEST(IcoReaderTest, ThirtyTwoBitWithAlphaNeedsNoMask) {
    TOrbIcon doc;
    ASSERT_TRUE(Load(Cut(BuildIco({{32, SmallDib32()}}), 8), doc));
    EXPECT_EQ(doc.Image()[0].Bitmap().Pixel(0, 0), 0x80808080u);
}

TEST(IcoReaderTest, CursorLoadsLikeAnIcon) {
    TOrbIcon doc;
    ASSERT_TRUE(Load(BuildIco({{5, SmallDib32()}}, 2), doc));
    EXPECT_EQ(doc.ImageCount(), 1);
}

TEST(IcoReaderTest, SixteenBitDibBecomes24BitWithScaledComponents) {
    // 2 x 1: 0x7FFF and 0x4210, rows padded to 4 bytes, then one mask row.
    const std::uint8_t payload[] = {0xFF, 0x7F, 0x10, 0x42, 0, 0, 0, 0};
    TOrbIcon doc;
    ASSERT_TRUE(Load(BuildIco({{0, BuildDib(2, 2, 16, payload)}}), doc));
    const TOrbImage& image = doc.Image()[0];
    EXPECT_EQ(image.DataType(), 24);
    EXPECT_EQ(image.Bitmap().Pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(image.Bitmap().Pixel(1, 0), MakeColor(255, 131, 131, 131));
}

// A 32-bit DIB whose alpha is all 0 takes its mask; with any alpha above 0 the mask is ignored.
TEST(IcoReaderTest, ThirtyTwoBitWithoutAlphaTakesItsMask) {
    for (const bool withAlpha : {false, true}) {
        std::vector<std::uint8_t> rows(2 * 2 * 4, 0x40); // colour 0x404040, alpha 0x40 ...
        for (std::size_t i = 3; i < rows.size(); i += 4)
            rows[i] = 0; // ... then alpha 0 everywhere
        if (withAlpha)
            rows[3] = 9;
        const std::uint8_t mask[] = {0x80, 0, 0, 0, 0x40, 0, 0, 0}; // bottom-left and top-right
        rows.insert(rows.end(), std::begin(mask), std::end(mask));
        TOrbIcon doc;
        TIcoIO coder(false);
        ASSERT_TRUE(coder.LoadFromStream(BuildIco({{32, BuildDib(2, 4, 32, rows)}}), doc));
        const TBitmap& bitmap = doc.Image()[0].Bitmap();
        EXPECT_EQ(coder.ForceMaskFor32bit(), !withAlpha);
        if (withAlpha) {
            EXPECT_EQ(bitmap.Pixel(0, 1), 0x09404040u);
            EXPECT_EQ(bitmap.Pixel(1, 0), 0x00404040u);
        } else {
            EXPECT_EQ(bitmap.Pixel(0, 1), 0u);
            EXPECT_EQ(bitmap.Pixel(1, 0), 0u);
            EXPECT_EQ(bitmap.Pixel(0, 0), 0xFF404040u);
            EXPECT_EQ(bitmap.Pixel(1, 1), 0xFF404040u);
        }
    }
}

// A palette shorter than the bit count allows (biClrUsed) holds only those entries; an index beyond
// them shows opaque black.
TEST(IcoReaderTest, ShortPaletteHoldsOnlyTheColoursUsed) {
    // palette: red; one row "01" -> red, black; mask row 0.
    const std::uint8_t payload[] = {0, 0, 255, 0, 0x40, 0, 0, 0, 0, 0, 0, 0};
    TOrbIcon doc;
    ASSERT_TRUE(Load(BuildIco({{1, BuildDib(2, 2, 1, payload, 40, 1, 0, 1)}}), doc));
    EXPECT_EQ(doc.Image()[0].Bitmap().Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(doc.Image()[0].Bitmap().Pixel(1, 0), 0xFF000000u);
}

// PNG entries of every bit depth and grey kind decode; a palette with partial transparency keeps
// its alpha in an entry the directory calls 32-bit or 0, and takes the threshold in an 8-bit one.
struct TPngEntryCase {
    const char* name;
    int colorType;
    int bitDepth;
    std::uint16_t directoryBits;
    std::uint8_t documentBits;
    TColor firstPixel;
};

class IcoPngEntryTest : public ::testing::TestWithParam<TPngEntryCase> {};

TEST_P(IcoPngEntryTest, DecodesWithTheDepthItHolds) {
    const TPngEntryCase& c = GetParam();
    test::TTestPng png;
    png.Width = 2;
    png.Height = 1;
    png.ColorType = c.colorType;
    png.BitDepth = c.bitDepth;
    const std::size_t samples = c.colorType == 4 ? 2 : 1;
    if (c.colorType == 3) {
        png.Palette = {{10, 20, 30}, {40, 50, 60}};
        png.TrnsAlpha = {100, 255};
        png.Rows = {test::PackSamples({0, 1}, c.bitDepth)};
    } else {
        const unsigned top = (1u << c.bitDepth) - 1;
        std::vector<unsigned> values =
            samples == 2 ? std::vector<unsigned>{top, top, 0, top} : std::vector<unsigned>{top, 0};
        png.Rows = {test::PackSamples(values, c.bitDepth)};
    }
    TOrbIcon doc;
    const TStatus status = Load(BuildIco({{c.directoryBits, test::WriteTestPng(png)}}), doc);
    ASSERT_TRUE(status) << status.Reason();
    EXPECT_EQ(doc.Image()[0].DataType(), c.documentBits);
    EXPECT_EQ(doc.Image()[0].Bitmap().Pixel(0, 0), c.firstPixel);
}

INSTANTIATE_TEST_SUITE_P(Kinds, IcoPngEntryTest,
                         ::testing::Values(TPngEntryCase{"grey1", 0, 1, 0, 1, 0xFFFFFFFFu},
                                           TPngEntryCase{"grey2", 0, 2, 0, 4, 0xFFFFFFFFu},
                                           TPngEntryCase{"grey4", 0, 4, 0, 4, 0xFFFFFFFFu},
                                           TPngEntryCase{"grey16", 0, 16, 0, 8, 0xFFFFFFFFu},
                                           TPngEntryCase{"greyAlpha8", 4, 8, 0, 32, 0xFFFFFFFFu},
                                           TPngEntryCase{"greyAlpha16", 4, 16, 32, 32, 0xFFFFFFFFu},
                                           TPngEntryCase{"palette2", 3, 2, 0, 32, 0x640A141Eu},
                                           TPngEntryCase{"paletteIn32BitEntry", 3, 8, 32, 32, 0x640A141Eu},
                                           TPngEntryCase{"paletteIn8BitEntry", 3, 8, 8, 8, 0x000A141Eu}),
                         [](const auto& info) { return std::string(info.param.name); });

// Some writers put a BITMAPV4HEADER or BITMAPV5HEADER in front of BI_RGB pixels: the palette and the
// rows follow the longer header.
TEST(IcoReaderTest, LongerHeaderVersionsReadLikeTheInfoHeader) {
    // palette: red, blue; one row "01" -> red, blue; mask row 0.
    const std::uint8_t payload[] = {0, 0, 255, 0, 255, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0};
    for (const std::uint32_t size : {108u, 124u}) {
        TOrbIcon doc;
        ASSERT_TRUE(Load(BuildIco({{1, BuildDib(2, 2, 1, payload, size)}}), doc)) << size;
        EXPECT_EQ(doc.Image()[0].DataType(), 1);
        EXPECT_EQ(doc.Image()[0].Bitmap().Pixel(0, 0), 0xFFFF0000u) << size;
        EXPECT_EQ(doc.Image()[0].Bitmap().Pixel(1, 0), 0xFF0000FFu) << size;
    }
}

TEST(IcoReaderTest, DuplicateEntryFailsButTheFileLoads) {
    TOrbIcon doc;
    TIcoIO coder(false);
    ASSERT_TRUE(coder.LoadFromStream(BuildIco({{32, SmallDib32()}, {32, SmallDib32()}}), doc));
    EXPECT_EQ(doc.ImageCount(), 1);
    ASSERT_EQ(coder.EntryStatus().size(), 2u);
    EXPECT_EQ(coder.EntryStatus()[1].Kind(), TFailure::Unsupported);
}

TEST(IcoReaderTest, PngEntryBitCountFollowsDirectoryOrPng) {
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(BitmapToPngData(test::MakeGradient(20, 10, true), png));
    for (const auto& [directory, expected] : {std::pair<int, int>{0, 32}, {8, 8}, {2, 32}}) {
        TOrbIcon doc;
        ASSERT_TRUE(Load(BuildIco({{static_cast<std::uint16_t>(directory), png}}), doc)) << directory;
        EXPECT_EQ(doc.Image()[0].DataType(), expected);
        EXPECT_EQ(doc.Image()[0].Width(), 20);
    }
}

TEST(IcoReaderTest, FirstHundredEntriesOfALargerDirectoryAreRead) {
    std::vector<TRawEntry> entries;
    for (std::int32_t side = 1; side <= 150; ++side) {
        const std::size_t rows = 4u * side * side, mask = ((side + 31) / 32 * 4u) * side;
        entries.push_back({32, BuildDib(side, 2 * side, 32, Zeros(rows + mask))});
    }
    TOrbIcon doc;
    TIcoIO coder(false);
    ASSERT_TRUE(coder.LoadFromStream(BuildIco(entries), doc));
    EXPECT_EQ(doc.ImageCount(), 100);
    EXPECT_EQ(coder.EntryStatus().size(), 100u);
    EXPECT_EQ(doc.Image()[0].Width(), 100);
}

// ---- Hostile files, each named by its defect -----------------------------------------------------

struct THostileCase {
    const char* Name;
    std::vector<std::uint8_t> File;
    TFailure Expected;
};

std::vector<std::uint8_t> PngClaiming(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> png;
    BitmapToPngData(test::MakeGradient(4, 4, true), png);
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    return png;
}

std::vector<std::uint8_t> RealPng(std::int32_t side) {
    std::vector<std::uint8_t> png;
    BitmapToPngData(test::MakeGradient(side, side, true), png);
    return png;
}

std::vector<THostileCase> HostileCases() {
    std::vector<std::uint8_t> headerOnly = BuildIco({{32, SmallDib32()}});
    headerOnly.resize(4);
    std::vector<std::uint8_t> directoryCut = BuildIco({{32, SmallDib32()}});
    directoryCut.resize(6 + 10);
    return {
        {"HeaderCutShort", headerOnly, TFailure::Truncated},
        {"ReservedWordOne", BuildIco({{32, SmallDib32()}}, 1, -1, 1), TFailure::Corrupt},
        {"ResourceTypeThree", BuildIco({{32, SmallDib32()}}, 3), TFailure::Corrupt},
        {"ImageCountZero", BuildIco({}), TFailure::Corrupt},
        {"DirectoryCutShort", directoryCut, TFailure::Truncated},
        {"CountBeyondDirectory", BuildIco({{32, SmallDib32()}}, 1, 65535), TFailure::Truncated},
        {"OffsetBeyondEnd", BuildIco({{32, SmallDib32(), 0x7FFFFFF0}}), TFailure::Truncated},
        {"OffsetAtUint32Max", BuildIco({{32, SmallDib32(), 0xFFFFFFFF}}), TFailure::Truncated},
        {"RowsCutShort", Cut(BuildIco({{32, SmallDib32()}}), 10), TFailure::Truncated},
        {"MaskCutShort", Cut(BuildIco({{24, BuildDib(2, 4, 24, Zeros(16 + 8))}}), 1), TFailure::Truncated},
        {"AlphaFreeMaskCutShort", Cut(BuildIco({{32, BuildDib(2, 4, 32, Zeros(16 + 8))}}), 1),
         TFailure::Truncated},
        {"DataShorterThanHeader", BuildIco({{32, Zeros(20)}}), TFailure::Truncated},
        {"WidthZero", BuildIco({{32, SmallDib32(0, 4)}}), TFailure::Corrupt},
        {"HeightOneRow", BuildIco({{32, SmallDib32(2, 1)}}), TFailure::Corrupt},
        {"HeightNegative", BuildIco({{32, SmallDib32(2, -4)}}), TFailure::Corrupt},
        {"HeightMostNegative", BuildIco({{32, SmallDib32(2, INT32_MIN)}}), TFailure::Corrupt},
        {"WidthNegative", BuildIco({{32, SmallDib32(-2, 4)}}), TFailure::Corrupt},
        {"Width257", BuildIco({{32, SmallDib32(257, 4)}}), TFailure::TooLarge},
        {"WidthInt32Max", BuildIco({{32, SmallDib32(INT32_MAX, 4)}}), TFailure::TooLarge},
        {"Height513", BuildIco({{32, SmallDib32(2, 514)}}), TFailure::TooLarge},
        {"BitCountTwo", BuildIco({{32, BuildDib(2, 4, 2, Zeros(64))}}), TFailure::Unsupported},
        {"BitCount264WrapsTo8", BuildIco({{32, BuildDib(2, 4, 264, Zeros(2000))}}), TFailure::Unsupported},
        {"BitCount65535", BuildIco({{32, BuildDib(256, 512, 65535, Zeros(64))}}), TFailure::Unsupported},
        {"BitFieldsIsNotPng", BuildIco({{32, BuildDib(2, 4, 32, Zeros(64), 40, 1, 3)}}), TFailure::Corrupt},
        {"UnknownHeaderSizeIsNotPng", BuildIco({{32, BuildDib(2, 4, 32, Zeros(200), 64)}}),
         TFailure::Corrupt},
        {"V5BitFieldsIsNotPng", BuildIco({{32, BuildDib(2, 4, 32, Zeros(200), 124, 1, 3)}}),
         TFailure::Corrupt},
        {"V5HeaderCutShort", BuildIco({{32, Cut(BuildDib(2, 4, 32, {}, 124), 30)}}), TFailure::Truncated},
        {"PngClaiming100000Square", BuildIco({{32, PngClaiming(100000, 100000)}}), TFailure::TooLarge},
        {"Png300Square", BuildIco({{32, RealPng(300)}}), TFailure::TooLarge},
        {"PngCutShort", BuildIco({{32, Cut(RealPng(64), 30)}}), TFailure::Truncated},
    };
}

class IcoHostileTest : public ::testing::TestWithParam<THostileCase> {};

TEST_P(IcoHostileTest, FailsCleanlyAndLeavesTheDocumentUnchanged) {
    TOrbIcon doc;
    doc.InsertNewImage(8, 8, 32);
    TIcoIO coder(false);
    const TStatus status = coder.LoadFromStream(GetParam().File, doc);
    EXPECT_FALSE(status.IsOk());
    EXPECT_EQ(status.Kind(), GetParam().Expected) << status.Reason();
    EXPECT_EQ(doc.ImageCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Defects, IcoHostileTest, ::testing::ValuesIn(HostileCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace gw
