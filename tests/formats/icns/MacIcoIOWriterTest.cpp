#include "formats/IconCoders.h"
#include "formats/icns/MacIcoIO.h"

#include "IcnsTestSupport.h"
#include "codecs/ConvertPng.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <numeric>

namespace gw {
namespace {

using test::ElementData;
using test::ElementTypes;
using test::ParseIcns;
using TBytes = std::vector<std::uint8_t>;
using TTypes = std::vector<std::string>;

class MacIcoWriterTest : public ::testing::Test {
protected:
    test::TTestConverter FConverter;

    std::unique_ptr<TOrbIcon> Convert(std::vector<test::TIcnsFormat> formats) {
        return test::MakeConvertedIcon(formats, FConverter.DataType);
    }
    TBytes Save(TOrbIcon& doc, std::int32_t threads = 2) {
        return test::SaveIcns(doc, FConverter.DataType, threads);
    }
};

TEST_F(MacIcoWriterTest, DefaultMacintoshListGivesTheDocumentedLayout) {
    auto doc = Convert(test::DefaultMacFormats());
    const TBytes file = Save(*doc);
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "icns");
    EXPECT_EQ(test::U32BE(file, 4), file.size());

    const auto elements = ParseIcns(file);
    EXPECT_EQ(ElementTypes(elements),
              (TTypes{"TOC ", "ic10", "ic09", "ic08", "it32", "ih32", "il32", "is32", "ich8", "icl8",
                      "ics8", "icl4", "ics4", "ich#", "ICN#", "ics#", "t8mk", "h8mk", "l8mk", "s8mk"}));
    ASSERT_EQ(elements.size(), 20u);
    // The table of contents lists every other element with the length in its header.
    const TBytes& toc = elements[0].Data;
    EXPECT_EQ(elements[0].Length, 160u);
    ASSERT_EQ(toc.size(), 19u * 8);
    for (std::size_t i = 1; i < elements.size(); ++i) {
        EXPECT_EQ(std::string(toc.begin() + (i - 1) * 8, toc.begin() + (i - 1) * 8 + 4), elements[i].Type);
        EXPECT_EQ(test::U32BE(toc, (i - 1) * 8 + 4), elements[i].Data.size() + 8) << elements[i].Type;
    }
    // Fixed-size elements have their exact sizes; "it32" starts with four zero bytes, "is32" does not.
    EXPECT_EQ(ElementData(elements, "ich8").size(), 2304u);
    EXPECT_EQ(ElementData(elements, "icl4").size(), 512u);
    EXPECT_EQ(ElementData(elements, "ich#").size(), 576u);
    EXPECT_EQ(ElementData(elements, "t8mk").size(), 16384u);
    const TBytes it32 = ElementData(elements, "it32");
    ASSERT_GE(it32.size(), 4u);
    EXPECT_EQ(TBytes(it32.begin(), it32.begin() + 4), TBytes(4, 0));
    EXPECT_NE(ElementData(elements, "is32").front(), 0u) << "a 16 x 16 gradient starts with a literal";
    // The embedded pictures: PNG in "ic10", JP2 files in "ic09" and "ic08".
    EXPECT_EQ(ElementData(elements, "ic10")[1], 'P');
    EXPECT_EQ(ElementData(elements, "ic09")[4], 'j');
    EXPECT_EQ(ElementData(elements, "ic08")[4], 'j');
    // The document was prepared: three 1-bit images joined the twelve.
    EXPECT_EQ(doc->ImageCount(), 15);
}

TEST_F(MacIcoWriterTest, Only1024GivesATocOfOneEntry) {
    auto doc = Convert({{1024, 1024, 32}});
    const TBytes file = Save(*doc);
    const auto elements = ParseIcns(file);
    ASSERT_EQ(ElementTypes(elements), (TTypes{"TOC ", "ic10"}));
    EXPECT_EQ(elements[0].Length, 16u);
    EXPECT_EQ(std::string(elements[0].Data.begin(), elements[0].Data.begin() + 4), "ic10");
    EXPECT_EQ(test::U32BE(elements[0].Data, 4), elements[1].Data.size() + 8);
    // The PNG is the image's RGBA, straight alpha.
    TBitmap decoded;
    ASSERT_TRUE(PngDataToBitmap(elements[1].Data, decoded));
    EXPECT_EQ(decoded, doc->Image()[0].Bitmap());
}

TEST_F(MacIcoWriterTest, WithoutA1024ImageNoTocIsWritten) {
    auto doc = Convert({{512, 512, 32}, {16, 16, 32}});
    const TBytes file = Save(*doc);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "ic09");
    EXPECT_EQ(ElementTypes(ParseIcns(file)), (TTypes{"ic09", "is32", "s8mk"}));
}

TEST_F(MacIcoWriterTest, LengthsAddUpToTheTotal) {
    for (const auto& formats : {test::DefaultMacFormats(), std::vector<test::TIcnsFormat>{{48, 48, 4}},
                                std::vector<test::TIcnsFormat>{{16, 12, 8}, {16, 12, 1}}}) {
        auto doc = Convert(formats);
        const TBytes file = Save(*doc);
        const auto elements = ParseIcns(file); // empty when the lengths do not add up exactly
        ASSERT_FALSE(elements.empty());
        const std::size_t sum = std::accumulate(elements.begin(), elements.end(), std::size_t{8},
                                                [](std::size_t s, const auto& e) { return s + *e.Length; });
        EXPECT_EQ(sum, file.size());
    }
}

TEST_F(MacIcoWriterTest, AnAll7RedChannelIsTwoRuns) {
    auto doc = std::make_unique<TOrbIcon>();
    doc->InsertNewImage(16, 16, 32);
    doc->Image()[0].SetBitmap(test::MakeSolid(16, 16, MakeColor(255, 7, 1, 2)));
    const auto elements = ParseIcns(Save(*doc));
    const TBytes is32 = ElementData(elements, "is32");
    ASSERT_GE(is32.size(), 4u);
    EXPECT_EQ(TBytes(is32.begin(), is32.begin() + 4), (TBytes{0xFD, 7, 0xFD, 7}));
    EXPECT_EQ(ElementData(elements, "s8mk"), TBytes(256, 255));
}

TEST_F(MacIcoWriterTest, FullyTransparent32BitImageHasAZeroMask) {
    auto doc = std::make_unique<TOrbIcon>();
    doc->InsertNewImage(16, 16, 32); // new images are transparent black
    EXPECT_EQ(ElementData(ParseIcns(Save(*doc)), "s8mk"), TBytes(256, 0));
}

TEST_F(MacIcoWriterTest, FourBitPixelsPackHighNibbleFirstTransparentAs15) {
    auto doc = std::make_unique<TOrbIcon>();
    doc->InsertNewImage(16, 16, 4);
    TOrbImage& image = doc->Image()[0];
    image.Palette().FillMac16();
    const TColor index5 = image.Palette().GetPalette(5);
    image.Bitmap().SetPixel(0, 0, index5); // the second pixel stays transparent
    const auto elements = ParseIcns(Save(*doc));
    const TBytes ics4 = ElementData(elements, "ics4");
    ASSERT_EQ(ics4.size(), 128u);
    EXPECT_EQ(ics4[0], 0x5F);
    // The added "ics#": icon bit 1 for transparent, mask bit 1 only for the opaque first pixel.
    const TBytes mono = ElementData(elements, "ics#");
    ASSERT_EQ(mono.size(), 64u);
    EXPECT_EQ(mono[32], 0x80);
    EXPECT_EQ(TBytes(mono.begin() + 33, mono.end()), TBytes(31, 0));
}

TEST_F(MacIcoWriterTest, OneBitIconAndMaskBits) {
    auto doc = std::make_unique<TOrbIcon>();
    doc->InsertNewImage(16, 12, 1);
    TOrbImage& image = doc->Image()[0];
    image.Bitmap().SetPixel(0, 0, 0xFFFFFFFF); // white: icon 0, mask 1
    image.Bitmap().SetPixel(1, 0, 0xFF000000); // black: icon 1, mask 1
    image.Bitmap().SetPixel(8, 0, 0xFF000000);
    // Every other pixel is transparent: icon 1, mask 0.
    const TBytes data = ElementData(ParseIcns(Save(*doc)), "icm#");
    ASSERT_EQ(data.size(), 48u);
    EXPECT_EQ(data[0], 0x7F);
    EXPECT_EQ(data[1], 0xFF);
    EXPECT_EQ(TBytes(data.begin() + 2, data.begin() + 24), TBytes(22, 0xFF));
    EXPECT_EQ(data[24], 0xC0);
    EXPECT_EQ(data[25], 0x80);
    EXPECT_EQ(TBytes(data.begin() + 26, data.end()), TBytes(22, 0));
}

TEST_F(MacIcoWriterTest, Lone8BitImageGainsItsMonochromeMask) {
    auto doc = Convert({{16, 16, 8}});
    const auto elements = ParseIcns(Save(*doc));
    EXPECT_EQ(ElementTypes(elements), (TTypes{"ics8", "ics#"}));
    ASSERT_EQ(doc->ImageCount(), 2);
    EXPECT_EQ(doc->Image()[1].DataType(), 1);
    EXPECT_EQ(doc->Image()[1].Width(), 16);
    // The new image carries the 8-bit image's shape.
    const TBitmap& eight = doc->Image()[0].Bitmap();
    const TBitmap& mono = doc->Image()[1].Bitmap();
    for (std::size_t i = 0; i < eight.Pixels().size(); ++i)
        ASSERT_EQ(AlphaOf(eight.Pixels()[i]), AlphaOf(mono.Pixels()[i])) << i;
}

TEST_F(MacIcoWriterTest, PaletteImagesGetMacintoshPalettesAndOnlyItsColours) {
    auto doc = Convert({{32, 32, 8}, {32, 32, 4}, {32, 32, 1}});
    Save(*doc);
    for (const TOrbImage& image : doc->Image()) {
        TOrbPalette mac;
        mac.Resize(image.DataType());
        image.DataType() == 8 ? mac.FillMac256() : image.DataType() == 4 ? mac.FillMac16() : mac.FillMac2();
        EXPECT_TRUE(image.Palette().IsEqual(mac)) << int(image.DataType());
        EXPECT_TRUE(TDataType::UsesOnlyPaletteColors(image)) << int(image.DataType());
    }
}

TEST_F(MacIcoWriterTest, FamilyImagesShareThe8BitAlpha) {
    auto doc = Convert({{32, 32, 8}, {32, 32, 4}, {32, 32, 1}});
    // Give the 4- and 1-bit images another shape; the save replaces it with the 8-bit image's.
    for (std::int32_t i = 1; i < 3; ++i)
        doc->Image()[i].Bitmap().Fill(doc->Image()[i].Palette().GetPalette(0) | 0xFF000000u);
    const auto elements = ParseIcns(Save(*doc));
    const TBitmap& eight = doc->Image()[0].Bitmap();
    const TBytes mono = ElementData(elements, "ICN#");
    ASSERT_EQ(mono.size(), 256u);
    for (std::size_t n = 0; n < eight.Pixels().size(); ++n) {
        const bool visible = (mono[128 + n / 8] >> (7 - n % 8)) & 1;
        ASSERT_EQ(visible, AlphaOf(eight.Pixels()[n]) != 0) << n;
        ASSERT_EQ(AlphaOf(doc->Image()[1].Bitmap().Pixels()[n]), AlphaOf(eight.Pixels()[n])) << n;
    }
}

TEST_F(MacIcoWriterTest, ImagesWithoutElementTypeAreRemoved) {
    auto doc = Convert({{64, 64, 32}, {16, 16, 32}, {32, 32, 24}, {128, 128, 8}});
    const auto elements = ParseIcns(Save(*doc));
    EXPECT_EQ(ElementTypes(elements), (TTypes{"is32", "s8mk"}));
    ASSERT_EQ(doc->ImageCount(), 1);
    EXPECT_EQ(doc->Image()[0].Width(), 16);
}

TEST_F(MacIcoWriterTest, SelectionIsRestored) {
    auto doc = Convert({{32, 32, 32}, {16, 16, 8}, {16, 16, 4}});
    doc->Select(2);
    TOrbImage* selected = doc->Selected();
    Save(*doc);
    EXPECT_EQ(doc->Selected(), selected);
}

TEST_F(MacIcoWriterTest, DocumentWithoutTypedImagesCannotBeSaved) {
    auto doc = Convert({{64, 64, 32}, {20, 20, 8}});
    TMacIcoIO coder(false, &FConverter.DataType);
    EXPECT_FALSE(coder.CanSave(*doc));
    // Through the file: no file appears and the document is as it was.
    test::TTempDir dir;
    EXPECT_FALSE(coder.SaveToFile(*doc, dir / "a.icns"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.icns"));
    EXPECT_EQ(doc->ImageCount(), 2);
    // Directly: refused, and the document holds a single new 32 x 32 32-bit image.
    TByteWriter out;
    EXPECT_EQ(coder.SaveToStream(*doc, out).Kind(), TFailure::Unsupported);
    EXPECT_EQ(out.Size(), 0u);
    ASSERT_EQ(doc->ImageCount(), 1);
    EXPECT_EQ(doc->Image()[0].Width(), 32);
    EXPECT_EQ(doc->Image()[0].DataType(), 32);
}

TEST_F(MacIcoWriterTest, BytesDoNotDependOnTheThreadCount) {
    const auto formats = test::DefaultMacFormats();
    auto one = Convert(formats);
    auto two = Convert(formats);
    auto four = Convert(formats);
    const TBytes single = Save(*one, 1);
    EXPECT_EQ(Save(*two, 2), single);
    EXPECT_EQ(Save(*four, 4), single);
}

TEST_F(MacIcoWriterTest, SaveToFileWritesTheStreamBytes) {
    auto doc = Convert({{128, 128, 32}, {32, 32, 4}});
    auto copy = Convert({{128, 128, 32}, {32, 32, 4}});
    test::TTempDir dir;
    TMacIcoIO coder(false, &FConverter.DataType);
    ASSERT_TRUE(coder.SaveToFile(*doc, dir / "b.icns"));
    EXPECT_EQ(test::ReadFileBytes(dir / "b.icns"), Save(*copy));
}

TEST_F(MacIcoWriterTest, IconDocumentSavesIcnsByTheExtension) {
    auto doc = Convert({{48, 48, 32}});
    test::TTempDir dir;
    EXPECT_TRUE(SaveIcon(*doc, dir / "c.ICNS", {.Palettes = &FConverter.DataType}));
    const auto elements = ParseIcns(test::ReadFileBytes(dir / "c.ICNS"));
    EXPECT_EQ(ElementTypes(elements), (TTypes{"ih32", "h8mk"}));
}

} // namespace
} // namespace gw
