#include "pipeline/IOManager.h"

#include "color/DataType.h"
#include "image/OrbIcon.h"
#include "image/OrbImage.h"
#include "settings/Setting.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

struct TSavedImage {
    std::int32_t Width, Height;
    std::uint8_t BitCount;
    friend bool operator==(const TSavedImage&, const TSavedImage&) = default;
};

// What the stand-in coder was handed at its last save.
struct TSaveRecord {
    int Saves = 0;
    std::string Coder;
    std::vector<TSavedImage> Images;
    std::vector<TBitmap> Bitmaps;
    std::vector<TOrbPalette> Palettes;
};

enum class TCoderMode { Write, Refuse, Throw };

// A manager whose icon coder is a stand-in that records the document and gives marker bytes,
// refusing an empty document as the real writers do.
class TRecordingManager : public TIOManager {
public:
    using TIOManager::TIOManager;
    TCoderMode Mode = TCoderMode::Write;
    TSaveRecord Saved;

protected:
    TStatus EncodeIcon(TOrbIcon& icon, TIconFileKind kind, std::vector<std::uint8_t>& bytes) override {
        if (Mode == TCoderMode::Throw)
            throw std::runtime_error("coder failure");
        if (Mode == TCoderMode::Refuse || icon.ImageCount() == 0)
            return TStatus::Fail(TFailure::Unsupported, "refused");
        Saved = TSaveRecord{Saved.Saves + 1, kind == TIconFileKind::Macintosh ? "icns" : "ico", {}, {}, {}};
        for (const TOrbImage& image : icon.Image()) {
            Saved.Images.push_back({image.Width(), image.Height(), image.DataType()});
            Saved.Bitmaps.push_back(image.Bitmap());
            TOrbPalette palette;
            palette.Copy(image.Palette());
            Saved.Palettes.push_back(palette);
        }
        bytes = {'I', 'C', 'O', 'N'};
        return TStatus::Ok();
    }
};

class IOManagerTest : public testing::Test {
protected:
    void SetUp() override {
        FSettings = std::make_unique<TGlobalSetting>(TPersistence::Detached);
        FDataType = std::make_unique<TDataType>(*FSettings);
        FManager = std::make_unique<TRecordingManager>(*FSettings, *FDataType);
    }
    void TearDown() override {
        FManager.reset();
        FDataType.reset();
        FSettings.reset();
    }

    fs::path Picture(const std::string& name, const TBitmap& bitmap) {
        const fs::path path = Dir / name;
        test::WriteFileBytes(path, test::EncodeTestBmp(bitmap));
        return path;
    }
    fs::path Opaque(const std::string& name, std::int32_t width, std::int32_t height) {
        return Picture(name, test::MakeSolid(width, height, 0xFF3366CC));
    }

    bool Process(const fs::path& path) { return FManager->ProcessFile(path, ErrorType); }

    const TSavedImage* SavedImage(std::int32_t width, std::int32_t height, std::uint8_t bits,
                                  std::size_t* index = nullptr) {
        for (std::size_t i = 0; i < Saved().Images.size(); ++i)
            if (Saved().Images[i] == TSavedImage{width, height, bits}) {
                if (index)
                    *index = i;
                return &Saved().Images[i];
            }
        return nullptr;
    }

    TTempDir Dir;
    std::unique_ptr<TGlobalSetting> FSettings;
    std::unique_ptr<TDataType> FDataType;
    std::unique_ptr<TRecordingManager> FManager;
    TCoderMode& Mode() { return FManager->Mode; }
    const TSaveRecord& Saved() const { return FManager->Saved; }
    TErrorType ErrorType = TErrorType::etReadError;
};

// --- Sizes --------------------------------------------------------------------------------------

struct TFitCase {
    const char* Name;
    std::int32_t W, H;
    std::int32_t FittedW, FittedH;
};

class SolveBitmapSizeTest : public IOManagerTest, public testing::WithParamInterface<TFitCase> {};

TEST_P(SolveBitmapSizeTest, FitsIntoTheCanvasSideAndNeverGrows) {
    const TFitCase& c = GetParam();
    FManager->SetMaxSize(1024);
    std::int32_t width = 1024, height = 1024;
    const auto fitted = FManager->SolveBitmapSize(width, height, true, test::MakeSolid(c.W, c.H, 0xFF102030));
    ASSERT_TRUE(fitted);
    EXPECT_EQ(width, c.FittedW);
    EXPECT_EQ(height, c.FittedH);
    EXPECT_EQ(fitted->Width(), c.FittedW);
    EXPECT_EQ(fitted->Height(), c.FittedH);
    EXPECT_EQ(fitted->Pixel(c.FittedW / 2, c.FittedH / 2), 0xFF102030u);
    // The picture covers the whole fitted size: no last row or column stays transparent.
    EXPECT_EQ(fitted->Pixel(c.FittedW - 1, c.FittedH - 1), 0xFF102030u);
    EXPECT_EQ(fitted->Pixel(0, 0), 0xFF102030u);
}

INSTANTIATE_TEST_SUITE_P(WorkedValues, SolveBitmapSizeTest,
                         testing::Values(TFitCase{"Landscape3000x2000", 3000, 2000, 1024, 683},
                                         TFitCase{"HalfRoundsToEven2048x1025", 2048, 1025, 1024, 512},
                                         TFitCase{"Portrait1025x2048", 1025, 2048, 512, 1024},
                                         TFitCase{"HalfRoundsToEven4096x2050", 4096, 2050, 1024, 512},
                                         TFitCase{"Tall1023x5000", 1023, 5000, 210, 1024},
                                         TFitCase{"Exact1024", 1024, 1024, 1024, 1024},
                                         TFitCase{"Smaller1000x800", 1000, 800, 1000, 800}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A picture decoded at a reduced scale is fitted from its real size, as the same picture in a format
// without reduced decoding: 256 x 129 fits 64 x 32 (a JPEG at 2/8 decodes 64 x 33), 256 x 170 fits
// 64 x 42 (a JPEG 2000 two levels down decodes 64 x 43).
TEST_F(IOManagerTest, ReducedDecodeIsFittedFromTheRealSize) {
    const TBitmap jpegPicture = test::MakeSolid(256, 129, 0xFF808080);
    test::WriteFileBytes(Dir / "wide.jpg", test::EncodeJpeg(jpegPicture));
    test::WriteFileBytes(Dir / "wide.png", test::EncodePng(jpegPicture));
    test::TJ2kComponent grey;
    grey.Samples.assign(256 * 170, 128);
    test::WriteFileBytes(Dir / "wide.jp2", test::EncodeJpeg2000(256, 170, {grey}, true));
    struct TCase {
        const char* File;
        TFileTypes Type;
        std::int32_t Width, Height;
    };
    for (const TCase& c :
         {TCase{"wide.jpg", TFileTypes::ftJpg, 64, 32}, TCase{"wide.png", TFileTypes::ftPng, 64, 32},
          TCase{"wide.jp2", TFileTypes::ftJpg2000, 64, 42}}) {
        SCOPED_TRACE(c.File);
        FManager->SetMaxSize(64);
        std::int32_t width = 64, height = 64;
        const auto fitted = FManager->ImportToImage(width, height, true, Dir / c.File, c.Type);
        ASSERT_TRUE(fitted);
        EXPECT_EQ(width, c.Width);
        EXPECT_EQ(height, c.Height);
        EXPECT_EQ(AlphaOf(fitted->Pixel(c.Width - 1, c.Height - 1)), 255u);
    }
}

TEST_F(IOManagerTest, SolveBitmapSizeWithoutSizeChangeGivesTheWantedSize) {
    std::int32_t width = 64, height = 32;
    const auto result = FManager->SolveBitmapSize(width, height, false, test::MakeSolid(10, 10, 0xFFFFFFFF));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Width(), 64);
    EXPECT_EQ(result->Height(), 32);
    // The small picture is not enlarged: it sits centred, the rest stays transparent.
    EXPECT_EQ(result->Pixel(0, 0), 0u);
    EXPECT_EQ(result->Pixel(32, 16), 0xFFFFFFFFu);
}

TEST_F(IOManagerTest, PictureWhoseFittedSideRoundsToZeroIsRefused) {
    FManager->SetMaxSize(1024);
    std::int32_t width = 1024, height = 1024;
    EXPECT_FALSE(FManager->SolveBitmapSize(width, height, true, test::MakeSolid(5000, 2, 0xFF000000)));
}

TEST_F(IOManagerTest, FittedPictureLandsCentredOnTheCanvasAtY170) {
    TBitmap fitted = test::MakeGradient(1024, 683, false);
    TBitmap canvas(1024, 1024);
    TIOManager::ImageToImage(fitted, canvas);
    EXPECT_EQ(canvas.Pixel(500, 169), 0u);
    EXPECT_EQ(canvas.Pixel(500, 170), fitted.Pixel(500, 0));
    EXPECT_EQ(canvas.Pixel(1023, 852), fitted.Pixel(1023, 682));
    EXPECT_EQ(canvas.Pixel(500, 853), 0u);
}

// --- Whole conversions ----------------------------------------------------------------------------

TEST_F(IOManagerTest, LargePictureGetsEveryDefaultWindowsFormatInDocumentOrder) {
    const fs::path source = Opaque("photo.bmp", 3000, 2000);
    ASSERT_TRUE(Process(source));
    EXPECT_EQ(ErrorType, TErrorType::etNone);
    EXPECT_EQ(FManager->LastOutputFile(), Dir / "photo.ico");
    EXPECT_TRUE(fs::exists(Dir / "photo.ico"));
    EXPECT_EQ(Saved().Coder, "ico");
    const std::vector<TSavedImage> expected{{256, 256, 32}, {64, 64, 32}, {48, 48, 32}, {32, 32, 32},
                                            {16, 16, 32},   {48, 48, 8},  {32, 32, 8},  {16, 16, 8},
                                            {32, 32, 4},    {16, 16, 4}};
    EXPECT_EQ(Saved().Images, expected);
    // The landscape picture sits in the middle of the square: transparent bands above and below.
    const TBitmap& large = Saved().Bitmaps[0];
    EXPECT_EQ(AlphaOf(large.Pixel(128, 10)), 0);
    EXPECT_EQ(large.Pixel(128, 128), 0xFF3366CCu);
    EXPECT_EQ(FManager->MaxSize(), 512);
}

TEST_F(IOManagerTest, SmallPictureSkipsFormatsWiderThanItsCanvas) {
    ASSERT_TRUE(Process(Opaque("small.bmp", 200, 100)));
    EXPECT_EQ(Saved().Images.size(), 9u);
    EXPECT_EQ(SavedImage(256, 256, 32), nullptr);
    std::size_t index = 0;
    ASSERT_NE(SavedImage(32, 32, 32, &index), nullptr);
    // 200 x 100 on a 200 x 200 canvas: a quarter of the height transparent above and below.
    const TBitmap& icon = Saved().Bitmaps[index];
    EXPECT_EQ(AlphaOf(icon.Pixel(16, 3)), 0);
    EXPECT_EQ(icon.Pixel(16, 16), 0xFF3366CCu);
    EXPECT_EQ(AlphaOf(icon.Pixel(16, 28)), 0);
}

TEST_F(IOManagerTest, MacintoshListSkipsOnlyWhatIsWiderThanTheCanvas) {
    FSettings->SetIconType(TIconType::itMac);
    ASSERT_TRUE(Process(Opaque("a.bmp", 600, 600)));
    EXPECT_EQ(FManager->LastOutputFile(), Dir / "a.icns");
    EXPECT_EQ(Saved().Coder, "icns");
    EXPECT_EQ(SavedImage(1024, 1024, 32), nullptr);
    EXPECT_NE(SavedImage(512, 512, 32), nullptr);
    EXPECT_EQ(Saved().Images.size(), 11u);
}

TEST_F(IOManagerTest, FormatWiderThanHighGetsTheCanvasFittedToItsHeight) {
    FSettings->SetWinFormats("32x16-32");
    ASSERT_TRUE(Process(Opaque("a.bmp", 64, 64)));
    ASSERT_EQ(Saved().Images, (std::vector<TSavedImage>{{32, 16, 32}}));
    EXPECT_EQ(AlphaOf(Saved().Bitmaps[0].Pixel(2, 8)), 0);
    EXPECT_EQ(Saved().Bitmaps[0].Pixel(16, 8), 0xFF3366CCu);
    EXPECT_EQ(AlphaOf(Saved().Bitmaps[0].Pixel(29, 8)), 0);
}

TEST_F(IOManagerTest, RepeatedFormatIsMadeOnce) {
    FSettings->SetWinFormats("16x16-32;16x16-32");
    ASSERT_TRUE(Process(Opaque("a.bmp", 64, 64)));
    EXPECT_EQ(Saved().Images, (std::vector<TSavedImage>{{16, 16, 32}}));
}

TEST_F(IOManagerTest, ListEndingInDelimiterFailsWithoutKindAndWritesNothing) {
    FSettings->SetWinFormats("16x16-32;");
    EXPECT_FALSE(Process(Opaque("a.bmp", 64, 64)));
    EXPECT_EQ(ErrorType, TErrorType::etNone);
    EXPECT_EQ(Saved().Saves, 0);
    EXPECT_FALSE(fs::exists(Dir / "a.ico"));
    EXPECT_EQ(FManager->MaxSize(), 512);
}

TEST_F(IOManagerTest, EmptyListIsAWriteError) {
    FSettings->SetWinFormats("");
    EXPECT_FALSE(Process(Opaque("a.bmp", 64, 64)));
    EXPECT_EQ(ErrorType, TErrorType::etWriteError);
    EXPECT_FALSE(fs::exists(Dir / "a.ico"));
}

TEST_F(IOManagerTest, PictureSmallerThanEveryFormatIsAWriteError) {
    EXPECT_FALSE(Process(Opaque("tiny.bmp", 10, 10)));
    EXPECT_EQ(ErrorType, TErrorType::etWriteError);
}

TEST_F(IOManagerTest, ExistingIconsAreKeptAndTheNewOneIsNumbered) {
    test::WriteFileBytes(Dir / "photo.ico", {'o', 'n', 'e'});
    test::WriteFileBytes(Dir / "photo (2).ico", {'t', 'w', 'o'});
    ASSERT_TRUE(Process(Opaque("photo.bmp", 64, 64)));
    EXPECT_EQ(FManager->LastOutputFile(), Dir / "photo (3).ico");
    EXPECT_EQ(test::ReadFileBytes(Dir / "photo.ico"), (std::vector<std::uint8_t>{'o', 'n', 'e'}));
    EXPECT_EQ(test::ReadFileBytes(Dir / "photo (2).ico"), (std::vector<std::uint8_t>{'t', 'w', 'o'}));
}

TEST_F(IOManagerTest, OnlyTheLastExtensionIsReplaced) {
    ASSERT_TRUE(Process(Opaque("photo.large.bmp", 64, 64)));
    EXPECT_EQ(FManager->LastOutputFile(), Dir / "photo.large.ico");
}

TEST_F(IOManagerTest, IconGoesIntoTheOutputFolderOfTheSettings) {
    fs::create_directory(Dir / "out");
    FSettings->SetPath((Dir / "out").string());
    ASSERT_TRUE(Process(Opaque("photo.bmp", 64, 64)));
    EXPECT_EQ(FManager->LastOutputFile(), Dir / "out" / "photo.ico");
}

// A chosen folder that is gone, or is a file now, fails the conversion as a write error naming it;
// nothing is written beside the source, and the folder stays chosen for when it comes back.
TEST_F(IOManagerTest, MissingOutputFolderIsAWriteErrorNamingItAndNothingIsWrittenElsewhere) {
    const fs::path source = Opaque("photo.bmp", 64, 64);
    for (const bool replacedByFile : {false, true}) {
        const fs::path out = Dir / (replacedByFile ? "file" : "gone");
        if (replacedByFile)
            test::WriteFileBytes(out, {'x'});
        FSettings->SetPath(out.string());
        EXPECT_FALSE(Process(source));
        EXPECT_EQ(ErrorType, TErrorType::etWriteError);
        EXPECT_EQ(FManager->LastStatus().Reason(),
                  "the output folder " + out.string() +
                      (replacedByFile ? " is not a folder" : " does not exist"));
        EXPECT_EQ(FSettings->ChosenPath(), out.string());
        EXPECT_EQ(FSettings->GetPath(), "");
    }
    EXPECT_FALSE(fs::exists(Dir / "photo.ico"));
    EXPECT_EQ(Saved().Saves, 0);
    fs::create_directory(Dir / "gone");
    FSettings->SetPath((Dir / "gone").string());
    ASSERT_TRUE(Process(source));
    EXPECT_TRUE(FManager->LastStatus());
    EXPECT_EQ(FManager->LastOutputFile(), Dir / "gone" / "photo.ico");
}

// Each failure says its cause, beside the kind the batch counts.
struct TReasonCase {
    const char* Name;
    std::function<fs::path(const fs::path& dir)> Make;
    TErrorType Kind;
    std::function<std::string(const fs::path& dir)> Reason;
};

class IOManagerReasonTest : public IOManagerTest, public testing::WithParamInterface<TReasonCase> {};

// A file name of 252 letters with the given extension: too long for the file system once ".ico".
std::string LongName(const char* extension) {
    std::string name(252, 'n');
    name += extension;
    return name;
}

TEST_P(IOManagerReasonTest, SaysTheCause) {
    EXPECT_FALSE(Process(GetParam().Make(Dir.Path())));
    EXPECT_EQ(ErrorType, GetParam().Kind);
    EXPECT_EQ(FManager->LastStatus().Reason(), GetParam().Reason(Dir.Path()));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 1); // the source
}

fs::path WriteBmp(const fs::path& path, std::int32_t width, std::int32_t height) {
    test::WriteFileBytes(path, test::EncodeTestBmp(test::MakeSolid(width, height, 0xFF3366CC)));
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, IOManagerReasonTest,
    testing::Values(
        TReasonCase{"SmallerThanEveryFormat",
                    [](const fs::path& d) { return WriteBmp(d / "tiny.bmp", 8, 8); },
                    TErrorType::etWriteError,
                    [](const fs::path&) {
                        return std::string(
                            "the picture is smaller than the smallest image of the format list (16 x 16)");
                    }},
        TReasonCase{
            "FittedSideRoundsToZero", [](const fs::path& d) { return WriteBmp(d / "thin.bmp", 65535, 1); },
            TErrorType::etReadError,
            [](const fs::path&) {
                return std::string("the picture of 65535 x 1 pixels is too thin to fit into 1024 x 1024 "
                                   "(a side would have no pixel)");
            }},
        TReasonCase{"BeyondTheLimits",
                    [](const fs::path& d) {
                        auto bytes = test::EncodeTestBmp(test::MakeSolid(2, 2, 0xFF000000));
                        const std::uint32_t side = 70000; // biWidth and biHeight, little-endian
                        for (int i = 0; i < 4; ++i)
                            bytes[18 + i] = bytes[22 + i] = static_cast<std::uint8_t>(side >> (8 * i));
                        test::WriteFileBytes(d / "huge.bmp", bytes);
                        return d / "huge.bmp";
                    },
                    TErrorType::etReadError,
                    [](const fs::path&) {
                        return std::string(
                            "picture too large (70000 x 70000; the limit is 65535 pixels a side "
                            "and 268435456 pixels in all)");
                    }},
        TReasonCase{"NameTooLongForTheFileSystem",
                    [](const fs::path& d) { return WriteBmp(d / LongName(".b"), 64, 64); },
                    TErrorType::etWriteError,
                    [](const fs::path& d) {
                        return "the icon could not be written into " + d.string() + ": the name " +
                               LongName(".ico") + " is too long for the file system";
                    }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(IOManagerTest, SymbolicLinkToAPictureIsFollowed) {
    const fs::path target = Opaque("real.bmp", 64, 64);
    fs::create_symlink(target, Dir / "alias.bmp");
    ASSERT_TRUE(Process(Dir / "alias.bmp"));
    EXPECT_EQ(FManager->LastOutputFile(), Dir / "alias.ico");
}

TEST_F(IOManagerTest, ShortcutNameIsNoShortcutHereAndFailsWithoutKind) {
    const fs::path picture = Opaque("photo.bmp", 64, 64);
    fs::rename(picture, Dir / "photo.LNK");
    EXPECT_FALSE(Process(Dir / "photo.LNK"));
    EXPECT_EQ(ErrorType, TErrorType::etNone);
    EXPECT_EQ(Saved().Saves, 0);
}

TEST_F(IOManagerTest, MissingFileFailsWithoutKind) {
    EXPECT_FALSE(Process(Dir / "gone.bmp"));
    EXPECT_EQ(ErrorType, TErrorType::etNone);
}

TEST_F(IOManagerTest, DanglingLinkFailsWithoutKind) {
    fs::create_symlink(Dir / "gone.bmp", Dir / "link.bmp");
    EXPECT_FALSE(Process(Dir / "link.bmp"));
    EXPECT_EQ(ErrorType, TErrorType::etNone);
}

TEST_F(IOManagerTest, FolderFailsWithoutKind) {
    fs::create_directory(Dir / "folder.bmp");
    EXPECT_FALSE(Process(Dir / "folder.bmp"));
    EXPECT_EQ(ErrorType, TErrorType::etNone);
}

TEST_F(IOManagerTest, FileThatIsNoPictureFailsWithoutKind) {
    test::WriteFileBytes(Dir / "notes.bmp", {'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(Process(Dir / "notes.bmp"));
    EXPECT_EQ(ErrorType, TErrorType::etNone);
}

TEST_F(IOManagerTest, TruncatedPictureIsAReadError) {
    auto bytes = test::EncodeTestBmp(test::MakeSolid(64, 64, 0xFF000000));
    bytes.resize(100);
    test::WriteFileBytes(Dir / "cut.bmp", bytes);
    EXPECT_FALSE(Process(Dir / "cut.bmp"));
    EXPECT_EQ(ErrorType, TErrorType::etReadError);
    EXPECT_EQ(Saved().Saves, 0);
    EXPECT_EQ(FManager->MaxSize(), 512);
}

TEST_F(IOManagerTest, RefusingCoderIsAWriteErrorAndLeavesNoFile) {
    Mode() = TCoderMode::Refuse;
    EXPECT_FALSE(Process(Opaque("photo.bmp", 64, 64)));
    EXPECT_EQ(ErrorType, TErrorType::etWriteError);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 1);
}

TEST_F(IOManagerTest, ThrowingCoderIsAWriteErrorAndLeavesNoFile) {
    Mode() = TCoderMode::Throw;
    EXPECT_FALSE(Process(Opaque("photo.bmp", 64, 64)));
    EXPECT_EQ(ErrorType, TErrorType::etWriteError);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 1);
}

// --- Colour depth ---------------------------------------------------------------------------------

bool SamePalette(const TOrbPalette& a, const TOrbPalette& b) {
    return a.IsEqual(b);
}

TEST_F(IOManagerTest, WindowsFourBitImageGetsTheWindowsPaletteAndEightBitAnAdaptiveOne) {
    FSettings->SetWinFormats("32x32-4;32x32-8");
    ASSERT_TRUE(Process(Picture("photo.bmp", test::MakeGradient(64, 64, false))));
    std::size_t four = 0, eight = 0;
    ASSERT_NE(SavedImage(32, 32, 4, &four), nullptr);
    ASSERT_NE(SavedImage(32, 32, 8, &eight), nullptr);
    TOrbPalette windows16;
    windows16.Resize(4);
    windows16.FillWin16();
    EXPECT_TRUE(SamePalette(Saved().Palettes[four], windows16));
    TOrbPalette windows256;
    windows256.Resize(8);
    windows256.FillWin256();
    EXPECT_FALSE(SamePalette(Saved().Palettes[eight], windows256));
}

TEST_F(IOManagerTest, MacintoshImagesGetTheMacintoshPalette) {
    FSettings->SetIconType(TIconType::itMac);
    FSettings->SetMacFormats("32x32-8");
    ASSERT_TRUE(Process(Picture("photo.bmp", test::MakeGradient(64, 64, false))));
    TOrbPalette mac256;
    mac256.Resize(8);
    mac256.FillMac256();
    ASSERT_EQ(Saved().Palettes.size(), 1u);
    EXPECT_TRUE(SamePalette(Saved().Palettes[0], mac256));
}

// Formats of one size share their drawing; the depth reduction of one must not reach the other.
TEST_F(IOManagerTest, ReducedImageDoesNotLeakIntoTheFullDepthImageOfTheSameSize) {
    FSettings->SetWinFormats("16x16-8;16x16-32");
    ASSERT_TRUE(Process(Picture("photo.bmp", test::MakeGradient(64, 64, true))));
    std::size_t full = 0;
    ASSERT_NE(SavedImage(16, 16, 32, &full), nullptr);
    bool halfTransparent = false;
    for (const TColor pixel : Saved().Bitmaps[full].Pixels())
        halfTransparent |= AlphaOf(pixel) != 0 && AlphaOf(pixel) != 255;
    EXPECT_TRUE(halfTransparent);
}

TEST_F(IOManagerTest, DirectDrawingAlwaysUsesTheCanvasItIsGiven) {
    TOrbImage red(64, 64, 32), blue(64, 64, 32);
    red.Bitmap().Fill(0xFFFF0000);
    blue.Bitmap().Fill(0xFF0000FF);
    TOrbIcon first, second;
    ASSERT_TRUE(FManager->CreateImageFromImage(first, red, 16, 16, 32, true));
    ASSERT_TRUE(FManager->CreateImageFromImage(second, blue, 16, 16, 32, true));
    EXPECT_EQ(second.Selected()->Bitmap().Pixel(8, 8), 0xFF0000FFu);
    EXPECT_FALSE(FManager->CreateImageFromImage(second, blue, 16, 16, 32, true));
}

// The 256 x 256 image's PNG is encoded on a helper thread while the other images are drawn; the
// written icon holds for every image stored as PNG the PNG of its own pixels, as the document has them.
TEST_F(IOManagerTest, PngImagesOfTheWrittenIconHoldTheirOwnPixels) {
    FSettings->SetWinFormats("48x48-32;256x256-8;256x256-32");
    const fs::path picture = Picture("photo.bmp", test::MakeGradient(300, 200, true));
    ASSERT_TRUE(Process(picture));
    const TSaveRecord expected = Saved();

    TIOManager real(*FSettings, *FDataType);
    TErrorType errorType = TErrorType::etNone;
    ASSERT_TRUE(real.ProcessFile(picture, errorType)) << real.LastStatus().Reason();
    TOrbIcon written;
    ASSERT_TRUE(LoadIcon(real.LastOutputFile(), written).IsOk());
    ASSERT_EQ(written.ImageCount(), 3);
    for (const TOrbImage& image : written.Image()) {
        std::size_t index = 0;
        ASSERT_NE(SavedImage(image.Width(), image.Height(), image.DataType(), &index), nullptr);
        EXPECT_EQ(image.Bitmap(), expected.Bitmaps[index]) << image.Width() << " x " << int(image.DataType());
    }
}

} // namespace
} // namespace gw
