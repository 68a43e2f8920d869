// The element types later than the classic table: every encoding each may hold, hostile variants of
// them, and which of two images of one shape the document keeps.

#include "formats/icns/MacIcoIO.h"

#include "IcnsTestSupport.h"
#include "codecs/ConvertPng.h"
#include "codecs/Jpeg2000Codec.h"
#include "formats/icns/IcnsRle.h"
#include "image/Limits.h"
#include "support/PictureMakers.h"
#include "support/TestPngWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

using test::BuildIcns;
using test::Filled;
using test::Masked;
using test::Shapes;
using test::TIcnsElement;
using TBytes = std::vector<std::uint8_t>;
using TTypes = std::vector<std::string>;

TBytes Png(const TBitmap& bitmap) {
    TBytes png;
    EXPECT_TRUE(BitmapToPngData(bitmap, png));
    return png;
}

TBytes Jp2(const TBitmap& bitmap) {
    TBytes jp2;
    EXPECT_TRUE(EncodeJpeg2000(bitmap, 1, jp2));
    return jp2;
}

// "ARGB" and the four planes, each run-length coded.
TBytes Argb(const TBitmap& bitmap) {
    TBytes out = {'A', 'R', 'G', 'B'};
    const auto pixels = bitmap.Pixels();
    for (const auto channel : {AlphaOf, RedOf, GreenOf, BlueOf}) {
        TBytes plane;
        for (const TColor pixel : pixels)
            plane.push_back(channel(pixel));
        icns::EncodeRleChannel(plane, out);
    }
    return out;
}

// Uncompressed alpha, red, green, blue per pixel.
TBytes RawArgb(const TBitmap& bitmap) {
    TBytes out;
    for (const TColor pixel : bitmap.Pixels())
        out.insert(out.end(), {AlphaOf(pixel), RedOf(pixel), GreenOf(pixel), BlueOf(pixel)});
    return out;
}

TBytes AlphaPlane(const TBitmap& bitmap) {
    TBytes out;
    for (const TColor pixel : bitmap.Pixels())
        out.push_back(AlphaOf(pixel));
    return out;
}

struct TLoaded {
    TOrbIcon Doc;
    std::vector<TImageStorage> Report;
    TStatus Status;
};

std::unique_ptr<TLoaded> Load(const std::vector<TIcnsElement>& elements) {
    auto loaded = std::make_unique<TLoaded>();
    loaded->Status = test::LoadIcns(BuildIcns(elements), loaded->Doc, &loaded->Report);
    EXPECT_TRUE(loaded->Status) << loaded->Status.Reason();
    return loaded;
}

const TImageStorage* SetAsideRecord(const TLoaded& loaded, std::size_t n = 0) {
    for (const TImageStorage& record : loaded.Report) {
        if (record.Image == nullptr && n-- == 0)
            return &record;
    }
    return nullptr;
}

// --- Every type in every encoding it may hold ---------------------------------------------------

enum class TKind { Png, Jp2, Argb };

struct TTypeCase {
    const char* Type;
    std::int32_t Side;
    TKind Kind;
};

std::string KindName(TKind kind) {
    switch (kind) {
    case TKind::Png:
        return "Png";
    case TKind::Jp2:
        return "Jp2";
    default:
        return "Argb";
    }
}

class ModernTypeTest : public ::testing::TestWithParam<TTypeCase> {};

TEST_P(ModernTypeTest, DecodesToOneImageOfItsSize) {
    const TTypeCase& c = GetParam();
    const TBitmap source = test::MakeGradient(c.Side, c.Side, true);
    const TBytes data = c.Kind == TKind::Png   ? Png(source)
                        : c.Kind == TKind::Jp2 ? Jp2(source)
                                               : Argb(source);
    // Between bookkeeping and a classic image, which stay as they are.
    const auto loaded =
        Load({{"TOC ", Filled(16, 0)}, {c.Type, data}, {"icnV", Filled(4, 0)}, {"ics8", Filled(256, 3)}});
    const std::string shape = std::to_string(c.Side) + "x" + std::to_string(c.Side) + "-32";
    ASSERT_EQ(Shapes(loaded->Doc), (TTypes{shape, "16x16-8"}));
    EXPECT_EQ(loaded->Doc.Image()[0].Bitmap(), source); // lossless, colour under transparency included
    EXPECT_EQ(loaded->Report.size(), 2u);
    EXPECT_EQ(loaded->Report[0].Storage, c.Type);
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, ModernTypeTest,
    ::testing::Values(TTypeCase{"ic04", 16, TKind::Argb}, TTypeCase{"ic05", 32, TKind::Argb},
                      TTypeCase{"ic04", 16, TKind::Png}, TTypeCase{"ic05", 32, TKind::Jp2},
                      TTypeCase{"icp4", 16, TKind::Png}, TTypeCase{"icp5", 32, TKind::Png},
                      TTypeCase{"icp6", 64, TKind::Jp2}, TTypeCase{"ic07", 128, TKind::Png},
                      TTypeCase{"ic11", 32, TKind::Png}, TTypeCase{"ic12", 64, TKind::Png},
                      TTypeCase{"ic13", 256, TKind::Jp2}, TTypeCase{"ic14", 512, TKind::Png},
                      TTypeCase{"icsb", 18, TKind::Png}, TTypeCase{"icsB", 36, TKind::Png},
                      TTypeCase{"sb24", 24, TKind::Jp2}, TTypeCase{"SB24", 48, TKind::Png}),
    [](const auto& info) { return std::string(info.param.Type) + KindName(info.param.Kind); });

// Every element holding PNG data is a 32-bit image: a palette PNG keeps the partial alpha of its tRNS
// chunk, as libpng gives it, rather than the two levels of a palette icon image.
TEST(ModernReaderTest, PalettePngKeepsItsPartialAlpha) {
    test::TTestPng png;
    png.Width = png.Height = 16;
    png.ColorType = 3;
    png.Palette = {{10, 20, 30}, {200, 100, 50}, {1, 2, 3}, {9, 9, 9}};
    png.TrnsAlpha = {0, 76, 200}; // the fourth entry is opaque
    for (unsigned y = 0; y < 16; ++y) {
        std::vector<std::uint8_t> row;
        for (unsigned x = 0; x < 16; ++x)
            row.push_back(static_cast<std::uint8_t>((x + y) % 4));
        png.Rows.push_back(row);
    }
    const auto loaded = Load({{"icp4", test::WriteTestPng(png)}});
    ASSERT_EQ(loaded->Doc.ImageCount(), 1);
    const TBitmap& bitmap = loaded->Doc.Image()[0].Bitmap();
    EXPECT_EQ(AlphaOf(bitmap.Pixel(0, 0)), 0);
    EXPECT_EQ(bitmap.Pixel(1, 0), MakeColor(76, 200, 100, 50));
    EXPECT_EQ(bitmap.Pixel(2, 0), MakeColor(200, 1, 2, 3));
    EXPECT_EQ(bitmap.Pixel(3, 0), MakeColor(255, 9, 9, 9));
}

TEST(ModernReaderTest, OlderRunLengthFormTakesTheMaskOfItsSize) {
    const TBitmap source = test::MakeGradient(16, 16, true);
    const auto loaded = Load({{"icp4", icns::Rle24Encode(source, false)}, {"s8mk", AlphaPlane(source)}});
    ASSERT_EQ(Shapes(loaded->Doc), TTypes{"16x16-32"});
    EXPECT_EQ(Masked(loaded->Doc.Image()[0].Bitmap()), Masked(source));
    EXPECT_EQ(loaded->Report[0].Storage, "icp4+s8mk");
}

TEST(ModernReaderTest, UncompressedArgbInARunLengthTypeIsDecodedAsSuch) {
    const TBitmap source = test::MakeGradient(16, 16, true);
    auto loaded = Load({{"is32", RawArgb(source)}});
    ASSERT_EQ(loaded->Doc.ImageCount(), 1);
    EXPECT_EQ(loaded->Doc.Image()[0].Bitmap(), source);
    // A mask element still gives the alpha.
    const TBitmap opaque = test::MakeSolid(16, 16, 0xFF102030);
    loaded = Load({{"is32", RawArgb(opaque)}, {"s8mk", AlphaPlane(source)}});
    EXPECT_EQ(AlphaOf(loaded->Doc.Image()[0].Bitmap().Pixel(3, 2)), AlphaOf(source.Pixel(3, 2)));
    EXPECT_EQ(loaded->Report[0].Storage, "is32+s8mk");
    loaded = Load({{"it32", Filled(128 * 128 * 4, 0x80)}});
    ASSERT_EQ(loaded->Doc.ImageCount(), 1);
    EXPECT_EQ(loaded->Doc.Image()[0].Bitmap(), test::MakeSolid(128, 128, 0x80808080));
}

// --- Hostile and damaged elements ---------------------------------------------------------------

struct TDamagedCase {
    const char* Name;
    TIcnsElement Element;
    const char* Reason; // a part of the reason the record gives
};

class DamagedModernElementTest : public ::testing::TestWithParam<TDamagedCase> {};

TBytes CutArgb(std::size_t keep) {
    TBytes data = Argb(test::MakeGradient(32, 32, true));
    data.resize(keep);
    return data;
}

TBytes HalfPng(std::int32_t side) {
    TBytes png = Png(test::MakeGradient(side, side, true));
    png.resize(png.size() / 2);
    return png;
}

TEST_P(DamagedModernElementTest, IsSetAsideAndTheRestLoads) {
    const auto loaded = Load({GetParam().Element, {"ics8", Filled(256, 3)}});
    EXPECT_EQ(Shapes(loaded->Doc), TTypes{"16x16-8"});
    const TImageStorage* record = SetAsideRecord(*loaded);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Storage, GetParam().Element.Type);
    EXPECT_NE(record->SetAside.find(GetParam().Reason), std::string::npos) << record->SetAside;
    EXPECT_TRUE(record->Pixels.Pixels().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedModernElementTest,
    ::testing::Values(
        TDamagedCase{"ArgbHeaderOnly", {"ic05", CutArgb(4)}, "run-length"},
        TDamagedCase{"ArgbCutInTheAlphaPlane", {"ic05", CutArgb(20)}, "run-length"},
        TDamagedCase{"ArgbCutInTheBluePlane",
                     {"ic05", CutArgb(Argb(test::MakeGradient(32, 32, true)).size() - 1)},
                     "run-length"},
        TDamagedCase{"PngOfTheWrongSize",
                     {"ic11", Png(test::MakeGradient(16, 16, true))},
                     "PNG picture of 16 x 16 in an element of 32 x 32"},
        TDamagedCase{"PngOfAHugeSize", {"ic14", test::MakePngHeaderOnly(100000, 100000)}, "100000 x 100000"},
        TDamagedCase{"PngOfOddSize", {"ic07", Png(test::MakeGradient(127, 129, true))}, "127 x 129"},
        TDamagedCase{"Jpeg2000OfTheWrongSize",
                     {"icp6", Jp2(test::MakeGradient(63, 64, true))},
                     "JPEG 2000 picture of 63 x 64"},
        TDamagedCase{"PngCutShort", {"ic12", HalfPng(64)}, "does not decode"},
        TDamagedCase{"RunLengthTooShort", {"ic07", Filled(100, 0xAB)}, "run-length"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ModernReaderTest, NestedVariantFamiliesAreSkippedWholeAndTheRestKept) {
    // A variant family holds a whole icon file of its own; none of its images enter the document.
    const TBytes inner =
        BuildIcns({{"ic11", Png(test::MakeGradient(32, 32, true))}, {"icl8", Filled(1024, 1)}});
    std::vector<TIcnsElement> elements;
    for (const char* family : {"sbtp", "slct", "tile", "over", "open", "drop", "odrp"})
        elements.push_back({family, inner});
    elements.push_back({"ics8", Filled(256, 3)});
    elements.push_back({"name", {'x'}});
    elements.push_back({"info", Filled(40, 0)});
    const auto loaded = Load(elements);
    EXPECT_EQ(Shapes(loaded->Doc), TTypes{"16x16-8"});
    EXPECT_EQ(loaded->Report.size(), 1u);
}

// --- Two images of one shape --------------------------------------------------------------------

TEST(ModernReaderTest, AWholePictureWinsOverRunLengthWithAMaskInEitherOrder) {
    const TBitmap picture = test::MakeGradient(32, 32, true);
    const TBitmap legacy = test::MakeSolid(32, 32, 0xFF00FF00);
    const TIcnsElement ic11{"ic11", Png(picture)};
    const std::vector<TIcnsElement> rle = {{"il32", icns::Rle24Encode(legacy, false)},
                                           {"l8mk", Filled(1024, 0xFF)}};
    for (const bool pictureFirst : {true, false}) {
        SCOPED_TRACE(pictureFirst);
        std::vector<TIcnsElement> elements = rle;
        elements.insert(pictureFirst ? elements.begin() : elements.end(), ic11);
        const auto loaded = Load(elements);
        ASSERT_EQ(Shapes(loaded->Doc), TTypes{"32x32-32"});
        EXPECT_EQ(loaded->Doc.Image()[0].Bitmap(), picture);
        ASSERT_EQ(loaded->Report.size(), 2u);
        EXPECT_EQ(loaded->Report[0].Storage, "ic11");
        const TImageStorage* record = SetAsideRecord(*loaded);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->Storage, "il32+l8mk");
        EXPECT_EQ(record->SetAside, "ic11 kept");
        EXPECT_EQ(record->Width, 32);
        EXPECT_EQ(record->BitCount, 32);
        EXPECT_EQ(record->Pixels, legacy);
    }
}

TEST(ModernReaderTest, ABrokenBetterImageLeavesTheOtherKept) {
    TBytes png = Png(test::MakeGradient(32, 32, true));
    png.resize(60);
    const TBitmap legacy = test::MakeSolid(32, 32, 0xFF00FF00);
    const auto loaded = Load({{"ic11", png}, {"il32", icns::Rle24Encode(legacy, false)}});
    ASSERT_EQ(loaded->Doc.ImageCount(), 1);
    EXPECT_EQ(loaded->Doc.Image()[0].Bitmap(), legacy);
    EXPECT_EQ(loaded->Report[0].Storage, "il32");
    EXPECT_NE(SetAsideRecord(*loaded)->SetAside.find("PNG data does not decode"), std::string::npos);
}

TEST(ModernReaderTest, UndecodableJpeg2000BesideAKeptImageIsOnlyReported) {
    TBytes jp2 = Jp2(test::MakeGradient(256, 256, true));
    jp2.resize(400);
    auto loaded = std::make_unique<TLoaded>();
    const TBytes file = BuildIcns({{"ic08", Png(test::MakeGradient(256, 256, true))}, {"ic13", jp2}});
    ASSERT_TRUE(test::LoadIcns(file, loaded->Doc, &loaded->Report));
    EXPECT_EQ(Shapes(loaded->Doc), TTypes{"256x256-32"});
    EXPECT_EQ(SetAsideRecord(*loaded)->SetAside.rfind("ic08 kept; its own data does not decode", 0), 0u);
    // Alone it is the image the document would keep, and fails the load.
    TOrbIcon alone;
    EXPECT_EQ(test::LoadIcns(BuildIcns({{"ic13", jp2}}), alone).Kind(), TFailure::Corrupt);
}

TEST(ModernReaderTest, SetAsidePixelsStayWithinTheirBudget) {
    // 64 elements of 1024 x 1024 pixels would take 256 MiB; four are decoded beside the kept one.
    const TBytes png = Png(test::MakeSolid(512, 512, 0xFF336699));
    const auto loaded = Load(std::vector<TIcnsElement>(20, TIcnsElement{"ic14", png}));
    ASSERT_EQ(loaded->Doc.ImageCount(), 1);
    ASSERT_EQ(loaded->Report.size(), 20u);
    std::size_t decoded = 0;
    for (const TImageStorage& record : loaded->Report)
        decoded += record.Image == nullptr && !record.Pixels.Pixels().empty();
    EXPECT_EQ(decoded, limits::kMaxIcnsSetAsidePixels / (512 * 512));
    EXPECT_NE(loaded->Report.back().SetAside.find("not decoded"), std::string::npos);
}

} // namespace
} // namespace gw
