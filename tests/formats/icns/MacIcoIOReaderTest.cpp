#include "formats/icns/MacIcoIO.h"

#include "IcnsTestSupport.h"
#include "codecs/ConvertPng.h"
#include "codecs/Jpeg2000Codec.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace gw {
namespace {

using test::BuildIcns;
using test::Filled;
using test::Masked;
using test::Shapes;
using test::TIcnsElement;
using TBytes = std::vector<std::uint8_t>;
using TElements = std::vector<TIcnsElement>;

void ExpectSameImages(const TOrbIcon& expected, const TOrbIcon& actual) {
    ASSERT_EQ(Shapes(actual), Shapes(expected));
    for (std::int32_t i = 0; i < expected.ImageCount(); ++i)
        EXPECT_EQ(Masked(actual.Image()[i].Bitmap()), Masked(expected.Image()[i].Bitmap()))
            << Shapes(expected)[i];
}

TBytes ValidPng(std::int32_t side) {
    TBytes png;
    EXPECT_TRUE(BitmapToPngData(test::MakeGradient(side, side, true), png));
    return png;
}

TBytes ValidJp2(std::int32_t side) {
    TBytes jp2;
    EXPECT_TRUE(EncodeJpeg2000(test::MakeGradient(side, side, true), 1, jp2));
    return jp2;
}

void ExpectSameImagesIn(const TOrbIcon& expected, const std::unique_ptr<TOrbIcon>& actual) {
    ExpectSameImages(expected, *actual);
}

class MacIcoReaderTest : public ::testing::Test {
protected:
    test::TTestConverter FConverter;

    // The elements our writer makes for these formats; the written document goes to written.
    TElements Written(std::vector<test::TIcnsFormat> formats, std::unique_ptr<TOrbIcon>* written = nullptr) {
        auto doc = test::MakeConvertedIcon(formats, FConverter.DataType);
        const TElements elements = test::ParseIcns(test::SaveIcns(*doc, FConverter.DataType));
        if (written != nullptr)
            *written = std::move(doc);
        return elements;
    }

    std::unique_ptr<TOrbIcon> Load(const TBytes& bytes, TFailure expected = TFailure::None) {
        auto doc = std::make_unique<TOrbIcon>();
        const TStatus status = test::LoadIcns(bytes, *doc);
        EXPECT_EQ(status.Kind(), expected) << status.Reason();
        EXPECT_EQ(doc->PreferedExtension(), TFileTypes::ftMacIcon);
        return doc;
    }
};

TEST_F(MacIcoReaderTest, DefaultMacintoshListReadsBackInto15Images) {
    std::unique_ptr<TOrbIcon> written;
    const TElements elements = Written(test::DefaultMacFormats(), &written);
    const auto doc = Load(BuildIcns(elements));
    ASSERT_EQ(doc->ImageCount(), 15);
    ExpectSameImages(*written, *doc);
    // The embedded pictures keep even the colour of transparent pixels; the 32-bit images carry
    // partial alpha from their masks.
    EXPECT_EQ(doc->Image()[0].Bitmap(), written->Image()[0].Bitmap());
    EXPECT_EQ(doc->Image()[1].Bitmap(), written->Image()[1].Bitmap());
    EXPECT_EQ(AlphaOf(doc->Image()[4].Bitmap().Pixel(10, 0)), 30); // 48 x 48 at (10, 0): 3 x 10
    EXPECT_EQ(doc->Selected(), &doc->Image()[0]);
}

TEST_F(MacIcoReaderTest, BookkeepingAndUnknownElementsChangeNothing) {
    std::unique_ptr<TOrbIcon> written;
    TElements elements = Written({{32, 32, 32}, {32, 32, 8}}, &written);
    elements.insert(elements.begin(), TIcnsElement{"icnV", {0x42, 0xC8, 0, 0}});
    elements.insert(elements.begin() + 2, TIcnsElement{"ic07", Filled(100, 0xAB)});
    elements.push_back(TIcnsElement{"info", {}});
    elements.insert(elements.begin(), TIcnsElement{"TOC ", Filled(8, 0)});
    ExpectSameImagesIn(*written, Load(BuildIcns(elements)));
}

TEST_F(MacIcoReaderTest, RleImageWithoutItsMaskIsOpaque) {
    TElements elements = Written({{16, 16, 32}});
    elements.pop_back(); // "s8mk"
    const auto doc = Load(BuildIcns(elements));
    ASSERT_EQ(doc->ImageCount(), 1);
    for (const TColor pixel : doc->Image()[0].Bitmap().Pixels())
        ASSERT_EQ(AlphaOf(pixel), 255);
}

TEST_F(MacIcoReaderTest, MasksAreFoundBeforeOrAfterTheirImages) {
    std::unique_ptr<TOrbIcon> written;
    TElements elements = Written({{16, 16, 32}, {16, 16, 8}, {16, 16, 4}}, &written);
    ExpectSameImagesIn(*written, Load(BuildIcns(elements))); // masks after: "ics8", "ics4", "ics#", "s8mk"
    std::reverse(elements.begin(), elements.end());
    ExpectSameImagesIn(*written, Load(BuildIcns(elements)));
}

TEST_F(MacIcoReaderTest, ElementOrderDoesNotMatter) {
    std::unique_ptr<TOrbIcon> written;
    TElements elements = Written(test::DefaultMacFormats(), &written);
    elements.erase(elements.begin()); // the table of contents
    std::mt19937 random(7);
    for (int trial = 0; trial < 3; ++trial) {
        std::shuffle(elements.begin(), elements.end(), random);
        ExpectSameImagesIn(*written, Load(BuildIcns(elements)));
    }
}

TEST_F(MacIcoReaderTest, EmbeddedPicturesAreToldApartByTheirFirstBytes) {
    for (const char* type : {"ic08", "ic09", "ic10"}) {
        const std::int32_t side = type[3] == '8' ? 256 : type[3] == '9' ? 512 : 1024;
        const TBitmap picture = test::MakeGradient(side, side, true);
        TBytes png, jp2;
        ASSERT_TRUE(BitmapToPngData(picture, png));
        ASSERT_TRUE(EncodeJpeg2000(picture, 2, jp2));
        for (const TBytes* data : {&png, &jp2}) {
            const auto doc = Load(BuildIcns({{type, *data}}));
            ASSERT_EQ(doc->ImageCount(), 1) << type;
            EXPECT_EQ(doc->Image()[0].Bitmap(), picture) << type;
        }
    }
}

TEST_F(MacIcoReaderTest, OldOneBitIconIsOpaqueBlackAndWhite) {
    TBytes bits(128, 0);
    bits[0] = 0x80; // the first pixel black, all others white
    const auto doc = Load(BuildIcns({{"ICON", bits}}));
    ASSERT_EQ(doc->ImageCount(), 1);
    const TOrbImage& image = doc->Image()[0];
    EXPECT_EQ(image.Width(), 32);
    EXPECT_EQ(image.DataType(), 1);
    EXPECT_EQ(image.Bitmap().Pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(image.Bitmap().Pixel(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(image.Palette().GetPalette(0), 0xFFFFFFFFu);
    EXPECT_EQ(image.Palette().GetPalette(1), 0xFF000000u);
}

TEST_F(MacIcoReaderTest, TheEarlierOfTwoElementsOfOneShapeWins) {
    TBytes icon(128, 0xFF);     // all black, opaque
    TBytes iconMask(256, 0x00); // all white, all transparent
    const auto first = Load(BuildIcns({{"ICON", icon}, {"ICN#", iconMask}}));
    ASSERT_EQ(first->ImageCount(), 1);
    EXPECT_EQ(first->Image()[0].Bitmap().Pixel(5, 5), 0xFF000000u);
    const auto second = Load(BuildIcns({{"ICN#", iconMask}, {"ICON", icon}}));
    ASSERT_EQ(second->ImageCount(), 1);
    EXPECT_EQ(second->Image()[0].Bitmap().Pixel(5, 5), 0u);
    // A refused duplicate leaves the accepted image's mask alone.
    const auto twice = Load(BuildIcns({{"ics8", Filled(256, 5)}, {"ics8", Filled(256, 9)}}));
    ASSERT_EQ(twice->ImageCount(), 1);
    EXPECT_EQ(twice->Image()[0].Bitmap().Pixel(0, 0), twice->Image()[0].Palette().GetPalette(5));
}

TEST_F(MacIcoReaderTest, LoadAppendsToTheDocumentAndSortsIt) {
    TOrbIcon doc;
    doc.InsertNewImage(64, 64, 32);
    ASSERT_TRUE(test::LoadIcns(BuildIcns({{"ics8", Filled(256, 0)}, {"ic08", ValidPng(256)}}), doc));
    EXPECT_EQ(Shapes(doc), (std::vector<std::string>{"256x256-32", "64x64-32", "16x16-8"}));
}

// --- Hostile files: refused as a whole --------------------------------------------------------

struct TRefusedCase {
    const char* Name;
    TBytes File;
    TFailure Kind;
};

class MacIcoRefusedTest : public MacIcoReaderTest, public ::testing::WithParamInterface<TRefusedCase> {};

TEST_P(MacIcoRefusedTest, FailsWithoutAddingAnImage) {
    const auto doc = Load(GetParam().File, GetParam().Kind);
    EXPECT_EQ(doc->ImageCount(), 0);
}

TBytes WithTail(TBytes file, std::size_t extra) {
    file.resize(file.size() + extra, 0);
    for (int i = 0; i < 4; ++i)
        file[4 + i] = static_cast<std::uint8_t>(file.size() >> (24 - 8 * i));
    return file;
}

const TElements kOneIcon = {{"ics8", Filled(256, 3)}};

INSTANTIATE_TEST_SUITE_P(
    Hostile, MacIcoRefusedTest,
    ::testing::Values(
        TRefusedCase{"EmptyFile", {}, TFailure::Corrupt},
        TRefusedCase{"UpperCaseMagic", BuildIcns(kOneIcon, std::nullopt, "ICNS"), TFailure::Corrupt},
        TRefusedCase{"OtherMagic", BuildIcns(kOneIcon, std::nullopt, "icon"), TFailure::Corrupt},
        TRefusedCase{"HeaderCutShort", {'i', 'c', 'n', 's', 0, 0}, TFailure::Truncated},
        TRefusedCase{"TotalLengthBelow8", BuildIcns(kOneIcon, 7), TFailure::Corrupt},
        TRefusedCase{"TotalLengthBeyondTheFile", BuildIcns(kOneIcon, 8 + 264 + 1), TFailure::Truncated},
        TRefusedCase{"TotalLength4GiB", BuildIcns(kOneIcon, 0xFFFFFFFF), TFailure::Truncated},
        TRefusedCase{"ElementLengthBelow8", BuildIcns({{"ics8", {}, 4}}), TFailure::Corrupt},
        TRefusedCase{"ElementLengthZero", BuildIcns({{"ics8", Filled(8, 0), 0}}), TFailure::Corrupt},
        TRefusedCase{"ElementBeyondTheTotalLength", BuildIcns({{"ics8", Filled(256, 0), 265}}),
                     TFailure::Corrupt},
        TRefusedCase{"ElementLength4GiB", BuildIcns({{"ics8", Filled(256, 0), 0xFFFFFFF8}}),
                     TFailure::Corrupt},
        TRefusedCase{"ElementBeyondTheFileWithinTheTotal", BuildIcns({{"ics8", Filled(256, 0), 300}}, 300),
                     TFailure::Truncated},
        TRefusedCase{"ElementHeaderCutByTheTotalLength", WithTail(BuildIcns(kOneIcon), 5),
                     TFailure::Corrupt}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Hostile elements: skipped, the load goes on ----------------------------------------------

struct TSkippedCase {
    const char* Name;
    TElements Elements;
    std::vector<std::string> Shapes; // of the document after the load
};

class MacIcoSkippedTest : public MacIcoReaderTest, public ::testing::WithParamInterface<TSkippedCase> {};

TEST_P(MacIcoSkippedTest, KeepsTheOtherImages) {
    TElements elements = GetParam().Elements;
    elements.push_back({"icl8", Filled(1024, 0)}); // a sound element after the bad one
    std::vector<std::string> shapes = GetParam().Shapes;
    shapes.push_back("32x32-8"); // after any 32-bit image in document order
    EXPECT_EQ(Shapes(*Load(BuildIcns(elements))), shapes);
}

TBytes Cut(TBytes data, std::size_t size) {
    data.resize(std::min(data.size(), size));
    return data;
}

TBytes Replace(TBytes data, std::size_t at, std::uint8_t value) {
    data.at(at) = value;
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, MacIcoSkippedTest,
    ::testing::Values(TSkippedCase{"PaletteElementOneByteShort", {{"ics8", Filled(255, 0)}}, {}},
                      TSkippedCase{"MonochromeWithoutItsMaskHalf", {{"ics#", Filled(32, 0)}}, {}},
                      TSkippedCase{"OldIconShort", {{"ICON", Filled(127, 0)}}, {}},
                      TSkippedCase{"RleDataEndsEarly", {{"is32", {0xFD, 7, 0xFD, 7, 0xFD, 7}}}, {}},
                      TSkippedCase{"RleOnlyLeadingZeros", {{"it32", Filled(4, 0)}}, {}},
                      TSkippedCase{"EmptyRleElement", {{"il32", {}}}, {}},
                      TSkippedCase{"PngSmallerThanItsType", {{"ic08", ValidPng(255)}}, {}},
                      TSkippedCase{"PngLargerThanItsType", {{"ic08", ValidPng(257)}}, {}},
                      TSkippedCase{"PngThatDoesNotDecode", {{"ic10", Cut(ValidPng(1024), 200)}}, {}},
                      TSkippedCase{"PngSignatureOnly", {{"ic09", {0x89, 'P', 'N', 'G'}}}, {}},
                      TSkippedCase{"PngHeaderClaims4GiPixels",
                                   {{"ic08", Replace(Replace(ValidPng(256), 16, 0x7F), 20, 0x7F)}},
                                   {}},
                      TSkippedCase{"Jpeg2000OfAnotherSize", {{"ic09", ValidJp2(256)}}, {}},
                      // An 8-bit mask one byte short is not applied: the image stays opaque.
                      TSkippedCase{"ShortAlphaMask",
                                   {{"is32", {0xFD, 7, 0xFD, 7, 0xFD, 7, 0xFD, 7, 0xFD, 7, 0xFD, 7}},
                                    {"s8mk", Filled(255, 0)}},
                                   {"16x16-32"}},
                      // Run-length packets that give more samples than the channel needs.
                      TSkippedCase{"RleOverrunsAChannel",
                                   {{"is32", {0xFF, 1, 0xFF, 1, 0xFF, 2, 0xFF, 2, 0xFF, 3, 0xFF, 3}}},
                                   {"16x16-32"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(MacIcoReaderTest, ShortAlphaMaskLeavesTheImageOpaque) {
    const auto doc = Load(BuildIcns(
        {{"is32", {0xFD, 7, 0xFD, 7, 0xFD, 7, 0xFD, 7, 0xFD, 7, 0xFD, 7}}, {"s8mk", Filled(255, 0)}}));
    ASSERT_EQ(doc->ImageCount(), 1);
    EXPECT_EQ(doc->Image()[0].Bitmap(), test::MakeSolid(16, 16, 0xFF070707));
}

TEST_F(MacIcoReaderTest, RleOverrunFillsEachChannelAndStartsTheNextAtTheNextPacket) {
    const auto doc = Load(BuildIcns({{"is32", {0xFF, 1, 0xFF, 1, 0xFF, 2, 0xFF, 2, 0xFF, 3, 0xFF, 3}}}));
    ASSERT_EQ(doc->ImageCount(), 1);
    EXPECT_EQ(doc->Image()[0].Bitmap(), test::MakeSolid(16, 16, 0xFF010203));
}

TEST_F(MacIcoReaderTest, UndecodableJpeg2000FailsTheLoadAndKeepsEarlierImages) {
    TBytes jp2 = Cut(ValidJp2(256), 400);
    auto doc = Load(BuildIcns({{"ics8", Filled(256, 0)}, {"ic08", jp2}, {"icl8", Filled(1024, 0)}}),
                    TFailure::Corrupt);
    EXPECT_EQ(Shapes(*doc), (std::vector<std::string>{"16x16-8"}));
    doc = Load(BuildIcns({{"ic09", Filled(100, 0)}}), TFailure::Corrupt);
    EXPECT_EQ(doc->ImageCount(), 0);
}

TEST_F(MacIcoReaderTest, OnlyTheFirstElementsAreRead) {
    TElements elements(100, TIcnsElement{"icnV", Filled(4, 0)});
    elements.push_back({"ics8", Filled(256, 0)});
    EXPECT_EQ(Load(BuildIcns(elements))->ImageCount(), 0);
    elements.erase(elements.begin(), elements.begin() + 50);
    EXPECT_EQ(Load(BuildIcns(elements))->ImageCount(), 1);
}

TEST_F(MacIcoReaderTest, BytesAfterTheTotalLengthAreIgnored) {
    TBytes file = BuildIcns(kOneIcon);
    file.insert(file.end(), {'j', 'u', 'n', 'k', 0, 0, 0, 1});
    EXPECT_EQ(Load(file)->ImageCount(), 1);
}

TEST_F(MacIcoReaderTest, OnlyIconDocumentsAreLoaded) {
    class TPlainDocument : public TOrbMultiImage {
    public:
        std::int32_t GetInsertIndex(std::int32_t, std::int32_t, std::uint8_t) const override {
            return ImageCount();
        }
        bool CanInsertImage(std::int32_t, std::int32_t, std::uint8_t) const override { return true; }
        std::unique_ptr<TOrbMultiImage> Clone() const override { return nullptr; }
    } plain;
    TMacIcoIO coder(false);
    EXPECT_EQ(coder.LoadFromStream(BuildIcns(kOneIcon), plain).Kind(), TFailure::Unsupported);
    EXPECT_EQ(plain.ImageCount(), 0);
}

} // namespace
} // namespace gw

namespace gw {
namespace {

TEST(MacIcoStorageReportTest, TellsEachImagesElementAndAppliedMask) {
    test::TTestConverter converter;
    auto written = test::MakeConvertedIcon(
        std::vector<test::TIcnsFormat>{{32, 32, 32}, {16, 16, 8}, {16, 16, 4}}, converter.DataType);
    TElements elements = test::ParseIcns(test::SaveIcns(*written, converter.DataType));
    elements.push_back({"ICON", Filled(128, 0)});
    TOrbIcon doc;
    TIconLoadReport report;
    TMacIcoIO coder(false);
    ASSERT_TRUE(coder.Load(BuildIcns(elements), doc, report));
    std::vector<std::string> storage;
    for (const TImageStorage& record : report.Images) {
        storage.push_back(record.Storage);
        EXPECT_NE(doc.Image().IndexOf(record.Image), -1) << record.Storage;
    }
    EXPECT_EQ(storage, (std::vector<std::string>{"il32+l8mk", "ics8+ics#", "ics4+ics#", "ics#", "ICON"}));
}

} // namespace
} // namespace gw
