#include "pipeline/CombineIcon.h"

#include "codecs/SvgCodec.h"
#include "color/DataType.h"
#include "image/OrbIcon.h"
#include "image/OrbImage.h"
#include "pipeline/IOManager.h"
#include "settings/Setting.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace gw {
namespace {

namespace fs = std::filesystem;

// A 16 x 16 drawn pixel by pixel: every pixel its own colour and alpha, as no resampling would leave it.
TBitmap HandDrawn16() {
    TBitmap picture(16, 16);
    std::mt19937 random(16);
    for (TColor& pixel : picture.Pixels())
        pixel = MakeColor(static_cast<std::uint8_t>(random() % 2 ? 255 : random() % 256),
                          static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                          static_cast<std::uint8_t>(random()));
    return picture;
}

class CombineIcon : public testing::Test {
protected:
    TCombineSource Raster(std::int32_t width, std::int32_t height) {
        TCombineSource source;
        source.Path = std::to_string(width) + "x" + std::to_string(height);
        source.Picture = test::MakeGradient(width, height, true);
        return source;
    }
    TCombineSource Vector() {
        TCombineSource source;
        source.Path = "logo.svg";
        const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\">"
                                "<rect width=\"10\" height=\"10\" fill=\"#0000ff\"/></svg>";
        EXPECT_TRUE(TSvgDocument::Load(std::vector<std::uint8_t>(svg.begin(), svg.end()), source.Vector));
        return source;
    }

    TGlobalSetting FSettings{TPersistence::Detached};
    TDataType FDataType{FSettings};
    TIOManager FManager{FSettings, FDataType};
};

struct TChoiceCase {
    const char* Name;
    std::int32_t Side;
    bool WithVector;
    std::size_t Source;
    TCombineRule Rule;
};

class CombineChoiceTable : public CombineIcon, public testing::WithParamInterface<TChoiceCase> {};

// Sources 0: 16 x 16, 1: 300 x 100, 2: 64 x 64, 3: 128 x 128 (and 4: a vector when asked for).
TEST_P(CombineChoiceTable, PicksBySize) {
    std::vector<TCombineSource> sources;
    sources.push_back(Raster(16, 16));
    sources.push_back(Raster(300, 100));
    sources.push_back(Raster(64, 64));
    sources.push_back(Raster(128, 128));
    if (GetParam().WithVector)
        sources.push_back(Vector());
    const TCombineChoice choice = ChooseCombineSource(sources, GetParam().Side, GetParam().Side);
    EXPECT_EQ(choice.Source, GetParam().Source);
    EXPECT_EQ(choice.Rule, GetParam().Rule);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CombineChoiceTable,
    testing::Values(TChoiceCase{"ExactBeatsVector", 16, true, 0, TCombineRule::crExact},
                    TChoiceCase{"VectorBeatsScaling", 32, true, 4, TCombineRule::crVector},
                    TChoiceCase{"SmallestLargeEnough", 32, false, 2, TCombineRule::crScaledDown},
                    TChoiceCase{"WideCountsByItsWidth", 256, false, 1, TCombineRule::crScaledDown},
                    TChoiceCase{"LargestWhenNoneIsLargeEnough", 512, false, 1, TCombineRule::crScaledUp}),
    test::TCaseName{});

TEST_F(CombineIcon, HandDrawnSixteenSurvivesPixelForPixel) {
    const test::TTempDir dir;
    const TBitmap hand = HandDrawn16();
    test::WriteFileBytes(dir / "hand.png", test::EncodePng(hand));
    test::WriteFileBytes(dir / "big.png", test::EncodePng(test::MakeGradient(256, 256, true)));
    std::vector<TCombineSource> sources(2);
    ASSERT_TRUE(OpenCombineSource(dir / "hand.png", sources[0]));
    ASSERT_TRUE(OpenCombineSource(dir / "big.png", sources[1]));
    TOrbIcon icon;
    ASSERT_TRUE(CombineToIcon(sources, {{16, 16, 32}, {32, 32, 32}, {256, 256, 32}}, true, FManager, icon));
    ASSERT_EQ(icon.ImageCount(), 3);
    for (const TOrbImage& image : icon.Image()) {
        if (image.Width() == 16) {
            EXPECT_EQ(image.Bitmap(), hand);
        } else if (image.Width() == 256) {
            EXPECT_EQ(image.Bitmap(), sources[1].Picture);
        }
    }
}

TEST_F(CombineIcon, ScaledPictureKeepsItsAspectCentred) {
    std::vector<TCombineSource> sources;
    sources.push_back(Raster(300, 100));
    TOrbIcon icon;
    ASSERT_TRUE(CombineToIcon(sources, {{48, 48, 32}}, true, FManager, icon));
    const TBitmap& image = icon.Image()[0].Bitmap();
    // 300 x 100 into 48 x 48: 48 x 16 from y 16.
    EXPECT_EQ(AlphaOf(image.Pixel(24, 15)), 0);
    EXPECT_NE(AlphaOf(image.Pixel(24, 16)), 0);
    EXPECT_NE(AlphaOf(image.Pixel(24, 31)), 0);
    EXPECT_EQ(AlphaOf(image.Pixel(24, 32)), 0);
}

TEST_F(CombineIcon, UnreadableSourceSaysWhy) {
    const test::TTempDir dir;
    test::WriteFileBytes(dir / "notes.txt", {'h', 'i'});
    test::WriteFileBytes(dir / "cut.png", [] {
        auto png = test::EncodePng(test::MakeGradient(40, 40, false));
        png.resize(png.size() / 2);
        return png;
    }());
    TCombineSource source;
    const TStatus text = OpenCombineSource(dir / "notes.txt", source);
    EXPECT_EQ(text.Kind(), TFailure::Unsupported);
    EXPECT_FALSE(OpenCombineSource(dir / "cut.png", source));
    EXPECT_EQ(OpenCombineSource(dir / "missing.png", source).Kind(), TFailure::Io);
}

} // namespace
} // namespace gw
