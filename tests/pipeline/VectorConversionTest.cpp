// SVG pictures through a whole conversion: every icon image rendered at its own size.
#include "pipeline/IOManager.h"

#include "codecs/SvgCodec.h"
#include "color/DataType.h"
#include "formats/IconCoders.h"
#include "image/OrbIcon.h"
#include "image/OrbImage.h"
#include "settings/Setting.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace gw {
namespace {

namespace fs = std::filesystem;

const std::string kBadge =
    R"SVG(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24">
  <circle cx="12" cy="12" r="10" fill="#26a269" fill-opacity="0.85"/>
  <path d="M7 12.5 L10.5 16 L17 8.5" fill="none" stroke="#ffffff" stroke-width="2"/>
</svg>
)SVG";

class VectorConversion : public testing::Test {
protected:
    fs::path Write(const std::string& name, const std::string& text) {
        const fs::path path = FDir / name;
        test::WriteFileBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
        return path;
    }
    const TOrbImage* Find(const TOrbIcon& icon, std::int32_t side, std::uint8_t bits) {
        for (const TOrbImage& image : icon.Image())
            if (image.Width() == side && image.DataType() == bits)
                return &image;
        return nullptr;
    }

    TGlobalSetting FSettings{TPersistence::Detached};
    TDataType FDataType{FSettings};
    TIOManager FManager{FSettings, FDataType};
    test::TTempDir FDir;
};

TEST_F(VectorConversion, SmallDocumentGetsEveryFormatAndSixteenEqualsRsvgConvert) {
    const fs::path svg = Write("badge.svg", kBadge);
    TErrorType errorType = TErrorType::etReadError;
    ASSERT_TRUE(FManager.ProcessFile(svg, errorType));
    TOrbIcon icon;
    ASSERT_TRUE(LoadIcon(FDir / "badge.ico", icon));
    // A 24 x 24 raster would leave out every format wider than 24; a vector gets them all.
    EXPECT_EQ(icon.ImageCount(), 10);
    ASSERT_NE(Find(icon, 256, 32), nullptr);
    if (!test::HaveTool("rsvg-convert"))
        GTEST_SKIP() << "rsvg-convert not installed";
    // The 256 x 256 image went into the file as PNG data encoded ahead, beside the drawing of the others.
    for (const int side : {16, 48, 256}) {
        const fs::path png = FDir / ("ref" + std::to_string(side) + ".png");
        const auto expected =
            test::PictureFromTool("rsvg-convert -w " + std::to_string(side) + " -h " + std::to_string(side) +
                                      " -o " + test::ShellQuote(png) + " " + test::ShellQuote(svg),
                                  png);
        ASSERT_TRUE(expected);
        const TOrbImage* image = Find(icon, side, 32);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->Bitmap(), *expected) << side;
    }
}

// Application icons of an icon theme: every image of the default list rendered, the 16 x 16 and
// 32 x 32 ones equal to rsvg-convert's at that size.
TEST_F(VectorConversion, ThemeIconsRenderLikeRsvgConvert) {
    GW_REQUIRE_TESTDATA(data);
    if (!test::HaveTool("rsvg-convert"))
        GTEST_SKIP() << "rsvg-convert not installed";
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(data / "svg")) {
        if (entry.path().extension() != ".svg")
            continue;
        ++count;
        SCOPED_TRACE(entry.path().filename().string());
        const fs::path svg = FDir / entry.path().filename();
        fs::copy_file(entry.path(), svg);
        TErrorType errorType = TErrorType::etReadError;
        ASSERT_TRUE(FManager.ProcessFile(svg, errorType));
        TOrbIcon icon;
        ASSERT_TRUE(LoadIcon(FManager.LastOutputFile(), icon));
        EXPECT_EQ(icon.ImageCount(), 10);
        for (const int side : {16, 32}) {
            const fs::path png = FDir / "ref.png";
            const auto expected = test::PictureFromTool(
                "rsvg-convert -w " + std::to_string(side) + " -h " + std::to_string(side) + " -o " +
                    test::ShellQuote(png) + " " + test::ShellQuote(svg),
                png);
            ASSERT_TRUE(expected);
            const TOrbImage* image = Find(icon, side, 32);
            ASSERT_NE(image, nullptr);
            EXPECT_EQ(image->Bitmap(), *expected) << side;
        }
    }
    if (count == 0)
        GTEST_SKIP() << "no SVG files in the test data";
}

struct TViewportCase {
    const char* Name;
    double Width, Height;
    std::int32_t Side;
    TGPRectF Expected;
};

class VectorViewportTable : public testing::TestWithParam<TViewportCase> {};

TEST_P(VectorViewportTable, PlacesThePictureAsTheCanvasWould) {
    const TViewportCase& c = GetParam();
    EXPECT_EQ(TIOManager::VectorViewport(c.Width, c.Height, c.Side, c.Side), c.Expected);
}

// A 2:1 picture fitted to 1024 x 512 lies at y 256 on the canvas: at 32 pixels that is y 8, height 16.
// A 3:1 picture is 1024 x 341 (rounded), centred at y 341.5 rounded to even: 342.
INSTANTIATE_TEST_SUITE_P(WorkedValues, VectorViewportTable,
                         testing::Values(TViewportCase{"Square", 24, 24, 16, {0, 0, 16, 16}},
                                         TViewportCase{"Landscape", 200, 100, 32, {0, 8, 32, 16}},
                                         TViewportCase{"Portrait", 100, 200, 256, {64, 0, 128, 256}},
                                         TViewportCase{"ThreeToOne", 300, 100, 1024, {0, 342, 1024, 341}}),
                         test::TCaseName{});

TEST_F(VectorConversion, RenderingFailureWritesNothing) {
    // Parsed, but refused when rendered: more than librsvg's limit of referenced elements.
    const fs::path svg = Write("bomb.svg", test::UseBombSvg(7));
    FSettings.SetWinFormats("16x16-32");
    TErrorType errorType = TErrorType::etNone;
    EXPECT_FALSE(FManager.ProcessFile(svg, errorType));
    EXPECT_EQ(errorType, TErrorType::etReadError);
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir.Path()), fs::directory_iterator()), 1);
}

} // namespace
} // namespace gw
