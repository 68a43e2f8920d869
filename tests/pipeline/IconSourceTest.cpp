// Icon files as sources of a conversion (the command line's), and the images a modern Macintosh
// icon adds; through the real coders.

#include "pipeline/IOManager.h"

#include "color/DataType.h"
#include "formats/IconCoders.h"
#include "image/OrbIcon.h"
#include "settings/Setting.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

namespace fs = std::filesystem;
using TShapes = std::vector<std::string>;

std::string Shape(std::int32_t width, std::int32_t height, std::int32_t bitCount) {
    return std::to_string(width) + "x" + std::to_string(height) + "-" + std::to_string(bitCount);
}

TShapes Shapes(const TOrbIcon& icon) {
    TShapes shapes;
    for (const TOrbImage& image : icon.Image())
        shapes.push_back(Shape(image.Width(), image.Height(), image.DataType()));
    return shapes;
}

// --- Which image a format is drawn from ----------------------------------------------------------

struct TBestCase {
    const char* Name;
    TShapes Held;       // the images of the source file
    const char* Wanted; // a format
    const char* Chosen;
};

class BestSourceImageTest : public ::testing::TestWithParam<TBestCase> {};

TEST_P(BestSourceImageTest, PicksTheImageToDrawFrom) {
    TOrbIcon source;
    for (const std::string& held : GetParam().Held) {
        int w = 0, h = 0, b = 0;
        ASSERT_EQ(std::sscanf(held.c_str(), "%dx%d-%d", &w, &h, &b), 3);
        ASSERT_GE(source.InsertNewImage(w, h, static_cast<std::uint8_t>(b)), 0);
    }
    int w = 0, h = 0, b = 0;
    ASSERT_EQ(std::sscanf(GetParam().Wanted, "%dx%d-%d", &w, &h, &b), 3);
    const TOrbImage* chosen = TIOManager::BestSourceImage(source, w, h, static_cast<std::uint8_t>(b));
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(Shape(chosen->Width(), chosen->Height(), chosen->DataType()), GetParam().Chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BestSourceImageTest,
    ::testing::Values(
        TBestCase{"SameSizeAndDepth", {"32x32-32", "32x32-8", "16x16-8"}, "16x16-8", "16x16-8"},
        TBestCase{"SmallestLargerOne", {"256x256-32", "48x48-32", "32x32-32"}, "16x16-32", "32x32-32"},
        TBestCase{"LargerThirtyTwoBitBeforeASmallerPalette", {"48x48-32", "32x32-4"}, "16x16-8", "48x48-32"},
        TBestCase{"DeeperOfEqualSizesWithoutThirtyTwoBit", {"32x32-4", "32x32-8"}, "16x16-32", "32x32-8"},
        TBestCase{
            "PaletteImageWhenNoneIsThirtyTwoBit", {"48x48-8", "32x32-4", "16x16-1"}, "24x24-8", "32x32-4"},
        TBestCase{"LargestWhenAllAreSmaller", {"16x16-32", "48x48-8", "32x32-32"}, "256x256-32", "48x48-8"},
        TBestCase{"WideFormatNeedsBothSides", {"64x16-32", "32x32-32"}, "48x24-32", "64x16-32"}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Conversions through the real coders ---------------------------------------------------------

class IconSourceTest : public ::testing::Test {
protected:
    void SetUp() override { FManager.SetIconSources(true); }

    fs::path Convert(const fs::path& source, TIconType type) {
        FSettings.SetIconType(type);
        TErrorType error = TErrorType::etNone;
        EXPECT_TRUE(FManager.ProcessFile(source, error)) << source;
        return FManager.LastOutputFile();
    }

    static std::unique_ptr<TOrbIcon> Load(const fs::path& path) {
        auto icon = std::make_unique<TOrbIcon>();
        EXPECT_TRUE(LoadIcon(path, *icon)) << path;
        return icon;
    }

    test::TTempDir FDir;
    TGlobalSetting FSettings{TPersistence::Detached};
    TDataType FDataType{FSettings};
    TIOManager FManager{FSettings, FDataType};
};

TEST_F(IconSourceTest, WindowsIconToMacintoshIconAndBack) {
    const fs::path picture = FDir / "app.bmp";
    test::WriteFileBytes(picture, test::EncodeTestBmp(test::MakeGradient(300, 300, true)));
    const fs::path ico = Convert(picture, TIconType::itWin);
    const auto winIcon = Load(ico);

    const fs::path icns = Convert(ico, TIconType::itMac);
    EXPECT_EQ(icns.extension(), ".icns");
    const auto macIcon = Load(icns);
    // The Macintosh list up to 1024 pixels, drawn up from the 256-pixel image where larger; the 1-bit
    // images the palette families need for their masks come with them.
    EXPECT_EQ(Shapes(*macIcon), (TShapes{"1024x1024-32", "512x512-32", "256x256-32", "128x128-32", "48x48-32",
                                         "32x32-32", "16x16-32", "48x48-8", "32x32-8", "16x16-8", "32x32-4",
                                         "16x16-4", "48x48-1", "32x32-1", "16x16-1"}));
    // Images of a size and depth both lists hold are taken unchanged (32-bit ones keep every pixel).
    EXPECT_EQ(macIcon->Image()[2].Bitmap(), winIcon->Image()[0].Bitmap()); // 256x256-32

    const fs::path back = Convert(icns, TIconType::itWin);
    EXPECT_EQ(back.filename(), "app (2).ico");
    const auto again = Load(back);
    EXPECT_EQ(Shapes(*again), Shapes(*winIcon));
    EXPECT_EQ(again->Image()[0].Bitmap(), winIcon->Image()[0].Bitmap());
}

TEST_F(IconSourceTest, WithoutIconSourcesIconFilesAreSkippedAsTheWindowDoes) {
    const fs::path picture = FDir / "app.bmp";
    test::WriteFileBytes(picture, test::EncodeTestBmp(test::MakeGradient(40, 40, true)));
    const fs::path ico = Convert(picture, TIconType::itWin);
    FManager.SetIconSources(false);
    TErrorType error = TErrorType::etReadError;
    EXPECT_FALSE(FManager.ProcessFile(ico, error));
    EXPECT_EQ(error, TErrorType::etNone);
}

TEST_F(IconSourceTest, DamagedIconFileIsAReadError) {
    std::vector<std::uint8_t> bytes = {'i', 'c', 'n', 's', 0, 0, 0, 8};
    test::WriteFileBytes(FDir / "empty.icns", bytes);
    TErrorType error = TErrorType::etNone;
    EXPECT_FALSE(FManager.ProcessFile(FDir / "empty.icns", error));
    EXPECT_EQ(error, TErrorType::etReadError);
    EXPECT_FALSE(fs::exists(FDir / "empty (2).icns"));
}

TEST_F(IconSourceTest, ModernMacintoshIconsGetTheRetinaSizesUpToTheCanvas) {
    FSettings.SetMacModern(true);
    FSettings.SetMacFormats("16x16-32;48x48-8");
    const fs::path picture = FDir / "small.bmp";
    test::WriteFileBytes(picture, test::EncodeTestBmp(test::MakeGradient(100, 80, true)));
    EXPECT_EQ(Shapes(*Load(Convert(picture, TIconType::itMac))),
              (TShapes{"64x64-32", "32x32-32", "16x16-32", "48x48-8", "48x48-1"}));
    // A Windows icon gets nothing more, nor does a classic Macintosh icon.
    EXPECT_EQ(Shapes(*Load(Convert(picture, TIconType::itWin))),
              (TShapes{"64x64-32", "48x48-32", "32x32-32", "16x16-32", "48x48-8", "32x32-8", "16x16-8",
                       "32x32-4", "16x16-4"}));
    FSettings.SetMacModern(false);
    EXPECT_EQ(Shapes(*Load(Convert(picture, TIconType::itMac))), (TShapes{"16x16-32", "48x48-8", "48x48-1"}));
}

} // namespace
} // namespace gw
