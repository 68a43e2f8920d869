#include "pipeline/Importers.h"

#include "pipeline/TypeCheck.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <typeinfo>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TFactoryCase {
    TFileTypes Type;
    const std::type_info* Expected; // nullptr: no importer
};

class CreateImporterTable : public ::testing::TestWithParam<TFactoryCase> {};

TEST_P(CreateImporterTable, PicksTheImporterOfTheType) {
    const auto importer = CreateImporter(GetParam().Type);
    if (GetParam().Expected == nullptr) {
        EXPECT_EQ(importer, nullptr);
        return;
    }
    ASSERT_NE(importer, nullptr);
    const auto& made = *importer;
    EXPECT_EQ(typeid(made), *GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(AllTypes, CreateImporterTable,
                         ::testing::Values(TFactoryCase{TFileTypes::ftBmp, &typeid(TImportBMP)},
                                           TFactoryCase{TFileTypes::ftJpg, &typeid(TImportJpeg)},
                                           TFactoryCase{TFileTypes::ftPng, &typeid(TImportPng)},
                                           TFactoryCase{TFileTypes::ftGif, &typeid(TImportGeneral)},
                                           TFactoryCase{TFileTypes::ftJpg2000, &typeid(TImportJpeg2000)},
                                           TFactoryCase{TFileTypes::ftJpg2000CS, &typeid(TImportJpeg2000)},
                                           TFactoryCase{TFileTypes::ftTiff, &typeid(TImportTiff)},
                                           TFactoryCase{TFileTypes::ftIco, nullptr},
                                           TFactoryCase{TFileTypes::ftCur, nullptr},
                                           TFactoryCase{TFileTypes::ftAni, nullptr},
                                           TFactoryCase{TFileTypes::ftOther, nullptr},
                                           TFactoryCase{TFileTypes::ftMacIcon, nullptr},
                                           TFactoryCase{TFileTypes::ftRawRes, nullptr},
                                           TFactoryCase{TFileTypes::ftOrbDoc, nullptr},
                                           TFactoryCase{TFileTypes::ftDirectory, nullptr},
                                           TFactoryCase{TFileTypes::ftWin32Binary, nullptr}));

// Every picture format through detection, the factory and Import from a file, as the conversion
// uses them.
struct TFormatCase {
    const char* Name;
    Bytes Data;
    bool KeepsAlpha;
};
std::ostream& operator<<(std::ostream& os, const TFormatCase& c) {
    return os << c.Name;
}

const TBitmap kOpaque = test::MakeGradient(47, 33, false);
const TBitmap kTranslucent = test::MakeGradient(47, 33, true);

class ImportFormats : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(ImportFormats, DetectsCreatesAndImports) {
    test::TTempDir dir;
    const auto path = dir / "picture.dat";
    test::WriteFileBytes(path, GetParam().Data);
    const auto importer = CreateImporter(CheckFileType(path));
    ASSERT_NE(importer, nullptr);
    TBitmap picture;
    const TStatus status = importer->Import(path, picture, 1024);
    ASSERT_TRUE(status) << status.Reason();
    EXPECT_EQ(picture.Width(), 47);
    EXPECT_EQ(picture.Height(), 33);
    const bool anyTranslucent = std::any_of(picture.Pixels().begin(), picture.Pixels().end(),
                                            [](TColor c) { return AlphaOf(c) != 255; });
    EXPECT_EQ(anyTranslucent, GetParam().KeepsAlpha);
}

std::vector<std::int32_t> Sequence(std::size_t count, int modulo) {
    std::vector<std::int32_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int32_t>(i % static_cast<std::size_t>(modulo));
    return samples;
}

test::TGifFrame GifFrame() {
    test::TGifFrame frame{0, 0, 47, 33, false, Bytes(47 * 33)};
    for (std::size_t i = 0; i < frame.Indices.size(); ++i)
        frame.Indices[i] = static_cast<std::uint8_t>(i % 3);
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ImportFormats,
    ::testing::Values(
        TFormatCase{"Bmp24IsOpaque",
                    test::BuildBmp({.Width = 47,
                                    .Height = 33,
                                    .BitCount = 24,
                                    .PixelData = test::PackBmpRows(kOpaque, 24, {}, false)}),
                    false},
        TFormatCase{"Bmp32KeepsAlpha",
                    test::BuildBmp({.Width = 47,
                                    .Height = 33,
                                    .BitCount = 32,
                                    .PixelData = test::PackBmpRows(kTranslucent, 32, {}, false)}),
                    true},
        TFormatCase{"PngKeepsAlpha", test::EncodePng(kTranslucent), true},
        TFormatCase{"JpegIsOpaque", test::EncodeJpeg(kOpaque), false},
        TFormatCase{"GifTransparentColour",
                    test::EncodeGif(47, 33, {0xFF000000, 0xFFFF0000, 0xFF00FF00}, 2, GifFrame()), true},
        TFormatCase{"TiffKeepsAlpha", test::EncodeTiff(kTranslucent, test::TTiffAlpha::Unassociated), true},
        TFormatCase{"Jpeg2000WithoutAlphaIsOpaque",
                    test::EncodeJpeg2000(47, 33, {{8, false, 1, 1, Sequence(47 * 33, 256)}}, true), false},
        TFormatCase{"Jpeg2000CodestreamWithAlpha",
                    test::EncodeJpeg2000(47, 33,
                                         {{8, false, 1, 1, Sequence(47 * 33, 256)},
                                          {8, false, 1, 1, Sequence(47 * 33, 200)}},
                                         false),
                    true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Import, JpegHonoursTheTargetSide) {
    test::TTempDir dir;
    const auto path = dir / "photo.jpg";
    test::WriteFileBytes(path, test::EncodeJpeg(test::MakeGradient(800, 400, false)));
    TBitmap picture;
    ASSERT_TRUE(TImportJpeg().Import(path, picture, 200));
    EXPECT_EQ(picture.Width(), 200);
    EXPECT_EQ(picture.Height(), 100);
    ASSERT_TRUE(TImportJpeg().Import(path, picture));
    EXPECT_EQ(picture.Width(), 800);
}

TEST(Import, MissingFileIsAnIoFailure) {
    test::TTempDir dir;
    TBitmap picture = test::MakeSolid(2, 2, 0xFFFFFFFF);
    const TStatus status = TImportPng().Import(dir / "absent.png", picture);
    EXPECT_EQ(status.Kind(), TFailure::Io);
    EXPECT_FALSE(picture.IsValid());
}

TEST(Import, FolderIsAnIoFailure) {
    test::TTempDir dir;
    TBitmap picture;
    EXPECT_EQ(TImportBMP().Import(dir.Path(), picture).Kind(), TFailure::Io);
}

TEST(Import, CorruptPngGivesNoPicture) {
    Bytes png = test::EncodePng(kTranslucent);
    std::fill(png.begin() + 60, png.end() - 20, 0x42);
    TBitmap picture = test::MakeSolid(2, 2, 0xFFFFFFFF);
    EXPECT_FALSE(TImportPng().ImportData(png, picture));
    EXPECT_FALSE(picture.IsValid());
}

TEST(Import, GeneralImporterChoosesByContent) {
    TBitmap picture;
    ASSERT_TRUE(TImportGeneral().ImportData(test::EncodePng(kTranslucent), picture));
    EXPECT_EQ(picture, kTranslucent);
    ASSERT_TRUE(TImportGeneral().ImportData(test::EncodeTiff(kOpaque, test::TTiffAlpha::None), picture));
    EXPECT_EQ(picture, kOpaque);
    EXPECT_EQ(TImportGeneral().ImportData(Bytes{'B', 'M', 0, 0}, picture).Kind(), TFailure::Unsupported);
}

TEST(Import, WrongFormatForTheImporterFails) {
    TBitmap picture;
    EXPECT_FALSE(TImportJpeg2000().ImportData(test::EncodePng(kOpaque), picture));
    EXPECT_FALSE(TImportBMP().ImportData(test::EncodeJpeg(kOpaque), picture));
    EXPECT_FALSE(picture.IsValid());
}

} // namespace
} // namespace gw
