// Modern files: PNG from 256 pixels up, the retina elements, the table of contents, and the way back
// through our reader.

#include "formats/icns/MacIcoIO.h"

#include "IcnsTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

using test::ElementData;
using test::ElementTypes;
using test::ParseIcns;
using test::Shapes;
using TBytes = std::vector<std::uint8_t>;
using TTypes = std::vector<std::string>;

bool IsPngData(const TBytes& data) {
    return data.size() > 8 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G';
}

// The default Macintosh list and the 64-pixel image a modern conversion adds.
std::vector<test::TIcnsFormat> ModernFormats() {
    auto formats = test::DefaultMacFormats();
    formats.push_back({64, 64, 32});
    return formats;
}

class ModernWriterTest : public ::testing::Test {
protected:
    test::TTestConverter FConverter;
};

TEST_F(ModernWriterTest, PngFrom256UpRetinaElementsAndATableOfAll) {
    auto doc = test::MakeConvertedIcon(ModernFormats(), FConverter.DataType);
    const TBytes file = test::SaveIcns(*doc, FConverter.DataType, 2, true);
    const auto elements = ParseIcns(file);
    ASSERT_EQ(ElementTypes(elements),
              (TTypes{"TOC ", "ic10", "ic09", "ic08", "it32", "ih32", "il32", "is32",
                      "ich8", "icl8", "ics8", "icl4", "ics4", "ich#", "ICN#", "ics#",
                      "ic11", "ic12", "ic13", "ic14", "t8mk", "h8mk", "l8mk", "s8mk"}));
    for (const char* type : {"ic08", "ic09", "ic10", "ic11", "ic12", "ic13", "ic14"})
        EXPECT_TRUE(IsPngData(ElementData(elements, type))) << type; // no JPEG 2000 anywhere
    // The table lists every other element with its length, in file order.
    const TBytes toc = ElementData(elements, "TOC ");
    ASSERT_EQ(toc.size(), 8 * (elements.size() - 1));
    for (std::size_t i = 1; i < elements.size(); ++i) {
        EXPECT_EQ(std::string(toc.begin() + 8 * (i - 1), toc.begin() + 8 * (i - 1) + 4), elements[i].Type);
        EXPECT_EQ(test::U32BE(toc, 8 * (i - 1) + 4), elements[i].Data.size() + 8) << elements[i].Type;
    }
    // The retina elements of 256 and 512 pixels are the images of those sizes, as ic08 and ic09.
    EXPECT_EQ(ElementData(elements, "ic13"), ElementData(elements, "ic08"));
    EXPECT_EQ(ElementData(elements, "ic14"), ElementData(elements, "ic09"));
}

TEST_F(ModernWriterTest, ARetinaElementAloneStillGetsItsTable) {
    auto doc = test::MakeConvertedIcon(std::vector<test::TIcnsFormat>{{64, 64, 32}}, FConverter.DataType);
    auto elements = ParseIcns(test::SaveIcns(*doc, FConverter.DataType, 1, true));
    EXPECT_EQ(ElementTypes(elements), (TTypes{"TOC ", "ic12"}));
    // A classic file has no type for it: refused, and the document is left with one new image.
    doc = test::MakeConvertedIcon(std::vector<test::TIcnsFormat>{{64, 64, 32}}, FConverter.DataType);
    TMacIcoIO classic(false, &FConverter.DataType);
    EXPECT_FALSE(classic.CanSave(*doc));
    TMacIcoIO modern(false, &FConverter.DataType);
    modern.SetModern(true);
    EXPECT_TRUE(modern.CanSave(*doc));
    // Without a type beyond the table and without 1024 pixels a modern file has no table either.
    doc = test::MakeConvertedIcon(std::vector<test::TIcnsFormat>{{16, 16, 32}, {48, 48, 8}},
                                  FConverter.DataType);
    elements = ParseIcns(test::SaveIcns(*doc, FConverter.DataType, 1, true));
    EXPECT_EQ(ElementTypes(elements), (TTypes{"is32", "ich8", "ich#", "s8mk"}));
}

TEST_F(ModernWriterTest, ClassicOutputIsUnchangedByTheSwitchBeingOff) {
    auto modernDoc = test::MakeConvertedIcon(test::DefaultMacFormats(), FConverter.DataType);
    auto classicDoc = test::MakeConvertedIcon(test::DefaultMacFormats(), FConverter.DataType);
    const auto classic = ParseIcns(test::SaveIcns(*classicDoc, FConverter.DataType, 2, false));
    const auto modern = ParseIcns(test::SaveIcns(*modernDoc, FConverter.DataType, 2, true));
    // ic08 and ic09 are JPEG 2000 in the classic file, and no later type appears.
    EXPECT_FALSE(IsPngData(ElementData(classic, "ic08")));
    EXPECT_FALSE(IsPngData(ElementData(classic, "ic09")));
    EXPECT_EQ(ElementTypes(classic).size(), 20u);
    // The elements both files have that are not embedded pictures are byte for byte the same.
    for (const char* type :
         {"it32", "ih32", "il32", "is32", "ich8", "icl8", "ics8", "icl4", "ics4", "ICN#", "t8mk", "s8mk"})
        EXPECT_EQ(ElementData(classic, type), ElementData(modern, type)) << type;
}

TEST_F(ModernWriterTest, EveryImageReadsBackAndTheRetinaCopiesAreReported) {
    auto written = test::MakeConvertedIcon(ModernFormats(), FConverter.DataType);
    const TBytes file = test::SaveIcns(*written, FConverter.DataType, 2, true);
    TOrbIcon doc;
    std::vector<TImageStorage> report;
    ASSERT_TRUE(test::LoadIcns(file, doc, &report));
    ASSERT_EQ(Shapes(doc), Shapes(*written));
    for (std::int32_t i = 0; i < doc.ImageCount(); ++i)
        EXPECT_EQ(test::Masked(doc.Image()[i].Bitmap()), test::Masked(written->Image()[i].Bitmap()))
            << Shapes(doc)[i];
    EXPECT_EQ(doc.Image()[4].Bitmap(), written->Image()[4].Bitmap()); // 64 x 64 from ic12, exact
    EXPECT_EQ(report[0].Storage, "ic10");
    EXPECT_EQ(test::SetAsideStorages(report), (TTypes{"ic14", "ic13", "il32+l8mk"}));
    for (const TImageStorage& record : report) {
        if (record.Image != nullptr)
            continue;
        const auto kept = std::find_if(doc.Image().begin(), doc.Image().end(), [&](const TOrbImage& image) {
            return image.Width() == record.Width && image.DataType() == record.BitCount;
        });
        ASSERT_NE(kept, doc.Image().end());
        EXPECT_EQ(test::Masked(record.Pixels), test::Masked(kept->Bitmap())) << record.Storage;
    }
}

} // namespace
} // namespace gw
